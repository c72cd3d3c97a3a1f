// What a status window shows for a decoded printer state: the display
// choice (message and comment keys, pictures, task icon, pop-up status),
// the error and power-saving views, and the derived values (memory bar,
// send-data size and scale, power icon, copies, resolution).
#pragma once

#include "Monitor/MonitorTypes.h"

// Pop-up statuses the display sets.
enum : UInt16 {
  kPopReady = 1,
  kPopWait = 2,
  kPopBusy = 4,
  kPopSupply = 5,
  kPopError = 6,
  kPopBusyError = 7,
  kPopCommError = 8,
  kPopSleep = 9,
  kPopPower = 10,
};

// Error-view codes of DispErrStatus.
enum : int {
  kErrResult = 0,      // the printer reports a result error
  kErrController = 1,  // the controller reports an error
  kErrComm = 2,        // the printer does not answer
  kErrPowerOn = 3,
  kErrPowerSave = 4,
};

// The display choice; keys of 32 bytes (NUL-terminated), the tip a static
// text. Outputs a rule leaves unset keep what the caller put there. 1 when
// a state applied, else 0.
int GetDispStatInfo(VEMOINFO* info, char* mesKey, char* comKey, const char** tip, SInt16* icon, SInt16* errIcon,
                    SInt16* taskIcon);
// Fills the display record from the decoded state, the decode result and
// the power state (1 and 3 keep the printer's values in the error views).
void Disp_Main_Stat(VEMOINFO* info, const NICINFO* nic, VEMOSTATUSSET* set, int result, int power);
void DispErrStatus(VEMOINFO* info, VEMOSTATUSSET* set, int code, int power);

// "%d %%" of the memory in use (length-prefixed, 8 bytes) and its value.
void Get_Memory_Bar(const VEMOINFO* info, UInt8* text, SInt32* value);
// The send-data size text (16 bytes), bar value and scale text (16 bytes),
// length-prefixed; above 500 MB the bar and scale are left as they were.
void GetSendBar(const VEMOINFO* info, UInt8* sizeText, SInt32* bar, UInt8* scaleText);
void Get_Power_Icon(const VEMOINFO* info, UInt32* icon);
void GetCopies(const VEMOINFO* info, UInt16* copies, UInt8* active);
void GetDpiSize(const VEMOINFO* info, UInt16* x, UInt16* y);
