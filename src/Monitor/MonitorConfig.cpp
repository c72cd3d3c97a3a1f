// The monitor's settings record and broadcast list in their files, packed
// and unpacked field by field.
#include "Monitor/MonitorConfig.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/AppGlobals.h"
#include "common/IniFile.h"
#include "common/PrefFile.h"
#include "common/StrConv.h"
#include "OT/NBPLookup.h"
#include "toolbox/fileservices.h"
#include "toolbox/resources.h"

namespace {

constexpr SInt16 kConfigID = 128;
constexpr char kBrdadr[] = "Brdadr";

std::string gMonitorFolder;  // empty: the folder that holds the bundle

// Replaces an empty zone or "*" with the machine's own zone (empty when
// there is none).
void ownZone(CONFIGURATION& c) {
  if (c.SearchZoneName[0] != '\0' && c.SearchZoneName[0] != '*') return;
  UInt8 zone[64] = {};
  OSStatus err = 0;
  ZIP_GetZone(zone, sizeof zone, ZIP_OWN_ZONE, &err, false);
  std::memset(c.SearchZoneName, 0, sizeof c.SearchZoneName);
  if (err == 0) {
    std::size_t n = std::min<std::size_t>(zone[0], sizeof c.SearchZoneName - 1);
    std::memcpy(c.SearchZoneName, zone + 1, n);
  }
}

// 'CNFG' 128 of the current resource file.
CONFIGURATION readRecord() {
  CONFIGURATION c = Default_Configuration();
  Handle h = Get1Resource('CNFG', kConfigID);
  if (h && *h) UnpackConfiguration(std::span<const UInt8>(reinterpret_cast<const UInt8*>(*h), GetHandleSize(h)), c);
  return c;
}

}  // namespace

CONFIGURATION Default_Configuration() {
  CONFIGURATION c{};
  c.statUpdate = 3000;
  c.brAddr = SInt32(0xFFFFFFFFu);
  c.retry = 3;
  c.popupCount = 8;
  c.popupFlag = 0xE0;  // a lost printer, supplies out and a printer error pop up
  c.Protocol_1 = 1;
  c.soundOpt = 1;
  return c;
}

void PackConfiguration(const CONFIGURATION& c, std::span<UInt8, kConfigurationSize> o) {
  std::fill(o.begin(), o.end(), 0);
  be::put16(&o[0], c.statUpdate);
  be::put32(&o[4], UInt32(c.brAddr));
  be::put16(&o[8], UInt16(c.retry));
  o[10] = c.reserve_1;
  o[11] = c.oldVerCompati;
  o[12] = c.reserve_2;
  o[13] = c.activeErrWin;
  o[14] = c.popupCount;
  o[15] = c.popupReserve;
  o[16] = c.popupFlag;
  o[17] = c.monitorOption;
  o[18] = c.StartupFlag;
  be::put16(&o[20], c.windowH);
  be::put16(&o[22], c.windowV);
  o[24] = c.Protocol_1;
  o[25] = c.Protocol_2;
  o[26] = c.choiceNetworkzone;
  std::memcpy(&o[27], c.SearchZoneName, 36);
  o[62] = 0;  // the zone name always ends inside its field
  o[63] = c.soundOpt;
}

bool UnpackConfiguration(std::span<const UInt8> b, CONFIGURATION& c) {
  if (b.size() < kConfigurationSize) {
    c = Default_Configuration();
    return false;
  }
  c = CONFIGURATION{};
  c.statUpdate = be::get16(&b[0]);
  c.brAddr = SInt32(be::get32(&b[4]));
  c.retry = SInt16(be::get16(&b[8]));
  c.reserve_1 = b[10];
  c.oldVerCompati = b[11];
  c.reserve_2 = b[12];
  c.activeErrWin = b[13];
  c.popupCount = b[14];
  c.popupReserve = b[15];
  c.popupFlag = b[16];
  c.monitorOption = b[17];
  c.StartupFlag = b[18];
  c.windowH = be::get16(&b[20]);
  c.windowV = be::get16(&b[22]);
  c.Protocol_1 = b[24];
  c.Protocol_2 = b[25];
  c.choiceNetworkzone = b[26];
  std::memcpy(c.SearchZoneName, &b[27], 35);
  c.SearchZoneName[35] = '\0';
  c.soundOpt = b[63];
  return true;
}

std::vector<UInt8> Pack_Configuration(const CONFIGURATION* config) {
  std::vector<UInt8> out(kConfigurationSize);
  PackConfiguration(*config, std::span<UInt8, kConfigurationSize>(out.data(), kConfigurationSize));
  return out;
}

std::string mactoa_colon(const UInt8* m) {
  char b[24];
  std::snprintf(b, sizeof b, "%02X;%02X;%02X;%02X;%02X;%02X", m[0], m[1], m[2], m[3], m[4], m[5]);
  return b;
}

void Set_Monitor_Folder(const std::string& folder) { gMonitorFolder = folder; }

bool Monitor_File_Spec(const std::string& name, FSSpec* fss) {
  if (!gMonitorFolder.empty()) {
    // A name is one file inside the folder, never a path out of it.
    if (name.empty() || name.find('/') != std::string::npos || name.size() > 255) return false;
    const OSErr err = tb::PathToSpec(gMonitorFolder + "/" + name, fss);
    return err == noErr || err == fnfErr;
  }
  FSSpec app;
  if (tb::GetApplicationSpec(&app) != noErr) return false;
  std::string partial = "::::" + name;
  if (partial.size() > 255) return false;
  Str255 p;
  p[0] = UInt8(partial.size());
  std::memcpy(p + 1, partial.data(), partial.size());
  OSErr err = FSMakeFSSpec(app.vRefNum, app.parID, p, fss);
  return err == noErr || err == fnfErr;
}

std::string Settings_File_Name(const UInt8* mac) { return "VEMO-MONITOR-" + mactoa_colon(mac); }

void Get_Configuration() {
  SInt16 ref = Open_Pref_File();
  ConfigData = Default_Configuration();
  if (ref >= 0) {
    ConfigData = readRecord();
    CloseResFile(ref);
  }
  UseResFile(Appl_Rsrc_Fork_No);
  ownZone(ConfigData);
}

SInt16 Load_Configuration(const FSSpec* fss, CONFIGURATION* config) {
  SInt16 ref = Open_MonitorPref_File(fss);
  if (ref < 0) return -1;
  CONFIGURATION c = readRecord();
  CloseResFile(ref);
  UseResFile(Appl_Rsrc_Fork_No);
  ownZone(c);
  *config = c;
  return ref;
}

SInt32 Get_Monitor_Config(const PBOXinfo* pbox, CONFIGURATION* config) {
  if (!pbox || !pbox->pbi_inuse) {
    *config = ConfigData;
    return 1;
  }
  const CONFIGURATION prev = *config;
  FSSpec fss;
  bool haveSpec = Monitor_File_Spec(Settings_File_Name(pbox->pbi_nodeaddr), &fss);
  bool missing = !haveSpec || Load_Configuration(&fss, config) < 0;
  if (missing) {
    *config = ConfigData;
    // The port follows the box itself, never the program-wide record.
    config->oldVerCompati = pbox->pbi_socket == 9 ? 1 : 0;
  }
  if (prev.Protocol_1 == 1 || prev.Protocol_2 == 1) {
    config->Protocol_1 = prev.Protocol_1;
    config->Protocol_2 = prev.Protocol_2;
    config->choiceNetworkzone = prev.choiceNetworkzone;
    std::memcpy(config->SearchZoneName, prev.SearchZoneName, sizeof config->SearchZoneName);
  }
  if (missing && haveSpec) Save_Configuration(&fss, config);
  return 1;
}

SInt32 Set_Config_Data(const PBOXinfo* pbox, const CONFIGURATION* config, short save) {
  FSSpec fss;
  if (!pbox || !Monitor_File_Spec(Settings_File_Name(pbox->pbi_nodeaddr), &fss)) return 1;
  if (save)
    Save_Configuration(&fss, config);
  else
    FSpDelete(&fss);
  return 1;
}

void Get_BroadcastAddr() {
  EnvInfo = SETUPINFO{};
  iptoa(UInt32(ConfigData.brAddr), EnvInfo.broadcast[0]);
  int count = 1;
  FSSpec fss;
  std::string path;
  if (Monitor_File_Spec(kBrdadr, &fss) && tb::SpecToPath(fss, path) == noErr) {
    for (int k = 0; k < kBroadcastMax - 1; ++k) {
      char key[16], value[32] = "";
      std::snprintf(key, sizeof key, "UDP%02d=", k);
      if (!Load_File_To_CstringEx("[SYSTEM]", key, value, sizeof value, path.c_str())) break;
      // An entry holds 19 characters; a longer value is no address.
      if (std::strlen(value) >= kBroadcastEntry) break;
      std::memcpy(EnvInfo.broadcast[count], value, std::strlen(value) + 1);
      ++count;
    }
  }
  EnvInfo.tcp_count = count;
}

SInt32 Save_Broadcast_Data(const SETUPINFO* info) {
  std::string text = "[SYSTEM]\r\n";
  int count = std::clamp<int>(info->tcp_count, 1, kBroadcastMax);
  for (int k = 1; k < count; ++k) {
    char line[48];
    std::snprintf(line, sizeof line, "UDP%02d=%.*s\r\n", k - 1, int(kBroadcastEntry - 1), info->broadcast[k]);
    text += line;
  }
  FSSpec fss;
  if (Monitor_File_Spec(kBrdadr, &fss))
    tb::WriteFileAtomically(fss, std::span<const UInt8>(reinterpret_cast<const UInt8*>(text.data()), text.size()),
                            'VMxm', 'TEXT');
  return 1;
}
