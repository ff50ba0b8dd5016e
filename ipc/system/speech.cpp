// Say, SpeechInput and Beep.
#include "ipc/system/speech.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include "interp/api.h"
#include "ipc/system/input.h"
#include "ipc/system/system.h"
#include "platform/clock.h"

#if defined(TOLVEX_HAVE_ESPEAK)
#include <espeak-ng/speak_lib.h>
#endif
#if defined(TOLVEX_HAVE_POCKETSPHINX)
#include <pocketsphinx.h>
#include <sphinxbase/err.h>
#endif

namespace tvx::ipc {

namespace speech {

int wordsPerMinute(int rate) {
    double wpm = 175.0 * std::pow(3.0, rate / 10.0);
    return static_cast<int>(std::lround(std::clamp(wpm, 80.0, 450.0)));
}

namespace {

// One attribute list, "Key=Value;Key=Value".
struct Attributes {
    std::string name, language;
    int gender = 0;  // 1 male, 2 female
    int age = 0;
};

// The language of a Windows language id (hexadecimal, as voice attributes write it).
std::string languageOf(std::string_view hex) {
    unsigned long id = std::strtoul(std::string(hex).c_str(), nullptr, 16);
    if (id == 0x809) return "en-gb";
    if (id == 0x409) return "en-us";
    if (id == 0x416) return "pt-br";
    static const struct {
        unsigned primary;
        const char* language;
    } kPrimary[] = {{0x09, "en"}, {0x07, "de"}, {0x0C, "fr"}, {0x10, "it"},  {0x0A, "es"}, {0x13, "nl"},
                    {0x16, "pt"}, {0x19, "ru"}, {0x11, "ja"}, {0x04, "cmn"}, {0x12, "ko"}, {0x1D, "sv"},
                    {0x06, "da"}, {0x14, "nb"}, {0x0B, "fi"}, {0x15, "pl"},  {0x05, "cs"}, {0x0E, "hu"},
                    {0x1F, "tr"}, {0x08, "el"}, {0x01, "ar"}, {0x0D, "he"},  {0x18, "ro"}, {0x1B, "sk"}};
    for (const auto& p : kPrimary)
        if ((id & 0x3FF) == p.primary) return p.language;
    return {};
}

Attributes parseAttributes(std::string_view text) {
    Attributes a;
    while (!text.empty()) {
        size_t semi = text.find(';');
        std::string_view item = text.substr(0, semi);
        text.remove_prefix(semi == std::string_view::npos ? text.size() : semi + 1);
        size_t eq = item.find('=');
        if (eq == std::string_view::npos) continue;
        std::string key(item.substr(0, eq)), value(item.substr(eq + 1));
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string lower = value;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (key == "name") a.name = value;
        if (key == "language") a.language = languageOf(value.substr(0, value.find(';')));
        if (key == "gender") a.gender = lower == "male" ? 1 : lower == "female" ? 2 : 0;
        if (key == "age")
            a.age = lower == "child"    ? 10
                    : lower == "teen"   ? 15
                    : lower == "senior" ? 70
                    : lower == "adult"  ? 30
                                        : 0;
    }
    return a;
}

std::string utf8Of(std::string_view bytes) {
    std::string out;
    for (uint32_t cp : input::decodeText(bytes)) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | cp >> 6);
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | cp >> 12);
            out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | cp >> 18);
            out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

#if defined(TOLVEX_HAVE_ESPEAK)

// The engine keeps one voice and one output for the whole process: every use
// holds this lock.
std::mutex& engineLock() {
    static std::mutex lock;
    return lock;
}

int collect(short* samples, int count, espeak_EVENT* events) {
    auto* clip = events ? static_cast<sound::Clip*>(events->user_data) : nullptr;
    if (clip && samples && count > 0) clip->samples.insert(clip->samples.end(), samples, samples + count);
    return 0;
}

// True when a voice meets the attributes (an empty list is met by any voice).
bool voiceExists(const Attributes& a) {
    if (!a.name.empty()) {
        for (const espeak_VOICE** v = espeak_ListVoices(nullptr); v && *v; ++v)
            if ((*v)->name && strcasecmp((*v)->name, a.name.c_str()) == 0) return true;
        return false;
    }
    if (a.language.empty()) return true;
    espeak_VOICE spec{};
    spec.languages = a.language.c_str();
    const espeak_VOICE** found = espeak_ListVoices(&spec);
    return found && *found;
}

void chooseVoice(const VoiceRequest& request) {
    espeak_SetVoiceByName("en-us");
    if (request.required.empty() && request.optional.empty()) return;
    Attributes required = parseAttributes(request.required);
    Attributes optional = parseAttributes(request.optional);
    if (!voiceExists(required)) return;  // no voice meets them: the default speaks
    Attributes best = required;
    if (best.name.empty() && best.language.empty() && voiceExists(optional)) {
        best.name = optional.name;
        best.language = optional.language;
    }
    if (!best.gender) best.gender = optional.gender;
    if (!best.age) best.age = optional.age;
    if (!best.name.empty()) {
        espeak_SetVoiceByName(best.name.c_str());
        return;
    }
    espeak_VOICE spec{};
    spec.languages = best.language.empty() ? "en-us" : best.language.c_str();
    spec.gender = static_cast<unsigned char>(best.gender);
    spec.age = static_cast<unsigned char>(best.age);
    espeak_SetVoiceByProperties(&spec);
}

#endif

}  // namespace

bool synthesize(std::string_view text, const VoiceRequest& request, sound::Clip& clip) {
    clip.samples.clear();
#if defined(TOLVEX_HAVE_ESPEAK)
    std::lock_guard<std::mutex> hold(engineLock());
    static int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, 0);
    if (rate <= 0) return false;
    clip.rate = rate;
    espeak_SetSynthCallback(collect);
    chooseVoice(request);
    int r = request.rate;
    espeak_SetParameter(espeakRATE, r != 0 && r >= -10 && r <= 10 ? wordsPerMinute(r) : espeakRATE_NORMAL, 0);
    espeak_SetParameter(espeakVOLUME, request.volume >= 1 && request.volume <= 100 ? request.volume : 100, 0);
    std::string utf8 = utf8Of(text);
    espeak_ERROR err =
        espeak_Synth(utf8.c_str(), utf8.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, &clip);
    espeak_Synchronize();
    return err == EE_OK;
#else
    (void)text, (void)request;
    return false;
#endif
}

// ---- Recognition

#if defined(TOLVEX_HAVE_POCKETSPHINX)

struct Recognizer::Decoder {
    ps_decoder_t* ps = nullptr;
    cmd_ln_t* config = nullptr;
    ~Decoder() {
        if (ps) ps_free(ps);
        if (config) cmd_ln_free_r(config);
    }
};

namespace {

constexpr const char* kModel = "/usr/share/pocketsphinx/model/en-us";

// A JSGF grammar of the phrases (lower case, only letters, digits, blanks and
// apostrophes kept).
std::string grammarOf(const std::vector<std::string>& phrases) {
    std::string g = "#JSGF V1.0;\ngrammar tolvex;\npublic <phrase> = ";
    bool first = true;
    for (const std::string& phrase : phrases) {
        std::string clean;
        for (char c : phrase) {
            unsigned char u = static_cast<unsigned char>(c);
            if (std::isalnum(u) || c == '\'')
                clean += static_cast<char>(std::tolower(u));
            else if (!clean.empty() && clean.back() != ' ')
                clean += ' ';
        }
        while (!clean.empty() && clean.back() == ' ') clean.pop_back();
        if (clean.empty()) continue;
        g += first ? "" : " | ";
        g += clean;
        first = false;
    }
    return first ? std::string() : g + ";\n";
}

}  // namespace

Recognizer::Recognizer() = default;
Recognizer::~Recognizer() = default;

bool Recognizer::load(const std::vector<std::string>& phrases) {
    decoder_.reset();
    static std::once_flag quiet;
    std::call_once(quiet, [] { err_set_logfp(nullptr); });
    auto d = std::make_unique<Decoder>();
    std::string hmm = std::string(kModel) + "/en-us";
    std::string lm = std::string(kModel) + "/en-us.lm.bin";
    std::string dict = std::string(kModel) + "/cmudict-en-us.dict";
    d->config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.c_str(), "-lm", lm.c_str(), "-dict",
                            dict.c_str(), "-logfn", "/dev/null", nullptr);
    if (!d->config) return false;
    d->ps = ps_init(d->config);
    if (!d->ps) return false;
    std::string grammar = grammarOf(phrases);
    if (!grammar.empty()) {
        if (ps_set_jsgf_string(d->ps, "phrases", grammar.c_str()) != 0 ||
            ps_set_search(d->ps, "phrases") != 0)
            return false;
    }
    decoder_ = std::move(d);
    return true;
}

std::string Recognizer::decode(const sound::Clip& audio) {
    if (!decoder_) return {};
    ps_decoder_t* ps = decoder_->ps;
    // In pieces of 100 ms, as the microphone delivers them: the decoder then
    // follows the level of the speech as it goes.
    ps_start_utt(ps);
    for (size_t at = 0; at < audio.samples.size(); at += 1600)
        ps_process_raw(ps, audio.samples.data() + at, std::min<size_t>(1600, audio.samples.size() - at),
                       FALSE, FALSE);
    ps_end_utt(ps);
    const char* hyp = ps_get_hyp(ps, nullptr);
    return hyp ? hyp : "";
}

std::string Recognizer::listen(double seconds, bool& hadDevice) {
    hadDevice = false;
    if (!decoder_) return {};
    ps_decoder_t* ps = decoder_->ps;
    ps_start_utt(ps);
    bool spoke = false, done = false;
    hadDevice = sound::record(16000, seconds, [&](const int16_t* samples, size_t n) {
        ps_process_raw(ps, samples, n, FALSE, FALSE);
        bool inSpeech = ps_get_in_speech(ps);
        if (inSpeech) spoke = true;
        done = spoke && !inSpeech;  // the first utterance has ended
        return !done;
    });
    ps_end_utt(ps);
    const char* hyp = ps_get_hyp(ps, nullptr);
    return spoke && hyp ? hyp : "";
}

#else

struct Recognizer::Decoder {};
Recognizer::Recognizer() = default;
Recognizer::~Recognizer() = default;
bool Recognizer::load(const std::vector<std::string>&) { return false; }
std::string Recognizer::decode(const sound::Clip&) { return {}; }
std::string Recognizer::listen(double, bool& hadDevice) {
    hadDevice = false;
    return {};
}

#endif

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
