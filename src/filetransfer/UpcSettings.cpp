// The settings record in the preference file, and the broadcast list in
// "ConfigData" beside the bundles.
#include <cstdio>
#include <cstring>
#include <string>

#include "common/BroadcastList.h"
#include "common/PrefFile.h"
#include "common/ReplaceResource.h"
#include "filetransfer/Upcaster.h"
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
  if (!Pref_Name_File_Spec(1, &fss)) return -1;  // the first of the file names
  // Whoever made the file (this tool or the administration program), it is
  // read as it is: there is no version to compare.
  SInt16 ref = FSpOpenResFile(&fss, fsRdWrPerm);
  if (ref >= 0) {
    UseResFile(ref);
    return ref;
  }
  return upc::Create_Pref_File(&fss);
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
  OSErr err = Replace_Resource('CNFG', kConfigID, record);
  CloseResFile(ref);
  UseResFile(Appl_Rsrc_Fork_No);
  return err;
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
  EnvInfo.tcp_count = UInt32(Read_Broadcast_List(EnvInfo.broadcast));
}

std::vector<UInt8> Build_Status_Data(const BROAD_DATA& info) {
  return Broadcast_List_Text(info.broadcast, info.tcp_count);
}

short Save_Status_Data(const BROAD_DATA* info) {
  if (info) Write_Broadcast_List(info->broadcast, info->tcp_count, kAdminCreator);
  return 1;
}

}  // namespace upc

std::vector<UInt8> Pack_Configuration(const CONFIGURATION* config) {
  std::vector<UInt8> out(kFtpConfigSize);
  if (config) upc::Pack_Ftp_Config(*config, std::span<UInt8, kFtpConfigSize>(out.data(), kFtpConfigSize));
  return out;
}
