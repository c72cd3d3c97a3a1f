// A fuzzed resource file (a program's resources or a preference file) read
// through the Resource Manager as the programs read it: opened, its types
// and resources walked, string lists read item by item with GetIndString.
// The first byte chooses whether the file is also opened for changes, one
// resource changed and the file written back, and read again.
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "toolbox/resources.h"

namespace {

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
    fuzz::Check(count >= 1 && count == CountResources(type), "a listed type has resources");
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

  FSSpec spec;
  fuzz::Check(tb::PathToSpec(file.path(), &spec) == noErr, "spec of the scratch file");
  const bool change = mode & 1;
  SInt16 ref = FSpOpenResFile(&spec, change ? fsRdWrPerm : fsRdPerm);
  fuzz::Check((ref > 0) == (parsed == noErr), "FSpOpenResFile opens exactly the files the parser takes");
  if (ref <= 0) {
    fuzz::Check(ResError() == mapReadErr, "a damaged file is refused as such");
    return 0;
  }
  Walk(ref);

  if (change) {
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
  CloseResFile(ref);

  if (change) {
    ref = FSpOpenResFile(&spec, fsRdPerm);
    fuzz::Check(ref > 0, "a written file opens again");
    Walk(ref);
    CloseResFile(ref);
  }
  return 0;
}
