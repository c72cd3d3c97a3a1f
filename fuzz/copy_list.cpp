// The installer's copy list "COPYFILE.INI" with fuzzed contents, read as the
// copy engine reads it: each tool's section counted and split into name,
// source and target folder, the folders resolved from the disc's and the
// install folder, then the shortcut rows. Nothing is copied: resolved paths
// of a fuzzed list may point anywhere.
//
// Input: the file's bytes.
#include <cstring>
#include <string>

#include "Installer/CopyEngine.h"
#include "fuzz_support.h"

namespace {

constexpr const char* kTools[] = {"VEMO-ADMIN", "VEMO-MONITOR", "VemoHoldManager", "FILE_COMMON"};
const std::string kExeFolder = "/disc/Installer.app/Contents/MacOS";
const std::string kInstall = "/home/user/Applications/VEMOPLEX";

void CheckPath(const std::string& path) {
  fuzz::Check(!path.empty() && path[0] == '/', "a resolved path stays absolute");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::ScratchFile list("COPYFILE.INI");
  list.Write(std::span<const std::uint8_t>(data, size));
  const char* path = list.path().c_str();

  for (const char* tool : kTools) {
    const char* section = Tool_Section(tool);
    fuzz::Check(section != nullptr, "every tool of the installer has its section");
    for (int n = 0; n < kToolFilesMax; ++n) {
      char key[16];
      std::snprintf(key, sizeof key, "FILE_%03d=", n);
      FILE_DATA fd;
      std::memset(&fd, 0x7F, sizeof fd);
      if (!Get_File_Name(section, key, path, &fd)) {
        fuzz::Check(fd.fName[0] == 0 && fd.orgFolder[0] == 0 && fd.instFolder[0] == 0, "a missing entry is cleared");
        break;
      }
      fuzz::Check(fd.fName[0] <= 31, "a file name fits its field");
      fuzz::Check(std::memchr(fd.orgFolder, '\0', sizeof fd.orgFolder) != nullptr &&
                      std::memchr(fd.instFolder, '\0', sizeof fd.instFolder) != nullptr,
                  "the folders end in their fields");
      if (fd.instFolder[0]) CheckPath(Resolve_Partial_Path(kInstall, fd.instFolder));
      CheckPath(Resolve_Partial_Path(kExeFolder, fd.orgFolder));
    }
  }
  for (int row = 0; row < kToolMax; ++row) {
    std::string target;
    if (!Get_Alias_Name(path, kInstall, row, &target)) break;
    fuzz::Check(!target.empty() && target[0] == '/', "a shortcut's target is absolute");
  }
  return 0;
}
