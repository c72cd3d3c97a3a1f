// The search configuration and the files it lives in.
#include "Admin/SearchConfig.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "Admin/AdminApp.h"
#include "common/IniFile.h"
#include "common/PrefFile.h"
#include "common/ReplaceResource.h"
#include "common/StrConv.h"
#include "OT/NBPLookup.h"
#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/resources.h"

CONFIGURATION ConfigData{3000, 2, 60, 0xFFFFFFFFu, 0, 1, 0, 0, "*"};
SETUPINFO EnvInfo{};
FTP_CONFIG ftpConfData{};
Boolean confType = 0;

namespace {

constexpr SInt16 kConfigID = 128;
constexpr UInt16 kFtpRcvWaitMax = 5000;

// The settings file of a start by another program's launch event: a name
// of its own, so that deleting it at exit never touches the mode file.
SInt16 temp_pref_file() {
  FSSpec fss;
  if (!Pref_Name_File_Spec(4, &fss)) return -1;
  SInt16 ref = FSpOpenResFile(&fss, fsRdWrPerm);
  if (ref >= 0) return ref;
  return Create_Pref_File(&fss);
}

}  // namespace

void Pack_Config_Record(const CONFIGURATION& c, std::span<UInt8, kConfigRecordSize> out) {
  UInt8* b = out.data();
  std::memset(b, 0, kConfigRecordSize);
  be::put16(b + 0, c.rcvWait);
  be::put16(b + 2, static_cast<UInt16>(c.retry));
  be::put16(b + 4, static_cast<UInt16>(c.pollTime));
  be::put32(b + 6, c.brAddr);
  b[10] = c.oldVerCompati;
  b[11] = c.Protocol_1;
  b[12] = c.Protocol_2;
  b[13] = c.choiceNetworkzone;
  std::memcpy(b + 14, c.SearchZoneName, kZoneNameSize);
  b[14 + kZoneNameSize - 1] = 0;
}

bool Unpack_Config_Record(std::span<const UInt8> bytes, CONFIGURATION& c) {
  if (bytes.size() < kConfigRecordSize) return false;
  const UInt8* b = bytes.data();
  c.rcvWait = be::get16(b + 0);
  c.retry = static_cast<SInt16>(be::get16(b + 2));
  c.pollTime = static_cast<SInt16>(be::get16(b + 4));
  c.brAddr = be::get32(b + 6);
  c.oldVerCompati = b[10] ? 1 : 0;
  c.Protocol_1 = b[11] ? 1 : 0;
  c.Protocol_2 = b[12] ? 1 : 0;
  c.choiceNetworkzone = b[13] ? 1 : 0;
  std::memcpy(c.SearchZoneName, b + 14, kZoneNameSize);
  c.SearchZoneName[kZoneNameSize - 1] = 0;
  return true;
}

std::vector<UInt8> Pack_Configuration(const CONFIGURATION* config) {
  std::vector<UInt8> out(kConfigRecordSize);
  if (config) Pack_Config_Record(*config, std::span<UInt8, kConfigRecordSize>(out.data(), kConfigRecordSize));
  return out;
}

void Pack_Ftp_Config(const CONFIGURATION& c, std::span<UInt8, kFtpConfigSize> out) {
  UInt8* b = out.data();
  std::memset(b, 0, kFtpConfigSize);
  be::put16(b + 0, c.rcvWait > kFtpRcvWaitMax ? kFtpRcvWaitMax : c.rcvWait);
  be::put16(b + 2, 5);
  be::put16(b + 4, static_cast<UInt16>(c.retry));
  be::put32(b + 6, c.brAddr);
  b[10] = c.oldVerCompati;
}

void Get_Configuration() {
  char type[16] = "";
  Load_File_To_CstringEx("[CONFIGTAB]", "CONFTYPE=", type, sizeof type, IniFileName);
  confType = std::strcmp(type, "JPN") == 0 ? 1 : 0;

  SInt16 ref = OpenMode == 1 ? Open_Pref_File() : temp_pref_file();
  if (ref >= 0) {
    UseResFile(ref);
    // A file without a whole record keeps the built-in defaults.
    if (Handle h = Get1Resource('CNFG', kConfigID)) {
      Unpack_Config_Record(std::span<const UInt8>(reinterpret_cast<const UInt8*>(*h),
                                                  static_cast<std::size_t>(GetHandleSize(h))),
                           ConfigData);
    }
    CloseResFile(ref);
  }
  if (ConfigData.SearchZoneName[0] == 0 || ConfigData.SearchZoneName[0] == '*') {
    UInt8 zone[64] = {0};
    OSStatus err = 0;
    if (ZIP_GetZone(zone, sizeof zone, ZIP_OWN_ZONE, &err, false) > 0 && zone[0] > 0) {
      std::size_t n = zone[0] < kZoneNameSize - 1 ? zone[0] : kZoneNameSize - 1;
      std::memcpy(ConfigData.SearchZoneName, zone + 1, n);
      ConfigData.SearchZoneName[n] = 0;
    }
  }
  if (confType == 1) ConfigData.oldVerCompati = 1;
  UseResFile(Appl_Rsrc_Fork_No);
}

void Get_BroadcastAddr() {
  EnvInfo = SETUPINFO{};
  iptoa(ConfigData.brAddr, EnvInfo.broadcast[0]);
  EnvInfo.tcp_count = Read_Broadcast_List(EnvInfo.broadcast);
}

std::vector<UInt8> Build_Status_Data(const SETUPINFO& info) {
  return Broadcast_List_Text(info.broadcast, info.tcp_count);
}

short Save_Status_Data(const SETUPINFO* info) {
  if (!info || OpenMode != 1) return 1;
  Write_Broadcast_List(info->broadcast, info->tcp_count, kAdminCreator);
  return 1;
}

void Check_Configuration() {
  if (OpenMode == 1) return;
  FSSpec fss;
  if (Pref_Name_File_Spec(4, &fss)) FSpDelete(&fss);
}

SInt16 Check_VFTP_Preference_Version(SInt16 refNum) {
  auto version = [](SInt16 file) -> UInt16 {
    UseResFile(file);
    Handle h = Get1Resource('PVER', 129);
    if (!h || GetHandleSize(h) < 2) return 0;
    return be::get16(*h);
  };
  const UInt16 mine = version(Appl_Rsrc_Fork_No);
  const UInt16 theirs = version(refNum);
  return mine == theirs ? 0 : 1;
}

SInt16 Create_Ftp_Pref_File(const FSSpec* fss) {
  if (!fss) return -1;
  struct Copy {
    ResType from;
    SInt16 fromID;
    ResType to;
    SInt16 toID;
    bool renameCNFG;
  };
  static constexpr Copy kCopies[] = {
      {'VFTP', 128, 'CNFG', 128, false},
      {'TMPL', 132, 'TMPL', 128, true},
      {'PVER', 129, 'PVER', 129, false},
      {'TMPL', 130, 'TMPL', 130, false},
  };
  struct Taken {
    Handle h = nullptr;
    Str255 name{};
    SInt16 attrs = 0;
  } taken[4];
  UseResFile(Appl_Rsrc_Fork_No);
  for (int i = 0; i < 4; ++i) {
    Handle h = Get1Resource(kCopies[i].from, kCopies[i].fromID);
    if (!h) continue;
    SInt16 id;
    ResType t;
    GetResInfo(h, &id, &t, taken[i].name);
    taken[i].attrs = GetResAttrs(h);
    DetachResource(h);
    taken[i].h = h;
    if (kCopies[i].renameCNFG) {
      taken[i].name[0] = 4;
      std::memcpy(taken[i].name + 1, "CNFG", 4);
    }
  }
  FSpCreateResFile(fss, kAdminCreator, 'pref', smSystemScript);
  SInt16 ref = FSpOpenResFile(fss, fsRdWrPerm);
  if (ref < 0) {
    for (auto& t : taken)
      if (t.h) DisposeHandle(t.h);
    return -1;
  }
  UseResFile(ref);
  for (int i = 0; i < 4; ++i) {
    if (!taken[i].h) continue;
    AddResource(taken[i].h, kCopies[i].to, kCopies[i].toID, taken[i].name);
    SetResAttrs(taken[i].h, taken[i].attrs);
    ChangedResource(taken[i].h);
    WriteResource(taken[i].h);
    ReleaseResource(taken[i].h);
  }
  return ref;
}

SInt16 Open_Ftp_Pref_File() {
  FSSpec fss;
  if (!Pref_Name_File_Spec(3, &fss)) return -1;
  SInt16 ref = FSpOpenResFile(&fss, fsRdWrPerm);
  if (ref >= 0) {
    if (Check_VFTP_Preference_Version(ref) == 0) {
      UseResFile(ref);
      return ref;
    }
    CloseResFile(ref);
    // An outdated file that cannot be deleted is left alone: nothing is
    // written into it.
    if (FSpDelete(&fss) != noErr) return -1;
  }
  return Create_Ftp_Pref_File(&fss);
}

void Set_Ftp_Configuration() {
  ftpConfData.rcvWait = ConfigData.rcvWait > kFtpRcvWaitMax ? kFtpRcvWaitMax : ConfigData.rcvWait;
  ftpConfData.datWait = 5;
  ftpConfData.retry = static_cast<UInt16>(ConfigData.retry);
  ftpConfData.brAddr = 0xFFFFFFFFu;
  ftpConfData.oldVerCompati = ConfigData.oldVerCompati;
  SInt16 ref = Open_Ftp_Pref_File();
  if (ref >= 0) {
    UseResFile(ref);
    UInt8 record[kFtpConfigSize];
    Pack_Ftp_Config(ConfigData, std::span<UInt8, kFtpConfigSize>(record, kFtpConfigSize));
    Replace_Resource('CNFG', 128, record);
    CloseResFile(ref);
  }
  UseResFile(Appl_Rsrc_Fork_No);
}
