// The held-job manager's records and the data side of its dialogs: list
// entries, the settings record and its file image, print-option bits, text
// checks, short names, size and date texts.
#include "holdmanager/HoldData.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "common/IniFile.h"
#include "common/StrConv.h"
#include "OT/JCPPacket.h"
#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/menus.h"
#include "toolbox/quickdraw.h"
#include "toolbox/resources.h"
#include "toolbox/script.h"
#include "toolbox/textencoding.h"

namespace {

std::string_view bytesOf(const UInt8* text, std::size_t len) {
  return std::string_view(reinterpret_cast<const char*>(text), len);
}

void put16(UInt8* p, UInt16 v) {
  p[0] = UInt8(v >> 8);
  p[1] = UInt8(v);
}
void put32(UInt8* p, UInt32 v) {
  put16(p, UInt16(v >> 16));
  put16(p + 2, UInt16(v));
}
UInt16 get16(const UInt8* p) { return UInt16(p[0] << 8 | p[1]); }
UInt32 get32(const UInt8* p) { return UInt32(get16(p)) << 16 | get16(p + 2); }

bool isForbidden(char c) { return std::strchr("\\/:,;*?\"<>|", c) != nullptr && c != 0; }

}  // namespace

const LANG_CODE_ROW langCodeTable[16] = {
    {"en", 0, 0, 1},      {"fr", 0, 1, 4},   {"de", 0, 2, 3},       {"it", 0, 3, 5},
    {"es", 0, 6, 6},      {"jp", 1, 11, 18}, {"en_GB", 0, 0, 2},    {"nl", 0, 4, 8},
    {"sl", 0, 5, 12},     {"pt", 0, 8, 7},   {"no", 0, 9, 10},      {"fi", 0, 13, 11},
    {"zh_TW", 2, 19, 20}, {"ko", 3, 23, 21}, {"zh_CN", 25, 33, 19}, {"", 0, 0, 1},
};

namespace {
const LANG_CODE_ROW* rowOfProgramCode(UInt8 code) {
  for (const LANG_CODE_ROW* row = langCodeTable; row->code[0]; ++row)
    if (row->programCode == code) return row;
  return nullptr;
}
}  // namespace

TextEncoding LangCodeEncoding(UInt8 code, TextEncoding running) {
  const LANG_CODE_ROW* row = rowOfProgramCode(code);
  return row ? row->encoding : running;
}

std::array<NameLanguage, 2> RenameLanguages(UInt8 entryCode, UInt8 running, TextEncoding runningEncoding) {
  const LANG_CODE_ROW* own = rowOfProgramCode(entryCode);
  return {NameLanguage{own ? entryCode : running, own ? own->encoding : runningEncoding},
          NameLanguage{running, runningEncoding}};
}

const UInt16 gusPrnOptShift[8] = {31, 27, 24, 21, 18, 13, 8, 0};
const UInt32 gulPrnOptMask[8] = {0x80000000, 0x38000000, 0x07000000, 0x00E00000, 0x001C0000, 0x0000E000, 0x00000100, 0};

void SetPStrFromRecord(Str255 dest, const UInt8* value, std::size_t len, TextEncoding encoding) {
  std::size_t n = tb::CharCutLength(bytesOf(value, len), 255, encoding);
  dest[0] = UInt8(n);
  if (n) std::memcpy(dest + 1, value, n);
}

void HoldConfigDefaults(HOLD_CONFIG* c, SInt16 screenWidth, SInt16 screenHeight, SInt16 menuBar) {
  std::memset(c, 0, sizeof *c);
  c->ulTimeOut = 180;
  c->ulReSearch = 3;
  c->usWinWidth = 585;
  c->usWinHeight = 439;
  c->sWinLeft = SInt16((screenWidth - 585) / 2);
  c->sWinTop = SInt16((screenHeight - 439) / 2 + menuBar);
  c->usDivider = 306;
  const UInt16 widths[15] = {100, 91, 70, 100, 140, 135, 68, 90, 90, 230, 178, 100, 230, 178, 100};
  std::memcpy(c->usColumnWidth, widths, sizeof widths);
  c->bPreview = 1;
  c->usCopies = 1;
  c->ulPrnOpt = 0x00000100;
  c->usAddrCount = 1;
  c->ulAddr[0] = 0xFFFFFFFF;
}

void HoldConfigToImage(const HOLD_CONFIG& c, std::span<UInt8, kHoldConfigImageSize> out) {
  UInt8* p = out.data();
  std::memset(p, 0, out.size());
  put32(p + 0, c.ulTimeOut);
  put32(p + 4, c.ulReSearch);
  put16(p + 8, UInt16(c.sWinLeft));
  put16(p + 10, UInt16(c.sWinTop));
  put16(p + 12, c.usWinWidth);
  put16(p + 14, c.usWinHeight);
  put16(p + 16, c.usDivider);
  for (int i = 0; i < 15; ++i) put16(p + 18 + 2 * i, c.usColumnWidth[i]);
  for (int i = 0; i < 5; ++i) put16(p + 48 + 2 * i, c.usSortColumn[i]);
  for (int i = 0; i < 5; ++i) put16(p + 58 + 2 * i, c.usSortOrder[i]);
  p[68] = c.bPreview;
  p[69] = c.bPreviewPad;
  put16(p + 70, c.usCopies);
  put32(p + 72, c.ulPrnOpt);
  put16(p + 76, c.usAddrCount);
  for (int i = 0; i < 17; ++i) put32(p + 78 + 4 * i, c.ulAddr[i]);
}

bool HoldConfigFromImage(std::span<const UInt8> in, HOLD_CONFIG* c) {
  if (in.size() != kHoldConfigImageSize) return false;
  const UInt8* p = in.data();
  c->ulTimeOut = get32(p);
  c->ulReSearch = get32(p + 4);
  c->sWinLeft = SInt16(get16(p + 8));
  c->sWinTop = SInt16(get16(p + 10));
  c->usWinWidth = get16(p + 12);
  c->usWinHeight = get16(p + 14);
  c->usDivider = get16(p + 16);
  for (int i = 0; i < 15; ++i) c->usColumnWidth[i] = get16(p + 18 + 2 * i);
  for (int i = 0; i < 5; ++i) c->usSortColumn[i] = get16(p + 48 + 2 * i);
  for (int i = 0; i < 5; ++i) c->usSortOrder[i] = get16(p + 58 + 2 * i);
  c->bPreview = p[68];
  c->bPreviewPad = p[69];
  c->usCopies = get16(p + 70);
  c->ulPrnOpt = get32(p + 72);
  // A count the address table cannot hold is taken as the table's size.
  c->usAddrCount = std::clamp<UInt16>(get16(p + 76), 1, 17);
  for (int i = 0; i < 17; ++i) c->ulAddr[i] = get32(p + 78 + 4 * i);
  return true;
}

namespace {
// The program's own resource file, recorded by InitConfig (-1: none).
SInt16 gAppResFile = -1;
constexpr UInt16 kConfigVersion = 3;  // CONFIG_VERSION of the version record

// The recorded program file while it is still the program's (-1 else).
SInt16 appFile() {
  return gAppResFile != -1 && gAppResFile != 0 && gAppResFile == tb::ApplicationResFile() ? gAppResFile : -1;
}

// The defaults, the window centred on the desktop below the menu bar.
void defaults(HOLD_CONFIG* c) {
  BitMap screen{};
  GetQDGlobalsScreenBits(&screen);
  HoldConfigDefaults(c, SInt16(screen.bounds.right - screen.bounds.left),
                     SInt16(screen.bounds.bottom - screen.bounds.top), GetMBarHeight());
}
}  // namespace

void InitConfig() { gAppResFile = CurResFile(); }

OSErr OpenPrefsFile(SInt16* refNum, FSSpec* spec) {
  if (refNum) *refNum = -1;
  SInt16 vRef = 0;
  SInt32 dirID = 0;
  OSErr err = FindFolder(kOnSystemDisk, kPreferencesFolderType, kCreateFolder, &vRef, &dirID);
  if (err) return err;
  char text[64];
  std::snprintf(text, sizeof text, "%sPrefs", "VemoHoldManager");
  Str255 name;
  pstr::set(name, sizeof name, text);
  FSSpec fss{};
  err = FSMakeFSSpec(vRef, dirID, name, &fss);
  if (err != noErr && err != fnfErr) return err;
  // A first run makes an empty resource file for the settings.
  if (err == fnfErr) FSpCreateResFile(&fss, 'VMxh', 'pref', smSystemScript);
  if (refNum) *refNum = FSpOpenResFile(&fss, fsCurPerm);
  if (spec) *spec = fss;
  return err;
}

int CheckPrefsVersion(SInt16 refNum) {
  // Both version records are read; whatever they hold, the file is taken.
  const SInt16 saved = CurResFile();
  if (appFile() != -1) {
    UseResFile(appFile());
    if (Handle h = Get1Resource('PVER', 128)) ReleaseResource(h);
  }
  if (refNum != -1) {
    UseResFile(refNum);
    if (Handle h = Get1Resource('PVER', 128)) ReleaseResource(h);
  }
  UseResFile(saved);
  return 0;
}

void GetConfig(HOLD_CONFIG* c) {
  defaults(c);
  const SInt16 saved = CurResFile();
  if (appFile() != -1) {
    UseResFile(appFile());
    Handle own = Get1Resource('PVER', 128);
    UseResFile(saved);
    if (!own) return;
    ReleaseResource(own);
  }
  SInt16 ref = -1;
  OpenPrefsFile(&ref, nullptr);
  if (ref == -1) {
    UseResFile(saved);
    return;
  }
  CheckPrefsVersion(ref);
  UseResFile(ref);
  Handle h = Get1Resource('CNFG', 128);
  if (h && *h) {
    HOLD_CONFIG read = *c;
    // The defaults stand as a whole unless the whole image is read.
    if (HoldConfigFromImage(std::span<const UInt8>(reinterpret_cast<const UInt8*>(*h), std::size_t(GetHandleSize(h))),
                            &read))
      *c = read;
  }
  CloseResFile(ref);
  UseResFile(appFile() != -1 ? appFile() : saved);
}

namespace {

// Puts data in as resource type 128 of the current file in place of the
// one there, under its id and name (a new one: 128, unnamed); the
// Resource Manager's error.
OSErr replaceResource(ResType type, const UInt8* data, std::size_t n) {
  SInt16 id = 128;
  Str255 name{};
  if (Handle old = Get1Resource(type, 128)) {
    ResType t;
    GetResInfo(old, &id, &t, name);
    RemoveResource(old);
    // A resource that cannot be removed (a protected one) still belongs to
    // the file: it is released, never disposed behind the file's back.
    if (OSErr err = ResError()) {
      ReleaseResource(old);
      return err;
    }
    DisposeHandle(old);
  }
  Handle h = NewHandle(Size(n));
  if (!h) return memFullErr;
  std::memcpy(*h, data, n);
  AddResource(h, type, id, name);
  if (OSErr err = ResError()) {
    DisposeHandle(h);
    return err;
  }
  WriteResource(h);
  return ResError();
}

OSErr writeConfig(const HOLD_CONFIG& c) {
  SInt16 ref = -1;
  OSErr err = OpenPrefsFile(&ref, nullptr);
  if (ref == -1) {
    OSErr r = ResError();
    return err ? err : r ? r : OSErr(ioErr);
  }
  UseResFile(ref);
  UInt8 version[256] = {UInt8(kConfigVersion >> 8), UInt8(kConfigVersion)};
  err = replaceResource('PVER', version, sizeof version);
  std::array<UInt8, kHoldConfigImageSize> image{};
  HoldConfigToImage(c, image);
  if (err == noErr) err = replaceResource('CNFG', image.data(), image.size());
  CloseResFile(ref);
  return err != noErr ? err : ResError();
}

}  // namespace

OSErr SetConfig(const HOLD_CONFIG& c) {
  const SInt16 saved = CurResFile();
  OSErr err = writeConfig(c);
  if (err != noErr) {
    // A damaged file, or one whose settings cannot be replaced: the
    // settings go into a new file in its place rather than being lost.
    FSSpec fss{};
    SInt16 ref = -1;
    OpenPrefsFile(&ref, &fss);
    if (ref != -1) CloseResFile(ref);
    FSpDelete(&fss);
    err = writeConfig(c);
  }
  UseResFile(appFile() != -1 ? appFile() : saved);
  return err;
}

void SetPrnOpt(UInt32* options, UInt32 value, int index) {
  if (!options || index < 0 || index > 6) return;
  *options |= (value << gusPrnOptShift[index]) & gulPrnOptMask[index];
}

UInt32 GetPrnOpt(UInt32 options, int index) {
  if (index < 0 || index > 6) return 0;
  return (options & gulPrnOptMask[index]) >> gusPrnOptShift[index];
}

void DivideFolderName(const std::string& name, std::string* prefix, std::string* rest, TextEncoding encoding) {
  std::size_t u = 0;
  while (u < name.size() && name[u] != '_') u += tb::CharByteCount(name, u, encoding);
  if (u >= name.size()) {
    prefix->clear();
    rest->clear();
    return;
  }
  *prefix = name.substr(0, u + 1);
  *rest = name.substr(u + 1);
}

std::string MakeRenFolderName(const std::string& prefix, const std::string& text, TextEncoding encoding) {
  return prefix + text.substr(0, tb::CharCutLength(text, 16, encoding));
}

std::string NameText(const UInt8* name, TextEncoding encoding) {
  return name ? tb::TextFromEncoding(bytesOf(name + 1, name[0]), encoding) : std::string();
}

bool NameBytes(const std::string& text, std::string_view original, TextEncoding from, TextEncoding to,
               std::size_t limit, std::string* out) {
  std::string bytes;
  if (tb::TextFromEncoding(original, from) == text && tb::TextFromEncoding(original, to) == text)
    bytes = original;
  else if (!tb::TextToEncoding(text, to, &bytes))
    return false;
  bytes.resize(tb::CharCutLength(bytes, limit, to));
  *out = std::move(bytes);
  return true;
}

RenameRefusal RenameJobTexts(const std::string& name, const std::string& owner, const JOB_ENTRY& job, UInt8 running,
                             TextEncoding runningEncoding, std::size_t limit, RenameTexts* out) {
  const TextEncoding own = LangCodeEncoding(job.lang, runningEncoding);
  const std::string heldName = pstr::str(job.name), heldOwner = pstr::str(job.owner);
  // The box lists the names with the code the rename brings, so both go in
  // the one language that code names: the job's own keeps what its client
  // wrote, the program's takes what the user typed that the job's cannot.
  RenameTexts t;
  for (const NameLanguage& l : RenameLanguages(job.lang, running, runningEncoding)) {
    t.langCode = l.code;
    if (NameBytes(name, heldName, own, l.encoding, limit, &t.name) &&
        NameBytes(owner, heldOwner, own, l.encoding, limit, &t.owner)) {
      *out = std::move(t);
      return RenameRefusal::None;
    }
  }
  std::string unused;
  return NameBytes(name, heldName, own, own, limit, &unused) ? RenameRefusal::Owner : RenameRefusal::Name;
}

int CheckDigit(const char* text, int len, long min, long max) {
  if (!text || len <= 0) return 0;
  long v = 0;
  for (int i = 0; i < len; ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    if (v <= max) v = v * 10 + (text[i] - '0');  // stops growing once past max
  }
  return v >= min && v <= max ? 1 : 0;
}

int CheckProhibitionStr(const char* text, int len) {
  if (!text || len <= 0) return 1;
  for (int i = 0; i < len; ++i)
    if ((static_cast<unsigned char>(text[i]) < 0x80) && isForbidden(text[i])) return 2;
  return 0;
}

int MakeShortJobName(char* out, const UInt8* name, bool lengthPrefixed, int limit) {
  if (!out || limit < 0) return 0;
  // In UTF-8 the text is the bytes, so it fits the caller's limit + 1.
  const std::string text = ShortJobName(name, lengthPrefixed, kCFStringEncodingUTF8, limit);
  std::memcpy(out, text.c_str(), text.size() + 1);
  return int(text.size());
}

std::string ShortJobName(const UInt8* name, bool lengthPrefixed, TextEncoding encoding, int limit) {
  if (!name || limit < 0) return {};
  const std::string_view bytes =
      lengthPrefixed ? bytesOf(name + 1, name[0]) : std::string_view(reinterpret_cast<const char*>(name));
  // The part kept is read as the whole name reads, so a name in the
  // language's encoding is not taken for UTF-8 by its first bytes.
  const TextEncoding in = tb::ReadingEncoding(bytes, encoding);
  if (bytes.size() <= std::size_t(limit)) return tb::ConvertFromEncoding(bytes, in);
  const std::size_t keep = tb::CharCutLength(bytes, limit >= 3 ? std::size_t(limit - 3) : 0, in);
  return tb::ConvertFromEncoding(bytes.substr(0, keep), in) + std::string("...", std::size_t(std::min(3, limit)));
}

std::string JobShortName(const JOB_ENTRY& job, TextEncoding running) {
  return ShortJobName(job.name, true, LangCodeEncoding(job.lang, running));
}

std::string FolderNameText(const FOLDER_ENTRY& folder, TextEncoding running) {
  return NameText(folder.name, LangCodeEncoding(folder.lang, running));
}

std::string HoldFormat(const std::string& format, std::initializer_list<HoldArg> args) {
  std::string out;
  auto next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c != '%' || i + 1 >= format.size()) {
      out += c;
      continue;
    }
    const char k = format[i + 1];
    if (k == '%') {
      out += '%';
      ++i;
    } else if ((k == 's' || k == 'd') && next != args.end() && next->isText == (k == 's')) {
      out += k == 's' ? next->text : std::to_string(next->number);
      ++next;
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

std::string DataSizeText(UInt64 bytes) {
  static const char* units[] = {" Byte", " KB", " MB"};
  double v = double(bytes);
  int u = 0;
  while (v > 1023 && u < 2) {
    v /= 1024;
    ++u;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  std::string s = buf;
  if (s.size() > 3 && s.compare(s.size() - 3, 3, ".00") == 0) s.resize(s.size() - 3);
  return s + units[u];
}

std::string HoldIniString(const char* iniFile, const char* section, const char* key) {
  if (!iniFile || !*iniFile || !section || !key) return {};
  const std::string head = section[0] == '[' ? section : "[" + std::string(section) + "]";
  char buf[1024] = {};
  if (!Load_File_To_CstringEx(head.c_str(), key, buf, sizeof buf, iniFile)) return {};
  return buf;
}

void SetPStrCut(UInt8* dest, std::string_view text, std::size_t limit) {
  const std::size_t n = tb::CharCutLength(text, std::min<std::size_t>(limit, 255));
  dest[0] = UInt8(n);
  if (n) std::memcpy(dest + 1, text.data(), n);
}

std::string DottedText(UInt32 addr) {
  char text[16];
  iptoa(addr, text);
  return text;
}

std::string DateText(const HoldDate& d) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04u/%02u/%02u, %02u:%02u", d.year, d.month, d.day, d.hour, d.minute);
  return buf;
}

short hold::RegisterPBOX(PBOXinfo* table, short count, const jcp_reply* reply, const PBOXEntityName* entity,
                         PBOXAddrBlock addr, short protocolNum) {
  if (!table || !reply || count <= 0) return 0;
  UInt16 h = GetPBOXHash(reply->jcpr_machine_type, reply->jcpr_nodeaddr);
  for (short i = 0; i < count; ++i)
    if (table[i].pbi_inuse && table[i].pbi_hash == h && std::memcmp(table[i].pbi_nodeaddr, reply->jcpr_nodeaddr, 6) == 0)
      return 0;
  for (short i = 0; i < count; ++i) {
    PBOXinfo& e = table[i];
    if (e.pbi_inuse) continue;
    e = PBOXinfo{};
    e.pbi_inuse = 1;
    e.pbi_hash = h;
    std::memcpy(e.pbi_machine_name, reply->jcpr_machine_name, 32);
    std::memcpy(e.pbi_machine_type, reply->jcpr_machine_type, 16);
    e.pbi_netno = reply->jcpr_netno;
    std::memcpy(e.pbi_nodeaddr, reply->jcpr_nodeaddr, 6);
    e.pbi_socket = reply->jcpr_socket;
    e.pbi_hopcount = reply->jcpr_hopcount;
    e.pbi_ip_addr = reply->jcpr_ip_addr;
    e.pbi_status = reply->jcpr_status;
    if (entity) e.ddpEName = *entity;
    e.ddpABlock = addr;
    e.protocol_Type_Num = protocolNum;
    return 1;
  }
  return 0;
}

void ParsePrinterInfo(const char* text, std::size_t len, PrinterCaps* caps) {
  static const char* keys[5] = {"ID13=", "ID38=", "ID14=", "ID15=", "ID49="};
  std::string t(text, strnlen(text, len));
  for (int i = 0; i < 5; ++i) {
    PRINTER_CAP& c = (*caps)[std::size_t(i)];
    std::memset(&c, 0, sizeof c);
    std::memcpy(c.key, keys[i], 4);
    std::size_t at = t.find(keys[i]);
    if (at == std::string::npos) continue;
    std::size_t v = at + 5;
    auto hex = [](char ch) -> int {
      if (ch >= '0' && ch <= '9') return ch - '0';
      if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
      if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
      return -1;
    };
    // "=" followed by the line's end is no value: 0.
    if (v >= t.size() || t[v] == '\r' || t[v] == '\n') continue;
    int hi = hex(t[v]);
    int lo = v + 1 < t.size() ? hex(t[v + 1]) : -1;
    c.value = lo < 0 ? 255 : UInt8((hi < 0 ? 15 : hi) * 16 + lo);
  }
}

OSErr Get_Printer_Info(const UInt8 mac[6], PrinterCaps* caps, const char* strIni) {
  char folder[64] = {};
  // Without a folder of its own in the ini the program looks in its own
  // default, which is not the monitor's: the two meet through the ini files.
  if (!strIni || !Load_File_To_CstringEx("[MACSTR]", "FOLDER=", folder, 33, strIni) || !folder[0])
    std::snprintf(folder, sizeof folder, "%s", kHoldStatusFolderDefault);
  SInt16 vRef = 0;
  SInt32 dirID = 0;
  OSErr err = FindFolder(kOnSystemDisk, kCurrentUserFolderType, false, &vRef, &dirID);
  if (err) return err;
  char path[128];
  std::snprintf(path, sizeof path, ":%s:V%02X%02X%02X%02X%02X%02X.vsf", folder, mac[0], mac[1], mac[2], mac[3], mac[4],
                mac[5]);
  Str255 p;
  p[0] = UInt8(std::min<std::size_t>(std::strlen(path), 63));
  std::memcpy(p + 1, path, p[0]);
  FSSpec fss{};
  err = FSMakeFSSpec(vRef, dirID, p, &fss);
  if (err) return err;
  SInt16 ref = 0;
  err = FSpOpenDF(&fss, fsRdWrShPerm, &ref);
  if (err) return err;
  char buf[4097] = {};
  SInt32 n = 4096;
  err = FSRead(ref, &n, buf);
  FSClose(ref);
  if (err && err != eofErr) return err;
  ParsePrinterInfo(buf, std::size_t(std::max<SInt32>(n, 0)), caps);
  return noErr;
}
