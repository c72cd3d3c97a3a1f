// What a status window draws on its pages, its status animation, the
// pop-up decision after each poll and its alert sound.
#pragma once

#include <string>

#include "Monitor/StatusWindow.h"

// Page set-up after the page's items were appended, and its drawing.
void Load_Page(STATUS_WND_INFO* rec);
void Draw_Page(STATUS_WND_INFO* rec);
// The status page in its order: picture, message, comment, power icon and
// the printer's values.
void DispStatDialog(STATUS_WND_INFO* rec);
// The status picture once, when IconID is above 127.
void Draw_Icon_User_Main(STATUS_WND_INFO* rec);
// Asks for the current page to be drawn again.
void Invalidate_Page(STATUS_WND_INFO* rec);
// The animation and sound step of every poll step.
void Status_Animate(PSTATUS_WND_INFO* rec);
void Draw_Main_Animation(STATUS_WND_INFO* rec);
// Enabled when data are shown (power states other than 0, 5 and 8).
short Page_Button_Check(STATUS_WND_INFO* rec);
// The copies counter in item 9: four places right-aligned, 65535 all blank.
void SetCopies(DialogRef dlg, UInt16 copies, UInt8 reset);
// The status page's resolution line: "? x ? dpi" while the power state
// shows no data.
std::string Resolution_Text(const STATUS_WND_INFO* rec);
// The held-job gauge picture (310-320) for used and total megabytes.
SInt16 Hold_Gauge_Picture(UInt32 total, UInt32 free);
// "N MB", or "N GB" above 1023 megabytes.
void Size_Text(UInt32 megabytes, char* out, std::size_t size);

// Pop-up decision (up wins over down in one call).
void Change_Port_Status(STATUS_WND_INFO* rec, SInt32 newStat);
void Status_Popup_Decision(STATUS_WND_INFO* rec, SInt32 newStat);

// The sound: prepared when a record is taken, disposed when it is freed.
void Status_Sound_Prepare(STATUS_WND_INFO* rec);
void Status_Sound_Dispose(STATUS_WND_INFO* rec);
// 1 when sounds can be played (Gestalt 'qtim' answers).
Boolean IsQuickTimeInstalled();
short InitializeMove(SOUND_INFO* sound);
short GetSoundData(SOUND_INFO* sound);
short SoundPlay(SOUND_INFO* sound);
short SoundStop(SOUND_INFO* sound);
void SoundToBegin(SOUND_INFO* sound);
void SoundLoop(SOUND_INFO* sound);
void DisposeSound(SOUND_INFO* sound);
