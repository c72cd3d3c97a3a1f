// The copy list and the copy engine (see CopyEngine.h).
#include "Installer/CopyEngine.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "common/IniFile.h"
#include "toolbox/files.h"
#include "toolbox/fileservices.h"
#include "toolbox/resources.h"
#include "toolbox/textencoding.h"
#include "toolbox/trace.h"

namespace {

struct SectionName {
  const char* prefix;
  const char* section;
};
constexpr SectionName kSections[] = {
    {"VEMO-ADMIN", "[FILE_ADMIN]"},
    {"VEMO-MONITOR", "[FILE_MONITOR]"},
    {"VemoHoldManager", "[FILE_FILE]"},
    {"FILE_COMMON", "[FILE_COMMON]"},
};

void copyField(char* dst, std::size_t cap, std::string_view text) {
  std::string_view cut = tb::CharPrefix(text, cap - 1);
  // A field the entry lacks is an empty view without data: nothing to copy.
  if (!cut.empty()) std::memcpy(dst, cut.data(), cut.size());
  dst[cut.size()] = 0;
}

std::string parentOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool exists(const std::string& path, struct stat* st = nullptr) {
  struct stat s {};
  bool ok = ::lstat(path.c_str(), &s) == 0;
  if (st) *st = s;
  return ok;
}

int addOwnerWrite(const char* path, const struct stat* st, int type, FTW*) {
  if (type != FTW_SL && !(st->st_mode & S_IWUSR)) ::chmod(path, (st->st_mode & 07777) | S_IWUSR);
  return 0;
}

// Makes every missing folder of path, through the file services (which
// refuse what the tests make read-only).
OSErr makeFolders(const std::string& path) {
  struct stat st {};
  if (exists(path, &st)) return S_ISDIR(st.st_mode) ? noErr : dupFNErr;
  std::string parent = parentOf(path);
  if (parent != path) {
    if (OSErr e = makeFolders(parent); e != noErr) return e;
  }
  FSSpec spec{};
  OSErr e = tb::PathToSpec(path, &spec);
  if (e != noErr && e != fnfErr) return e;
  SInt32 dir = 0;
  e = FSpDirCreate(&spec, 0, &dir);
  return e == dupFNErr ? OSErr(noErr) : e;
}

std::string hfsToPosix(const std::string& name) {
  std::string out;
  for (char c : name) out += c == ':' ? '/' : c;
  while (!out.empty() && out.front() == '/') out.erase(out.begin());
  return out;
}

}  // namespace

const char* Tool_Section(const char* toolName) {
  for (const auto& s : kSections)
    if (std::strncmp(toolName, s.prefix, std::strlen(s.prefix)) == 0) return s.section;
  return nullptr;
}

int Get_File_Name(const char* section, const char* key, const char* copyList, FILE_DATA* out) {
  *out = FILE_DATA{};
  char value[kIniLineMax + 1] = {};
  if (!Load_File_To_CstringEx(section, key, value, sizeof value, copyList)) return 0;
  std::string_view v(value);
  std::string_view fields[3];
  for (int i = 0; i < 3; ++i) {
    auto semi = v.find(';');
    fields[i] = v.substr(0, semi);
    if (semi == std::string_view::npos) break;
    v.remove_prefix(semi + 1);
  }
  pstr::set(out->fName, sizeof out->fName, tb::CharPrefix(fields[0], 31));
  copyField(out->orgFolder, sizeof out->orgFolder, fields[1]);
  copyField(out->instFolder, sizeof out->instFolder, fields[2]);
  return 1;
}

std::string Resolve_Partial_Path(const std::string& base, const std::string& partial) {
  std::string path = base;
  auto append = [&path](const std::string& part) { path += (path.empty() || path.back() != '/' ? "/" : "") + part; };
  std::size_t i = 0;
  if (!partial.empty() && partial[0] == ':') i = 1;
  while (i <= partial.size()) {
    std::size_t colon = partial.find(':', i);
    std::string part = partial.substr(i, colon == std::string::npos ? std::string::npos : colon - i);
    if (colon == std::string::npos) {
      if (!part.empty()) append(part);
      break;
    }
    if (part.empty()) {
      path = parentOf(path);
    } else {
      append(part);
    }
    i = colon + 1;
  }
  return path;
}

int Install_Bar_Width(int width, int done, int total) {
  int n = total <= 0 ? 1 : total;
  int step = width / n;
  long w = long(step) * done;
  if (w >= width || done == n) return width;
  return int(std::max(0L, w));
}

OSErr Create_Folder(const std::string& parent, const std::string& name) {
  std::string rel = hfsToPosix(name);
  if (rel.empty()) return dirNFErr;
  struct stat st {};
  if (!exists(parent, &st) || !S_ISDIR(st.st_mode)) return dirNFErr;
  return makeFolders(parent + "/" + rel);
}

OSErr Inst_File_Copying(const std::string& sourceFolder, const std::string& targetFolder, const std::string& name) {
  FSSpec source{}, dest{}, made{};
  std::string from = sourceFolder + "/" + name;
  if (!exists(from)) return fnfErr;
  if (OSErr e = tb::PathToSpec(from, &source); e != noErr) return e;
  if (OSErr e = tb::PathToSpec(targetFolder, &dest); e != noErr) return e;
  // Replacing copies beside the old item and swaps it in by rename: a copy
  // that fails half-way never costs the program already installed.
  OSErr e = exists(targetFolder + "/" + name) ? FSpReplaceObject(&source, &dest, &made)
                                              : FSpCopyObject(&source, &dest, nullptr, &made);
  if (e == noErr) {
    // Files from a disc arrive read-only; a later reinstall must replace them.
    nftw((targetFolder + "/" + name).c_str(), addOwnerWrite, 16, FTW_PHYS);
  }
  return e;
}

int Get_Alias_Name(const char* copyList, const std::string& installFolder, int row, std::string* target) {
  char key[16];
  std::snprintf(key, sizeof key, "ICON_%03d=", row);
  char value[kIniLineMax + 1] = {};
  if (!Load_File_To_CstringEx("[SHORTCUT]", key, value, sizeof value, copyList)) return 0;
  std::string v(value), name, folder;
  auto semi = v.find(';');
  name = v.substr(0, semi);
  if (semi != std::string::npos) folder = v.substr(semi + 1);
  if (name.empty()) folder = ":files";
  *target = Resolve_Partial_Path(installFolder, folder);
  if (!name.empty()) *target += "/" + name;
  return 1;
}

namespace {

// The link named name in folder, to target. Only a shortcut of ours is
// replaced, never a real program or folder.
OSErr makeLink(const std::string& target, const std::string& folder, const std::string& name) {
  if (!exists(target)) return -1;
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return -2;
  std::string link = folder + "/" + name;
  struct stat st {};
  if (exists(link, &st)) {
    if (!S_ISLNK(st.st_mode)) return -2;
    if (::unlink(link.c_str()) != 0) return -2;
  }
  if (::symlink(target.c_str(), link.c_str()) != 0) return -2;
  return 0;
}

std::string leafOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

}  // namespace

// The icons of a shortcut, as the Finder looks for them.
constexpr SInt16 kCustomIconResource = -16455;

OSErr CreateAliasX(const std::string& target, const std::string& folder, bool) {
  return makeLink(target, folder, leafOf(target));
}

OSErr CreateAliasEx(const std::string& target, const std::string& folder, const char* name, bool copyIcons,
                    SInt16 iconID) {
  return CreateAliasExg(target, target, folder, name, copyIcons, iconID);
}

OSErr CreateAliasExg(const std::string& target, const std::string& iconSource, const std::string& folder,
                     const char* name, bool copyIcons, SInt16 iconID) {
  std::string leaf = name && name[0] ? std::string(name) : leafOf(target);
  OSErr e = makeLink(target, folder, leaf);
  if (e == noErr && copyIcons) SetOtherResData(iconSource, folder + "/" + leaf, iconID);
  return e;
}

void SetOtherResData(const std::string& source, const std::string& shortcut, SInt16 iconID) {
  // A link has no resources of its own: writing through it would change
  // the program it points to.
  struct stat st {};
  if (::lstat(shortcut.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return;
  FSSpec from{}, to{};
  if (tb::PathToSpec(source, &from) != noErr || tb::PathToSpec(shortcut, &to) != noErr) return;
  const SInt16 saved = CurResFile();
  const SInt16 in = FSpOpenResFile(&from, fsRdPerm);
  if (in == -1) return;
  const SInt16 out = FSpOpenResFile(&to, fsRdWrPerm);
  if (out == -1) {
    CloseResFile(in);
    UseResFile(saved);
    return;
  }
  for (const OSType type : {'icl4', 'icl8', 'ICN#', 'ics#', 'ics4', 'ics8'}) {
    UseResFile(in);
    Handle h = Get1Resource(type, iconID ? iconID : 128);
    if (!h) continue;
    SInt16 id;
    ResType t;
    Str255 resName;
    GetResInfo(h, &id, &t, resName);
    const SInt16 attrs = GetResAttrs(h);
    DetachResource(h);
    UseResFile(out);
    if (Handle old = Get1Resource(type, kCustomIconResource)) RemoveResource(old);
    AddResource(h, type, kCustomIconResource, resName);
    if (ResError() == noErr) SetResAttrs(h, attrs);
  }
  CloseResFile(out);
  CloseResFile(in);
  UseResFile(saved);
}

CopyEngine::CopyEngine(CopySetup setup, TOOL_DATA* tools, SInt16* toolCnt)
    : setup_(std::move(setup)), tools_(tools), toolCnt_(toolCnt) {}

std::string CopyEngine::installFolder() const { return setup_.installParent + "/" + hfsToPosix(setup_.installName); }

int CopyEngine::Get_Install_File_Count() {
  int common = -1;
  for (int i = 0; i < kToolMax; ++i) {
    if (tools_[i].cToolName[0] == 0) {
      common = i;
      break;
    }
  }
  if (common >= 0) {
    tools_[common] = TOOL_DATA{};
    tools_[common].bEnable = true;
    std::strcpy(tools_[common].cToolName, "FILE_COMMON");
    *toolCnt_ = SInt16(common + 1);
  }
  int total = 0;
  for (int i = 0; i < *toolCnt_; ++i) {
    TOOL_DATA& t = tools_[i];
    t.cFileCnt = 0;
    t.cCopyCnt = 0;
    const char* section = Tool_Section(t.cToolName);
    if (!t.bEnable || !section) continue;
    char value[kIniLineMax + 1];
    for (int n = 0; n < kToolFilesMax; ++n) {
      char key[16];
      std::snprintf(key, sizeof key, "FILE_%03d=", n);
      if (!Load_File_To_CstringEx(section, key, value, sizeof value, setup_.copyList.c_str())) break;
      ++t.cFileCnt;
    }
    total += t.cFileCnt;
  }
  return total;
}

bool CopyEngine::toolComplete(const char* toolName) const {
  if (!counted_) return false;
  return std::none_of(failures_.begin(), failures_.end(), [&](const CopyFailure& f) { return f.tool == toolName; });
}

bool CopyEngine::Copy_Execution(const char* tool, const char* section, const char* key) {
  FILE_DATA fd{};
  if (!Get_File_Name(section, key, setup_.copyList.c_str(), &fd)) {
    // Counted but gone when copied (the list changed): it cannot arrive.
    failures_.push_back({key, tool, fnfErr});
    return false;
  }
  char name[32];
  pstr::toC(name, sizeof name, fd.fName);
  std::string target = installFolder();
  if (fd.instFolder[0]) target = Resolve_Partial_Path(target, fd.instFolder);
  toFolder_ = target;
  // The step counter already counts this file: the bar is full at the last.
  if (onFile) onFile(name, gInstCount, total_);
  std::string org = fd.orgFolder;
  if (auto at = org.find("@LAN"); at != std::string::npos && at > 0) org = org.substr(0, at) + setup_.languageDir;
  std::string source = Resolve_Partial_Path(setup_.exeFolder, org);
  OSErr e = makeFolders(target);
  if (e == noErr) e = Inst_File_Copying(source, target, name);
  if (e != noErr) {
    tb::TraceRefusal("install", "%s not copied (%d)", name, e);
    failures_.push_back({name, tool, e});
  }
  if (std::strcmp(section, "[FILE_MONITOR]") == 0 && std::strcmp(key, "FILE_000=") == 0) monitorFolder_ = target;
  return true;
}

void CopyEngine::makeShortcuts() {
  std::string install = installFolder();
  for (int r = 0; r < *toolCnt_; ++r) {
    if (!tools_[r].bEnable) continue;
    std::string target;
    if (!Get_Alias_Name(setup_.copyList.c_str(), install, r, &target)) break;
    alias_ = target;
    aliasFolder_ = parentOf(target);
    OSErr e = CreateAliasX(target, parentOf(aliasFolder_), true);
    shortcutResults_.push_back(e);
    if (e != noErr) break;
  }
}

CopyEngine::Step CopyEngine::Copy_Preparation() {
  if (!counted_) {
    folderErr_ = Create_Folder(setup_.installParent, setup_.installName);
    if (folderErr_ != noErr) return Step::Refused;
    total_ = Get_Install_File_Count();
    counted_ = true;
    instNum_ = 0;
    if (total_ == 0) {
      makeShortcuts();
      return Step::Done;
    }
  }
  while (instNum_ < *toolCnt_ && (!tools_[instNum_].bEnable || !Tool_Section(tools_[instNum_].cToolName))) ++instNum_;
  if (instNum_ >= *toolCnt_) {
    makeShortcuts();
    return Step::Done;
  }
  TOOL_DATA& t = tools_[instNum_];
  if (t.cCopyCnt >= t.cFileCnt) {
    // The tool is done; this step copies nothing.
    ++instNum_;
    return Step::More;
  }
  char key[16];
  std::snprintf(key, sizeof key, "FILE_%03d=", t.cCopyCnt);
  ++t.cCopyCnt;
  Copy_Execution(t.cToolName, Tool_Section(t.cToolName), key);
  ++gInstCount;
  if (gInstCount - 1 >= total_) {
    makeShortcuts();
    return Step::Done;
  }
  return Step::More;
}
