// "Alias Data" and the pointer file: which printers the monitor opens.
#include "Monitor/StartupFiles.h"

#include <cstdio>
#include <cstring>

#include "common/AppGlobals.h"
#include "common/IniFile.h"
#include "Monitor/MonitorConfig.h"
#include "Monitor/StatusData.h"
#include "toolbox/fileservices.h"

namespace {

// More entries than any hand-edited file would hold ends the reading.
constexpr int kAliasReadMax = 1000;

std::span<const UInt8> bytesOf(const std::string& s) { return {reinterpret_cast<const UInt8*>(s.data()), s.size()}; }

}  // namespace

std::vector<std::string> Read_Startup_Data() {
  std::vector<std::string> out;
  FSSpec fss;
  std::string path;
  if (!Monitor_File_Spec(kAliasFileName, &fss) || tb::SpecToPath(fss, path) != noErr) return out;
  for (int i = 0; i < kAliasReadMax; ++i) {
    char key[16], value[256] = "";
    std::snprintf(key, sizeof key, "ALIAS%02d=", i);
    if (!Load_File_To_CstringEx("[ALIAS]", key, value, sizeof value, path.c_str())) break;
    out.emplace_back(value);
  }
  return out;
}

SInt32 Save_Startup_Data(const PBOXinfo* pbox, short add) {
  const std::string name = Status_Data_File_Name(pbox->pbi_nodeaddr);
  std::string text = "[ALIAS]\r\n";
  int n = 0;
  auto append = [&](const std::string& value) {
    char key[16];
    std::snprintf(key, sizeof key, "ALIAS%02d=", n++);
    text += key + value + "\r\n";
  };
  for (const std::string& value : Read_Startup_Data())
    if (value != name) append(value);
  if (add == 1) append(name);
  FSSpec fss;
  if (Monitor_File_Spec(kAliasFileName, &fss)) tb::WriteFileAtomically(fss, bytesOf(text), 'VMxm', 'TEXT');
  return 0;
}

std::string Pointer_File_Name() {
  char value[256] = "";
  if (IniFileName[0] && Load_File_To_CstringEx("[MACSTR2]", "SDATANAME=", value, sizeof value, IniFileName) && value[0])
    return value;
  return "MONITOR Data";
}

SInt32 Save_Status_Data(const PBOXinfo* pbox) {
  std::string name = Status_Data_File_Name(pbox->pbi_nodeaddr);
  UInt8 record[kPointerFileSize] = {};
  record[0] = UInt8(std::min<std::size_t>(name.size(), 255));
  std::memcpy(record + 1, name.data(), record[0]);
  FSSpec fss;
  if (Monitor_File_Spec(Pointer_File_Name(), &fss)) {
    tb::WriteFileAtomically(fss, record, 'VMxm', 'TEXT');
    FlushVol(nullptr, fss.vRefNum);
  }
  return 1;
}
