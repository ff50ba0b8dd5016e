#include "ipc/system/sound.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <mutex>

#if defined(TOLVEX_HAVE_ALSA)
#include <alsa/asoundlib.h>
#endif

namespace tvx::ipc::sound {

int16_t toneSample(double frequency, int rate, size_t i, size_t n) {
    const double ramp = rate * 0.005;  // 5 ms
    double gain = std::min({1.0, static_cast<double>(i) / ramp, static_cast<double>(n - 1 - i) / ramp});
    double phase = std::fmod(frequency * static_cast<double>(i) / rate, 1.0);
    return static_cast<int16_t>(std::lround(12000 * gain * std::sin(2 * M_PI * phase)));
}

Clip tone(double frequency, double milliseconds, int rate) {
    Clip clip;
    clip.rate = rate;
    if (!(milliseconds > 0) || !(frequency > 0)) return clip;
    size_t n = static_cast<size_t>(std::min(milliseconds, 60000.0) / 1000.0 * rate);
    clip.samples.resize(n);
    for (size_t i = 0; i < n; ++i) clip.samples[i] = toneSample(frequency, rate, i, n);
    return clip;
}

namespace {

void put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8 & 0xFF);
}
void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
uint32_t get16(const unsigned char* p) { return p[0] | p[1] << 8; }
uint32_t get32(const unsigned char* p) { return get16(p) | get16(p + 2) << 16; }

}  // namespace

bool writeWave(const std::string& path, const Clip& clip) {
    uint32_t bytes = static_cast<uint32_t>(clip.samples.size() * 2);
    std::string header = "RIFF";
    put32(header, 36 + bytes);
    header += "WAVEfmt ";
    put32(header, 16);
    put16(header, 1);  // PCM
    put16(header, 1);  // mono
    put32(header, static_cast<uint32_t>(clip.rate));
    put32(header, static_cast<uint32_t>(clip.rate) * 2);
    put16(header, 2);
    put16(header, 16);
    header += "data";
    put32(header, bytes);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    for (int16_t s : clip.samples) {
        char le[2] = {static_cast<char>(s & 0xFF), static_cast<char>((s >> 8) & 0xFF)};
        out.write(le, 2);
    }
    return static_cast<bool>(out);
}

bool readWave(const std::string& path, Clip& clip) {
    std::ifstream in(path, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto* p = reinterpret_cast<const unsigned char*>(data.data());
    if (data.size() < 12 || data.compare(0, 4, "RIFF") || data.compare(8, 4, "WAVE")) return false;
    int channels = 0, bits = 0;
    for (size_t at = 12; at + 8 <= data.size();) {
        std::string id = data.substr(at, 4);
        size_t size = get32(p + at + 4);
        size_t body = at + 8;
        if (body + size > data.size()) size = data.size() - body;
        if (id == "fmt " && size >= 16) {
            if (get16(p + body) != 1) return false;
            channels = static_cast<int>(get16(p + body + 2));
            clip.rate = static_cast<int>(get32(p + body + 4));
            bits = static_cast<int>(get16(p + body + 14));
        } else if (id == "data" && channels > 0 && bits == 16) {
            size_t frames = size / (2 * static_cast<size_t>(channels));
            clip.samples.resize(frames);
            for (size_t i = 0; i < frames; ++i)
                clip.samples[i] =
                    static_cast<int16_t>(get16(p + body + i * 2 * static_cast<size_t>(channels)));
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

Clip resample(const Clip& clip, int rate) {
    Clip out;
    out.rate = rate;
    if (clip.samples.empty() || clip.rate <= 0 || rate <= 0) return out;
    size_t n = static_cast<size_t>(static_cast<double>(clip.samples.size()) * rate / clip.rate);
    out.samples.resize(n);
    // A windowed sinc; going down, its cut-off is the new rate's half, so
    // nothing above it folds back into the band.
    const double step = static_cast<double>(clip.rate) / rate;
    const double cutoff = std::min(1.0, 1.0 / step);
    const int half = 24;
    const long last = static_cast<long>(clip.samples.size()) - 1;
    for (size_t i = 0; i < n; ++i) {
        double at = static_cast<double>(i) * step;
        long centre = static_cast<long>(at);
        double sum = 0, weight = 0;
        for (long k = centre - half + 1; k <= centre + half; ++k) {
            double x = (at - static_cast<double>(k)) * cutoff;
            double sinc = x == 0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
            double window = 0.5 + 0.5 * std::cos(M_PI * (at - static_cast<double>(k)) / (half + 1));
            double w = sinc * window;
            sum += w * clip.samples[static_cast<size_t>(std::clamp(k, 0L, last))];
            weight += w;
        }
        out.samples[i] =
            static_cast<int16_t>(std::clamp(std::lround(weight != 0 ? sum / weight : 0), -32768L, 32767L));
    }
    return out;
}

#if defined(TOLVEX_HAVE_ALSA)

namespace {

// ALSA reports a missing card on standard error; a machine without sound is
// not an error here.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

snd_pcm_t* openPcm(snd_pcm_stream_t stream, int rate) {
    static std::once_flag quiet;
    std::call_once(quiet, [] { snd_lib_error_set_handler(quietAlsa); });
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", stream, SND_PCM_NONBLOCK) < 0) return nullptr;
    snd_pcm_nonblock(pcm, 0);
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                           static_cast<unsigned>(rate), 1, 100000) < 0) {
        snd_pcm_close(pcm);
        return nullptr;
    }
    return pcm;
}

}  // namespace

#endif

namespace {

// Streams n samples from next(i) to the device; the piece size is about 50 ms.
template <typename Next>
Played stream(size_t n, int rate, Next next, const std::function<bool()>& keepGoing) {
#if defined(TOLVEX_HAVE_ALSA)
    snd_pcm_t* pcm = openPcm(SND_PCM_STREAM_PLAYBACK, rate);
    if (!pcm) return Played::Nowhere;
    std::vector<int16_t> piece(static_cast<size_t>(std::max(1, rate / 20)));
    bool stopped = false;
    for (size_t at = 0; at < n && !stopped;) {
        size_t count = std::min(piece.size(), n - at);
        for (size_t k = 0; k < count; ++k) piece[k] = next(at + k);
        size_t done = 0;
        while (done < count) {
            snd_pcm_sframes_t written = snd_pcm_writei(pcm, piece.data() + done, count - done);
            if (written < 0 && snd_pcm_recover(pcm, static_cast<int>(written), 1) < 0) {
                stopped = true;
                break;
            }
            if (written > 0) done += static_cast<size_t>(written);
        }
        at += count;
        stopped = stopped || !keepGoing();
    }
    if (stopped)
        snd_pcm_drop(pcm);
    else
        snd_pcm_drain(pcm);
    snd_pcm_close(pcm);
    return Played::Device;
#else
    (void)n, (void)rate, (void)next, (void)keepGoing;
    return Played::Nowhere;
#endif
}

}  // namespace

Played play(const Clip& clip, const std::string& waveFile, const std::function<bool()>& keepGoing) {
    if (!waveFile.empty()) return writeWave(waveFile, clip) ? Played::File : Played::Nowhere;
    return stream(
        clip.samples.size(), clip.rate, [&](size_t i) { return clip.samples[i]; }, keepGoing);
}

Played playTone(double frequency, double milliseconds, const std::string& waveFile,
                const std::function<bool()>& keepGoing) {
    const int rate = 22050;
    if (!waveFile.empty())
        return writeWave(waveFile, tone(frequency, milliseconds, rate)) ? Played::File : Played::Nowhere;
    if (!(milliseconds > 0) || !(frequency > 0)) return Played::Nowhere;
    size_t n = static_cast<size_t>(std::min(milliseconds, 1e10) / 1000.0 * rate);
    return stream(
        n, rate, [&](size_t i) { return toneSample(frequency, rate, i, n); }, keepGoing);
}

bool record(int rate, double seconds, const std::function<bool(const int16_t*, size_t)>& take) {
#if defined(TOLVEX_HAVE_ALSA)
    snd_pcm_t* pcm = openPcm(SND_PCM_STREAM_CAPTURE, rate);
    if (!pcm) return false;
    std::vector<int16_t> piece(static_cast<size_t>(rate / 10));
    size_t total = static_cast<size_t>(seconds * rate), got = 0;
    while (got < total) {
        snd_pcm_sframes_t n = snd_pcm_readi(pcm, piece.data(), piece.size());
        if (n < 0) n = snd_pcm_recover(pcm, static_cast<int>(n), 1) < 0 ? -1 : 0;
        if (n < 0) break;
        got += static_cast<size_t>(n);
        if (n > 0 && !take(piece.data(), static_cast<size_t>(n))) break;
    }
    snd_pcm_close(pcm);
    return true;
#else
    (void)rate, (void)seconds, (void)take;
    return false;
#endif
}

}  // namespace tvx::ipc::sound
