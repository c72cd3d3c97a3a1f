// Development aids a developer drops into the installer: labelled one-line
// traces (shown on standard error where the old system stopped in its
// debugger), the script font report and alignment, and a printf trace with
// a per-user log file for the socket client.
#pragma once

#include <cstdio>

#include "toolbox/types.h"

// Each formats "label : value" into a length-prefixed 256-byte string
// (length at most 255) and shows it; the string is also returned in out
// when out is given.
void Debug_Str_From_Pointer(const char* label, const void* p, Str255 out = nullptr);
void Debug_Str_From_Hex(const char* label, const UInt8* bytes, int index, Str255 out = nullptr);
void Debug_Str_From_Str(const char* label, const char* text, Str255 out = nullptr);
void Debug_Str_From_Long(const char* label, SInt32 value, Str255 out = nullptr);
void View_Debug_StrToString(const char* label, const char* text, Str255 out = nullptr);
void View_Debug_String(const char* label, SInt32 value, Str255 out = nullptr);

// Shows the system and application fonts and the script font settings.
void Load_Script(const char* text);
// Copies the system script's font settings to the current and all scripts.
void Save_Script();

int kq_debug_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// The log "$XDG_STATE_HOME/vemo/VEMO_log.txt" (else ~/.local/state/vemo),
// opened once for appending, without following a link, mode 0600; later
// calls return the same file. nullptr when it cannot be opened.
FILE* start_debug();
