// The settings record in the preference file, and the broadcast list in
// "ConfigData" beside the bundles.
#include <cstdio>
#include <cstring>
#include <string>

#include "filetransfer/Upcaster.h"
#include "506Q_Lib/AppLocation.h"
#include "common/IniFile.h"
#include "suite/SuiteNames.h"
#include "toolbox/fileservices.h"
#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/resources.h"

// Defaults until the preference file is read: the application's own
// 'CNFG' 128 has the same values.
CONFIGURATION ConfigData{2500, 5, 3, 0xFFFFFFFFu, 0};

namespace upc {

BROAD_DATA EnvInfo{};

namespace {

constexpr SInt16 kConfigID = 128;

// Replaces resource (type, id) of the current file with data, keeping the
// old one's name, id and attributes.
void replace_resource(ResType type, SInt16 id, const UInt8* data, std::size_t len) {
  Str255 name = {0};
  SInt16 attrs = 0;
  if (Handle old = Get1Resource(type, id)) {
    ResType t;
    GetResInfo(old, &id, &t, name);
    attrs = GetResAttrs(old);
    RemoveResource(old);
    DisposeHandle(old);
  }
  Handle h = NewHandleClear(static_cast<Size>(len));
  if (!h) return;
  std::memcpy(*h, data, len);
  AddResource(h, type, id, name);
  SetResAttrs(h, attrs);
  ChangedResource(h);
  WriteResource(h);
  ReleaseResource(h);
}

// The application's default record.
bool default_record(CONFIGURATION& c) {
  const SInt16 saved = CurResFile();
  UseResFile(Appl_Rsrc_Fork_No);
  bool ok = false;
  if (Handle h = Get1Resource('CNFG', kConfigID))
    ok = Unpack_Ftp_Config(std::span<const UInt8>(reinterpret_cast<const UInt8*>(*h),
                                                  static_cast<std::size_t>(GetHandleSize(h))),
                           c);
  UseResFile(saved);
  return ok;
}

}  // namespace

void Pack_Ftp_Config(const CONFIGURATION& c, std::span<UInt8, kFtpConfigSize> out) {
  UInt8* b = out.data();
  std::memset(b, 0, kFtpConfigSize);
  be::put16(b + 0, c.rcvWait);
  be::put16(b + 2, static_cast<UInt16>(c.datWait));
  be::put16(b + 4, static_cast<UInt16>(c.retry));
  be::put32(b + 6, c.brAddr);
  b[10] = c.oldVerCompati;
}

bool Unpack_Ftp_Config(std::span<const UInt8> bytes, CONFIGURATION& c) {
  if (bytes.size() < kFtpConfigSize) return false;
  const UInt8* b = bytes.data();
  c.rcvWait = be::get16(b + 0);
  c.datWait = static_cast<SInt16>(be::get16(b + 2));
  c.retry = static_cast<SInt16>(be::get16(b + 4));
  c.brAddr = be::get32(b + 6);
  c.oldVerCompati = b[10];
  return true;
}

bool Pref_Spec(FSSpec* fss) {
  const SInt16 saved = CurResFile();
  UseResFile(Appl_Rsrc_Fork_No);
  Str255 name;
  GetIndString(name, kStrFileNames, 1);
  UseResFile(saved);
  if (name[0] == 0) return false;
  SInt16 vol;
  SInt32 dir;
  if (FindFolder(kOnSystemDisk, kPreferencesFolderType, kCreateFolder, &vol, &dir) != noErr) return false;
  OSErr err = FSMakeFSSpec(vol, dir, name, fss);
  return err == noErr || err == fnfErr;
}

SInt16 Create_Pref_File(const FSSpec* fss) {
  if (!fss) return -1;
  struct Taken {
    ResType type;
    Handle h = nullptr;
    Str255 name{};
    SInt16 attrs = 0;
  } taken[2] = {{'CNFG'}, {'TMPL'}};
  UseResFile(Appl_Rsrc_Fork_No);
  for (Taken& t : taken) {
    Handle h = Get1Resource(t.type, 128);
    if (!h) continue;
    SInt16 id;
    ResType type;
    GetResInfo(h, &id, &type, t.name);
    t.attrs = GetResAttrs(h);
    DetachResource(h);
    t.h = h;
  }
  FSpCreateResFile(fss, kUpcasterCreator, 'pref', smSystemScript);
  SInt16 ref = FSpOpenResFile(fss, fsRdWrPerm);
  if (ref < 0) {
    for (Taken& t : taken)
      if (t.h) DisposeHandle(t.h);
    return -1;
  }
  UseResFile(ref);
  for (Taken& t : taken) {
    if (!t.h) continue;
    AddResource(t.h, t.type, 128, t.name);
    SetResAttrs(t.h, t.attrs);
    ChangedResource(t.h);
    WriteResource(t.h);
    ReleaseResource(t.h);
  }
  return ref;
}

SInt16 Open_Pref_File() {
  FSSpec fss;
  if (!Pref_Spec(&fss)) return -1;
  // Whoever made the file (this tool or the administration program), it is
  // read as it is: there is no version to compare.
  SInt16 ref = FSpOpenResFile(&fss, fsRdWrPerm);
  if (ref >= 0) {
    UseResFile(ref);
    return ref;
  }
  return Create_Pref_File(&fss);
}

void Get_Configuration() {
  SInt16 ref = Open_Pref_File();
  bool read = false;
  if (ref >= 0) {
    UseResFile(ref);
    if (Handle h = Get1Resource('CNFG', kConfigID))
      read = Unpack_Ftp_Config(std::span<const UInt8>(reinterpret_cast<const UInt8*>(*h),
                                                      static_cast<std::size_t>(GetHandleSize(h))),
                               ConfigData);
    CloseResFile(ref);
  }
  // A record missing or too short to hold every field: the defaults.
  if (!read) default_record(ConfigData);
  UseResFile(Appl_Rsrc_Fork_No);
}

OSErr Set_Configuration() {
  SInt16 ref = Open_Pref_File();
  if (ref < 0) {
    UseResFile(Appl_Rsrc_Fork_No);
    return fnfErr;
  }
  UseResFile(ref);
  UInt8 record[kFtpConfigSize];
  Pack_Ftp_Config(ConfigData, std::span<UInt8, kFtpConfigSize>(record, kFtpConfigSize));
  replace_resource('CNFG', kConfigID, record, sizeof record);
  OSErr err = ResError();
  CloseResFile(ref);
  UseResFile(Appl_Rsrc_Fork_No);
  return err;
}

bool ConfigData_Spec(FSSpec* fss) {
  FSSpec app;
  if (GetAppLocation(&app) != noErr) return false;
  // Up from the program's folder (MacOS, Contents, the bundle) to the
  // folder that holds the bundles, where the administration program keeps
  // the same file.
  const std::string partial = std::string("::::") + suite::kConfigDataName;
  Str255 name;
  name[0] = static_cast<UInt8>(partial.size());
  std::memcpy(name + 1, partial.data(), partial.size());
  OSErr err = FSMakeFSSpec(app.vRefNum, app.parID, name, fss);
  return err == noErr || err == fnfErr;
}

std::string Dotted(UInt32 a) {
  char text[20];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", a >> 24, (a >> 16) & 255, (a >> 8) & 255, a & 255);
  return text;
}

UInt32 Parse_IPv4(const char* text) {
  if (!text) return 0;
  UInt32 addr = 0;
  const char* p = text;
  for (int part = 0; part < 4; ++part) {
    if (*p < '0' || *p > '9') return 0;
    UInt32 n = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9') {
      n = n * 10 + UInt32(*p - '0');
      if (++digits > 3 || n > 255) return 0;
      ++p;
    }
    addr = (addr << 8) | n;
    if (part < 3) {
      if (*p != '.') return 0;
      ++p;
    }
  }
  return addr;
}

void Get_BroadcastAddr() {
  EnvInfo = BROAD_DATA{};
  std::snprintf(EnvInfo.broadcast[0], kBroadcastTextSize, "%s", Dotted(ConfigData.brAddr).c_str());
  UInt32 count = 1;
  FSSpec fss;
  if (ConfigData_Spec(&fss)) {
    for (int n = 1; n < kBroadcastMax; ++n) {
      char key[16];
      std::snprintf(key, sizeof key, "UDP%02d=", n - 1);
      char value[32] = "";
      if (!Get_File_To_CstringEx("[SYSTEM]", key, value, sizeof value, &fss) || value[0] == 0) break;
      // An entry holds 19 characters; a longer value is cut.
      std::size_t len = std::strlen(value);
      if (len > kBroadcastTextSize - 1) len = kBroadcastTextSize - 1;
      std::memcpy(EnvInfo.broadcast[n], value, len);
      EnvInfo.broadcast[n][len] = 0;
      ++count;
    }
  }
  EnvInfo.tcp_count = count;
}

std::vector<UInt8> Build_Status_Data(const BROAD_DATA& info) {
  std::string text = "[SYSTEM]\r\n";
  const UInt32 count = info.tcp_count > UInt32(kBroadcastMax) ? UInt32(kBroadcastMax) : info.tcp_count;
  for (UInt32 n = 1; n < count; ++n) {
    char entry[kBroadcastTextSize + 1];
    std::memcpy(entry, info.broadcast[n], kBroadcastTextSize);
    entry[kBroadcastTextSize] = 0;
    char line[64];
    std::snprintf(line, sizeof line, "UDP%02u=%s\r\n", n - 1, entry);
    text += line;
  }
  return std::vector<UInt8>(text.begin(), text.end());
}

short Save_Status_Data(const BROAD_DATA* info) {
  if (!info) return 1;
  FSSpec fss;
  if (!ConfigData_Spec(&fss)) return 1;
  const std::vector<UInt8> text = Build_Status_Data(*info);
  // Replaced as one step, so a failed write never loses the list.
  tb::WriteFileAtomically(fss, text, kAdminCreator, 'TEXT');
  return 1;
}

}  // namespace upc

std::vector<UInt8> Pack_Configuration(const CONFIGURATION* config) {
  std::vector<UInt8> out(kFtpConfigSize);
  if (config) upc::Pack_Ftp_Config(*config, std::span<UInt8, kFtpConfigSize>(out.data(), kFtpConfigSize));
  return out;
}
