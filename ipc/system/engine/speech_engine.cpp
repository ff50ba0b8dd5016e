// The speech engines behind Say and SpeechInput: espeak-ng and pocketsphinx
// with its US English model. Built as libtvxspeech.so and loaded on first use
// (see ipc/system/speech_engine.h).
#include <strings.h>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "ipc/system/speech_engine.h"

#if defined(TOLVEX_HAVE_ESPEAK)
#include <espeak-ng/speak_lib.h>
#endif
#if defined(TOLVEX_HAVE_POCKETSPHINX)
#include <pocketsphinx.h>
#include <sphinxbase/err.h>
#endif

namespace tvx::ipc::speech {

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

bool synthesize(const std::string& utf8, const VoiceRequest& request, sound::Clip& clip) {
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
    espeak_ERROR err =
        espeak_Synth(utf8.c_str(), utf8.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, &clip);
    espeak_Synchronize();
    return err == EE_OK;
#else
    (void)utf8, (void)request;
    return false;
#endif
}

#if defined(TOLVEX_HAVE_POCKETSPHINX)

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

struct Decoder {
    ps_decoder_t* ps = nullptr;
    cmd_ln_t* config = nullptr;
    ~Decoder() {
        if (ps) ps_free(ps);
        if (config) cmd_ln_free_r(config);
    }
};

void* loadRecognizer(const std::vector<std::string>& phrases) {
    static std::once_flag quiet;
    std::call_once(quiet, [] { err_set_logfp(nullptr); });
    auto d = std::make_unique<Decoder>();
    std::string hmm = std::string(kModel) + "/en-us";
    std::string lm = std::string(kModel) + "/en-us.lm.bin";
    std::string dict = std::string(kModel) + "/cmudict-en-us.dict";
    d->config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.c_str(), "-lm", lm.c_str(), "-dict",
                            dict.c_str(), "-logfn", "/dev/null", nullptr);
    if (!d->config) return nullptr;
    d->ps = ps_init(d->config);
    if (!d->ps) return nullptr;
    std::string grammar = grammarOf(phrases);
    if (!grammar.empty() &&
        (ps_set_jsgf_string(d->ps, "phrases", grammar.c_str()) != 0 || ps_set_search(d->ps, "phrases") != 0))
        return nullptr;
    return d.release();
}

void freeRecognizer(void* r) { delete static_cast<Decoder*>(r); }
void startUtterance(void* r) { ps_start_utt(static_cast<Decoder*>(r)->ps); }
bool feed(void* r, const int16_t* samples, size_t count) {
    ps_decoder_t* ps = static_cast<Decoder*>(r)->ps;
    ps_process_raw(ps, samples, count, FALSE, FALSE);
    return ps_get_in_speech(ps) != 0;
}
std::string endUtterance(void* r) {
    ps_decoder_t* ps = static_cast<Decoder*>(r)->ps;
    ps_end_utt(ps);
    const char* hyp = ps_get_hyp(ps, nullptr);
    return hyp ? hyp : "";
}

#else

void* loadRecognizer(const std::vector<std::string>&) { return nullptr; }
void freeRecognizer(void*) {}
void startUtterance(void*) {}
bool feed(void*, const int16_t*, size_t) { return false; }
std::string endUtterance(void*) { return {}; }

#endif

constexpr Engine kEngine{synthesize, loadRecognizer, freeRecognizer, startUtterance, feed, endUtterance};

}  // namespace
}  // namespace tvx::ipc::speech

extern "C" __attribute__((visibility("default"))) const tvx::ipc::speech::Engine* tvxSpeechEngine() {
    return &tvx::ipc::speech::kEngine;
}
