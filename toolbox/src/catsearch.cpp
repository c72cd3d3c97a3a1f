// Catalog search over the configured folders.
#include "toolbox/catsearch.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <optional>

#include "toolbox/files.h"

namespace {

std::optional<std::vector<std::string>> gVolumes;

// Depth-first in name order; true when a match was found.
bool walk(const std::string& dir, OSType creator, OSType type, FSSpec* match, int depth) {
  if (depth > 64) return false;  // far deeper than any real tree: a loop
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(std::move(n));
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& n : names) {
    std::string path = dir == "/" ? "/" + n : dir + "/" + n;
    struct stat sb;
    if (lstat(path.c_str(), &sb) != 0 || S_ISLNK(sb.st_mode)) continue;
    bool bundle = S_ISDIR(sb.st_mode) && n.size() > 4 && n.compare(n.size() - 4, 4, ".app") == 0;
    if (S_ISREG(sb.st_mode) || bundle) {
      FSSpec fss;
      FInfo info;
      if (n.size() <= 63 && tb::PathToSpec(path, &fss) == noErr && FSpGetFInfo(&fss, &info) == noErr &&
          info.fdCreator == creator && info.fdType == type) {
        *match = fss;
        return true;
      }
    }
    if (S_ISDIR(sb.st_mode) && walk(path, creator, type, match, depth + 1)) return true;
  }
  return false;
}

}  // namespace

void tb::SetSearchVolumes(std::vector<std::string> folders) { gVolumes = std::move(folders); }

std::vector<std::string> tb::SearchVolumes() {
  if (gVolumes) return *gVolumes;
  std::vector<std::string> out;
  if (const char* env = std::getenv("TOOLBOX_SEARCH_VOLUMES"); env && *env) {
    std::string s = env;
    std::size_t start = 0;
    while (start <= s.size()) {
      std::size_t colon = s.find(':', start);
      std::string part = s.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
      if (!part.empty()) out.push_back(part);
      if (colon == std::string::npos) break;
      start = colon + 1;
    }
    return out;
  }
  const char* home = std::getenv("HOME");
  out.push_back(home && *home ? home : "/");
  return out;
}

OSErr tb::CatSearchFirst(SInt16 vRefNum, OSType creator, OSType fileType, FSSpec* match) {
  if (!match) return paramErr;
  std::vector<std::string> volumes = SearchVolumes();
  int index = vRefNum == 0 ? 0 : -static_cast<int>(vRefNum) - 1;
  if (index < 0 || static_cast<std::size_t>(index) >= volumes.size()) return nsvErr;
  try {
    return walk(volumes[static_cast<std::size_t>(index)], creator, fileType, match, 0) ? noErr : eofErr;
  } catch (const std::bad_alloc&) {
    return memFullErr;
  }
}
