// Sound output for Beep and Say, and microphone input for SpeechInput.
//
// Sounds go to the file that section Sound of the settings names (WaveFile=:
// a WAV file, replaced by each sound: a record of what a batch job would have
// said), else to the default ALSA device. Without a sound device they are
// silent: nothing fails, nothing waits for one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tvx::ipc::sound {

// 16-bit mono samples at a sample rate.
struct Clip {
    std::vector<int16_t> samples;
    int rate = 22050;
    double seconds() const { return rate > 0 ? static_cast<double>(samples.size()) / rate : 0; }
};

// A sine tone with short ramps at both ends (no clicks); sample i of n.
int16_t toneSample(double frequency, int rate, size_t i, size_t n);
Clip tone(double frequency, double milliseconds, int rate = 22050);

// Writes the clip as a 16-bit mono WAV file; false when it cannot be written.
bool writeWave(const std::string& path, const Clip& clip);
// Reads a 16-bit PCM WAV file (the first channel of a multi-channel one).
bool readWave(const std::string& path, Clip& clip);

// The clip at another sample rate (band-limited: nothing folds back).
Clip resample(const Clip& clip, int rate);

enum class Played { Device, File, Nowhere };

// Plays the clip to its end; keepGoing is asked between pieces of about 50
// ms, and a false answer stops the sound.
Played play(const Clip& clip, const std::string& waveFile, const std::function<bool()>& keepGoing);
// Plays a tone of any length, made piece by piece (a file keeps at most its
// first minute).
Played playTone(double frequency, double milliseconds, const std::string& waveFile,
                const std::function<bool()>& keepGoing);

// Records from the default capture device (16 kHz mono) in pieces of about
// 100 ms, handing each to take until take returns false or the time is up.
// False when there is no capture device.
bool record(int rate, double seconds, const std::function<bool(const int16_t*, size_t)>& take);

}  // namespace tvx::ipc::sound
