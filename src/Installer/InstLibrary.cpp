// The installer's own library services.
#include "Installer/InstLibrary.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "Installer/InstWindows.h"
#include "toolbox/controls.h"
#include "toolbox/files.h"
#include "toolbox/types.h"

FOLDER_HOOKS gFolderHooks{};

void Create_Folder_Hooks() { gFolderHooks = FOLDER_HOOKS{FilterAllFiles, MyDlgHook, MyModalFilter}; }

void Dispose_Folder_Hooks() { gFolderHooks = FOLDER_HOOKS{}; }

Boolean FilterAllFiles(const FSSpec* item) {
  std::string path;
  if (!item || tb::SpecToPath(*item, path) != noErr) return true;
  std::error_code ec;
  return !std::filesystem::is_directory(path, ec);
}

short MyDlgHook(short item, DialogRef, void*) { return item; }

Boolean MyModalFilter(DialogRef dialog, EventRecord* event, short*, void*) {
  if (event && event->what == updateEvt &&
      (!dialog || reinterpret_cast<WindowRef>(event->message) != GetDialogWindow(dialog)))
    inst::Update_Window(event);
  return false;
}

Boolean SameFile(const FSSpec* a, const FSSpec* b) {
  if (!a || !b || a->vRefNum != b->vRefNum || a->parID != b->parID || a->name[0] != b->name[0]) return false;
  for (int i = 1; i <= a->name[0]; ++i)
    if (std::tolower(a->name[i]) != std::tolower(b->name[i])) return false;
  return true;
}

OSErr MakeCanonFSSpec(FSSpec* spec) {
  if (!spec) return paramErr;
  FSSpec made{};
  OSErr e = FSMakeFSSpec(spec->vRefNum, spec->parID, spec->name, &made);
  if (e == noErr || e == fnfErr) *spec = made;
  return e;
}

OSErr GetDeskFolderSpec(FSSpec* spec) {
  if (!spec) return paramErr;
  SInt16 vol = 0;
  SInt32 dir = 0;
  OSErr e = FindFolder(kOnSystemDisk, 'cusr', false, &vol, &dir);
  if (e != noErr) return e;
  Str255 name;
  pstr::set(name, sizeof name, "Desktop");
  return FSMakeFSSpec(vol, dir, name, spec);
}

void SetSelectButtonName(DialogRef dialog, DialogItemIndex button, ConstStr255Param name) {
  DialogItemType type;
  Handle h = nullptr;
  Rect r;
  GetDialogItem(dialog, button, &type, &h, &r);
  if (!h) return;
  std::string title = "Select \"" + std::string(reinterpret_cast<const char*>(name + 1), name[0]);
  title = title.substr(0, 254) + "\"";
  Str255 p;
  pstr::set(p, sizeof p, title);
  SetControlTitle(reinterpret_cast<ControlRef>(h), p);
}

Boolean ShouldHiliteSelect(const FSSpec* spec) {
  FSSpec desk{};
  if (!spec || GetDeskFolderSpec(&desk) != noErr) return spec != nullptr;
  FSSpec canon = *spec;
  MakeCanonFSSpec(&canon);
  return !SameFile(&canon, &desk);
}

void HitButton(DialogRef dialog, DialogItemIndex button) {
  DialogItemType type;
  Handle h = nullptr;
  Rect r;
  GetDialogItem(dialog, button, &type, &h, &r);
  if (!h) return;
  HiliteControl(reinterpret_cast<ControlRef>(h), kControlButtonPart);
  UInt32 final = 0;
  Delay(5, &final);
  HiliteControl(reinterpret_cast<ControlRef>(h), 0);
}
