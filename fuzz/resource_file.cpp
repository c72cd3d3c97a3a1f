// A fuzzed resource file (a program's resources or a preference file) read
// through the Resource Manager as the programs read it: opened, its types
// and resources walked, string lists read item by item with GetIndString.
// The first byte chooses what else happens: bit 0, the file is opened for
// changes, one resource changed and the file written back and read again;
// bit 1, the settings record is saved into it as into a per-printer
// settings file (which replaces a file of another version or a damaged one).
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/PrefFile.h"
#include "fuzz_support.h"
#include "toolbox/resources.h"

// What a program supplies to the foundation.
struct CONFIGURATION {
  UInt16 rcvWait;
  UInt32 brAddr;
};
SInt16 Appl_Rsrc_Fork_No = 0;
CONFIGURATION ConfigData{3000, 0x7FFFFFFF};
OSType Pref_File_Creator = 'VMxm';
std::vector<UInt8> Pack_Configuration(const CONFIGURATION* config) {
  std::vector<UInt8> out(6, 0);
  be::put16(out.data(), config->rcvWait);
  be::put32(out.data() + 2, config->brAddr);
  return out;
}

namespace {

// The program's own resources: the templates of its preference files.
void OpenProgramResources(const fuzz::ScratchFile& beside) {
  auto entry = [](ResType type, SInt16 id, std::vector<UInt8> data, const char* name) {
    tb::ResourceEntry e;
    e.type = type;
    e.id = id;
    e.data = std::move(data);
    e.hasName = name != nullptr;
    if (name) e.name = name;
    return e;
  };
  std::vector<UInt8> version(256, 0);
  version[1] = 3;
  std::vector<UInt8> image;
  fuzz::Check(tb::BuildResourceFile({entry('CNFG', 128, Pack_Configuration(&ConfigData), "Config"),
                                     entry('PVER', 128, version, nullptr), entry('TMPL', 128, {'t'}, "CNFG"),
                                     entry('TMPL', 130, {}, "PVER")},
                                    image) == noErr,
              "program resources");
  const std::string path = (beside.dir() / "Program.rsrc").string();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  fuzz::Check(f && std::fwrite(image.data(), 1, image.size(), f) == image.size(), "program resources written");
  std::fclose(f);
  Appl_Rsrc_Fork_No = tb::OpenApplicationResources(path);
  fuzz::Check(Appl_Rsrc_Fork_No > 0, "program resources open");
  // Handles of the program's file stay loaded for the whole run; they are
  // released before the leak check at exit.
  std::atexit([] { tb::ResetResources(); });
}

// Everything a program may ask of the current file.
void Walk(SInt16 ref) {
  const SInt16 types = Count1Types();
  fuzz::Check(types >= 0, "Count1Types");
  for (SInt16 t = 1; t <= types + 1; ++t) {
    ResType type = 0;
    Get1IndType(&type, t);
    if (t > types) {
      fuzz::Check(ResError() == resNotFound, "Get1IndType past the last type");
      continue;
    }
    const SInt16 count = Count1Resources(type);
    fuzz::Check(count >= 1 && count <= CountResources(type), "a listed type has resources");
    for (SInt16 i = 1; i <= count && i <= 64; ++i) {
      Handle h = Get1IndResource(type, i);
      fuzz::Check(h != nullptr && HomeResFile(h) == ref, "Get1IndResource");
      SInt16 id = 0;
      ResType got = 0;
      Str255 name;
      GetResInfo(h, &id, &got, name);
      fuzz::Check(got == type && Get1Resource(type, id) == h && GetResource(type, id) == h,
                  "a resource found by index is found by id");
      if (name[0] != 0) fuzz::Check(Get1NamedResource(type, name) != nullptr, "named resource");
      fuzz::Check(GetResourceSizeOnDisk(h) == GetHandleSize(h), "size on disk");
      (void)GetResAttrs(h);
      if (type == 'STR#') {
        UInt16 items = GetHandleSize(h) >= 2 ? be::get16(reinterpret_cast<const UInt8*>(*h)) : 0;
        Str255 s;
        for (SInt16 k = 0; k <= items + 1 && k <= 300; ++k) {
          std::memset(s, 0xEE, sizeof s);
          GetIndString(s, id, k);
          if (k == 0 || k > items) fuzz::Check(s[0] == 0, "GetIndString outside the list is empty");
        }
      }
      if (type == 'STR ') (void)GetString(id);
      ReleaseResource(h);
    }
  }
  (void)GetResFileAttrs(ref);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::ScratchFile file("Fuzz Preferences");
  static bool once = (OpenProgramResources(file), true);
  (void)once;
  fuzz::Cursor in(data, size);
  const std::uint8_t mode = in.U8();
  const std::span<const std::uint8_t> image = in.Rest();
  file.Write(image);

  // The parser alone, and what it promises: a file it accepts lays out again
  // into a file that reads back the same.
  std::vector<tb::ResourceEntry> entries;
  UInt16 attrs = 0;
  const OSErr parsed = tb::ParseResourceFile(image, entries, &attrs);
  if (parsed == noErr) {
    std::vector<UInt8> again;
    if (tb::BuildResourceFile(entries, again, attrs) == noErr) {
      std::vector<tb::ResourceEntry> back;
      fuzz::Check(tb::ParseResourceFile(again, back) == noErr && back.size() == entries.size(),
                  "a laid-out file reads back");
      for (std::size_t i = 0; i < back.size(); ++i)
        fuzz::Check(back[i].type == entries[i].type && back[i].id == entries[i].id &&
                        back[i].name == entries[i].name && back[i].hasName == entries[i].hasName &&
                        back[i].data == entries[i].data,
                    "a laid-out file reads back the same");
    }
  }

  FSSpec fss;
  fuzz::Check(tb::PathToSpec(file.path(), &fss) == noErr, "a file spec of the scratch file");
  const bool change = mode & 1;
  SInt16 ref = FSpOpenResFile(&fss, change ? fsRdWrPerm : fsRdPerm);
  fuzz::Check((ref > 0) == (parsed == noErr), "FSpOpenResFile opens exactly the files the parser takes");
  if (ref > 0) {
    Walk(ref);
  } else {
    fuzz::Check(ResError() == mapReadErr, "a damaged file is refused as such");
  }

  if (change && ref > 0) {
    // As a program keeps a preference: change the first resource (or add
    // one) and write the file.
    ResType type = 0;
    Get1IndType(&type, 1);
    Handle h = type ? Get1IndResource(type, 1) : nullptr;
    if (h) {
      SetHandleSize(h, GetHandleSize(h) + 1);
      (*h)[GetHandleSize(h) - 1] = static_cast<char>(mode);
      ChangedResource(h);
    } else {
      Handle n = NewHandleClear(4);
      AddResource(n, 'PREF', 128, nullptr);
      if (ResError() != noErr) DisposeHandle(n);
    }
    UpdateResFile(ref);
    fuzz::Check(ResError() == noErr, "UpdateResFile");
  }
  if (ref > 0) CloseResFile(ref);

  if (change && ref > 0) {
    ref = FSpOpenResFile(&fss, fsRdPerm);
    fuzz::Check(ref > 0, "a written file opens again");
    Walk(ref);
    CloseResFile(ref);
  }

  if (mode & 2) {
    // The record goes into the file, or into a new file made in place of
    // a damaged or outdated one; a protected record stays as it is.
    const OSErr saved = Save_Configuration(&fss, &ConfigData);
    fuzz::Check(CurResFile() == Appl_Rsrc_Fork_No, "the program's file is current after a save");
    if (saved != noErr) {
      UseResFile(Appl_Rsrc_Fork_No);
      return 0;
    }
    ref = FSpOpenResFile(&fss, fsRdPerm);
    fuzz::Check(ref > 0, "a saved settings file opens");
    Handle h = Get1Resource('CNFG', 128);
    const std::vector<UInt8> want = Pack_Configuration(&ConfigData);
    fuzz::Check(h && GetHandleSize(h) == Size(want.size()) && std::memcmp(*h, want.data(), want.size()) == 0,
                "the saved record reads back");
    Walk(ref);
    CloseResFile(ref);
  }
  UseResFile(Appl_Rsrc_Fork_No);
  return 0;
}
