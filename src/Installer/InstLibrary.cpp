// The installer's own library services.
#include "Installer/InstLibrary.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <span>
#include <vector>

#include "FanctionLib/CEdit.h"
#include "Installer/InstWindows.h"
#include "OT/PBoxTable.h"
#include "toolbox/appleevents.h"
#include "toolbox/controls.h"
#include "toolbox/files.h"
#include "toolbox/fileservices.h"
#include "toolbox/gestalt.h"
#include "toolbox/loginitems.h"
#include "toolbox/pictures.h"
#include "toolbox/processes.h"
#include "toolbox/trace.h"
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

OSType ResType_CharToBin(const char* four) {
  // A shorter text is padded with blanks; nothing past its end is read.
  OSType t = 0;
  bool ended = !four;
  for (int i = 0; i < 4; ++i) {
    ended = ended || four[i] == 0;
    t = (t << 8) | (ended ? UInt8(' ') : UInt8(four[i]));
  }
  return t;
}

void SetLanguage(char* text) {
  if (!text) return;
  char* out = text;
  for (const char* in = text; *in;) {
    if (std::strncmp(in, "@LAN", 4) == 0) {
      *out++ = '%';
      *out++ = 's';
      in += 4;
    } else {
      *out++ = *in++;
    }
  }
  *out = 0;
}

namespace {

// The text rectangle of the view: its rectangle less the bars it has.
Rect textRect(const CEDIT_DATA* view, bool withVBar) {
  Rect r = view->rect;
  if (view->isVScroll && withVBar) r.right = SInt16(r.right - kCEBarWidth);
  if (view->isHScroll) r.bottom = SInt16(r.bottom - kCEBarWidth);
  return r;
}

}  // namespace

void inst::CTESetText(CEDIT_DATA* view, const char* text, long length) {
  if (!view || !view->hTEdit) return;
  Rect r = textRect(view, true);
  CESetViewRect(view, &r);
  CESetDestRect(view, &r);
  TESetText(text, length, view->hTEdit);
  if (view->isVScroll && !CTESetTextVScroll(view)) {
    r = textRect(view, false);
    CESetViewRect(view, &r);
    CESetDestRect(view, &r);
  }
  TESetText(text, length, view->hTEdit);
  TECalText(view->hTEdit);
  if (view->isVScroll) CTESetTextVScroll(view);
  if (view->isHScroll) CTESetTextHScroll(view);
  CCalcScrollIndicatorRect(view);
  // A bar the text does not need is not shown.
  CEShowVScroll(view, view->bShow && view->vScrShow);
  CEShowHScroll(view, view->bShow && view->hScrShow);
}

SInt16 CESetViewRect(CEDIT_DATA* view, const Rect* rect) {
  if (!view) return -1;
  if (!view->hTEdit) return -2;
  (**view->hTEdit).viewRect = *rect;
  return 0;
}

SInt16 CESetDestRect(CEDIT_DATA* view, const Rect* rect) {
  if (!view) return -1;
  if (!view->hTEdit) return -2;
  (**view->hTEdit).destRect = *rect;
  return 0;
}

SInt16 CEGetViewRect(CEDIT_DATA* view, Rect* rect) {
  if (!view) return -1;
  if (!view->hTEdit) return -2;
  *rect = (**view->hTEdit).viewRect;
  return 0;
}

SInt16 CEGetDestRect(CEDIT_DATA* view, Rect* rect) {
  if (!view) return -1;
  if (!view->hTEdit) return -2;
  *rect = (**view->hTEdit).destRect;
  return 0;
}

SInt16 inst::System_Check() {
  SInt32 cpu = 0;
  Gestalt('cput', &cpu);
  tb::TraceNote("install", "OS=0x%02X : CPU=0x%02X : A=0x%02X", unsigned(isSystemVer()), unsigned(cpu & 0xFF), 0u);
  return SInt16(cpu);
}

SInt16 inst::isSystemVer() { return 97; }

void Draw_Copy_Bar(DialogRef dialog, DialogItemIndex item, int count, int total) {
  DialogItemType type;
  Handle h;
  Rect r;
  GetDialogItem(dialog, item, &type, &h, &r);
  const int width = r.right - r.left;
  const int n = total > 0 ? total : 1;
  const int step = width / n;
  const int done = step * count >= width || count >= n ? width : step * count;
  Rect inside = r;
  InsetRect(&inside, 1, 1);
  EraseRect(&inside);
  Rect part = inside;
  part.right = SInt16(std::min<int>(inside.left + done, inside.right));
  if (PicHandle pic = GetPicture(128)) {
    DrawPicture(pic, &part);
  } else {
    PaintRect(&part);
  }
  FrameRect(&r);
}

OSErr SendFinderOpenDoc(const FSSpec* item) {
  if (!item) return paramErr;
  OSType finder = kFinderSignature;
  AEDesc target;
  AEInitializeDesc(&target);
  OSErr e = AECreateDesc(typeApplSignature, &finder, sizeof finder, &target);
  if (e != noErr) return e;
  AppleEvent event, reply;
  AEInitializeDesc(&event);
  AEInitializeDesc(&reply);
  e = AECreateAppleEvent('FNDR', 'sope', &target, kAutoGenerateReturnID, kAnyTransactionID, &event);
  if (e == noErr) e = AEPutParamPtr(&event, keyDirectObject, typeFSS, item, sizeof *item);
  if (e == noErr) e = AESend(&event, &reply, kAENoReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr);
  AEDisposeDesc(&event);
  AEDisposeDesc(&reply);
  AEDisposeDesc(&target);
  return e;
}

namespace {

// The monitor beside the installer's bundle.
std::string monitorBesideInstaller() {
  std::string exe = tb::ApplicationPath();
  std::filesystem::path p(exe);
  // .../<folder>/vemoplexinstall.app/Contents/MacOS/vemoplexinstall
  return (p.parent_path().parent_path().parent_path().parent_path() / "VEMO-MONITOR.app").string();
}

bool startsMonitor(const LoginItem& item) {
  std::filesystem::path p(item.path);
  while (!p.empty() && p.filename() != "VEMO-MONITOR.app" && p.filename() != "VEMO-MONITOR" && p.has_parent_path() &&
         p.parent_path() != p)
    p = p.parent_path();
  return p.filename() == "VEMO-MONITOR.app" || p.filename() == "VEMO-MONITOR";
}

}  // namespace

OSStatus Set_Startup_File(bool add) {
  const std::string monitor = monitorBesideInstaller();
  if (add) return tb::AddLoginItemPath(monitor, false);
  std::vector<LoginItem> items;
  OSStatus e = LIAECopyLoginItems(&items);
  // From the end, so the indexes of the items still to look at stay put.
  for (long i = long(items.size()) - 1; e == noErr && i >= 0; --i)
    if (items[std::size_t(i)].ours && items[std::size_t(i)].path.rfind(monitor, 0) == 0) e = LIAERemove(i);
  return e;
}

OSStatus Delete_Startup_Data() {
  std::vector<LoginItem> items;
  OSStatus e = LIAECopyLoginItems(&items);
  for (long i = long(items.size()) - 1; e == noErr && i >= 0; --i)
    if (items[std::size_t(i)].ours && startsMonitor(items[std::size_t(i)])) e = LIAERemove(i);
  return e;
}

OSErr Save_Config_Data(const char* const* addresses, int count) {
  std::string text = "[SYSTEM]\r\n";
  for (int i = 0; i < count && i < 100; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "UDP%02d=%.31s\r\n", i, addresses[i] ? addresses[i] : "");
    text += line;
  }
  std::filesystem::path exe(tb::ApplicationPath());
  FSSpec spec;
  OSErr e = tb::PathToSpec((exe.parent_path() / "ConfigData").string(), &spec);
  if (e != noErr && e != fnfErr) return e;
  return tb::WriteFileAtomically(spec, std::span<const UInt8>(reinterpret_cast<const UInt8*>(text.data()), text.size()),
                                 'VMxi', 'TEXT');
}

int Get_Print_Data(const PBOXinfo* table, int count, int n, PBOXinfo* out) {
  if (!table || !out || n < 0 || n >= count || !table[n].pbi_inuse) return 0;
  *out = table[n];
  return 1;
}

short Chenge_List_Select_Cell(ListHandle list, short delta) {
  if (!list) return -1;
  ListBounds bounds;
  GetListDataBounds(list, &bounds);
  if (bounds.bottom <= 0) return -1;
  Cell c{0, 0};
  const short now = LGetSelect(true, &c, list) ? c.v : -1;
  const short next = short(std::clamp(now + delta, 0, bounds.bottom - 1));
  if (now >= 0) LSetSelect(false, Cell{now, 0}, list);
  LSetSelect(true, Cell{next, 0}, list);
  return next;
}

short Get_List_Cell(ListHandle list, Cell cell, char* out, std::size_t size) {
  if (!out || size == 0) return 0;
  out[0] = 0;
  if (!list) return 0;
  SInt16 len = SInt16(std::min<std::size_t>(size - 1, 32767));
  LGetCell(out, &len, cell, list);
  if (len < 0) len = 0;
  out[len] = 0;
  return len;
}
