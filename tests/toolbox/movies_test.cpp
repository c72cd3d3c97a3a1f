// Sounds played as movies, on the recording sink and the virtual clock.
#include <gtest/gtest.h>

#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/movies.h"

using testsupport::ReadLines;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

void put16(std::string& s, unsigned v) { s += char(v & 0xFF), s += char(v >> 8); }
void put32(std::string& s, unsigned v) { put16(s, v & 0xFFFF), put16(s, v >> 16); }

// A 16-bit mono WAV of `frames` frames at `rate`; `claimed` overrides the
// data length its header gives (a file cut short).
std::string Wav(unsigned frames, unsigned rate, long claimed = -1) {
  unsigned bytes = frames * 2;
  std::string s = "RIFF";
  put32(s, 36 + bytes);
  s += "WAVEfmt ";
  put32(s, 16);
  put16(s, 1), put16(s, 1), put32(s, rate), put32(s, rate * 2), put16(s, 2), put16(s, 16);
  s += "data";
  put32(s, claimed >= 0 ? unsigned(claimed) : bytes);
  for (unsigned i = 0; i < frames; ++i) put16(s, (i / 10) % 2 ? 0x2000 : 0xE000);
  return s;
}

class Movies : public ::testing::Test {
 protected:
  TempDir dir;
  ScopedEnv mode{"TOOLBOX_SOUND", "record"};
  ScopedEnv recordFile{"TOOLBOX_RECORD_FILE", (dir.path() / "record.txt").c_str()};
  void SetUp() override {
    tb::UseVirtualClock(true);
    tb::ClearRecordedSounds();
    ASSERT_EQ(EnterMovies(), noErr);
  }
  void TearDown() override { tb::UseVirtualClock(false); }

  // What the status window's sound loader does: open, make the movie,
  // close the file again.
  OSErr load(const std::string& name, Movie* movie) {
    FSSpec spec;
    tb::PathToSpec((dir.path() / name).string(), &spec);
    short ref = -1;
    *movie = nullptr;
    OSErr err = OpenMovieFile(&spec, &ref, fsRdPerm);
    if (err != noErr) return err;
    err = NewMovieFromFile(movie, ref, nullptr, nullptr, newMovieActive, nullptr);
    EXPECT_EQ(CloseMovieFile(ref), noErr);
    return err;
  }
  // The idle step: served until done, a few ticks a pass; the passes taken.
  static int playOut(Movie m) {
    int passes = 0;
    while (!IsMovieDone(m) && passes < 1000) {
      MoviesTask(m, 0);
      tb::AdvanceTicks(5);
      ++passes;
    }
    return passes;
  }
};

TEST_F(Movies, PlayedStoppedRewoundAndServedToTheEnd) {
  WriteFile(dir.path() / "BEEP.WAV", Wav(8000, 8000));  // one second
  Movie m;
  ASSERT_EQ(load("BEEP.WAV", &m), noErr);
  EXPECT_EQ(tb::MovieDurationTicks(m), 60u);
  EXPECT_FALSE(IsMovieDone(m));

  // A pop-up: rewind, play, served from the idle loop until it ends.
  GoToBeginningOfMovie(m);
  StartMovie(m);
  int passes = playOut(m);
  EXPECT_GE(passes, 11);
  EXPECT_LE(passes, 13);
  EXPECT_TRUE(IsMovieDone(m));

  // Stopped halfway it is not done, and goes on from there when started.
  GoToBeginningOfMovie(m);
  StartMovie(m);
  tb::AdvanceTicks(30);
  MoviesTask(m, 0);
  StopMovie(m);
  tb::AdvanceTicks(600);  // time passes while stopped
  EXPECT_FALSE(IsMovieDone(m));
  StartMovie(m);
  passes = playOut(m);
  EXPECT_GE(passes, 5);
  EXPECT_LE(passes, 7);
  StopMovie(m);  // the window closes: stop (it ended already) and dispose
  DisposeMovie(m);

  tb::SoundRecord r = tb::RecordedSounds();
  EXPECT_EQ(r.played, 3);
  EXPECT_EQ(r.stopped, 1);
  EXPECT_EQ(r.rewound, 2);
  EXPECT_EQ(r.finished, 2);
  std::string file = (dir.path() / "BEEP.WAV").string();
  EXPECT_EQ(r.files, std::vector<std::string>(3, file));
  std::vector<std::string> want{"sound\trewind\t" + file, "sound\tplay\t" + file, "sound\tdone\t" + file,
                                "sound\trewind\t" + file, "sound\tplay\t" + file, "sound\tstop\t" + file,
                                "sound\tplay\t" + file,   "sound\tdone\t" + file};
  EXPECT_EQ(ReadLines(dir.path() / "record.txt"), want);

  // A disposed movie is refused, not touched.
  EXPECT_TRUE(IsMovieDone(m));
  EXPECT_EQ(GetMoviesError(), paramErr);
  StartMovie(m);
  EXPECT_EQ(tb::RecordedSounds().played, 3);
}

// ALSA's null device takes the samples at once: the sound is handed over
// whole and ends; where even that device cannot open, the recorder plays it.
TEST_F(Movies, ThroughAnAlsaDevice) {
  ScopedEnv alsa{"TOOLBOX_SOUND", "alsa"};
  ScopedEnv device{"TOOLBOX_SOUND_DEVICE", "null"};
  WriteFile(dir.path() / "BEEP.WAV", Wav(4000, 8000));
  Movie m;
  ASSERT_EQ(load("BEEP.WAV", &m), noErr);
  StartMovie(m);
  EXPECT_LE(playOut(m), 7);
  DisposeMovie(m);
  EXPECT_EQ(tb::RecordedSounds().played, 1);
  EXPECT_EQ(tb::RecordedSounds().finished, 1);
}

TEST_F(Movies, MissingAndDamagedFilesAreRefused) {
  std::string cut = Wav(800, 8000).substr(0, 44 + 400);  // header says 800 frames, 200 there
  struct {
    const char* name;
    std::string bytes;  // empty name part: no file at all
    bool write;
    OSErr err;
  } cases[] = {
      {"missing.wav", "", false, fnfErr},
      {"empty.wav", "", true, invalidMovie},
      {"text.wav", "this is not a sound\n", true, invalidMovie},
      {"header-only.wav", Wav(800, 8000).substr(0, 30), true, invalidMovie},
      {"bad-format.wav", [] {
         std::string w = Wav(800, 8000);
         w[20] = 0x55;  // an unknown sample encoding
         return w;
       }(), true, invalidMovie},
      {"cut.wav", cut, true, noErr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.write) WriteFile(dir.path() / c.name, c.bytes);
    Movie m;
    EXPECT_EQ(load(c.name, &m), c.err);
    EXPECT_EQ(m != nullptr, c.err == noErr);
    if (m) {
      // A file cut short plays what it holds.
      EXPECT_EQ(tb::MovieDurationTicks(m), 2u);
      DisposeMovie(m);
    }
  }
  short ref;
  FSSpec spec;
  tb::PathToSpec((dir.path() / "cut.wav").string(), &spec);
  EXPECT_EQ(OpenMovieFile(&spec, &ref, fsWrPerm), permErr);
  EXPECT_EQ(CloseMovieFile(77), paramErr);
  EXPECT_EQ(tb::RecordedSounds().played, 0);
}

}  // namespace
