// The held-job manager's records and the data halves of its dialogs: job,
// folder and job-information entries as the lists keep them, the settings
// record and its file image, the print-option bit fields, the checks of
// typed texts, short names, and the size and date texts.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "OT/PBoxTable.h"
#include "toolbox/cfstring.h"
#include "toolbox/types.h"

// ---- languages ---------------------------------------------------------

// A row of the language table: the bundle's language code, its text
// encoding, the platform's language number and the program language code
// the box's requests and list entries carry.
struct LANG_CODE_ROW {
  char code[33];
  UInt32 encoding;
  UInt8 platformLang;
  UInt8 programCode;
};
// 15 rows and the end row (empty code).
extern const LANG_CODE_ROW langCodeTable[16];
// The text encoding a program language code stands for (a list entry's
// record 0x000F: the language of the client that wrote the entry's names):
// that of the table's row with the code, else running (no code, or one the
// table does not know).
TextEncoding LangCodeEncoding(UInt8 code, TextEncoding running);

// A language a renamed entry's names may go back in: the code the request
// carries (and the box then lists with the entry) and its encoding.
struct NameLanguage {
  UInt8 code;
  TextEncoding encoding;
};
// The languages tried, in order: the entry's own (entryCode, when the
// table knows it; else the program's), then the program's (running, in
// runningEncoding).
std::array<NameLanguage, 2> RenameLanguages(UInt8 entryCode, UInt8 running, TextEncoding runningEncoding);

struct HoldDate {
  UInt16 year, month, day, hour, minute, second;
};

// One listed job (made from the list reply's records).
struct JOB_ENTRY {
  UInt8 jobId[4];
  Str255 name;  // length-prefixed
  Str255 owner;
  UInt8 byte05;
  HoldDate date;
  UInt32 size;
  UInt8 lang;  // record 0x000F
  UInt8 os;    // record 0x0010
  UInt8 folderId[4];
};

struct FOLDER_ENTRY {
  UInt8 folderId[4];
  Str255 name;
  UInt8 attr2A;
  UInt16 attr2B;
  UInt8 lang, os;
};

// What a job-information reply tells.
struct JOB_INFO {
  UInt8 jobId[4];
  Str255 name;
  Str255 owner;
  UInt8 byte05;
  HoldDate date;
  UInt16 hasPages;  // 1 when the page count is not 0; the preview's current page
  UInt16 pages;
  UInt32 size;
  UInt16 paper;
  UInt16 resolution;
  UInt8 b0B[2], b0C[2];
  UInt8 b0D;
  UInt8 hasThumbnails;
  UInt8 folderId[4];
  UInt32 ipAddr;
  UInt8 lang;  // the language code of the job's list entry, whose encoding the names are in
};

// Copies a text record's value into a length-prefixed field, cut to 255
// bytes on a character boundary of encoding (the language's, in which the
// box holds its names).
void SetPStrFromRecord(Str255 dest, const UInt8* value, std::size_t len, TextEncoding encoding = kCFStringEncodingUTF8);

// ---- names at the box --------------------------------------------------
// The box holds each entry's names in the encoding of the language its
// entry carries (LangCodeEncoding: the program's own for an entry without
// a known one; names this suite wrote as UTF-8 read as they stand); the
// program shows and edits them as its own text.

// A length-prefixed name from the box as text.
std::string NameText(const UInt8* name, TextEncoding encoding);
// What the box is to hold for a name the user left as text, when it goes
// out in encoding to, cut to limit bytes on a character boundary of to:
// the box's own bytes (original, read in from) when text reads as they do
// in from and in to alike, else text in to. False (out untouched) when to
// cannot hold text.
bool NameBytes(const std::string& text, std::string_view original, TextEncoding from, TextEncoding to,
               std::size_t limit, std::string* out);

// What a rename sends: the job's name and owner as the box is to hold them
// and the one language code that tags both.
struct RenameTexts {
  std::string name, owner;
  UInt8 langCode = 0;
};
enum class RenameRefusal { None, Name, Owner };
// The rename of job to the texts name and owner, each cut to limit bytes,
// in the first of RenameLanguages(job.lang, running, runningEncoding) that
// holds both: a text left as it was goes back as the box's own bytes when
// they read the same in that language. When none holds both, the name is
// refused if the job's own language cannot hold it, else the owner (out
// untouched).
RenameRefusal RenameJobTexts(const std::string& name, const std::string& owner, const JOB_ENTRY& job, UInt8 running,
                             TextEncoding runningEncoding, std::size_t limit, RenameTexts* out);

// ---- settings ----------------------------------------------------------

struct HOLD_CONFIG {
  UInt32 ulTimeOut;
  UInt32 ulReSearch;
  SInt16 sWinLeft, sWinTop;
  UInt16 usWinWidth, usWinHeight;
  UInt16 usDivider;
  UInt16 usColumnWidth[15];
  UInt16 usSortColumn[5];
  UInt16 usSortOrder[5];
  UInt8 bPreview;
  UInt8 bPreviewPad;
  UInt16 usCopies;
  UInt32 ulPrnOpt;
  UInt16 usAddrCount;
  UInt32 ulAddr[17];
};
constexpr std::size_t kHoldConfigImageSize = 152;
constexpr char kHoldPrefsName[] = "VemoHoldManagerPrefs";

// The defaults for a screen of the given size and menu-bar height.
void HoldConfigDefaults(HOLD_CONFIG* c, SInt16 screenWidth, SInt16 screenHeight, SInt16 menuBar);
void HoldConfigToImage(const HOLD_CONFIG& c, std::span<UInt8, kHoldConfigImageSize> out);
// False (c unchanged) for an image of another size.
bool HoldConfigFromImage(std::span<const UInt8> in, HOLD_CONFIG* c);
// The preference file "VemoHoldManagerPrefs" in the Preferences folder.
// InitConfig records the program's own resource file (current at start-up)
// for the others. GetConfig: the defaults as a whole when the program has
// no version record, the file cannot be opened or holds no settings image;
// a first run leaves an empty file. SetConfig: replaces the version record
// and the image (0 or the error; a damaged file, or one whose settings
// cannot be replaced, is made anew).
void InitConfig();
void GetConfig(HOLD_CONFIG* c);
OSErr SetConfig(const HOLD_CONFIG& c);
// Opens (making it empty when missing) the preference file's resources:
// *refNum -1 when that failed; the result of locating the file (fnfErr on
// a first run); its file spec when asked.
OSErr OpenPrefsFile(SInt16* refNum, FSSpec* spec);
// Reads both version records; any file is taken: always 0 ("same").
int CheckPrefsVersion(SInt16 refNum);
// The print options' bit fields (index 7 is never used).
extern const UInt16 gusPrnOptShift[8];
extern const UInt32 gulPrnOptMask[8];

void SetPrnOpt(UInt32* options, UInt32 value, int index);
UInt32 GetPrnOpt(UInt32 options, int index);

// A folder name "prefix_name" into "prefix_" and "name"; both empty without
// "_". The "_" is a character of the name read in encoding (in a two-byte
// encoding the byte may be the second of a character).
void DivideFolderName(const std::string& name, std::string* prefix, std::string* rest,
                      TextEncoding encoding = kCFStringEncodingUTF8);
// The full name from the prefix and the field text cut to 16 bytes (on a
// character boundary of encoding).
std::string MakeRenFolderName(const std::string& prefix, const std::string& text,
                              TextEncoding encoding = kCFStringEncodingUTF8);

// ---- checks and texts --------------------------------------------------

// 1 when text (len bytes) is digits only, not empty, and within min..max.
int CheckDigit(const char* text, int len, long min, long max);
// 1 empty, 2 holds a forbidden character, 0 good.
int CheckProhibitionStr(const char* text, int len);
// The name cut to limit bytes with "..." (NUL-terminated, out of limit + 1
// bytes); returns the length written.
int MakeShortJobName(char* out, const UInt8* name, bool lengthPrefixed, int limit);
// A name from the box as the messages show it: its bytes cut as above on
// a character boundary of encoding, as text.
std::string ShortJobName(const UInt8* name, bool lengthPrefixed, TextEncoding encoding, int limit = 32);
// A held job's name as the messages show it, read in its entry's language
// (running for an entry without a known one).
std::string JobShortName(const JOB_ENTRY& job, TextEncoding running);
// A folder's name as text, read in its entry's language (running for an
// entry without a known one).
std::string FolderNameText(const FOLDER_ENTRY& folder, TextEncoding running);

// "1.50 KB", "1 MB", "512 Byte": steps of 1024 while above 1023, at most twice.
std::string DataSizeText(UInt64 bytes);

// A format from an ini or bundle text filled with the arguments: only %s
// (a text), %d (a number) and %% are taken, in order; any other
// conversion, or one without its argument, is copied as it stands.
struct HoldArg {
  HoldArg(const char* t) : text(t ? t : ""), isText(true) {}
  HoldArg(const std::string& t) : text(t), isText(true) {}
  HoldArg(long n) : number(n) {}
  HoldArg(int n) : number(n) {}
  std::string text;
  long number = 0;
  bool isText = false;
};
std::string HoldFormat(const std::string& format, std::initializer_list<HoldArg> args);

// The date as the list shows it: "yyyy/mm/dd, hh:mm".
std::string DateText(const HoldDate& d);
// The text of key in [section] of an ini file; "" when missing. The shared
// reader takes a section name wherever it stands in a line, so the name is
// looked up with its brackets (given with or without them).
std::string HoldIniString(const char* iniFile, const char* section, const char* key);
// A text cut so to at most limit bytes (and 255), into a length-prefixed
// string of 256 bytes.
void SetPStrCut(UInt8* dest, std::string_view text, std::size_t limit = 255);
// An IPv4 address (host order) in dotted decimal.
std::string DottedText(UInt32 addr);

// ---- print boxes and the status-sharing file ---------------------------

struct jcp_reply;
namespace hold {
// This program's registration of a search reply: no model filter; the
// first free entry unless a box of the same hash and Ethernet address is
// known. 1 stored, 0 dropped or full.
short RegisterPBOX(PBOXinfo* table, short count, const jcp_reply* reply, const PBOXEntityName* entity,
                   PBOXAddrBlock addr, short protocolNum);
}  // namespace hold

// The five capability records the print dialog reads.
struct PRINTER_CAP {
  char key[6];
  UInt8 value;
};
using PrinterCaps = std::array<PRINTER_CAP, 5>;
// Reads the monitor's status-sharing file of the box; 0, or the non-zero
// result of the missing folder or file. strIni: the string ini file (its
// [MACSTR] "FOLDER=" may name the folder).
OSErr Get_Printer_Info(const UInt8 mac[6], PrinterCaps* caps, const char* strIni);
// The status-sharing folder read when the string file names none.
inline constexpr char kHoldStatusFolderDefault[] = "VEMO-HoldManager";
// The capability parse of the file's text (apart from the file).
void ParsePrinterInfo(const char* text, std::size_t len, PrinterCaps* caps);
