// The program's own files and names: the front-process test, names compared
// without regard to case, aliases, catalog search and picture frames, each a
// short call over the toolbox.
#include "506Q_Lib/AppFiles.h"

#include <cstring>

#include "toolbox/aliases.h"
#include "toolbox/catsearch.h"
#include "toolbox/files.h"
#include "toolbox/processes.h"
#include "toolbox/resources.h"

namespace {

int upper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

OSType four_cc(ConstStr255Param text, OSType otherwise) {
  if (!text || text[0] != 4) return otherwise;
  return be::get32(text + 1);
}

// Whether the file is an alias this function may replace: Finder flags
// that say so, or (where the file system keeps no Finder information) a
// resource file holding an alias record.
bool is_alias_file(const FSSpec& spec) {
  FInfo info{};
  if (FSpGetFInfo(&spec, &info) == noErr && (info.fdFlags & kIsAlias)) return true;
  const SInt16 saved = CurResFile();
  const SInt16 ref = FSpOpenResFile(&spec, fsRdPerm);
  if (ref == -1) return false;
  const bool alias = Get1Resource('alis', 0) != nullptr;
  CloseResFile(ref);
  UseResFile(saved);
  return alias;
}

}  // namespace

Boolean Get_Active_Application() {
  ProcessSerialNumber current, front;
  if (GetCurrentProcess(&current) != noErr || GetFrontProcess(&front) != noErr) return false;
  Boolean same = false;
  if (SameProcess(&current, &front, &same) != noErr) return false;
  return same;
}

int StriCmp(const char* a, const char* b) {
  const auto* x = reinterpret_cast<const unsigned char*>(a ? a : "");
  const auto* y = reinterpret_cast<const unsigned char*>(b ? b : "");
  if (!*x && !*y) return 0;
  if (!*x || !*y) return -1;
  for (; *x && upper(*x) == upper(*y); ++x, ++y) {
  }
  return upper(*x) - upper(*y);
}

short CreateAlias(const FSSpec* target, SInt16 vRefNum, SInt32 dirID) {
  if (!target) return -1;
  // The record first: a target that cannot be aliased leaves an older
  // alias in place.
  AliasHandle alias = nullptr;
  if (NewAlias(nullptr, target, &alias) != noErr || !alias) return -1;
  FInfo targetInfo{};
  FSpGetFInfo(target, &targetInfo);

  FSSpec spec;
  OSErr err = FSMakeFSSpec(vRefNum, dirID, target->name, &spec);
  if (err == noErr) {
    if (!is_alias_file(spec) || FSpDelete(&spec) != noErr) err = dupFNErr;
  } else if (err == fnfErr) {
    err = noErr;
  }
  if (err != noErr) {
    DisposeHandle(reinterpret_cast<Handle>(alias));
    return -2;
  }

  const SInt16 saved = CurResFile();
  FSpCreateResFile(&spec, targetInfo.fdCreator, 'adrp', smSystemScript);
  if (ResError() != noErr) {
    DisposeHandle(reinterpret_cast<Handle>(alias));
    return -2;
  }
  const SInt16 ref = FSpOpenResFile(&spec, fsRdWrPerm);
  if (ref == -1) {
    DisposeHandle(reinterpret_cast<Handle>(alias));
    UseResFile(saved);
    return -3;
  }
  AddResource(reinterpret_cast<Handle>(alias), 'alis', 0, target->name);
  if (ResError() != noErr) DisposeHandle(reinterpret_cast<Handle>(alias));
  CloseResFile(ref);
  UseResFile(saved);

  FInfo info{};
  FSpGetFInfo(&spec, &info);
  info.fdType = 'adrp';
  info.fdCreator = targetInfo.fdCreator;
  info.fdFlags = kIsAlias | kHasBeenInited;
  FSpSetFInfo(&spec, &info);
  return 0;
}

OSErr DoCatSearch(ConstStr255Param creator, ConstStr255Param fileType, FSSpec* match,
                  SInt16 volumeNumber) {
  FSSpec found;
  const OSErr err = tb::CatSearchFirst(static_cast<SInt16>(-volumeNumber), four_cc(creator, 'MACS'),
                                       four_cc(fileType, 'FNDR'), &found);
  if (err == memFullErr) return 1;
  if (err != noErr) return err;
  if (match) *match = found;
  return noErr;
}

void RectFrame_SwapBigToHost(Rect* rect) {
  if (!rect) return;
  UInt8 bytes[8];
  std::memcpy(bytes, rect, sizeof bytes);
  rect->top = static_cast<SInt16>(be::get16(bytes));
  rect->left = static_cast<SInt16>(be::get16(bytes + 2));
  rect->bottom = static_cast<SInt16>(be::get16(bytes + 4));
  rect->right = static_cast<SInt16>(be::get16(bytes + 6));
}

void PictureFrame_SwapBigToHost(PicHandle picture) {
  if (picture && *picture) RectFrame_SwapBigToHost(&(**picture).picFrame);
}
