// Say, Beep and SpeechInput: speech of plausible length in a WAV file, tones
// of the right pitch and length, and the recogniser on synthesised phrases.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "ipc/system/sound.h"
#include "ipc/system/speech.h"
#include "tests/unit/ipc/IpcMacroRun.h"

namespace tvx::ipc::speech {
namespace {

// Upward zero crossings per second: the pitch of a pure tone.
double pitchOf(const sound::Clip& clip) {
    int crossings = 0;
    for (size_t i = 1; i < clip.samples.size(); ++i)
        if (clip.samples[i - 1] < 0 && clip.samples[i] >= 0) ++crossings;
    return crossings / clip.seconds();
}

TEST(Speech, RatesAsWordsPerMinute) {
    EXPECT_EQ(wordsPerMinute(0), 175);
    EXPECT_EQ(wordsPerMinute(5), 303);
    EXPECT_EQ(wordsPerMinute(10), 450);  // 525 is beyond the engine
    EXPECT_EQ(wordsPerMinute(-10), 80);
}

TEST(Speech, SynthesisedSpeechHasAPlausibleLengthAndRate) {
    sound::Clip normal, fast, anyVoice;
    if (!synthesize("The measurement is complete. Please remove the sample.", {}, normal))
        GTEST_SKIP() << "no speech engine";
    // About 9 words at 175 words per minute: roughly three seconds.
    EXPECT_GT(normal.seconds(), 1.5);
    EXPECT_LT(normal.seconds(), 6.0);
    VoiceRequest quick;
    quick.rate = 8;
    ASSERT_TRUE(synthesize("The measurement is complete. Please remove the sample.", quick, fast));
    EXPECT_LT(fast.seconds(), normal.seconds() * 0.75);
    // Attributes no voice has: the default voice speaks all the same.
    VoiceRequest odd;
    odd.required = "Language=4FF;Name=Nobody";
    odd.optional = "Gender=Female";
    ASSERT_TRUE(synthesize("Hello", odd, anyVoice));
    EXPECT_GT(anyVoice.seconds(), 0.2);
    // Windows-1252 text is spoken as text (not as broken bytes).
    sound::Clip german;
    VoiceRequest de;
    de.required = "Language=407";
    ASSERT_TRUE(
        synthesize("Gr\xfc\xdf"
                   "e",
                   de, german));
    EXPECT_GT(german.seconds(), 0.2);
}

class SoundCommands : public testing::IpcMacroRun {
protected:
    void SetUp() override {
        IpcMacroRun::SetUp();
        settings("[Sound]\nWaveFile=sound.wav\n");
    }
    sound::Clip written() {
        sound::Clip clip;
        EXPECT_TRUE(sound::readWave((dir / "sound.wav").string(), clip));
        return clip;
    }
};

TEST_F(SoundCommands, BeepsHaveTheirPitchAndLength) {
    run("Beep 440, 300\n");
    sound::Clip clip = written();
    EXPECT_NEAR(clip.seconds(), 0.3, 0.01);
    EXPECT_NEAR(pitchOf(clip), 440, 10);
    run("Beep 0\n");  // 3000 Hz for 200 ms
    clip = written();
    EXPECT_NEAR(clip.seconds(), 0.2, 0.01);
    EXPECT_NEAR(pitchOf(clip), 3000, 30);
    std::filesystem::remove(dir / "sound.wav");
    run("Beep 20, 100\n");  // below what a speaker makes: silent
    EXPECT_FALSE(std::filesystem::exists(dir / "sound.wav"));
}

TEST_F(SoundCommands, SayWritesTheSpeech) {
    sound::Clip probe;
    if (!synthesize("x", {}, probe)) GTEST_SKIP() << "no speech engine";
    run("Say \"Ready for the next sample\", 0, 80\n");
    sound::Clip clip = written();
    EXPECT_GT(clip.seconds(), 0.8);
    EXPECT_LT(clip.seconds(), 5.0);
    run("Say \"Ready for the next sample\", 97\n");  // 97 is rate -3: slower
    EXPECT_GT(written().seconds(), clip.seconds());
}

TEST_F(SoundCommands, SpeechInputWithoutAMicrophoneHearsNothing) {
    // The test host answers nothing; with no capture device (or silence)
    // nothing is recognised within the time-out.
    EXPECT_EQ(shown("s = \"before\"\nSpeechInput s, 300\n?s\n"), "\"\"");
}

// The recogniser on speech synthesised for it: reliable for a list of phrases.
TEST(Recognition, FixedPhrasesAreRecognised) {
    Recognizer recognizer;
    std::vector<std::string> phrases = {
        "start measurement", "stop measurement", "open the door", "next sample", "yes", "no"};
    if (!recognizer.load(phrases)) GTEST_SKIP() << "no recogniser";
    int right = 0;
    for (const std::string& phrase : phrases) {
        sound::Clip speech;
        if (!synthesize(phrase, {}, speech)) GTEST_SKIP() << "no speech engine";
        // Half a second of silence around the phrase, at the recogniser's 16 kHz.
        sound::Clip padded;
        padded.rate = speech.rate;
        padded.samples.assign(static_cast<size_t>(speech.rate / 2), 0);
        padded.samples.insert(padded.samples.end(), speech.samples.begin(), speech.samples.end());
        padded.samples.insert(padded.samples.end(), static_cast<size_t>(speech.rate / 2), 0);
        std::string heard = recognizer.decode(sound::resample(padded, 16000));
        std::printf("  \"%s\" -> \"%s\"\n", phrase.c_str(), heard.c_str());
        right += heard == phrase;
    }
    // Synthetic speech is harder than a person's: most phrases, not all.
    EXPECT_GE(right, 4) << "of " << phrases.size();
}

}  // namespace
}  // namespace tvx::ipc::speech
