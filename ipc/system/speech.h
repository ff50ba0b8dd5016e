// Speech output (Say, through espeak-ng) and input (SpeechInput, through
// pocketsphinx with its US English model).
#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "ipc/system/sound.h"

namespace tvx::ipc::speech {

struct VoiceRequest {
    int rate = 0;          // -10..10 (0: the normal rate)
    int volume = 0;        // 1..100 (0: the normal volume)
    std::string required;  // voice attributes: "Gender=Female;Language=409;Name=...;Age=Adult"
    std::string optional;
};

// The speaking rate for a rate of -10..10: the normal 175 words per minute
// times 3 to the power rate / 10 (a third as fast .. three times as fast),
// within what the synthesiser makes (80..450).
inline int wordsPerMinute(int rate) {
    double wpm = 175.0 * std::pow(3.0, rate / 10.0);
    return static_cast<int>(std::lround(std::clamp(wpm, 80.0, 450.0)));
}

// Speaks text (Windows-1252 or UTF-8 bytes) into a clip. False when the
// speech engine cannot be started (or the program was built without one).
// Voices that meet every required attribute are chosen by the optional ones
// too; when none meets them the default voice speaks.
bool synthesize(std::string_view text, const VoiceRequest& request, sound::Clip& clip);

// One recogniser with its models loaded (a second or two, so it is kept).
class Recognizer {
public:
    Recognizer();
    ~Recognizer();
    Recognizer(const Recognizer&) = delete;
    Recognizer& operator=(const Recognizer&) = delete;
    // Loads the models: the phrase list when one is given (one phrase per
    // entry; recognition is then reliable), else the dictation language
    // model (free text, much less reliable). False without a recogniser.
    bool load(const std::vector<std::string>& phrases);
    // The text of the first utterance in 16 kHz audio ("" when none).
    std::string decode(const sound::Clip& audio);
    // Listens on the capture device up to seconds for one utterance.
    std::string listen(double seconds, bool& hadDevice);

private:
    void* handle_ = nullptr;  // the engine's recogniser
};

}  // namespace tvx::ipc::speech
