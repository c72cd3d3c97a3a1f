// Sound files played as movies, through ALSA or the recording sink.
#include "toolbox/movies.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "ae_internal.h"
#include "toolbox/clock.h"
#include "toolbox/files.h"

namespace {

// Longer sounds are refused: a whole sound is held in memory.
constexpr sf_count_t kMaxSeconds = 600;

OSErr gErr = noErr;

OSErr setErr(OSErr e) {
  gErr = e;
  return e;
}

struct OpenFile {
  int fd;
  std::string path;
};

std::map<short, OpenFile>& openFiles() {
  static std::map<short, OpenFile> m;
  return m;
}

tb::SoundRecord& record() {
  static tb::SoundRecord r;
  return r;
}

void note(const char* what, const std::string& path) { aeimpl::RecordSound(what, path); }

// ALSA's own complaints (no card, no configuration) would only clutter
// standard error: a device that does not open means the recorder.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

const char* deviceName() {
  const char* name = std::getenv("TOOLBOX_SOUND_DEVICE");
  return name && *name ? name : "default";
}

bool useDevice() {
  const char* mode = std::getenv("TOOLBOX_SOUND");
  if (mode && std::strcmp(mode, "record") == 0) return false;
  if (mode && std::strcmp(mode, "alsa") == 0) return true;
  const char* headless = std::getenv("TOOLBOX_HEADLESS");
  return !(headless && std::strcmp(headless, "1") == 0);
}

}  // namespace

struct MovieRecord {
  std::string path;
  std::vector<short> samples;  // interleaved
  int channels = 1;
  int rate = 44100;
  sf_count_t frames = 0;
  bool active = true;

  sf_count_t pos = 0;  // frames played (recorder) or handed to the device
  bool playing = false;
  bool finishedNoted = false;
  // Recorder: the position runs with the tick clock from here.
  UInt32 startTick = 0;
  sf_count_t startPos = 0;

  snd_pcm_t* pcm = nullptr;
  bool deviceTried = false;

  ~MovieRecord() {
    if (pcm) snd_pcm_close(pcm);
  }

  sf_count_t position() const {
    if (!playing || pcm) return pos;
    UInt64 ticks = TickCount() - startTick;
    sf_count_t p = startPos + static_cast<sf_count_t>(ticks * static_cast<UInt64>(rate) / 60);
    return p < frames ? p : frames;
  }

  bool atEnd() const {
    if (position() < frames) return false;
    if (!pcm || !playing) return true;
    // Handed over whole: done when the device has played it out.
    snd_pcm_sframes_t delay = 0;
    return snd_pcm_state(pcm) != SND_PCM_STATE_RUNNING || snd_pcm_delay(pcm, &delay) != 0 || delay <= 0;
  }

  void openDevice() {
    deviceTried = true;
    if (!useDevice()) return;
    snd_pcm_t* p = nullptr;
    snd_lib_error_set_handler(quietAlsa);
    if (snd_pcm_open(&p, deviceName(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return;
    // Two seconds of buffer: an alert sound goes to the device whole when it
    // starts; a longer one is fed from MoviesTask, which the programs call
    // on every pass of their loops.
    if (snd_pcm_set_params(p, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, static_cast<unsigned>(channels),
                           static_cast<unsigned>(rate), 1, 2000000) < 0) {
      snd_pcm_close(p);
      return;
    }
    pcm = p;
  }

  // Hands the device what it takes now.
  void feed() {
    if (!pcm || !playing) return;
    while (pos < frames) {
      snd_pcm_sframes_t n = snd_pcm_writei(pcm, samples.data() + pos * channels,
                                           static_cast<snd_pcm_uframes_t>(frames - pos));
      if (n == -EAGAIN) break;
      if (n < 0) {
        if (snd_pcm_recover(pcm, static_cast<int>(n), 1) < 0) {
          // The device went away: the rest is counted as played.
          pos = frames;
          break;
        }
        continue;
      }
      pos += n;
    }
  }

  // A sound that reached its end stops by itself.
  void noteEnd() {
    if (finishedNoted || !playing || !atEnd()) return;
    finishedNoted = true;
    playing = false;
    pos = frames;
    ++record().finished;
    note("done", path);
  }
};

namespace {

// The movies alive, so that a disposed or made-up one is refused.
std::set<Movie>& live() {
  static std::set<Movie> s;
  return s;
}

Movie valid(Movie m) { return m && live().count(m) ? m : nullptr; }

// libsndfile reads through our descriptor (it is not closed by it).
sf_count_t vioLength(void* u) {
  off_t cur = lseek(*static_cast<int*>(u), 0, SEEK_CUR), end = lseek(*static_cast<int*>(u), 0, SEEK_END);
  lseek(*static_cast<int*>(u), cur, SEEK_SET);
  return end;
}
sf_count_t vioSeek(sf_count_t off, int whence, void* u) { return lseek(*static_cast<int*>(u), off, whence); }
sf_count_t vioRead(void* ptr, sf_count_t count, void* u) {
  sf_count_t done = 0;
  while (done < count) {
    ssize_t n = read(*static_cast<int*>(u), static_cast<char*>(ptr) + done, static_cast<std::size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}
sf_count_t vioWrite(const void*, sf_count_t, void*) { return 0; }
sf_count_t vioTell(void* u) { return lseek(*static_cast<int*>(u), 0, SEEK_CUR); }

}  // namespace

OSErr EnterMovies() { return setErr(noErr); }
void ExitMovies() {}
OSErr GetMoviesError() { return gErr; }

OSErr OpenMovieFile(const FSSpec* fileSpec, short* resRefNum, SInt8 permission) {
  if (resRefNum) *resRefNum = -1;
  if (!fileSpec || !resRefNum) return setErr(paramErr);
  if (permission != fsRdPerm && permission != fsCurPerm) return setErr(permErr);
  std::string path;
  if (tb::SpecToPath(*fileSpec, path) != noErr) return setErr(fnfErr);
  tb::UniqueFd file;
  if (OSErr err = tb::OpenLocalFile(path, O_RDONLY, file))
    return setErr(err == fnfErr || err == dirNFErr ? fnfErr : permErr);
  const int fd = file.release();
  short ref = 1;
  while (openFiles().count(ref)) ++ref;
  openFiles()[ref] = OpenFile{fd, path};
  *resRefNum = ref;
  return setErr(noErr);
}

OSErr CloseMovieFile(short resRefNum) {
  auto it = openFiles().find(resRefNum);
  if (it == openFiles().end()) return setErr(paramErr);
  close(it->second.fd);
  openFiles().erase(it);
  return setErr(noErr);
}

OSErr NewMovieFromFile(Movie* theMovie, short resRefNum, short* resId, StringPtr resName, short newMovieFlags,
                       Boolean* dataRefWasChanged) {
  if (dataRefWasChanged) *dataRefWasChanged = false;
  if (resName) resName[0] = 0;
  if (!theMovie) return setErr(paramErr);
  *theMovie = nullptr;
  auto it = openFiles().find(resRefNum);
  if (it == openFiles().end()) return setErr(paramErr);
  int fd = it->second.fd;
  lseek(fd, 0, SEEK_SET);
  SF_VIRTUAL_IO vio{vioLength, vioSeek, vioRead, vioWrite, vioTell};
  SF_INFO info{};
  SNDFILE* sf = sf_open_virtual(&vio, SFM_READ, &info, &fd);
  if (!sf) return setErr(invalidMovie);
  std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> closer(sf, sf_close);
  if (info.channels < 1 || info.channels > 8 || info.samplerate < 1000 || info.samplerate > 384000 ||
      info.frames <= 0)
    return setErr(invalidMovie);
  if (info.frames > kMaxSeconds * info.samplerate) return setErr(memFullErr);
  auto m = std::make_unique<MovieRecord>();
  m->path = it->second.path;
  m->channels = info.channels;
  m->rate = info.samplerate;
  m->samples.resize(static_cast<std::size_t>(info.frames * info.channels));
  sf_count_t got = sf_readf_short(sf, m->samples.data(), info.frames);
  // A file cut short plays what it holds; one with no readable frame is
  // no sound at all.
  if (got <= 0 || sf_error(sf) != SF_ERR_NO_ERROR) return setErr(invalidMovie);
  m->frames = got;
  m->samples.resize(static_cast<std::size_t>(got * info.channels));
  m->active = (newMovieFlags & newMovieActive) != 0;
  if (resId) *resId = 0;
  *theMovie = m.release();
  live().insert(*theMovie);
  return setErr(noErr);
}

void DisposeMovie(Movie theMovie) {
  if (Movie m = valid(theMovie)) {
    live().erase(m);
    delete m;
  }
}

void StartMovie(Movie theMovie) {
  Movie m = valid(theMovie);
  if (!m) return void(setErr(paramErr));
  setErr(noErr);
  if (m->playing || !m->active) return;
  if (!m->deviceTried) m->openDevice();
  m->playing = true;
  m->finishedNoted = false;
  m->startTick = TickCount();
  m->startPos = m->pos;
  ++record().played;
  record().files.push_back(m->path);
  note("play", m->path);
  if (m->pcm) {
    snd_pcm_drop(m->pcm);
    snd_pcm_prepare(m->pcm);
    m->feed();
  }
  m->noteEnd();
}

void StopMovie(Movie theMovie) {
  Movie m = valid(theMovie);
  if (!m) return void(setErr(paramErr));
  setErr(noErr);
  if (!m->playing) return;
  m->noteEnd();
  if (m->pcm) {
    // What the device holds is dropped; the position is what it played.
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(m->pcm, &delay) == 0 && delay > 0) m->pos = std::max<sf_count_t>(0, m->pos - delay);
    snd_pcm_drop(m->pcm);
  } else {
    m->pos = m->position();
  }
  m->playing = false;
  ++record().stopped;
  note("stop", m->path);
}

void GoToBeginningOfMovie(Movie theMovie) {
  Movie m = valid(theMovie);
  if (!m) return void(setErr(paramErr));
  setErr(noErr);
  m->pos = 0;
  m->startPos = 0;
  m->startTick = TickCount();
  m->finishedNoted = false;
  if (m->pcm && m->playing) {
    snd_pcm_drop(m->pcm);
    snd_pcm_prepare(m->pcm);
    m->feed();
  }
  ++record().rewound;
  note("rewind", m->path);
}

Boolean IsMovieDone(Movie theMovie) {
  Movie m = valid(theMovie);
  if (!m) {
    setErr(paramErr);
    return true;
  }
  setErr(noErr);
  m->noteEnd();
  return m->atEnd();
}

void MoviesTask(Movie theMovie, long) {
  if (!theMovie) {
    // Every movie.
    setErr(noErr);
    for (Movie m : std::vector<Movie>(live().begin(), live().end()))
      if (m->playing) {
        m->feed();
        m->noteEnd();
      }
    return;
  }
  Movie m = valid(theMovie);
  if (!m) return void(setErr(paramErr));
  setErr(noErr);
  if (!m->playing) return;
  m->feed();
  m->noteEnd();
}

tb::SoundRecord tb::RecordedSounds() { return record(); }
void tb::ClearRecordedSounds() { record() = SoundRecord{}; }

UInt32 tb::MovieDurationTicks(Movie theMovie) {
  Movie m = valid(theMovie);
  if (!m || m->rate <= 0) return 0;
  return static_cast<UInt32>((m->frames * 60 + m->rate - 1) / m->rate);
}
