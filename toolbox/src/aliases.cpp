// Alias records: the target's path and Finder information.
#include "toolbox/aliases.h"

#include <sys/stat.h>

#include <cstring>

#include "toolbox/files.h"
#include "toolbox/memory.h"

namespace {

constexpr std::size_t kHeader = 24;
constexpr UInt32 kTag = 'VMal';
constexpr UInt16 kVersion = 1;

}  // namespace

bool tb::AliasRecordPath(const void* data, std::size_t size, std::string* path) {
  if (!data || size < kHeader || !path) return false;
  const auto* b = static_cast<const UInt8*>(data);
  if (be::get32(b + 6) != kTag || be::get16(b + 10) != kVersion) return false;
  std::size_t total = be::get16(b + 4);
  std::size_t len = be::get16(b + 22);
  if (total > size || total != kHeader + len || len == 0) return false;
  path->assign(reinterpret_cast<const char*>(b + kHeader), len);
  if ((*path)[0] != '/' || path->find('\0') != std::string::npos) return false;
  return true;
}

OSErr NewAlias(const FSSpec*, const FSSpec* target, AliasHandle* alias) {
  if (!target || !alias) return paramErr;
  *alias = nullptr;
  std::string path;
  OSErr err = tb::SpecToPath(*target, path);
  if (err) return err;
  struct stat sb;
  if (stat(path.c_str(), &sb) != 0) return fnfErr;
  if (kHeader + path.size() > 0xFFFF) return paramErr;
  FInfo info{};
  if (FSpGetFInfo(target, &info) != noErr) info.fdType = info.fdCreator = 0;
  Handle h = NewHandleClear(static_cast<Size>(kHeader + path.size()));
  if (!h) return memFullErr;
  auto* b = reinterpret_cast<UInt8*>(*h);
  be::put32(b, 0);
  be::put16(b + 4, static_cast<UInt16>(kHeader + path.size()));
  be::put32(b + 6, kTag);
  be::put16(b + 10, kVersion);
  be::put16(b + 12, S_ISDIR(sb.st_mode) ? 1 : 0);
  be::put32(b + 14, info.fdType);
  be::put32(b + 18, info.fdCreator);
  be::put16(b + 22, static_cast<UInt16>(path.size()));
  std::memcpy(b + kHeader, path.data(), path.size());
  *alias = reinterpret_cast<AliasHandle>(h);
  return noErr;
}

OSErr NewAliasMinimal(const FSSpec* target, AliasHandle* alias) { return NewAlias(nullptr, target, alias); }

OSErr ResolveAlias(const FSSpec*, AliasHandle alias, FSSpec* target, Boolean* wasChanged) {
  if (!alias || !*alias || !target) return paramErr;
  if (wasChanged) *wasChanged = false;
  Handle h = reinterpret_cast<Handle>(alias);
  std::string path;
  if (!tb::AliasRecordPath(*h, static_cast<std::size_t>(GetHandleSize(h)), &path)) return paramErr;
  return tb::PathToSpec(path, target);
}
