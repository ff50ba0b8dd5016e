// The random generators: reproducible seeded sequences, the separation of the
// two states, the conversions to reals, the counter modes and the legacy source.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "builtins/numeric/random.h"
#include "interp/values/datablock.h"

namespace tvx::builtins {
namespace {

// Fixed clock readings; the counters advance by a fixed step per reading.
class FakeSources : public RandomSources {
public:
    uint32_t ms = 5, seconds = 7, epoch = 1000;
    uint64_t tsc = 0x0000000100000000ull, performance = 4000;
    uint64_t tscStep = 0x10001, performanceStep = 12;

    void timeOfDay(uint32_t& m, uint32_t& s) override {
        m = ms;
        s = seconds;
    }
    uint32_t epochSeconds() override { return epoch; }
    uint64_t timeStampCounter() override { return tsc += tscStep; }
    uint64_t performanceCounter() override { return performance += performanceStep; }
};

class RandomTest : public ::testing::Test {
protected:
    FakeSources sources;
    RandomGenerators g{sources};

    std::vector<uint32_t> words(MwcState& state, int32_t mode, int count) {
        std::vector<uint32_t> out(static_cast<size_t>(count));
        g.fill(state, mode, interp::kElemUInt32, count, out.data(), false);
        return out;
    }
};

TEST_F(RandomTest, PositiveSeedGivesTheMultiplyWithCarrySequence) {
    // x = 12345, carry = 0x15269EC7, t = x * 0x7F13AC69 + carry, computed independently.
    MwcState state;
    EXPECT_EQ(words(state, 12345, 4),
              (std::vector<uint32_t>{0x10dbb228, 0x96c70a58, 0x077ca722, 0x62c9b965}));
    // Mode -1 continues where the fill stopped; a seed starts over.
    MwcState again;
    std::vector<uint32_t> first = words(again, 12345, 2);
    std::vector<uint32_t> rest = words(again, -1, 2);
    EXPECT_EQ(first[1], 0x96c70a58u);
    EXPECT_EQ(rest[0], 0x077ca722u);
    EXPECT_EQ(rest[1], 0x62c9b965u);
    // Modes below -9 are seeds as well: each call starts the same sequence.
    MwcState negative;
    std::vector<uint32_t> seeded = words(negative, -10, 2);
    EXPECT_EQ(words(negative, -10, 2), seeded);
    EXPECT_NE(words(negative, -1, 2), seeded);
}

TEST_F(RandomTest, RandomFunctionAndSharedFillsKeepSeparateStates) {
    double first = g.random(0, 12345);
    EXPECT_DOUBLE_EQ(first, 0.7200126961957425);
    std::vector<double> fill(50);
    g.fill(g.sharedState, 777, interp::kElemDouble, 50, fill.data(), false);
    // The shared fill did not move Random's sequence.
    EXPECT_DOUBLE_EQ(g.random(0, 0), 0.8038811823109635);
    EXPECT_EQ(g.random(6, 0), 1);
    EXPECT_EQ(g.noise, kNoiseOff);
}

TEST_F(RandomTest, IntegerCountsCoverTheWholeRange) {
    g.random(0, 99);
    std::vector<int> seen(11);
    for (int i = 0; i < 2000; ++i) {
        double r = g.random(10, 0);
        ASSERT_EQ(r, std::trunc(r));
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 10);
        ++seen[static_cast<size_t>(r)];
    }
    for (int count : seen) EXPECT_GT(count, 100);  // about 182 each
}

TEST_F(RandomTest, RealsAreUniformInTheirInterval) {
    MwcState state;
    std::vector<double> d(20000);
    g.fill(state, 4242, interp::kElemDouble, 20000, d.data(), false);
    double sum = 0;
    for (double v : d) {
        ASSERT_GE(v, 0);
        ASSERT_LT(v, 1);
        sum += v;
    }
    EXPECT_NEAR(sum / 20000, 0.5, 0.01);

    std::vector<float> f(20000);
    g.fill(state, 4243, interp::kElemFloat, 20000, f.data(), false);
    int below = 0;
    for (float v : f) {
        ASSERT_GE(v, 0.0f);
        ASSERT_LT(v, 1.0f);
        below += v < 0.5f;
    }
    EXPECT_NEAR(below / 20000.0, 0.5, 0.02);
}

TEST_F(RandomTest, SignedRealsCoverBothSignsWithoutNegativeZero) {
    MwcState state;
    std::vector<double> d(20000);
    g.fill(state, 31337, interp::kElemRealMatrix, 20000, d.data(), true);
    int negative = 0, small = 0;
    for (double v : d) {
        ASSERT_GT(v, -1);
        ASSERT_LT(v, 1);
        ASSERT_FALSE(v == 0 && std::signbit(v));
        negative += v < 0;
        small += std::fabs(v) < 0.5;
    }
    EXPECT_NEAR(negative / 20000.0, 0.5, 0.02);
    EXPECT_NEAR(small / 20000.0, 0.5, 0.02);
    std::vector<float> f(5000);
    g.fill(state, 31338, interp::kElemFloat, 5000, f.data(), true);
    int negativeFloats = 0;
    for (float v : f) {
        ASSERT_GT(v, -1.0f);
        ASSERT_LT(v, 1.0f);
        negativeFloats += v < 0;
    }
    EXPECT_GT(negativeFloats, 2000);
}

TEST_F(RandomTest, IntegerElementsReceiveRawWordsAndNothingBeyond) {
    MwcState state;
    unsigned char bytes[8];
    std::memset(bytes, 0xEE, sizeof bytes);
    g.fill(state, 12345, interp::kElemUInt8, 3, bytes, false);
    // Three bytes come from the first word (little-endian); the rest is untouched.
    EXPECT_EQ(bytes[0], 0x28);
    EXPECT_EQ(bytes[1], 0xb2);
    EXPECT_EQ(bytes[2], 0xdb);
    EXPECT_EQ(bytes[3], 0xEE);
    int16_t shorts[3] = {0, 0, 0x1111};
    g.fill(state, 12345, interp::kElemInt16, 2, shorts, false);
    EXPECT_EQ(static_cast<uint16_t>(shorts[0]), 0xb228);
    EXPECT_EQ(static_cast<uint16_t>(shorts[1]), 0x10db);
    EXPECT_EQ(shorts[2], 0x1111);
    int64_t wide = 0;
    g.fill(state, 12345, interp::kElemInt64, 1, &wide, false);
    EXPECT_EQ(static_cast<uint64_t>(wide), 0x96c70a5810dbb228ull);
}

TEST_F(RandomTest, UnseededStateStartsFromTheClock) {
    MwcState state;  // x = carry = 0
    // ms * 65536 + seconds = 5 * 65536 + 7, then one step with the seed carry.
    EXPECT_EQ(words(state, -1, 1)[0], 0xecbd55a6u);
    MwcState other;
    other.x = 5 * 65536 + 7;
    other.carry = kSeedCarry;
    std::vector<uint32_t> second = words(state, -1, 3);
    words(other, -1, 1);
    EXPECT_EQ(second, words(other, -1, 3));
}

TEST_F(RandomTest, CounterModes) {
    MwcState state;
    state.x = 1;
    state.carry = 1;
    // -5: the counter's low words, the generator untouched.
    sources.tsc = 0x500000000ull;
    sources.tscStep = 3;
    EXPECT_EQ(words(state, -5, 3), (std::vector<uint32_t>{3, 6, 9}));
    EXPECT_EQ(state.x, 1u);
    // -4: the counter's low words as well, but the generator steps.
    EXPECT_EQ(words(state, -4, 2), (std::vector<uint32_t>{12, 15}));
    EXPECT_NE(state.x, 1u);
    // -3: the output does not depend on the generator's words.
    MwcState a, b;
    a.x = 111;
    a.carry = 5;
    b.x = 999;
    b.carry = 7;
    uint32_t mix1 = g.mix1, mix2 = g.mix2;
    uint64_t tsc = sources.tsc;
    std::vector<uint32_t> fromA = words(a, -3, 4);
    g.mix1 = mix1;
    g.mix2 = mix2;
    sources.tsc = tsc;
    EXPECT_EQ(fromA, words(b, -3, 4));
    // Mode 0 mixes the generator in: the same counters give another sequence.
    g.mix1 = mix1;
    g.mix2 = mix2;
    sources.tsc = tsc;
    EXPECT_NE(fromA, words(a, 0, 4));
}

TEST_F(RandomTest, NoiseStateFollowsTheModes) {
    EXPECT_EQ(g.noise, kNoiseUnset);
    g.random(0, 5);
    EXPECT_EQ(g.noise, kNoiseOff);
    double u = g.random(0, -1);
    EXPECT_GE(u, 0);
    EXPECT_LT(u, 1);
    EXPECT_NE(g.noise, kNoiseOff);
    EXPECT_NE(g.noise, kNoiseUnset);
    // Modes -6..-100 keep the noise state.
    g.random(0, 7);
    g.random(0, -50);
    EXPECT_EQ(g.noise, kNoiseOff);
}

TEST_F(RandomTest, LegacySource) {
    // The 15-bit generator of the C standard's example, seeded with 1.
    g.legacySeed = 1;
    EXPECT_EQ(g.rand15(), 16838);
    EXPECT_EQ(g.rand15(), 5758);
    EXPECT_EQ(g.rand15(), 10113);
    // n = -1 stores the state and reseeds with 1; the value is in [0, 1).
    for (int mode : {-2, -3, -4, -20}) {
        double v = g.random(-1, mode);
        EXPECT_GE(v, 0) << mode;
        EXPECT_LT(v, 1) << mode;
    }
    EXPECT_EQ(g.noise, 20);
    // State 32 with n = -32: the counter word (performance >> 2) ^ (previous << 5).
    g.counterWord = 3;
    sources.performance = 4000;
    sources.performanceStep = 400;
    EXPECT_EQ(g.random(-32, -32), (4400 >> 2) ^ (3 << 5));
    // State 34 with n = -34: the performance counter's low word.
    EXPECT_EQ(g.random(-34, -34), 4800);
    // State 33 with n = -33: the time-stamp counter's low word, signed.
    sources.tsc = 0x1FFFFFFF0ull;
    sources.tscStep = 0;
    EXPECT_EQ(g.random(-33, -33), -16);
    EXPECT_EQ(g.counterWord, 0xFFFFFFF0u);
}

}  // namespace
}  // namespace tvx::builtins
