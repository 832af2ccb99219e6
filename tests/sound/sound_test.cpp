// The synthesised sounds (lengths, heights, clean ends, bigger clears bigger)
// and the mixer (panning, the limiter with everything at once, the queue).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sound/sound_bank.h"
#include "sound/sound_mixer.h"

namespace {

const SoundEvent ALL[] = {SoundEvent::PieceLocked,   SoundEvent::OneRow,     SoundEvent::TwoRows,
                          SoundEvent::ThreeRows,     SoundEvent::FourRows,   SoundEvent::GarbageArrived,
                          SoundEvent::PreviewBlank,  SoundEvent::PlayerOut,  SoundEvent::MatchStarted,
                          SoundEvent::PauseStarted,  SoundEvent::PauseEnded};
static_assert(sizeof ALL / sizeof ALL[0] == SOUND_EVENTS, "every event");

int32_t Peak(const int16_t* s, int32_t n, int step = 1) {
  int32_t peak = 0;
  for (int32_t i = 0; i < n; i += step) peak = std::max(peak, std::abs(static_cast<int32_t>(s[i])));
  return peak;
}

double Energy(const int16_t* s, int32_t n, int step = 1) {
  double e = 0;
  for (int32_t i = 0; i < n; i += step) e += static_cast<double>(s[i]) * s[i];
  return e;
}

// Mixes `frames` stereo frames (a whole number of 10 ms blocks).
std::vector<int16_t> Mix(int32_t frames) {
  std::vector<int16_t> out(2 * static_cast<size_t>(frames), static_cast<int16_t>(0x5a5a));
  for (int32_t at = 0; at < frames; at += 441) MixSound(out.data() + 2 * at, std::min(441, frames - at));
  return out;
}

class Sound : public ::testing::Test {
 protected:
  void SetUp() override {
    SynthesiseSounds();
    ResetMixer();
  }
};

}  // namespace

TEST_F(Sound, EachClipsLengthHeightAndEnds) {
  int32_t end = 0;
  for (SoundEvent e : ALL) {
    const int i = static_cast<int>(e);
    int32_t n = 0;
    const int16_t* clip = SoundClip(e, n);
    EXPECT_EQ(soundBank.start[i], end) << "clips follow each other, event " << i;
    end += n;
    EXPECT_GE(n, SOUND_RATE * 80 / 1000) << "event " << i;
    EXPECT_LE(n, SOUND_RATE) << "event " << i;
    const int32_t peak = Peak(clip, n);
    EXPECT_LE(peak, SOUND_CLIP_PEAK) << "event " << i;
    EXPECT_GE(peak, SOUND_CLIP_PEAK * 4 / 10) << "event " << i;
    // No click: the first and last millisecond stay quiet.
    EXPECT_LT(Peak(clip, 44), peak / 4) << "event " << i;
    EXPECT_LT(Peak(clip + n - 44, 44), peak / 8) << "event " << i;
  }
  EXPECT_EQ(end, soundBank.used);
  EXPECT_LE(soundBank.used, SOUND_BANK_SAMPLES);
  int32_t n = -1;
  EXPECT_EQ(nullptr, SoundClip(static_cast<SoundEvent>(SOUND_EVENTS), n));
  EXPECT_EQ(0, n);

  // The bigger the clear, the longer and the more energy.
  const SoundEvent rows[] = {SoundEvent::OneRow, SoundEvent::TwoRows, SoundEvent::ThreeRows, SoundEvent::FourRows};
  for (int k = 1; k < 4; ++k) {
    int32_t a = 0, b = 0;
    const int16_t* smaller = SoundClip(rows[k - 1], a);
    const int16_t* bigger = SoundClip(rows[k], b);
    EXPECT_LT(a, b) << k << " rows against " << k + 1;
    EXPECT_LT(Energy(smaller, a), Energy(bigger, b)) << k << " rows against " << k + 1;
  }

  // The same bytes every time.
  std::vector<int16_t> first(soundBank.samples, soundBank.samples + soundBank.used);
  std::memset(soundBank.samples, 0xbd, sizeof soundBank.samples);
  SynthesiseSounds();
  EXPECT_EQ(0, std::memcmp(first.data(), soundBank.samples, first.size() * 2));
}

TEST_F(Sound, PanningAndExactMixOfOneSound) {
  int32_t n = 0;
  const int16_t* clip = SoundClip(SoundEvent::FourRows, n);
  const int32_t frames = (n / 441 + 2) * 441;
  for (int p : {0, 1, MATCH_WIDE}) {
    ResetMixer();
    ASSERT_TRUE(PostSound(p, SoundEvent::FourRows, 77));
    const std::vector<int16_t> out = Mix(frames);
    const PanGains g = PanFor(p);
    // One voice alone is never limited: each side is the clip times its gain.
    for (int32_t i = 0; i < n; i += 97) {
      ASSERT_NEAR(clip[i] * g.left, out[2 * i], 1.0) << "player " << p << " sample " << i;
      ASSERT_NEAR(clip[i] * g.right, out[2 * i + 1], 1.0) << "player " << p << " sample " << i;
    }
    EXPECT_EQ(0, Peak(out.data() + 2 * n, 2 * (frames - n))) << "silence after the clip, player " << p;
    const double left = Energy(out.data(), frames, 2), right = Energy(out.data() + 1, frames, 2);
    if (p == 0) {
      EXPECT_GT(left, 4 * right);
    } else if (p == 1) {
      EXPECT_GT(right, 4 * left);
    } else {
      EXPECT_EQ(left, right);
    }
  }
}

TEST_F(Sound, EverythingAtOnceNeverClips) {
  // Every sound from every side: more than the voices, so the newest take
  // the oldest voices; the limiter holds the sum.
  for (int p : {0, 1, MATCH_WIDE}) {
    for (SoundEvent e : ALL) ASSERT_TRUE(PostSound(p, e, 1));
  }
  const std::vector<int16_t> out = Mix(SOUND_RATE);
  const int32_t peak = Peak(out.data(), static_cast<int32_t>(out.size()));
  EXPECT_LE(peak, MIXER_CEILING);
  EXPECT_GE(peak, MIXER_CEILING * 9 / 10) << "limited, not silenced";
  EXPECT_GT(soundMixer.limiterCut, 0.0f);

  // After the crowd has ended, a lone sound plays at full height again.
  Mix(SOUND_RATE);
  PostSound(0, SoundEvent::FourRows, 1);
  const std::vector<int16_t> alone = Mix(SOUND_RATE);
  EXPECT_NEAR(0.9 * SOUND_CLIP_PEAK, Peak(alone.data(), 2 * SOUND_RATE, 2), 0.01 * SOUND_CLIP_PEAK);
}

TEST_F(Sound, TheQueue) {
  // Stamps: the earliest of those started is handed back, once. Quiet (the
  // output may pause) only when nothing waits and the last voice has ended.
  EXPECT_TRUE(MixerQuiet());
  PostSound(1, SoundEvent::PieceLocked, 500);
  EXPECT_FALSE(MixerQuiet());
  PostSound(0, SoundEvent::OneRow, 300);
  int16_t block[2 * 441];
  EXPECT_EQ(300u, MixSound(block, 441));
  EXPECT_EQ(0u, MixSound(block, 441));
  EXPECT_FALSE(MixerQuiet()) << "still sounding";
  int32_t n = 0;
  SoundClip(SoundEvent::OneRow, n);
  for (int32_t mixed = 2 * 441; mixed < n; mixed += 441) MixSound(block, 441);
  EXPECT_TRUE(MixerQuiet());

  // Silence ends every voice at once; what is asked after it plays.
  PostSilence();
  EXPECT_EQ(0u, MixSound(block, 441));
  EXPECT_EQ(0, Peak(block, 2 * 441));
  PostSilence();
  PostSound(MATCH_WIDE, SoundEvent::MatchStarted, 9);
  EXPECT_EQ(9u, MixSound(block, 441));
  EXPECT_GT(Peak(block, 2 * 441), 0);

  // With the device closed, silences alone leave all quiet (the device stays
  // closed); a sound behind one still plays, and a voice still sounding is
  // not passed over.
  ResetMixer();
  PostSilence();
  PostSilence();
  EXPECT_TRUE(SettleQuiet());
  PostSilence();
  PostSound(1, SoundEvent::PieceLocked, 7);
  EXPECT_FALSE(SettleQuiet());
  EXPECT_EQ(7u, MixSound(block, 441));
  PostSilence();
  EXPECT_FALSE(SettleQuiet()) << "the voice is still sounding";
  EXPECT_EQ(0u, MixSound(block, 441));
  EXPECT_EQ(0, Peak(block, 2 * 441));

  // A full queue drops the newest request, and takes requests again once read.
  ResetMixer();
  for (int i = 0; i < SOUND_QUEUE; ++i) ASSERT_TRUE(PostSound(0, SoundEvent::PieceLocked, 100 + i));
  EXPECT_FALSE(PostSound(0, SoundEvent::PlayerOut, 1));
  EXPECT_EQ(100u, MixSound(block, 441));
  EXPECT_TRUE(PostSound(0, SoundEvent::PlayerOut, 1));

  // A request for a value outside the events starts nothing.
  ResetMixer();
  PostSound(0, static_cast<SoundEvent>(SOUND_EVENTS), 5);
  EXPECT_EQ(0u, MixSound(block, 441));
  EXPECT_EQ(0, Peak(block, 2 * 441));
}
