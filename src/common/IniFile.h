// Ini text files: "[SECTION]" heading lines and "KEY=value" lines, read one
// value at a time by section and key. Keys are passed with their "=".
//
// Reader A reads the whole file through the File Manager and serves the
// dialogs; a section ends at the next line that begins with "[". Reader B
// reads a file named by a POSIX path line by line and looks for the key in
// every line behind the section heading, also past later sections. Both
// take CR, LF, CRLF and LFCR line ends, and neither ever puts a line end
// into a value. Values are UTF-8 text; a value cut to fit a buffer is cut on
// a character boundary. A reader that finds nothing leaves its output as it
// was.
#pragma once

#include <cstddef>

#include "toolbox/types.h"

// The Dialog Manager's names for a dialog and an item number
// (toolbox/dialogs.h declares them alike).
struct DialogRecord;
using DialogRef = DialogRecord*;
using DialogItemIndex = SInt16;

// The longest line either reader takes, without its line end.
constexpr int kIniLineMax = 1023;

// ---- Reader A ----------------------------------------------------------

// The whole matching line (key included, no line end, NUL-terminated) in
// out; returns its length. -1 when the section is not in the file, the
// section ends before the key, or the line does not fit (its length is not
// below size); 0 when the file cannot be opened or read, memory is short,
// or the data ends before a key line.
int GetFileData(const char* section, const char* key, char* out, int size, const FSSpec* fss);
// The same over bytes already in memory (they need not end with a NUL).
int GetFileDataFromBuffer(const char* data, std::size_t len, const char* section, const char* key,
                          char* out, int size);

// The value (the line without its key) as a NUL-terminated string when it
// is shorter than size; 1 found, 0 otherwise. Values longer than a line
// of kIniLineMax are never found.
int Get_File_To_CstringEx(const char* section, const char* key, char* out, int size,
                          const FSSpec* fss);
// As Get_File_To_CstringEx for a file named by an HFS name or partial path
// relative to the folder of the running program (at most 255 bytes), or by
// a full POSIX path beginning with "/"; 0 when no file spec can be made.
int Get_CFile_To_CstringEx(const char* section, const char* key, char* out, int size,
                           const char* fileName);
// 1 when Get_CFile_To_CstringEx found the value, else 0.
int Load_File_To_CstringEx(const char* section, const char* key, char* out, int size,
                           const char* fileName);
// The value as a length-prefixed string of at most size - 1 and at most 255
// bytes; 1 found, 0 not (out unchanged).
int Load_File_To_PascalEx(const char* section, const char* key, StringPtr out, int size,
                          const char* fileName);
// Load_File_To_PascalEx into a Str255, with the arguments in this order.
int Load_File_To_PascalEx2(StringPtr out, const char* key, const char* section,
                           const char* fileName);

// The value (or "???" when the key is missing) as the item's text: the
// control title of push buttons, check boxes and radio buttons (item kinds
// 4, 5, 6 and, disabled, 132, 133, 134), the text of static and edit text
// (8, 16 and disabled static text 136). 1, or 0 for any other kind (the
// item then stays as it was).
short Set_String_To_Item(DialogRef dialog, DialogItemIndex item, const char* key,
                         const char* section, const char* fileName);

// ---- Reader B ----------------------------------------------------------

// The value of the first line behind a line that holds the section text
// and that begins with the key, NUL-terminated in out when it is shorter
// than outSize; 1 found, 0 not (also when the file cannot be opened). Lines
// longer than kIniLineMax are skipped whole.
int Load_File_To_Cstring(char* out, const char* key, const char* section, const char* path,
                         int outSize);
// The same over bytes already in memory.
int Load_Buffer_To_Cstring(const char* data, std::size_t len, char* out, const char* key,
                           const char* section, int outSize);
// Reader B's value as a length-prefixed string of at most 255 bytes.
int Load_File_To_Pascal(Str255 out, const char* key, const char* section, const char* path);

// ---- Text helpers ------------------------------------------------------

// Copies line to out (at most outSize bytes with the NUL), dropping each
// character that equals the next not yet matched character of key; all
// others are copied. Returns the length written.
int DeleteTitleFlag(char* out, const char* line, const char* key, std::size_t outSize);
// The first CR or LF from text up to (not including) end; end when there is
// none; null when a NUL comes first.
const char* FindCRLF(const char* text, const char* end);
// The start of the next line: behind the line end that FindCRLF finds and
// the run of CR and LF after it (end when the run reaches it); null when
// there is no line end before end.
const char* SkiptoNextLine(const char* text, const char* end);
// Rewrites each backslash-"n" pair in the first length bytes into one CR,
// moving the rest left; when the text became shorter a NUL follows it.
// Returns the number of lines (pairs rewritten + 1).
int SetKaigyou(char* text, int length);
