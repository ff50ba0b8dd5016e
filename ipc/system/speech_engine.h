// The speech engines (espeak-ng and pocketsphinx) live in a module of their
// own, libtvxspeech.so, loaded with the first Say or SpeechInput: the
// libraries behind them take longer to load than the whole program needs to
// run a short macro.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ipc/system/speech.h"

namespace tvx::ipc::speech {

struct Engine {
    // Speaks UTF-8 text into the clip; false when the synthesiser cannot start.
    bool (*synthesize)(const std::string& utf8, const VoiceRequest& request, sound::Clip& clip);
    // A recogniser of the phrases (none: dictation); null when it cannot load.
    void* (*loadRecognizer)(const std::vector<std::string>& phrases);
    void (*freeRecognizer)(void* recognizer);
    void (*startUtterance)(void* recognizer);
    // Feeds 16 kHz samples; true while speech goes on.
    bool (*feed)(void* recognizer, const int16_t* samples, size_t count);
    // The words recognised since startUtterance.
    std::string (*endUtterance)(void* recognizer);
};

// The module's entry point.
using EngineEntry = const Engine* (*)();
constexpr const char* kEngineEntry = "tvxSpeechEngine";
constexpr const char* kEngineModule = "libtvxspeech.so";

}  // namespace tvx::ipc::speech
