// The random generators: a multiply-with-carry generator (optionally mixed
// with the processor's counters), the number conversions of its words, and the
// legacy noise source on a 15-bit generator. A positive seed gives a fixed,
// reproducible sequence; the other modes mix in clock and counter readings.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvx::interp {
class Interpreter;
}

namespace tvx::builtins {

// Where the generators read time. Tests replace it with fixed readings.
class RandomSources {
public:
    virtual ~RandomSources() = default;
    // The milliseconds (0..999) and seconds (0..59) of the current time of day.
    virtual void timeOfDay(uint32_t& milliseconds, uint32_t& seconds);
    // Seconds since 1970.
    virtual uint32_t epochSeconds();
    // The processor's time-stamp counter.
    virtual uint64_t timeStampCounter();
    // A high-resolution counter (nanoseconds).
    virtual uint64_t performanceCounter();
};

// One generator state: the last output word and the carry.
struct MwcState {
    uint32_t x = 0;
    uint32_t carry = 0;
};

constexpr uint32_t kMwcMultiplier = 0x7F13AC69u;  // 2131995753
constexpr uint32_t kSeedCarry = 0x15269EC7u;      // carry of a newly seeded state
constexpr uint32_t kFallbackCarry = 0x8135747u;   // carry used when a mixed carry comes out 0

// The noise state of Random: unset at start, off, or on (any other value).
constexpr int kNoiseUnset = -1;
constexpr int kNoiseOff = 0;

class RandomGenerators {
public:
    explicit RandomGenerators(RandomSources& sources) : sources_(sources) {}

    // Fills count elements of the element type at elements from state. Modes:
    // > 0 or < -9: a new seed (the mode itself); -1: continue the sequence;
    // -6: seed from the clock, then mixed; -2: stir the counters into the
    // state, then plain; 0, -7..-9: mixed with the counters; -3: counters
    // only through the mixing words; -4, -5: raw counter words. Real element
    // types (5, 8, 13, 14, 15) receive uniform values in [0, 1), or in (-1, 1)
    // with signedValues; integer types receive the raw words.
    void fill(MwcState& state, int32_t mode, int elementType, int64_t count, void* elements,
              bool signedValues);

    // The Random function: n = integer count (0..n when n > 0, else [0, 1)),
    // mode = generator mode (0 when not given).
    double random(int32_t n, int32_t mode);

    // The states: Random's own, and the one shared by vector and matrix fills.
    MwcState randomState;
    MwcState sharedState;
    uint32_t mix1 = 0;
    uint32_t mix2 = 0;
    int noise = kNoiseUnset;
    uint32_t counterWord = 0;  // the legacy source's counter word
    uint32_t legacySeed = 1;   // the 15-bit generator's state

    // The 15-bit generator of the legacy source (0..32767).
    int rand15();

private:
    enum class Kind { Plain, Mixed, CounterStepping, Counter };
    Kind prepare(MwcState& state, int32_t mode, uint32_t& mask);
    uint32_t nextWord(MwcState& state, Kind kind, uint32_t mask);
    void step(MwcState& state);
    uint32_t clockSeed();
    double legacyNoise(int32_t n, int32_t mode);

    RandomSources& sources_;
};

// The generators of an interpreter.
RandomGenerators& interpreterGenerators(interp::Interpreter& ip);

// Fills count elements of the element type at elements with the shared state:
// the entry for VectRandom and the random matrix fills.
void fillRandom(interp::Interpreter& ip, int32_t mode, int elementType, int64_t count, void* elements,
                bool signedValues);

}  // namespace tvx::builtins
