// Sound files played as movies: the few movie calls the programs use to
// play an alert sound, over WAV files (anything libsndfile reads).
//
// NewMovieFromFile reads the whole sound at once; the movie file may be
// closed straight after. StartMovie plays from the current position without
// waiting; the sound goes on until its end, StopMovie, or disposal. IsMovieDone is true
// once the position reached the end; GoToBeginningOfMovie rewinds.
//
// Where sound goes: a sound device through ALSA, or a recording sink that
// plays nothing and keeps the position by the tick clock (the virtual clock
// in tests), so a sound "lasts" its duration in ticks. TOOLBOX_SOUND=record
// or alsa chooses; unset, the recorder is used when TOOLBOX_HEADLESS=1 (every
// test) and ALSA otherwise, falling back to the recorder when no device
// opens. The ALSA device is "default", or TOOLBOX_SOUND_DEVICE; it holds two
// seconds, and MoviesTask feeds it the rest of a longer sound. Starts,
// stops, rewinds and ends are counted either way (tb::RecordedSounds) and,
// with TOOLBOX_RECORD_FILE, appended there as lines
// "sound<TAB>play|stop|rewind|done<TAB><path>".
#pragma once

#include <string>
#include <vector>

#include "toolbox/files.h"

struct MovieRecord;
using Movie = MovieRecord*;

enum : OSErr {
  invalidMovie = -2010,  // the file is no sound this layer can read
  noMovieFound = -2048,
};
enum : short { newMovieActive = 1 << 0 };

// Nothing to set up; always noErr.
OSErr EnterMovies();
void ExitMovies();
// The result of the last movie call.
OSErr GetMoviesError();

// Opens the file for reading (only fsRdPerm and fsCurPerm are accepted):
// fnfErr when it is missing, permErr when it cannot be read.
OSErr OpenMovieFile(const FSSpec* fileSpec, short* resRefNum, SInt8 permission);
OSErr CloseMovieFile(short resRefNum);
// Reads the sound of an open movie file: invalidMovie when it is no
// readable sound (a damaged or empty file), memFullErr when it is too long
// (over ten minutes). resId, resName and dataRefWasChanged may be null.
OSErr NewMovieFromFile(Movie* theMovie, short resRefNum, short* resId, StringPtr resName, short newMovieFlags,
                       Boolean* dataRefWasChanged);
void DisposeMovie(Movie theMovie);

void StartMovie(Movie theMovie);
void StopMovie(Movie theMovie);
void GoToBeginningOfMovie(Movie theMovie);
Boolean IsMovieDone(Movie theMovie);
// Serves a playing movie (feeds the device, notices the end).
void MoviesTask(Movie theMovie, long maxMilliSecToUse);

namespace tb {

struct SoundRecord {
  int played = 0;   // StartMovie calls that started a sound
  int stopped = 0;  // StopMovie calls on a playing sound
  int rewound = 0;  // GoToBeginningOfMovie calls
  int finished = 0; // sounds that played to their end
  std::vector<std::string> files;  // the file of each start
};
SoundRecord RecordedSounds();
void ClearRecordedSounds();
// The sound's length in ticks (0 for no movie).
UInt32 MovieDurationTicks(Movie theMovie);

}  // namespace tb
