#include "builtins/numeric/random.h"

#include <sys/time.h>

#include <bit>
#include <chrono>
#include <cstring>
#include <ctime>
#include <vector>

#include "builtins/numeric/numericinternal.h"
#include "interp/api.h"
#include "platform/clock.h"

namespace tvx::builtins {

using namespace interp;

void RandomSources::timeOfDay(uint32_t& milliseconds, uint32_t& seconds) {
    timeval now{};
    gettimeofday(&now, nullptr);
    milliseconds = static_cast<uint32_t>(now.tv_usec / 1000);
    seconds = static_cast<uint32_t>(now.tv_sec % 60);
}

uint32_t RandomSources::epochSeconds() { return static_cast<uint32_t>(std::time(nullptr)); }

uint64_t RandomSources::timeStampCounter() { return platform::timeStampCounter(); }

uint64_t RandomSources::performanceCounter() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
}

void RandomGenerators::step(MwcState& state) {
    uint64_t t = static_cast<uint64_t>(state.x) * kMwcMultiplier + state.carry;
    state.x = static_cast<uint32_t>(t);
    state.carry = static_cast<uint32_t>(t >> 32) & 0x7FFFFFFFu;
}

uint32_t RandomGenerators::clockSeed() {
    uint32_t ms = 0, seconds = 0;
    sources_.timeOfDay(ms, seconds);
    return ms * 65536u + seconds;
}

RandomGenerators::Kind RandomGenerators::prepare(MwcState& state, int32_t mode, uint32_t& mask) {
    mask = 0xFFFFFFFFu;
    Kind kind = Kind::Mixed;
    if (mode > 0 || mode < -9) {
        state.x = static_cast<uint32_t>(mode);
        state.carry = kSeedCarry;
        kind = Kind::Plain;
    } else {
        switch (mode) {
        case -1: kind = Kind::Plain; break;
        case -6:
            state.x = clockSeed();
            if (state.carry == 0) state.carry = kFallbackCarry;
            break;
        case -2: {
            uint64_t counter = sources_.timeStampCounter();
            uint32_t low = static_cast<uint32_t>(counter), high = static_cast<uint32_t>(counter >> 32);
            state.x ^= low;
            mix2 = std::rotr(high ^ (low + mix2), 5);
            state.carry = (mix2 + state.carry) & 0x7FFFFFFFu;
            if (state.carry == 0) state.carry = kFallbackCarry;
            state.x += clockSeed();
            kind = Kind::Plain;
            break;
        }
        case -3: mask = 0; break;
        case -4: kind = Kind::CounterStepping; break;
        case -5: kind = Kind::Counter; break;
        default: break;  // 0, -7, -8, -9: mixed
        }
    }
    // A state that was never seeded starts from the clock.
    if (state.x == 0 && state.carry == 0) {
        state.x = clockSeed();
        state.carry = kSeedCarry;
    }
    return kind;
}

uint32_t RandomGenerators::nextWord(MwcState& state, Kind kind, uint32_t mask) {
    if (kind == Kind::Counter) return static_cast<uint32_t>(sources_.timeStampCounter());
    step(state);
    if (kind == Kind::Plain) return state.x;
    uint64_t counter = sources_.timeStampCounter();
    uint32_t low = static_cast<uint32_t>(counter), high = static_cast<uint32_t>(counter >> 32);
    mix1 = std::rotr((high + 1) ^ mix1, 5);
    mix2 = std::rotl((low ^ mix2) + mix1, 19);
    if (kind == Kind::CounterStepping) return low;
    return mix1 ^ mix2 ^ (state.x & mask);
}

namespace {

// A double in [0.5, 1) from the mantissa bits of a word pair, moved toward 0
// by 0.5 when bit 20 of the high word is set: uniform over [0, 1) or (-1, 1).
double wordsToDouble(uint32_t low, uint32_t high, bool signedValue) {
    uint64_t bits = (static_cast<uint64_t>(high & 0x000FFFFFu) << 32) | low | 0x3FE0000000000000ull;
    double value = std::bit_cast<double>(bits);
    bool shift = (high & 0x00100000u) != 0;
    if (signedValue && (high & 0x80000000u)) return shift ? -value + 0.5 : -value;
    return shift ? value - 0.5 : value;
}

// The same for 4-byte reals, with bit 24 deciding the shift.
float wordToFloat(uint32_t word, bool signedValue) {
    float value = std::bit_cast<float>((word & 0x007FFFFFu) | 0x3F000000u);
    bool shift = (word & 0x01000000u) != 0;
    if (signedValue && (word & 0x80000000u)) return shift ? -value + 0.5f : -value;
    return shift ? value - 0.5f : value;
}

bool isNegativeZero(double v) { return v == 0 && std::signbit(v); }

}  // namespace

void RandomGenerators::fill(MwcState& state, int32_t mode, int elementType, int64_t count, void* elements,
                            bool signedValues) {
    if (count <= 0 || !elements) return;
    uint32_t mask = 0;
    Kind kind = prepare(state, mode, mask);
    auto* out = static_cast<unsigned char*>(elements);
    if (elementType == kElemFloat) {
        for (int64_t i = 0; i < count; ++i) {
            float value;
            do value = wordToFloat(nextWord(state, kind, mask), signedValues);
            while (value == 0 && std::signbit(value));
            std::memcpy(out + i * 4, &value, 4);
        }
        return;
    }
    if (elementType == kElemDouble || elementType == kElemRealMatrix || elementType == kElemComplexMatrix ||
        elementType == kElemComplexScalar) {
        for (int64_t i = 0; i < count; ++i) {
            double value;
            do {
                uint32_t low = nextWord(state, kind, mask);
                uint32_t high = nextWord(state, kind, mask);
                value = wordsToDouble(low, high, signedValues);
            } while (isNegativeZero(value));
            std::memcpy(out + i * 8, &value, 8);
        }
        return;
    }
    // Integer elements keep the raw words; the last word may be cut.
    int size = elementSize(elementType);
    if (size <= 0) size = 2;
    uint64_t bytes = static_cast<uint64_t>(size) * static_cast<uint64_t>(count);
    for (uint64_t at = 0; at < bytes; at += 4) {
        uint32_t word = nextWord(state, kind, mask);
        std::memcpy(out + at, &word, bytes - at < 4 ? bytes - at : 4);
    }
}

int RandomGenerators::rand15() {
    // The portable generator of the C standard's example: 15 bits per call.
    legacySeed = legacySeed * 1103515245u + 12345u;
    return static_cast<int>((legacySeed / 65536u) % 32768u);
}

double RandomGenerators::legacyNoise(int32_t n, int32_t mode) {
    if (noise == kNoiseUnset || mode == -2) {
        legacySeed = sources_.epochSeconds();
        if (noise == kNoiseUnset || noise == kNoiseOff) noise = 1;
    }
    int state = mode == -3 ? 1 : -mode;
    if (n == -1) {
        noise = state;
        legacySeed = 1;
    }
    uint32_t first = static_cast<uint32_t>(rand15());
    uint32_t d = (first << 15) ^ static_cast<uint32_t>(rand15());
    uint64_t performance = sources_.performanceCounter();
    counterWord = static_cast<uint32_t>(performance >> 2) ^ (counterWord << 5);
    if (state == 1) {
        d ^= counterWord & 0x3FFFFFFFu;
    } else if (state == 32 && n == -32) {
        return static_cast<int32_t>(counterWord);
    } else if (state == 33 && n == -33) {
        counterWord = static_cast<uint32_t>(sources_.timeStampCounter());
        return static_cast<int32_t>(counterWord);
    } else if (state == 34 && n == -34) {
        return static_cast<uint32_t>(performance);
    }
    return d * (1.0 / 1073741824.0);
}

double RandomGenerators::random(int32_t n, int32_t mode) {
    int32_t internal = mode;
    if (mode == 0) {
        internal = noise == kNoiseOff ? -1 : 0;
    } else if (mode > 0 || mode < -100) {
        noise = kNoiseOff;
    } else if (mode >= -5) {
        internal = mode == -1 ? 0 : mode;
        if (noise == kNoiseOff) internal = -6;  // leaving the reproducible sequence: seed from the clock
        noise = 1;
    }
    double u = 0;
    fill(randomState, internal, kElemDouble, 1, &u, false);
    double result = u;
    if (n > 0) {
        double k = std::trunc((static_cast<double>(n) + 1) * u);
        result = k > n ? n : k;
    }
    if (n < 0 && mode <= -2) {
        result = legacyNoise(n, mode);
        rand15();
        rand15();
    }
    return result;
}

namespace {

// The generators of one interpreter, seeded from the system's sources.
struct RandomState : FamilyState {
    RandomSources sources;
    RandomGenerators generators{sources};
};

}  // namespace

RandomGenerators& interpreterGenerators(Interpreter& ip) { return ip.state<RandomState>().generators; }

void fillRandom(Interpreter& ip, int32_t mode, int elementType, int64_t count, void* elements,
                bool signedValues) {
    RandomGenerators& g = interpreterGenerators(ip);
    g.fill(g.sharedState, mode, elementType, count, elements, signedValues);
}

namespace {

// Random(n, mode)
Error randomFunction(Interpreter& ip, CallArgs& args, MCVal& result) {
    int32_t n = args.present(0) ? toInt32Saturated(args.number(0)) : 0;
    int32_t mode = args.integer(1);
    result.setReal(interpreterGenerators(ip).random(n, mode));
    return kOk;
}

}  // namespace

constexpr CommandRow kRandomRows[] = {
    {cmd::Random, randomFunction},
};

void registerRandomFunctions(Interpreter& ip) { ip.install({"numeric/random", kRandomRows}); }

}  // namespace tvx::builtins
