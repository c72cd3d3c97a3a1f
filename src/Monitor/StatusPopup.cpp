// The pop-up decision after each poll and the window's alert sound.
#include <cstring>

#include "Monitor/MonitorApp.h"
#include "Monitor/StatusDraw.h"
#include "toolbox/files.h"
#include "toolbox/gestalt.h"
#include "toolbox/processes.h"
#include "toolbox/trace.h"
#include "toolbox/windows.h"

namespace {

// Status number of each event bit of popupFlag.
constexpr SInt32 kBitStatus[8] = {4, 2, 1, 10, 7, 8, 5, 6};

}  // namespace

void Change_Port_Status(STATUS_WND_INFO* rec, SInt32 newStat) {
  if (newStat == rec->portStatus) return;
  rec->portStatus = newStat;
  bool up = false, down = false;
  for (int bit = 0; bit < 8; ++bit) {
    if (!(rec->configData.popupFlag & (1 << bit))) continue;
    const SInt32 s = kBitStatus[bit];
    UInt8& latch = rec->oldStat[bit];
    if (newStat == s) {
      latch = UInt8(s);
      up = true;
    } else if (latch == s) {
      // The first event ends only when the printer is ready again.
      if (bit == 0 && newStat != 1) continue;
      latch = 0;
      down = true;
    }
  }
  if (!rec->dlg) return;
  WindowRef w = GetDialogWindow(rec->dlg);
  if (up) {
    // A window collapsed to its title bar shows nothing of its printer:
    // it is brought back whole and sounds as a hidden one does.
    const bool wasVisible = IsWindowVisible(w) && !IsWindowCollapsed(w);
    Show_Status_Whole(rec);
    ProcessSerialNumber front{}, self{};
    Boolean same = false;
    GetFrontProcess(&front);
    GetCurrentProcess(&self);
    if (SameProcess(&front, &self, &same) == noErr && !same) SetFrontProcess(&self);
    Bring_Status_Forward(rec);
    tb::TraceState("monitor", "popup", rec, wasVisible ? "shown" : "hidden", "shown", "event");
    if (!wasVisible && rec->configData.soundOpt == 1) {
      SoundToBegin(&rec->soundData);
      rec->soundData.status = UInt8(SoundPlay(&rec->soundData));
    }
  } else if (down) {
    rec->showWindow = 1;
    Exit_Consum_Dialog(&rec->sumData);
    HideWindow(w);
    tb::TraceState("monitor", "popup", rec, "shown", "hidden", "event ended");
  }
}

void Status_Popup_Decision(STATUS_WND_INFO* rec, SInt32 newStat) { Change_Port_Status(rec, newStat); }

// ---- Sound -------------------------------------------------------------------

short InitializeMove(SOUND_INFO* sound) {
  const OSErr err = EnterMovies();
  if (err == noErr) {
    sound->soundSpec = FSSpec{};
    sound->myMovie = nullptr;
    sound->myRefNum = -1;
  }
  return err;
}

short GetSoundData(SOUND_INFO* sound) {
  if (sound->soundSpec.name[0] == 0) return 0;
  FInfo info;
  if (FSpGetFInfo(&sound->soundSpec, &info) != noErr) return 0;
  if (OpenMovieFile(&sound->soundSpec, &sound->myRefNum, fsRdPerm) != noErr) {
    sound->myRefNum = -1;
    return 0;
  }
  short resId = 0;
  const OSErr err = NewMovieFromFile(&sound->myMovie, sound->myRefNum, &resId, nullptr, newMovieActive, nullptr);
  CloseMovieFile(sound->myRefNum);
  sound->myRefNum = -1;
  if (err != noErr) {
    if (sound->myMovie) DisposeMovie(sound->myMovie);
    sound->myMovie = nullptr;
    return 0;
  }
  return 1;
}

short SoundPlay(SOUND_INFO* sound) {
  if (!sound->myMovie) return 0;
  StartMovie(sound->myMovie);
  sound->status = 1;
  return 1;
}

short SoundStop(SOUND_INFO* sound) {
  if (sound->myMovie && sound->status) StopMovie(sound->myMovie);
  sound->status = 0;
  return 1;
}

void SoundToBegin(SOUND_INFO* sound) {
  if (sound->myMovie) GoToBeginningOfMovie(sound->myMovie);
}

void SoundLoop(SOUND_INFO* sound) {
  if (sound->status != 1 || !sound->myMovie) return;
  if (!IsMovieDone(sound->myMovie)) {
    MoviesTask(sound->myMovie, 0);
  } else {
    StopMovie(sound->myMovie);
    sound->status = 0;
  }
}

void DisposeSound(SOUND_INFO* sound) {
  sound->soundSpec = FSSpec{};
  sound->myRefNum = -1;
  if (sound->myMovie) DisposeMovie(sound->myMovie);
  sound->myMovie = nullptr;
}

Boolean IsQuickTimeInstalled() {
  SInt32 version = 0;
  return Gestalt(gestaltQuickTime, &version) == noErr;
}

void Status_Sound_Prepare(STATUS_WND_INFO* rec) {
  SOUND_INFO& s = rec->soundData;
  // Without the movie toolbox the window stays silent.
  if (!IsQuickTimeInstalled() || InitializeMove(&s) != noErr) return;
  FSSpec app;
  if (tb::GetApplicationSpec(&app) != noErr) return;
  Str255 p;
  CopyCStringToPascal(SoundFName, p);
  const OSErr err = FSMakeFSSpec(app.vRefNum, app.parID, p, &s.soundSpec);
  if (err != noErr && err != fnfErr) s.soundSpec = FSSpec{};
  s.enable = UInt8(GetSoundData(&s));
}

void Status_Sound_Dispose(STATUS_WND_INFO* rec) {
  SoundStop(&rec->soundData);
  DisposeSound(&rec->soundData);
}
