// The status monitor's data files as the installer commits them. Every
// format is the monitor's own module, pointed for the moment of the write
// at the folder the monitor was installed in, so the two programs can never
// disagree on a byte. Also the names the monitor's modules expect of the
// program that compiles them.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "common/AppGlobals.h"
#include "common/LoginPref.h"
#include "common/PrefFile.h"
#include "Installer/InstApp.h"
#include "Monitor/MonitorConfig.h"
#include "Monitor/StartupFiles.h"
#include "Monitor/StatusData.h"
#include "toolbox/files.h"
#include "toolbox/loginitems.h"
#include "toolbox/memory.h"
#include "toolbox/resources.h"

char MonFileName[kAppFileNameSize] = "";
CONFIGURATION ConfigData{};
OSType Pref_File_Creator = kMonitorCreator;
SInt16 sysCheck = 0;
SETUPINFO EnvInfo{};

namespace {

constexpr int kLoginTries = 10;

// The monitor's files resolve inside the folder while this lives.
struct MonitorFolder {
  explicit MonitorFolder(const std::string& folder) { Set_Monitor_Folder(folder); }
  ~MonitorFolder() { Set_Monitor_Folder(""); }
  MonitorFolder(const MonitorFolder&) = delete;
  MonitorFolder& operator=(const MonitorFolder&) = delete;
};

void clearWildZone(CONFIGURATION& c) {
  if (c.SearchZoneName[0] == '\0' || c.SearchZoneName[0] == '*')
    std::memset(c.SearchZoneName, 0, sizeof c.SearchZoneName);
}

bool noFolder(const std::string& folder, const char* what) {
  if (!folder.empty()) return false;
  // No monitor was copied (its copy-list section names no file): there is
  // no folder to write into, and guessing one would scatter files.
  std::fprintf(stderr, "vemoplexinstall: no monitor folder; %s skipped\n", what);
  return true;
}

// The file spec of item n of the file-name list in the Preferences folder (made).
bool prefSpec(short index, FSSpec* fss, std::string* name) {
  Str255 p;
  SInt16 saved = CurResFile();
  UseResFile(Appl_Rsrc_Fork_No);
  GetIndString(p, kFileNamesID, index);
  UseResFile(saved);
  if (p[0] == 0) return false;
  SInt16 vol;
  SInt32 dir;
  if (FindFolder(kOnSystemDisk, kPreferencesFolderType, kCreateFolder, &vol, &dir) != noErr) return false;
  if (name) name->assign(reinterpret_cast<const char*>(p + 1), p[0]);
  OSErr err = FSMakeFSSpec(vol, dir, p, fss);
  return err == noErr || err == fnfErr;
}

// The monitor's preference file made anew from the templates with the
// record, beside the old one, then renamed over it: the old file stays
// whole until the new one is.
void writePreferenceFile(const CONFIGURATION& config) {
  FSSpec fss, tmp;
  std::string name;
  if (!prefSpec(2, &fss, &name)) return;
  std::string path;
  if (tb::SpecToPath(fss, path) != noErr) return;
  const std::string tmpPath = path + ".new";
  ::unlink(tmpPath.c_str());
  if (tb::PathToSpec(tmpPath, &tmp) != fnfErr) return;
  SInt16 ref = Create_Pref_File(&tmp);
  if (ref < 0) {
    UseResFile(Appl_Rsrc_Fork_No);
    return;
  }
  CloseResFile(ref);
  UseResFile(Appl_Rsrc_Fork_No);
  if (Save_Configuration(&tmp, &config) != noErr || ::rename(tmpPath.c_str(), path.c_str()) != 0) {
    std::fprintf(stderr, "vemoplexinstall: the monitor's preference file could not be written\n");
    ::unlink(tmpPath.c_str());
  }
}

}  // namespace

void Get_Search_Configuration(CONFIGURATION* config) {
  SInt16 saved = CurResFile();
  UseResFile(Appl_Rsrc_Fork_No);
  Handle h = Get1Resource('CNFG', 128);
  CONFIGURATION c = Default_Configuration();
  if (h && *h) UnpackConfiguration(std::span<const UInt8>(reinterpret_cast<const UInt8*>(*h), GetHandleSize(h)), c);
  UseResFile(saved);
  clearWildZone(c);
  *config = c;
}

SInt32 Get_Monitor_Config(const std::string& folder, const PBOXinfo* pbox, CONFIGURATION* config) {
  if (!pbox || !pbox->pbi_inuse || noFolder(folder, "the printer's settings")) return 0;
  MonitorFolder in(folder);
  // A printer without a settings file takes the set-up so far.
  ConfigData = *config;
  Get_Monitor_Config(pbox, config);
  clearWildZone(*config);
  return 1;
}

void Delete_Data_File(const std::string& folder) {
  if (noFolder(folder, "deleting the monitor's data files")) return;
  MonitorFolder in(folder);
  for (const std::string& name : {std::string("Brdadr"), Pointer_File_Name()}) {
    FSSpec fss;
    if (Monitor_File_Spec(name, &fss)) FSpDelete(&fss);
  }
}

std::string Startup_Application_Path(const std::string& folder) {
  return folder + "/VEMO-MONITOR.app/Contents/VEMO-MONITOR Startup.app";
}

SInt32 Set_Startup_Data(const std::string& folder, const PBOXinfo* pbox, const CONFIGURATION*, short add) {
  if (noFolder(folder, "the printer list")) return 0;
  bool listed;
  {
    MonitorFolder in(folder);
    Save_Startup_Data(pbox, add ? 1 : 0);
    listed = !Read_Startup_Data().empty();
  }
  if (add)
    Set_Login_Preferences(Startup_Application_Path(folder), 1);
  else if (!listed)
    Set_Login_Preferences(Startup_Application_Path(folder), 0);
  return 1;
}

void Write_Monitor_Setup(const std::string& folder, const PBOXinfo& pbox, const CONFIGURATION& config,
                         const SETUPINFO& broadcast) {
  writePreferenceFile(config);
  if (noFolder(folder, "the monitor's data files")) return;
  {
    MonitorFolder in(folder);
    Set_Config_Data(&pbox, &config, 1);
    if (pbox.pbi_inuse) Save_Status_Data(&pbox);
    Save_Status_DataEx(&pbox);
  }
  Set_Startup_Data(folder, &pbox, &config, config.StartupFlag ? 1 : 0);
  if (broadcast.tcp_count >= 2) {
    MonitorFolder in(folder);
    Save_Broadcast_Data(&broadcast);
  }
}

SInt32 Get_Login_Preferences(const FSSpec* appSpec) {
  std::string path;
  if (!appSpec || tb::SpecToPath(*appSpec, path) != noErr || path.size() > 4096) return -1;
  std::vector<LoginItem> items;
  bool listed = false;
  for (int i = 0; i < kLoginTries && !listed; ++i) {
    listed = LIAECopyLoginItems(&items) == noErr;
    if (!listed) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!listed) return -1;
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].path == path) return SInt32(i);
  return -1;
}

SInt32 Set_Login_Preferences(const std::string& application, Boolean add) {
  FSSpec fss;
  OSErr err = tb::PathToSpec(application, &fss);
  if (err != noErr && err != fnfErr) return -1;
  return Set_Login_Preferences_Ex(&fss, add);
}

short Str_To_Num(ConstStr255Param text, long* number, long max, long min) {
  if (!text || !number) return 0;
  long v = 0;
  for (int i = 1; i <= text[0]; ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    const int digit = text[i] - '0';
    // Leading zeros are digits like any other; a value past what a long
    // holds is refused before it can wrap into the range.
    if (v > (std::numeric_limits<long>::max() - digit) / 10) return 0;
    v = v * 10 + digit;
  }
  *number = v;
  return min <= v && v <= max ? 1 : 0;
}
