// The administrator/user mode record: five bytes of a fixed marker masked
// with a fixed key mean administrator mode, anything else user mode.
#include "Admin/AdminMode.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/PrefFile.h"
#include "toolbox/clock.h"
#include "toolbox/events.h"
#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/resources.h"

namespace {

constexpr char keyCode[6] = "MAPLE";
constexpr char passCode[6] = "KRV-P";
constexpr ResType kModeType = 'ADMN';
constexpr SInt16 kModeID = 128;

UInt8 random_byte() { return static_cast<UInt8>(std::rand() & 0xFF); }

bool is_admin_code(const UInt8* code) {
  for (int i = 0; i < 5; ++i)
    if (static_cast<UInt8>(code[i] ^ passCode[i]) != static_cast<UInt8>(keyCode[i])) return false;
  return true;
}

}  // namespace

ResType ResTypeCharToBin(const char* c) {
  ResType t = 0;
  for (int i = 0; i < 4; ++i) t = (t << 8) | static_cast<UInt8>(c && c[i] ? c[i] : ' ');
  return t;
}

short Set_Admin_Mode(Boolean mode, ADMIN_MODE* adminMode) {
  if (!adminMode) return 0;
  std::srand(static_cast<unsigned>(TickCount()));
  UInt8* b = reinterpret_cast<UInt8*>(adminMode);
  if (mode) {
    for (int i = 0; i < 5; ++i) b[i] = static_cast<UInt8>(keyCode[i] ^ passCode[i]);
  } else {
    // Five random bytes that happen to spell the administrator code are
    // drawn again, so user mode is never read back as administrator mode.
    do {
      for (int i = 0; i < 5; ++i) b[i] = random_byte();
    } while (is_admin_code(b));
  }
  b[5] = random_byte();
  for (int i = 6; i < 15; ++i) b[i] = static_cast<UInt8>(b[random_byte() % i] ^ random_byte());
  b[15] = 0;
  return 1;
}

short Get_Admin_Mode(const ADMIN_MODE* adminMode) {
  return adminMode && is_admin_code(adminMode->adminCode) ? 1 : 0;
}

SInt16 Open_Admin_Pref(ConstStr255Param fName) {
  FSSpec fss;
  if (!Pref_Folder_File_Spec(fName, &fss)) return -1;
  SInt16 ref = FSpOpenResFile(&fss, fsCurPerm);
  return ref < 0 ? SInt16(-1) : ref;
}

OSErr Delete_Admin_Pref(ConstStr255Param fName) {
  FSSpec fss;
  if (!Pref_Folder_File_Spec(fName, &fss)) return fnfErr;
  return FSpDelete(&fss);
}

SInt16 Create_Admin_Pref(SInt16 appliRsrcNo, ConstStr255Param fName, OSType fType) {
  FSSpec fss;
  if (!Pref_Folder_File_Spec(fName, &fss)) return -1;
  UseResFile(appliRsrcNo);
  Handle tmpl = Get1Resource(kModeType, kModeID);
  SInt16 id = kModeID;
  ResType type = kModeType;
  Str255 name = {0};
  SInt16 attrs = 0;
  if (tmpl) {
    GetResInfo(tmpl, &id, &type, name);
    attrs = GetResAttrs(tmpl);
    DetachResource(tmpl);
  }
  FSpCreateResFile(&fss, fType, 'pref', smSystemScript);
  SInt16 ref = FSpOpenResFile(&fss, fsRdWrPerm);
  if (ref < 0) {
    if (tmpl) DisposeHandle(tmpl);
    return -1;
  }
  UseResFile(ref);
  if (!tmpl) tmpl = NewHandleClear(kAdminModeSize);
  AddResource(tmpl, type, id, name);
  SetResAttrs(tmpl, attrs);
  ChangedResource(tmpl);
  WriteResource(tmpl);
  ReleaseResource(tmpl);
  return ref;
}

void Set_Administrator(ConstStr255Param fName, OSType fType, Boolean mode) {
  const SInt16 saved = CurResFile();
  SInt16 old = Open_Admin_Pref(fName);
  if (old >= 0) CloseResFile(old);
  // The new file is made under a name of its own and renamed over the old
  // one, so a failure on the way never leaves the program without its mode.
  FSSpec target;
  std::string path;
  if (!fName || fName[0] == 0 || fName[0] > 59 || !Pref_Folder_File_Spec(fName, &target) ||
      tb::SpecToPath(target, path) != noErr) {
    UseResFile(saved);
    return;
  }
  Str255 tmpName;
  std::memcpy(tmpName, fName, fName[0] + 1);
  std::memcpy(tmpName + 1 + fName[0], ".new", 4);
  tmpName[0] = UInt8(fName[0] + 4);
  Delete_Admin_Pref(tmpName);
  SInt16 ref = Create_Admin_Pref(saved, tmpName, fType);
  if (ref < 0) {
    UseResFile(saved);
    return;
  }
  ADMIN_MODE record;
  Set_Admin_Mode(mode, &record);
  UseResFile(ref);
  Handle data = NewHandleClear(kAdminModeSize);
  OSErr written = data ? OSErr(noErr) : OSErr(memFullErr);
  if (data) {
    std::memcpy(*data, &record, kAdminModeSize);
    SInt16 id = kModeID;
    ResType type = kModeType;
    Str255 name = {0};
    Handle old = Get1Resource(kModeType, kModeID);
    if (old) {
      GetResInfo(old, &id, &type, name);
      RemoveResource(old);
      DisposeHandle(old);
    }
    AddResource(data, type, id, name);
    WriteResource(data);
    written = ResError();
    ReleaseResource(data);
  }
  CloseResFile(ref);
  if (written == noErr) written = ResError();
  UseResFile(saved);
  // Only a whole new file takes the old one's place.
  if (written != noErr || std::rename((path + ".new").c_str(), path.c_str()) != 0) Delete_Admin_Pref(tmpName);
}

short Get_Administrator(SInt16 appliRsrcNo, ConstStr255Param fName) {
  SInt16 ref = Open_Admin_Pref(fName);
  if (ref < 0) {
    UseResFile(appliRsrcNo);
    return 0;
  }
  UseResFile(ref);
  ADMIN_MODE record{};
  bool whole = false;
  Handle h = Get1Resource(kModeType, kModeID);
  // A record shorter than 16 bytes is damaged: user mode.
  if (h && GetHandleSize(h) >= static_cast<Size>(kAdminModeSize)) {
    std::memcpy(&record, *h, kAdminModeSize);
    whole = true;
  }
  CloseResFile(ref);
  UseResFile(appliRsrcNo);
  return whole ? Get_Admin_Mode(&record) : 0;
}
