// Preference files made from the program's templates in the user's
// Preferences folder: opening, version check, replacing with defaults and
// saving the settings record.
#include "common/PrefFile.h"

#include <sys/stat.h>

#include <cstring>

#include "common/ReplaceResource.h"
#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/resources.h"

namespace {

constexpr SInt16 kPrefNamesID = 136;  // 'STR#': main file, second file
constexpr SInt16 kConfigID = 128;

struct Template {
  ResType type;
  SInt16 id;
};
constexpr Template kCopied[] = {
    {'CNFG', kConfigID},
    {'PVER', 128},
    {'TMPL', 128},
    {'TMPL', 130},
};

// The settings version of the current file: 0 when its 'PVER' 128 is
// missing or too short to hold one.
UInt16 currentVersion() {
  Handle h = Get1Resource('PVER', 128);
  if (!h || GetHandleSize(h) < 2) return 0;
  return be::get16(*h);
}

bool isRegularFile(const FSSpec& fss) {
  std::string path;
  struct stat st;
  return tb::SpecToPath(fss, path) == noErr && ::lstat(path.c_str(), &st) == 0 &&
         S_ISREG(st.st_mode);
}

// Opens a settings file for changes; -1 with the reason in `why`.
SInt16 openForChanges(const FSSpec* fss, OSErr& why) {
  SInt16 ref = FSpOpenResFile(fss, fsRdWrPerm);
  why = ref < 0 ? ResError() : OSErr(noErr);
  return ref;
}

// Closes an outdated file and deletes it; false when it stays.
bool discard(SInt16 ref, const FSSpec* fss) {
  CloseResFile(ref);
  return FSpDelete(fss) == noErr;
}

// Writes the record into an open settings file, closes it and makes the
// program's file current again.
OSErr saveInto(SInt16 ref, const CONFIGURATION* config) {
  OSErr err = ref < 0 ? OSErr(fnfErr) : Replace_Resource('CNFG', kConfigID, Pack_Configuration(config));
  if (ref >= 0) {
    CloseResFile(ref);
    if (!err) err = ResError();
  }
  UseResFile(Appl_Rsrc_Fork_No);
  return err;
}

}  // namespace

SInt16 Create_Pref_File(const FSSpec* fss) {
  if (!fss) return -1;
  FSpCreateResFile(fss, Pref_File_Creator, 'pref', smSystemScript);
  if (ResError() == dupFNErr) {
    // Only a file that is no resource file at all is replaced; a good one,
    // or one that cannot be read, keeps the user's settings.
    SInt16 probe = FSpOpenResFile(fss, fsRdPerm);
    if (probe >= 0) {
      CloseResFile(probe);
      return -1;
    }
    if (ResError() != mapReadErr || !isRegularFile(*fss) || FSpDelete(fss) != noErr) return -1;
    FSpCreateResFile(fss, Pref_File_Creator, 'pref', smSystemScript);
  }
  if (ResError() != noErr) return -1;
  SInt16 ref = FSpOpenResFile(fss, fsRdWrPerm);
  if (ref < 0) return -1;

  for (const auto& t : kCopied) {
    UseResFile(Appl_Rsrc_Fork_No);
    Handle src = Get1Resource(t.type, t.id);
    if (!src) continue;
    SInt16 id;
    ResType type;
    Str255 name;
    GetResInfo(src, &id, &type, name);
    SInt16 attrs = GetResAttrs(src);
    Handle copy = src;
    if (HandToHand(&copy) != noErr) continue;
    UseResFile(ref);
    AddResource(copy, type, id, name);
    if (ResError() != noErr) {
      DisposeHandle(copy);
      continue;
    }
    SetResAttrs(copy, attrs);
    ChangedResource(copy);
  }
  UseResFile(ref);
  UpdateResFile(ref);
  if (ResError() != noErr) {
    // A file without its defaults would be taken for a good one next time.
    CloseResFile(ref);
    FSpDelete(fss);
    UseResFile(Appl_Rsrc_Fork_No);
    return -1;
  }
  return ref;
}

SInt16 Check_Preference_Version(SInt16 refNum) {
  UseResFile(Appl_Rsrc_Fork_No);
  UInt16 program = currentVersion();
  UseResFile(refNum);
  return currentVersion() == program ? 0 : 1;
}

bool Pref_Folder_File_Spec(ConstStr255Param name, FSSpec* fss) {
  if (!name || name[0] == 0 || !fss) return false;
  SInt16 vol;
  SInt32 dir;
  if (FindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, &vol, &dir) != noErr) return false;
  OSErr err = FSMakeFSSpec(vol, dir, name, fss);
  return err == noErr || err == fnfErr;
}

bool Pref_Name_File_Spec(SInt16 index, FSSpec* fss) {
  SInt16 saved = CurResFile();
  UseResFile(Appl_Rsrc_Fork_No);
  Str255 name;
  GetIndString(name, kPrefNamesID, index);
  UseResFile(saved);
  return Pref_Folder_File_Spec(name, fss);
}

SInt16 Open_Pref_File() {
  FSSpec fss;
  if (!Pref_Name_File_Spec(1, &fss)) return -1;
  OSErr why;
  SInt16 ref = openForChanges(&fss, why);
  if (ref >= 0) {
    if (Check_Preference_Version(ref) == 0) return ref;
    if (!discard(ref, &fss)) {
      UseResFile(Appl_Rsrc_Fork_No);
      return -1;
    }
  } else if (why == mapReadErr && isRegularFile(fss)) {
    if (FSpDelete(&fss) != noErr) return -1;
  }
  return Create_Pref_File(&fss);
}

SInt16 Temp_Pref_File() {
  FSSpec fss;
  if (!Pref_Name_File_Spec(2, &fss)) return -1;
  OSErr why;
  SInt16 ref = openForChanges(&fss, why);
  if (ref >= 0) return ref;
  return Create_Pref_File(&fss);
}

SInt16 Open_MonitorPref_File(const FSSpec* fss) {
  if (!fss) return -1;
  OSErr why;
  SInt16 ref = openForChanges(fss, why);
  if (ref < 0) return -1;
  if (Check_Preference_Version(ref) == 0) return ref;
  discard(ref, fss);
  UseResFile(Appl_Rsrc_Fork_No);
  return -1;
}

OSErr Set_Configuration() {
  SInt16 ref = Open_Pref_File();
  return saveInto(ref, &ConfigData);
}

OSErr Save_Configuration(const FSSpec* fss, const CONFIGURATION* config) {
  if (!fss || !config) return paramErr;
  SInt16 ref = Open_MonitorPref_File(fss);
  if (ref < 0) ref = Create_Pref_File(fss);
  return saveInto(ref, config);
}

std::string Get_Application_Path(const FSSpec* fss) {
  std::string path;
  if (!fss || tb::SpecToPath(*fss, path) != noErr || path.size() > 4096) return {};
  return path;
}

ResType ResType_Char_To_Bin(const char* text) {
  if (!text) return 0;
  ResType type = 0;
  bool ended = false;
  for (int i = 0; i < 4; ++i) {
    ended = ended || text[i] == '\0';
    type = (type << 8) | (ended ? ' ' : static_cast<UInt8>(text[i]));
  }
  return type;
}
