// The status and information texts: messages, comments, paper texts and
// the detail-page text, all looked up in the monitor's "Monitor" ini file
// (MonFileName) by keys the decoded state selects; and the text helpers
// every module of the monitor reads its ini texts and fills its fields
// with.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "Monitor/MonitorTypes.h"

// The value of key (with its "=") in section of one of the monitor's ini
// files: the language ini (IniFileName) when file is null; fallback when the
// key is missing.
std::string Ini_Text(const char* section, const char* key, const char* fallback = "", const char* file = nullptr);
// A length-prefixed field of cap bytes (a length byte, the text and a NUL),
// the text cut on a character boundary.
void Set_Pascal_Field(UInt8* out, std::size_t cap, std::string_view text);
// The text into out, at most size bytes with its NUL, cut on a character
// boundary.
void Copy_Text(char* out, std::size_t size, std::string_view text);

// The detail text is built into this many bytes at most (with its NUL).
constexpr std::size_t kDetailTextSize = 16001;

// The message for a key ("MESSAGE01" or "MESSAGE"): line breaks made, as a
// length-prefixed string in out (256 bytes); the layout value of its line
// count in *line. The three names are used at different moments.
void FirstMessage(const VEMOINFO* info, const char* key, UInt8* out, SInt32* line);
void FirstOpenMessage(const VEMOINFO* info, const char* key, UInt8* out, SInt32* line);
void ErrorMessage(const VEMOINFO* info, const char* key, UInt8* out, SInt32* line);
// The comment for a key, length-prefixed in out (256 bytes).
void FirstComment(const char* key, UInt8* out);
void ErrorComment(const char* key, UInt8* out);
// The comment after a decoded reply: comments 07 and 08 get the
// processing line with the send-data size text (length-prefixed), a set
// warning flag the warning text.
void FirstOpenComment(const VEMOINFO* info, const char* key, const UInt8* sizeText, UInt8* out, UInt8 warning);

// The paper-size text of the tray shown (length-prefixed, 32 bytes), its
// paper icon id and the layout value.
void GetPaperSize(const VEMOINFO* info, UInt8* out, UInt32* icon, SInt32* line);

// The copies counter's four places as digit pictures (290-299 for 0-9,
// 300 blank): the count at most 9999, right-aligned; 65535 shows no count.
void CopiesPictures(UInt16 copies, SInt16 (&places)[4]);

// The layout value "LINE%02d=" for a line count (0 when missing).
SInt32 LineLayout(int lines);

// The detail-page text for a section choice (1 all, 2 printer, 3 network,
// 4 version), NUL-terminated and cut to kDetailTextSize - 1 bytes; CR line
// ends. Empty when the printer shows an error or sleeps.
std::string DispInfoStat(int choice, const VEMOINFO* info, const NICINFO* nic, const NETINFO* net);
// The sections and line forms, appended to text.
void SetVemoInfo(std::string& text, const VEMOINFO* info);
void SetNetInfoA(std::string& text, const NETINFO* net);
void SetNetInfoB(std::string& text, const VEMOINFO* info, const NETINFO* net);
void SetVerInfo(std::string& text, const VEMOINFO* info, const NICINFO* nic);
void SetTagString(std::string& text, const char* key, char marker, int indent);
// value 255 takes literal as the value text; otherwise the text of
// label + two digits in section, or the number itself.
// Appends the text of label + two digits in section, or the number itself
// when that key has none; 0.
int SetInfoValue(std::string& text, const char* section, const char* label, int value);
void SetInfoString(std::string& text, const char* section, const char* literal, const char* label, int value,
                   char marker, int indent);
