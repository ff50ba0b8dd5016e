// Say, SpeechInput and Beep.
#include "ipc/system/speech.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include "interp/api.h"
#include "ipc/module.h"
#include "ipc/system/input.h"
#include "ipc/system/speech_engine.h"
#include "ipc/system/system.h"
#include "platform/clock.h"
#include "platform/ini.h"

namespace tvx::ipc {

namespace speech {

namespace {

std::string utf8Of(std::string_view bytes) {
    std::string out;
    for (uint32_t c : input::decodeText(bytes)) out += input::utf8Of(c);
    return out;
}

// The engines' module, loaded once per process; null when it is missing.
const Engine* engine() {
    static const Engine* loaded = []() -> const Engine* {
        void* module = openModule(kEngineModule);
        auto entry = module ? reinterpret_cast<EngineEntry>(dlsym(module, kEngineEntry)) : nullptr;
        return entry ? entry() : nullptr;
    }();
    return loaded;
}

}  // namespace

bool synthesize(std::string_view text, const VoiceRequest& request, sound::Clip& clip) {
    clip.samples.clear();
    const Engine* e = engine();
    return e && e->synthesize(utf8Of(text), request, clip);
}

Recognizer::Recognizer() = default;

Recognizer::~Recognizer() {
    if (handle_) engine()->freeRecognizer(handle_);
}

bool Recognizer::load(const std::vector<std::string>& phrases) {
    const Engine* e = engine();
    if (!e) return false;
    if (handle_) e->freeRecognizer(handle_);
    handle_ = e->loadRecognizer(phrases);
    return handle_ != nullptr;
}

std::string Recognizer::decode(const sound::Clip& audio) {
    if (!handle_) return {};
    // In pieces of 100 ms, as the microphone delivers them: the decoder then
    // follows the level of the speech as it goes.
    const Engine* e = engine();
    e->startUtterance(handle_);
    for (size_t at = 0; at < audio.samples.size(); at += 1600)
        e->feed(handle_, audio.samples.data() + at, std::min<size_t>(1600, audio.samples.size() - at));
    return e->endUtterance(handle_);
}

std::string Recognizer::listen(double seconds, bool& hadDevice) {
    hadDevice = false;
    if (!handle_) return {};
    const Engine* e = engine();
    e->startUtterance(handle_);
    bool spoke = false;
    hadDevice = sound::record(16000, seconds, [&](const int16_t* samples, size_t n) {
        bool inSpeech = e->feed(handle_, samples, n);
        spoke = spoke || inSpeech;
        return !(spoke && !inSpeech);  // the first utterance has ended
    });
    std::string heard = e->endUtterance(handle_);
    return spoke ? heard : std::string();
}

}  // namespace speech

namespace {

using interp::CallArgs;
using interp::Error;
using interp::Interpreter;
using interp::kOk;
using interp::MCVal;

struct SpeechState : interp::FamilyState {
    speech::Recognizer recognizer;
    int loaded = -1;  // -1 not tried, 0 failed, 1 ready
};

// Plays a clip, serving the user interface meanwhile; a stopped macro stops the sound.
sound::Played playClip(Interpreter& ip, const sound::Clip& clip) {
    return sound::play(clip, settingFile(ip, "Sound", "WaveFile"), [&] {
        ip.pump(10);
        return ip.running();
    });
}

// Waits the rest of a sound's time where it went nowhere a person hears it,
// so that a macro timed by its sounds keeps its pace.
void waitOut(Interpreter& ip, double since, double milliseconds) {
    double end = since + milliseconds / 1000.0;
    while (ip.running()) {
        double left = end - platform::monotonicSeconds();
        if (left <= 0) break;
        ip.pump(10);
        platform::sleepMs(static_cast<unsigned>(std::min(left * 1000, 10.0)) + 1);
    }
}

// Say text; rate, volume, required attributes, optional attributes
Error say(Interpreter& ip, CallArgs& args, MCVal&) {
    speech::VoiceRequest request;
    auto number = [&](int i) {
        return args.present(i) && args.form(i) == interp::kFormNumber ? args.l(i) : 0;
    };
    auto text = [&](int i) {
        return args.present(i) && args.form(i) == interp::kFormString ? std::string(args.text(i))
                                                                      : std::string();
    };
    int rate = number(1);
    request.rate = rate < 90 ? rate : rate - 100;
    request.volume = number(2);
    request.required = text(3);
    request.optional = text(4);
    sound::Clip clip;
    if (!speech::synthesize(args.text(0), request, clip)) {
        ip.results().error = -1;  // no speech engine
        return kOk;
    }
    playClip(ip, clip);
    return kOk;
}

// SpeechInput variable; time-out (ms, 1..60000, else 5000): the text of one
// spoken phrase, "" when nothing was recognised. Without a person to speak
// (batch mode) the host answers, as for an input box.
Error speechInput(Interpreter& ip, CallArgs& args, MCVal&) {
    std::string& out = *args.var(0).text;
    int32_t timeout = args.present(1) ? args.l(1) : 0;
    if (timeout < 1 || timeout > 60000) timeout = 5000;
    std::string answer;
    if (ip.host().answerSpeechInput(answer)) {
        out = answer;
        return kOk;
    }
    SpeechState& state = ip.state<SpeechState>();
    if (state.loaded < 0) {
        std::vector<std::string> phrases;
        std::string file = settingFile(ip, "Speech", "Phrases");
        if (!file.empty()) {
            std::ifstream in(file);
            for (std::string line; std::getline(in, line);)
                if (!line.empty()) phrases.push_back(line);
        }
        state.loaded = state.recognizer.load(phrases) ? 1 : 0;
    }
    out.clear();
    if (state.loaded != 1) {
        ip.results().error = -1;  // no recogniser
        return kOk;
    }
    bool device = false;
    out = state.recognizer.listen(timeout / 1000.0, device);
    if (!device) ip.results().error = -1;
    return kOk;
}

// Beep frequency; duration: 0 Hz is 3000 Hz; without a duration 1..6 play the
// system sounds and other frequencies sound for 200 ms.
Error beep(Interpreter& ip, CallArgs& args, MCVal&) {
    double frequency = args.present(0) ? static_cast<uint32_t>(args.l(0)) : 0;
    if (frequency == 0) frequency = 3000;
    double milliseconds = 200;
    if (args.present(1)) {
        milliseconds = static_cast<uint32_t>(args.l(1));
    } else if (frequency >= 1 && frequency <= 6) {
        // The system sounds: the simple beep, OK, hand, question, exclamation, asterisk.
        static const double kSound[6][2] = {{880, 120}, {660, 150}, {330, 300},
                                            {990, 180}, {550, 250}, {1320, 120}};
        milliseconds = kSound[static_cast<int>(frequency) - 1][1];
        frequency = kSound[static_cast<int>(frequency) - 1][0];
    }
    // Frequencies a speaker cannot make (as Windows's Beep) are silent.
    if (frequency < 37 || frequency > 32767) return kOk;
    double start = platform::monotonicSeconds();
    sound::Played played =
        sound::playTone(frequency, milliseconds, settingFile(ip, "Sound", "WaveFile"), [&] {
            ip.pump(10);
            return ip.running();
        });
    if (played != sound::Played::Device) waitOut(ip, start, milliseconds);
    return kOk;
}

constexpr interp::CommandRow kSpeechRows[] = {
    {interp::cmd::Say, say},
    {interp::cmd::SpeechInput, speechInput},
    {interp::cmd::Beep, beep},
};

}  // namespace

void registerSpeechCommands(Interpreter& ip) { ip.install({"system/speech", kSpeechRows}); }

}  // namespace tvx::ipc
