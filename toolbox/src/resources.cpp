// Resource Manager: resource files read whole and written back whole, the
// chain of open files a search walks, and the calls that get, add, change
// and remove resources.
#include "toolbox/resources.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <unordered_map>

#include "files_internal.h"
#include "toolbox/system.h"

namespace {

constexpr UInt32 kDataStart = 256;  // header, then room the format reserves
constexpr UInt32 kMapHeader = 28;   // header copy, reserved, attributes, two offsets

struct ResFile;

struct Res {
  ResFile* file = nullptr;
  tb::ResourceEntry e;
  Handle handle = nullptr;
};

struct ResFile {
  SInt16 ref = 0;
  std::string path;
  dev_t dev = 0;
  ino_t ino = 0;
  bool writable = false;
  bool changed = false;  // the map changed: something added, removed or renamed
  UInt16 attrs = 0;
  std::vector<std::unique_ptr<Res>> res;
};

struct State {
  bool initialised = false;
  OSErr err = noErr;
  // Oldest first: the program's file, when there is one, is element 0.
  std::vector<std::unique_ptr<ResFile>> chain;
  SInt16 appRef = 0;
  SInt16 current = 0;
  std::unordered_map<Handle, Res*> byHandle;
};

State& st() {
  static State s;
  return s;
}

OSErr setErr(OSErr e) {
  st().err = e;
  return e;
}

ResFile* fileOf(SInt16 ref) {
  for (auto& f : st().chain)
    if (f->ref == ref) return f.get();
  return nullptr;
}

std::size_t indexOf(SInt16 ref) {
  auto& c = st().chain;
  for (std::size_t i = 0; i < c.size(); ++i)
    if (c[i]->ref == ref) return i;
  return c.size();
}

Res* resOf(Handle h) {
  if (!h) return nullptr;
  auto it = st().byHandle.find(h);
  return it == st().byHandle.end() ? nullptr : it->second;
}

// The bytes a changed resource holds now: its handle's, when loaded.
void commit(Res& r) {
  if (!r.handle || !(r.e.attrs & resChanged) || !TBIsHandle(r.handle)) return;
  Size n = GetHandleSize(r.handle);
  r.e.data.assign(reinterpret_cast<UInt8*>(*r.handle), reinterpret_cast<UInt8*>(*r.handle) + n);
}

void unload(Res& r, bool dispose) {
  if (!r.handle) return;
  st().byHandle.erase(r.handle);
  if (dispose && TBIsHandle(r.handle)) DisposeHandle(r.handle);
  r.handle = nullptr;
}

Handle load(Res& r) {
  if (r.handle && TBIsHandle(r.handle)) return r.handle;
  if (r.handle) unload(r, false);  // someone disposed it behind our back
  Handle h = NewHandle(static_cast<Size>(r.e.data.size()));
  if (!h) {
    setErr(memFullErr);
    return nullptr;
  }
  if (!r.e.data.empty()) std::memcpy(*h, r.e.data.data(), r.e.data.size());
  r.handle = h;
  st().byHandle[h] = &r;
  return h;
}

OSErr writeFile(ResFile& f) {
  if (!f.writable) return noErr;
  bool dirty = f.changed;
  for (auto& r : f.res) dirty = dirty || (r->e.attrs & resChanged);
  if (!dirty) return noErr;
  std::vector<tb::ResourceEntry> entries;
  entries.reserve(f.res.size());
  for (auto& r : f.res) {
    commit(*r);
    entries.push_back(r->e);
    entries.back().attrs &= static_cast<UInt8>(~resChanged);
  }
  std::vector<UInt8> image;
  if (OSErr err = tb::BuildResourceFile(entries, image, f.attrs)) return err;
  if (OSErr err = tb::detail::ReplaceWholeFile(f.path, image)) return err;
  // The file is a new one now; remember it so that opening it again finds it.
  struct stat sb;
  if (::stat(f.path.c_str(), &sb) == 0) {
    f.dev = sb.st_dev;
    f.ino = sb.st_ino;
  }
  f.changed = false;
  for (auto& r : f.res) r->e.attrs &= static_cast<UInt8>(~resChanged);
  return noErr;
}

void closeFile(std::size_t index, bool write) {
  State& s = st();
  ResFile& f = *s.chain[index];
  if (write) setErr(writeFile(f));
  for (auto& r : f.res) unload(*r, true);
  if (s.current == f.ref) s.current = index > 0 ? s.chain[index - 1]->ref : 0;
  if (s.appRef == f.ref) s.appRef = 0;
  tb::detail::ReleaseRefNum(f.ref);
  s.chain.erase(s.chain.begin() + static_cast<std::ptrdiff_t>(index));
}

// Opens path; asApp puts it at the bottom of the chain.
SInt16 openPath(const std::string& path, SInt8 permission, bool asApp) {
  State& s = st();
  struct stat sb;
  if (::stat(path.c_str(), &sb) != 0) {
    setErr(errno == ENOENT ? fnfErr : errno == ENOTDIR ? dirNFErr : ioErr);
    return -1;
  }
  if (!S_ISREG(sb.st_mode)) {
    setErr(fnfErr);
    return -1;
  }
  if (!asApp) {
    for (auto& f : s.chain) {
      if (f->dev == sb.st_dev && f->ino == sb.st_ino) {
        s.current = f->ref;
        setErr(noErr);
        return f->ref;
      }
    }
  }
  bool canWrite = ::access(path.c_str(), W_OK) == 0;
  bool writable = false;
  switch (permission) {
    case fsRdPerm: break;
    case fsCurPerm: writable = canWrite; break;
    case fsWrPerm:
    case fsRdWrPerm:
    case fsRdWrShPerm:
      if (!canWrite) {
        setErr(permErr);
        return -1;
      }
      writable = true;
      break;
    default: setErr(paramErr); return -1;
  }
  std::vector<UInt8> image;
  if (OSErr err = tb::ReadLocalFile(path, tb::kResourceFileMax, image)) {
    // Larger than any resource file the programs keep: not one.
    setErr(err == memFullErr ? OSErr(mapReadErr) : err);
    return -1;
  }
  std::vector<tb::ResourceEntry> entries;
  UInt16 attrs = 0;
  if (OSErr err = tb::ParseResourceFile(image, entries, &attrs)) {
    setErr(err);
    return -1;
  }
  SInt16 ref = tb::detail::ReserveRefNum();
  if (ref <= 0) {
    setErr(tmfoErr);
    return -1;
  }
  auto f = std::make_unique<ResFile>();
  f->ref = ref;
  f->path = path;
  f->dev = sb.st_dev;
  f->ino = sb.st_ino;
  f->writable = writable;
  f->attrs = static_cast<UInt16>(attrs & ~(mapChanged));
  for (auto& e : entries) {
    auto r = std::make_unique<Res>();
    r->file = f.get();
    r->e = std::move(e);
    r->e.attrs &= static_cast<UInt8>(~resChanged);
    f->res.push_back(std::move(r));
  }
  if (asApp) {
    if (s.appRef) closeFile(indexOf(s.appRef), false);
    s.chain.insert(s.chain.begin(), std::move(f));
    s.appRef = ref;
  } else {
    s.chain.push_back(std::move(f));
  }
  s.current = ref;
  setErr(noErr);
  return ref;
}

// The program's own resources, found beside it on first use.
void init() {
  State& s = st();
  if (s.initialised) return;
  s.initialised = true;
  if (s.appRef) return;
  namespace fs = std::filesystem;
  fs::path exe(tb::ApplicationPath());
  fs::path macos = exe.parent_path();
  if (exe.empty() || macos.filename() != "MacOS" || macos.parent_path().filename() != "Contents")
    return;
  fs::path rsrc = macos.parent_path() / "Resources" / (exe.filename().string() + ".rsrc");
  std::error_code ec;
  if (!fs::is_regular_file(rsrc, ec)) return;
  OSErr keep = s.err;
  openPath(rsrc.string(), fsRdPerm, true);
  s.err = keep;
}

// The files a search from the current one visits, in order.
template <class Fn>
Res* search(bool onlyCurrent, Fn match) {
  State& s = st();
  std::size_t i = indexOf(s.current);
  if (i == s.chain.size()) return nullptr;
  for (std::size_t k = i + 1; k-- > 0;) {
    for (auto& r : s.chain[k]->res)
      if (match(r->e)) return r.get();
    if (onlyCurrent) break;
  }
  return nullptr;
}

Handle found(Res* r) {
  if (!r) {
    setErr(resNotFound);
    return nullptr;
  }
  setErr(noErr);
  return load(*r);
}

// A resource handle of a file that takes changes; sets ResError otherwise.
Res* changeable(Handle h) {
  Res* r = resOf(h);
  if (!r) {
    setErr(resNotFound);
    return nullptr;
  }
  if (!r->file->writable) {
    setErr(wrPermErr);
    return nullptr;
  }
  return r;
}

Res* indexed(bool onlyCurrent, ResType type, SInt16 index) {
  if (index < 1) return nullptr;
  SInt16 n = 0;
  return search(onlyCurrent,
                [&](const tb::ResourceEntry& e) { return e.type == type && ++n == index; });
}

SInt16 count(bool onlyCurrent, ResType type) {
  int n = 0;
  search(onlyCurrent, [&](const tb::ResourceEntry& e) {
    if (e.type == type) ++n;
    return false;
  });
  setErr(noErr);
  return static_cast<SInt16>(std::min(n, 32767));
}

bool nameIs(const tb::ResourceEntry& e, ConstStr255Param name) {
  return e.hasName && e.name == pstr::view(name);
}

}  // namespace

// ---------------------------------------------------------------------------

OSErr ResError() { return st().err; }

void FSpCreateResFile(const FSSpec* fss, OSType creator, OSType fileType, ScriptCode scriptTag) {
  init();
  std::string path;
  if (!fss) {
    setErr(paramErr);
    return;
  }
  if (OSErr err = tb::SpecToPath(*fss, path)) {
    setErr(err);
    return;
  }
  // An empty file takes the empty map; so does a name that holds no file
  // to keep (a dangling link, a FIFO, a device), which the new file
  // replaces. A folder or a file with data stays.
  struct stat sb;
  if (::lstat(path.c_str(), &sb) != 0) {
    if (OSErr err = FSpCreate(fss, creator, fileType, scriptTag)) {
      setErr(err);
      return;
    }
  } else if (::stat(path.c_str(), &sb) == 0 && (S_ISDIR(sb.st_mode) || (S_ISREG(sb.st_mode) && sb.st_size != 0))) {
    setErr(dupFNErr);
    return;
  }
  std::vector<UInt8> image;
  FInfo info{};
  info.fdType = fileType;
  info.fdCreator = creator;
  OSErr err = tb::BuildResourceFile({}, image);
  if (!err) err = tb::detail::ReplaceWholeFile(path, image, &info);
  setErr(err);
}

SInt16 FSpOpenResFile(const FSSpec* fss, SInt8 permission) {
  init();
  std::string path;
  if (!fss) {
    setErr(paramErr);
    return -1;
  }
  if (OSErr err = tb::SpecToPath(*fss, path)) {
    setErr(err);
    return -1;
  }
  return openPath(path, permission, false);
}

void CloseResFile(SInt16 refNum) {
  init();
  std::size_t i = indexOf(refNum);
  if (i == st().chain.size()) {
    setErr(rfNumErr);
    return;
  }
  closeFile(i, true);
}

void UpdateResFile(SInt16 refNum) {
  init();
  ResFile* f = fileOf(refNum);
  if (!f) {
    setErr(rfNumErr);
    return;
  }
  setErr(writeFile(*f));
}

void UseResFile(SInt16 refNum) {
  init();
  if (refNum != 0 && !fileOf(refNum)) {
    setErr(resFNotFound);
    return;
  }
  st().current = refNum;
  setErr(noErr);
}

SInt16 CurResFile() {
  init();
  setErr(noErr);
  return st().current;
}

SInt16 GetResFileAttrs(SInt16 refNum) {
  init();
  ResFile* f = fileOf(refNum);
  if (!f) {
    setErr(rfNumErr);
    return 0;
  }
  setErr(noErr);
  bool dirty = f->changed;
  for (auto& r : f->res) dirty = dirty || (r->e.attrs & resChanged);
  return static_cast<SInt16>(f->attrs | (f->writable ? 0 : mapReadOnly) | (dirty ? mapChanged : 0));
}

SInt16 HomeResFile(Handle theResource) {
  init();
  Res* r = resOf(theResource);
  setErr(r ? noErr : resNotFound);
  return r ? r->file->ref : -1;
}

Handle GetResource(ResType theType, SInt16 theID) {
  init();
  return found(search(
      false, [&](const tb::ResourceEntry& e) { return e.type == theType && e.id == theID; }));
}

Handle Get1Resource(ResType theType, SInt16 theID) {
  init();
  return found(
      search(true, [&](const tb::ResourceEntry& e) { return e.type == theType && e.id == theID; }));
}

Handle GetNamedResource(ResType theType, ConstStr255Param name) {
  init();
  return found(search(
      false, [&](const tb::ResourceEntry& e) { return e.type == theType && nameIs(e, name); }));
}

Handle Get1NamedResource(ResType theType, ConstStr255Param name) {
  init();
  return found(search(
      true, [&](const tb::ResourceEntry& e) { return e.type == theType && nameIs(e, name); }));
}

SInt16 CountResources(ResType theType) {
  init();
  return count(false, theType);
}

SInt16 Count1Resources(ResType theType) {
  init();
  return count(true, theType);
}

Handle GetIndResource(ResType theType, SInt16 index) {
  init();
  return found(indexed(false, theType, index));
}

Handle Get1IndResource(ResType theType, SInt16 index) {
  init();
  return found(indexed(true, theType, index));
}

SInt16 Count1Types() {
  init();
  setErr(noErr);
  ResFile* f = fileOf(st().current);
  if (!f) return 0;
  std::vector<ResType> types;
  for (auto& r : f->res)
    if (std::find(types.begin(), types.end(), r->e.type) == types.end()) types.push_back(r->e.type);
  return static_cast<SInt16>(types.size());
}

void Get1IndType(ResType* theType, SInt16 index) {
  init();
  if (!theType) return;
  *theType = 0;
  ResFile* f = fileOf(st().current);
  std::vector<ResType> types;
  if (f)
    for (auto& r : f->res)
      if (std::find(types.begin(), types.end(), r->e.type) == types.end())
        types.push_back(r->e.type);
  if (index < 1 || static_cast<std::size_t>(index) > types.size()) {
    setErr(resNotFound);
    return;
  }
  *theType = types[static_cast<std::size_t>(index - 1)];
  setErr(noErr);
}

SInt16 Unique1ID(ResType theType) {
  init();
  setErr(noErr);
  ResFile* f = fileOf(st().current);
  for (int id = 128; id <= 32767; ++id) {
    bool used = false;
    if (f)
      for (auto& r : f->res) used = used || (r->e.type == theType && r->e.id == id);
    if (!used) return static_cast<SInt16>(id);
  }
  setErr(addResFailed);
  return 0;
}

void LoadResource(Handle theResource) {
  init();
  Res* r = resOf(theResource);
  setErr(r ? noErr : resNotFound);
}

void ReleaseResource(Handle theResource) {
  init();
  Res* r = resOf(theResource);
  if (!r) {
    setErr(resNotFound);
    return;
  }
  commit(*r);
  unload(*r, true);
  setErr(noErr);
}

void DetachResource(Handle theResource) {
  init();
  Res* r = resOf(theResource);
  if (!r) {
    setErr(resNotFound);
    return;
  }
  commit(*r);
  unload(*r, false);
  setErr(noErr);
}

Size GetResourceSizeOnDisk(Handle theResource) {
  init();
  Res* r = resOf(theResource);
  setErr(r ? noErr : resNotFound);
  return r ? static_cast<Size>(r->e.data.size()) : -1;
}

Size GetMaxResourceSize(Handle theResource) {
  init();
  Res* r = resOf(theResource);
  setErr(r ? noErr : resNotFound);
  if (!r) return -1;
  Size n = static_cast<Size>(r->e.data.size());
  return r->handle && TBIsHandle(r->handle) ? std::max(n, GetHandleSize(r->handle)) : n;
}

void GetResInfo(Handle theResource, SInt16* theID, ResType* theType, Str255 name) {
  init();
  Res* r = resOf(theResource);
  if (!r) {
    setErr(resNotFound);
    return;
  }
  if (theID) *theID = r->e.id;
  if (theType) *theType = r->e.type;
  if (name) pstr::set(name, sizeof(Str255), r->e.hasName ? r->e.name : std::string());
  setErr(noErr);
}

void SetResInfo(Handle theResource, SInt16 theID, ConstStr255Param name) {
  init();
  Res* r = changeable(theResource);
  if (!r) return;
  if (r->e.attrs & resProtected) {
    setErr(resAttrErr);
    return;
  }
  for (auto& o : r->file->res) {
    if (o.get() != r && o->e.type == r->e.type && o->e.id == theID) {
      setErr(resAttrErr);
      return;
    }
  }
  r->e.id = theID;
  if (name) {
    r->e.name = std::string(pstr::view(name));
    r->e.hasName = !r->e.name.empty();
  }
  r->file->changed = true;
  setErr(noErr);
}

SInt16 GetResAttrs(Handle theResource) {
  init();
  Res* r = resOf(theResource);
  setErr(r ? noErr : resNotFound);
  return r ? r->e.attrs : 0;
}

void SetResAttrs(Handle theResource, SInt16 attrs) {
  init();
  Res* r = changeable(theResource);
  if (!r) return;
  // Only ChangedResource marks the data as changed.
  r->e.attrs = static_cast<UInt8>((attrs & 0xFF & ~resChanged) | (r->e.attrs & resChanged));
  r->file->changed = true;
  setErr(noErr);
}

void AddResource(Handle theData, ResType theType, SInt16 theID, ConstStr255Param name) {
  init();
  State& s = st();
  ResFile* f = fileOf(s.current);
  if (!theData || !TBIsHandle(theData) || resOf(theData) || !f) {
    setErr(addResFailed);
    return;
  }
  if (!f->writable) {
    setErr(wrPermErr);
    return;
  }
  for (auto& o : f->res) {
    if (o->e.type == theType && o->e.id == theID) {
      setErr(addResFailed);
      return;
    }
  }
  auto r = std::make_unique<Res>();
  r->file = f;
  r->e.type = theType;
  r->e.id = theID;
  r->e.name = std::string(pstr::view(name));
  r->e.hasName = !r->e.name.empty();
  r->e.attrs = resChanged;
  r->handle = theData;
  s.byHandle[theData] = r.get();
  f->res.push_back(std::move(r));
  f->changed = true;
  setErr(noErr);
}

void RemoveResource(Handle theResource) {
  init();
  Res* r = resOf(theResource);
  if (!r) {
    setErr(rmvResFailed);
    return;
  }
  if (!r->file->writable) {
    setErr(wrPermErr);
    return;
  }
  if (r->e.attrs & resProtected) {
    setErr(rmvResFailed);
    return;
  }
  ResFile* f = r->file;
  unload(*r, false);
  f->res.erase(std::find_if(f->res.begin(), f->res.end(), [&](auto& p) { return p.get() == r; }));
  f->changed = true;
  setErr(noErr);
}

void ChangedResource(Handle theResource) {
  init();
  Res* r = changeable(theResource);
  if (!r) return;
  if (r->e.attrs & resProtected) {
    setErr(resAttrErr);
    return;
  }
  r->e.attrs |= resChanged;
  setErr(noErr);
}

void WriteResource(Handle theResource) {
  init();
  Res* r = resOf(theResource);
  if (!r) {
    setErr(resNotFound);
    return;
  }
  if (!(r->e.attrs & resChanged) || (r->e.attrs & resProtected)) {
    setErr(noErr);
    return;
  }
  setErr(writeFile(*r->file));
}

void GetIndString(Str255 theString, SInt16 strListID, SInt16 index) {
  if (!theString) return;
  theString[0] = 0;
  Handle h = GetResource('STR#', strListID);
  if (!h || index < 1) return;
  std::span<const UInt8> list(reinterpret_cast<const UInt8*>(*h),
                              static_cast<std::size_t>(GetHandleSize(h)));
  UInt16 n = 0;
  if (!be::get16(list, 0, n) || index > n) return;
  std::size_t off = 2;
  for (SInt16 i = 1; i <= index; ++i) {
    if (off >= list.size()) return;  // the list is shorter than it says
    std::size_t len = list[off];
    if (list.size() - off - 1 < len) return;
    if (i == index) {
      theString[0] = static_cast<unsigned char>(len);
      std::memcpy(theString + 1, list.data() + off + 1, len);
      return;
    }
    off += 1 + len;
  }
}

StringHandle GetString(SInt16 theID) {
  if (Handle h = GetResource('STR ', theID)) return reinterpret_cast<StringHandle>(h);
  // The system's own strings (the machine's names): one handle per id, kept
  // by the toolbox and refilled at every call.
  std::optional<std::string> text = tb::SystemString(theID);
  if (!text) return nullptr;
  static Handle systemStrings[2] = {nullptr, nullptr};
  Handle& h = systemStrings[theID == kComputerNameStrID ? 0 : 1];
  if (!h || !TBIsHandle(h)) h = NewHandle(0);
  if (!h) return nullptr;
  SetHandleSize(h, static_cast<Size>(text->size() + 1));
  if (MemError() != noErr) return nullptr;
  auto* p = reinterpret_cast<unsigned char*>(*h);
  pstr::set(p, text->size() + 1, *text);
  setErr(noErr);
  return reinterpret_cast<StringHandle>(h);
}

// ---------------------------------------------------------------------------

namespace tb {

OSErr ParseResourceFile(std::span<const UInt8> image, std::vector<ResourceEntry>& out,
                        UInt16* fileAttrs) {
  out.clear();
  const UInt64 size = image.size();
  if (size < 16) return mapReadErr;
  const UInt64 dataOff = be::get32(image.data()), mapOff = be::get32(image.data() + 4);
  const UInt64 dataLen = be::get32(image.data() + 8), mapLen = be::get32(image.data() + 12);
  if (dataOff < 16 || mapOff < 16 || dataOff + dataLen > size || mapOff + mapLen > size)
    return mapReadErr;
  if (dataLen && dataOff < mapOff + mapLen && mapOff < dataOff + dataLen) return mapReadErr;
  if (mapLen < kMapHeader + 2) return mapReadErr;
  std::span<const UInt8> map = image.subspan(mapOff, mapLen);
  std::span<const UInt8> data = image.subspan(dataOff, dataLen);

  const UInt64 typeList = be::get16(map.data() + 24), nameList = be::get16(map.data() + 26);
  if (typeList < kMapHeader || typeList + 2 > mapLen || nameList > mapLen) return mapReadErr;
  const UInt64 types = (be::get16(map.data() + typeList) + 1u) & 0xFFFF;
  if (typeList + 2 + types * 8 > mapLen) return mapReadErr;

  // First the references alone: every count and offset is checked before
  // anything is copied, so a lying map costs no more than its own size.
  struct Ref {
    ResType type;
    SInt16 id;
    SInt16 nameOff;
    UInt8 attrs;
    UInt64 start, len;
  };
  std::vector<Ref> refs;
  std::vector<ResType> seenTypes;
  for (UInt64 t = 0; t < types; ++t) {
    const UInt8* te = map.data() + typeList + 2 + t * 8;
    const ResType type = be::get32(te);
    if (std::find(seenTypes.begin(), seenTypes.end(), type) != seenTypes.end()) return mapReadErr;
    seenTypes.push_back(type);
    const UInt64 count = be::get16(te + 4) + 1u;
    const UInt64 refList = typeList + be::get16(te + 6);
    // Each reference takes 12 bytes of its own in the map.
    if (refList + count * 12 > mapLen || (refs.size() + count) * 12 > mapLen) return mapReadErr;
    for (UInt64 k = 0; k < count; ++k) {
      const UInt8* re = map.data() + refList + k * 12;
      Ref r{type,
            static_cast<SInt16>(be::get16(re)),
            static_cast<SInt16>(be::get16(re + 2)),
            re[4],
            be::get24(re + 5),
            0};
      if (r.nameOff != -1) {
        if (r.nameOff < 0) return mapReadErr;
        const UInt64 at = nameList + static_cast<UInt64>(r.nameOff);
        if (at >= mapLen || at + 1 + map[at] > mapLen) return mapReadErr;
      }
      if (r.start + 4 > dataLen) return mapReadErr;
      r.len = be::get32(data.data() + r.start);
      if (r.len > dataLen - r.start - 4) return mapReadErr;
      refs.push_back(r);
    }
  }
  // No type and id twice, and no two references to overlapping data.
  std::vector<const Ref*> order;
  for (const auto& r : refs) order.push_back(&r);
  std::sort(order.begin(), order.end(), [](const Ref* a, const Ref* b) {
    return a->type != b->type ? a->type < b->type : a->id < b->id;
  });
  for (std::size_t i = 1; i < order.size(); ++i)
    if (order[i]->type == order[i - 1]->type && order[i]->id == order[i - 1]->id) return mapReadErr;
  std::sort(order.begin(), order.end(),
            [](const Ref* a, const Ref* b) { return a->start < b->start; });
  for (std::size_t i = 1; i < order.size(); ++i)
    if (order[i]->start < order[i - 1]->start + 4 + order[i - 1]->len) return mapReadErr;

  if (fileAttrs) *fileAttrs = be::get16(map.data() + 22);
  out.reserve(refs.size());
  for (const auto& r : refs) {
    ResourceEntry e;
    e.type = r.type;
    e.id = r.id;
    e.attrs = r.attrs;
    if (r.nameOff != -1) {
      const UInt64 at = nameList + static_cast<UInt64>(r.nameOff);
      e.hasName = true;
      e.name.assign(reinterpret_cast<const char*>(map.data() + at + 1), map[at]);
    }
    auto first = data.begin() + static_cast<std::ptrdiff_t>(r.start + 4);
    e.data.assign(first, first + static_cast<std::ptrdiff_t>(r.len));
    out.push_back(std::move(e));
  }
  return noErr;
}

OSErr BuildResourceFile(const std::vector<ResourceEntry>& entries, std::vector<UInt8>& image,
                        UInt16 fileAttrs) {
  image.clear();
  // Types in the order they first appear, each with its resources in order.
  std::vector<std::pair<ResType, std::vector<const ResourceEntry*>>> types;
  for (const auto& e : entries) {
    auto it = std::find_if(types.begin(), types.end(), [&](auto& t) { return t.first == e.type; });
    if (it == types.end()) {
      types.push_back({e.type, {}});
      it = types.end() - 1;
    }
    for (const auto* o : it->second)
      if (o->id == e.id) return addResFailed;
    if (e.name.size() > 255) return addResFailed;
    it->second.push_back(&e);
  }
  if (types.size() > 65536) return addResFailed;

  std::vector<UInt8> data, names;
  std::vector<UInt8> refs;
  std::vector<UInt8> typeList(2 + types.size() * 8);
  be::put16(typeList.data(), static_cast<UInt16>(types.size() - 1));  // 0xFFFF when empty
  const std::size_t refStart = typeList.size();
  for (std::size_t t = 0; t < types.size(); ++t) {
    auto& [type, list] = types[t];
    if (list.size() > 65536) return addResFailed;
    UInt8* te = typeList.data() + 2 + t * 8;
    be::put32(te, type);
    be::put16(te + 4, static_cast<UInt16>(list.size() - 1));
    if (refStart + refs.size() > 0xFFFF) return addResFailed;
    be::put16(te + 6, static_cast<UInt16>(refStart + refs.size()));
    for (const auto* e : list) {
      UInt8 re[12] = {};
      be::put16(re, static_cast<UInt16>(e->id));
      if (e->hasName) {
        if (names.size() > 0x7FFF) return addResFailed;
        be::put16(re + 2, static_cast<UInt16>(names.size()));
        names.push_back(static_cast<UInt8>(e->name.size()));
        names.insert(names.end(), e->name.begin(), e->name.end());
      } else {
        be::put16(re + 2, 0xFFFF);
      }
      re[4] = static_cast<UInt8>(e->attrs & ~resChanged);
      if (data.size() > 0xFFFFFF || e->data.size() > 0xFFFFFFFFu - data.size()) return addResFailed;
      be::put24(re + 5, static_cast<UInt32>(data.size()));
      UInt8 len[4];
      be::put32(len, static_cast<UInt32>(e->data.size()));
      data.insert(data.end(), len, len + 4);
      data.insert(data.end(), e->data.begin(), e->data.end());
      refs.insert(refs.end(), re, re + 12);
    }
  }
  const std::size_t nameListOff = kMapHeader + typeList.size() + refs.size();
  if (nameListOff > 0xFFFF) return addResFailed;
  const std::size_t mapLen = nameListOff + names.size();
  if (kDataStart + data.size() + mapLen > 0xFFFFFFFFu) return addResFailed;

  UInt8 header[16];
  be::put32(header, kDataStart);
  be::put32(header + 4, static_cast<UInt32>(kDataStart + data.size()));
  be::put32(header + 8, static_cast<UInt32>(data.size()));
  be::put32(header + 12, static_cast<UInt32>(mapLen));
  image.assign(kDataStart, 0);
  std::memcpy(image.data(), header, 16);
  image.insert(image.end(), data.begin(), data.end());
  const std::size_t map = image.size();
  image.resize(map + kMapHeader, 0);
  std::memcpy(image.data() + map, header, 16);
  be::put16(image.data() + map + 22, static_cast<UInt16>(fileAttrs & ~mapChanged));
  be::put16(image.data() + map + 24, kMapHeader);
  be::put16(image.data() + map + 26, static_cast<UInt16>(nameListOff));
  image.insert(image.end(), typeList.begin(), typeList.end());
  image.insert(image.end(), refs.begin(), refs.end());
  image.insert(image.end(), names.begin(), names.end());
  return noErr;
}

SInt16 OpenApplicationResources(const std::string& path) {
  State& s = st();
  s.initialised = true;
  return openPath(path, fsRdPerm, true);
}

SInt16 ApplicationResFile() {
  init();
  return st().appRef;
}

void ResetResources() {
  State& s = st();
  while (!s.chain.empty()) closeFile(s.chain.size() - 1, false);
  s.current = 0;
  s.appRef = 0;
  s.initialised = false;
  s.err = noErr;
}

}  // namespace tb
