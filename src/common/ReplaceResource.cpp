// Writing one resource of a settings file in place of the one there.
#include "common/ReplaceResource.h"

#include <cstring>

#include "toolbox/memory.h"
#include "toolbox/resources.h"

OSErr Replace_Resource(ResType type, SInt16 id, std::span<const UInt8> data) {
  Str255 name = {0};
  SInt16 attrs = 0;
  if (Handle old = Get1Resource(type, id)) {
    ResType t;
    GetResInfo(old, &id, &t, name);
    attrs = GetResAttrs(old);
    RemoveResource(old);
    // A resource that cannot be removed still belongs to the file: it is
    // never disposed behind the file's back.
    if (OSErr err = ResError()) return err;
    DisposeHandle(old);
  }
  Handle h = NewHandleClear(static_cast<Size>(data.size()));
  if (!h) return memFullErr;
  if (!data.empty()) std::memcpy(*h, data.data(), data.size());
  AddResource(h, type, id, name);
  if (OSErr err = ResError()) {
    DisposeHandle(h);
    return err;
  }
  SetResAttrs(h, attrs);
  ChangedResource(h);
  WriteResource(h);
  const OSErr err = ResError();
  ReleaseResource(h);
  return err;
}
