// The broadcast list file beside the bundles, for every program that
// searches through it.
#include "common/BroadcastList.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "506Q_Lib/AppLocation.h"
#include "common/IniFile.h"
#include "suite/SuiteNames.h"
#include "toolbox/files.h"
#include "toolbox/fileservices.h"

bool ConfigData_Spec(FSSpec* fss) {
  FSSpec app;
  if (GetAppLocation(&app) != noErr) return false;
  // Up from the program's folder (MacOS, Contents, the bundle) to the
  // folder that holds the bundles, where every program finds the same file.
  const std::string partial = std::string("::::") + suite::kConfigDataName;
  Str255 name;
  name[0] = static_cast<UInt8>(partial.size());
  std::memcpy(name + 1, partial.data(), partial.size());
  OSErr err = FSMakeFSSpec(app.vRefNum, app.parID, name, fss);
  return err == noErr || err == fnfErr;
}

int Read_Broadcast_List(BroadcastTable& list) {
  int count = 1;
  FSSpec fss;
  if (!ConfigData_Spec(&fss)) return count;
  for (int n = 1; n < kBroadcastMax; ++n) {
    char key[16];
    std::snprintf(key, sizeof key, "UDP%02d=", n - 1);
    char value[32] = "";
    if (!Get_File_To_CstringEx("[SYSTEM]", key, value, sizeof value, &fss) || value[0] == 0) break;
    // An entry holds 19 characters; a longer value is cut.
    std::snprintf(list[n], kBroadcastTextSize, "%.*s", int(kBroadcastTextSize - 1), value);
    ++count;
  }
  return count;
}

std::vector<UInt8> Broadcast_List_Text(const BroadcastTable& list, SInt64 count) {
  std::string text = "[SYSTEM]\r\n";
  if (count > kBroadcastMax) count = kBroadcastMax;
  for (int n = 1; n < count; ++n) {
    char entry[kBroadcastTextSize + 1];
    std::memcpy(entry, list[n], kBroadcastTextSize);
    entry[kBroadcastTextSize] = 0;
    char line[64];
    std::snprintf(line, sizeof line, "UDP%02d=%s\r\n", n - 1, entry);
    text += line;
  }
  return std::vector<UInt8>(text.begin(), text.end());
}

void Write_Broadcast_List(const BroadcastTable& list, SInt64 count, OSType creator) {
  FSSpec fss;
  if (!ConfigData_Spec(&fss)) return;
  tb::WriteFileAtomically(fss, Broadcast_List_Text(list, count), creator, 'TEXT');
}
