// The frame of the held-job manager: start-up from launch to the shown main
// window, the language choice, the window event handler, the idle timer
// that drives the logo, the print-box search, the command engine and the
// status line, and the shut-down.
#include "holdmanager/HoldApp.h"

#include <fcntl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "506Q_Lib/Bridge.h"
#include "common/GWorldImage.h"
#include "common/IniFile.h"
#include "common/SystemCheck.h"
#include "common/TextFormat.h"
#include "holdmanager/HoldControls.h"
#include "holdmanager/HoldDialogs.h"
#include "holdmanager/HoldMainWnd.h"
#include "toolbox/appearance.h"
#include "toolbox/bundle.h"
#include "toolbox/clock.h"
#include "toolbox/files.h"
#include "toolbox/menus.h"
#include "toolbox/quickdraw.h"
#include "toolbox/resources.h"
#include "toolbox/textencoding.h"
#include "toolbox/trace.h"
#include "toolbox/windows.h"

UInt8 gLangCode = 1;
UInt32 gTextEncoding = 0;
UInt8 gOSCode = 122;
char gszIniFileName[kHoldPathSize] = "";
char gszStrFileName[kHoldPathSize] = "";
FONT_DATA gDefaultFont{};
IconRef gFolderIcon = nullptr;
SInt16 gZoomBoxWidth = 15;
char gszStr00[257] = "";
bool gbStartIdleEvent = false;
int gNewFound = 0;
NULL_EVT_HOOK gNullEvtHdlSub{};
Cursor gCurArrow{};
OTNotifyUPP vfmpNotifyUpp = nullptr;
ANIME_INFO gAnimeInfo{};

namespace {

constexpr UInt16 kJcpSearchPort = 19541;
constexpr short kSearchKind = 4;
constexpr UInt32 kAutoPopupTicks = 90;
constexpr int kLogoFrameWidth = 44;
constexpr MenuID kMainMenu = 1000;
constexpr MenuCommand kAboutCommand = 'abou';
constexpr MenuCommand kQuitCommand = 'quit';

std::vector<DialogRef> gDlgList;
MAIN_DLG_DATA* gMainDlg = nullptr;
int gMainDlgNum = 0;
// The records of the main dialogs (the program makes one).
MAIN_DLG_DATA* gMainDlgDataArg[1] = {};
EventLoopTimerRef gIdleTimerRef = nullptr;
EventLoopTimerUPP gIdleTimerUpp = nullptr;
// The step that runs asked for the next one at once.
bool gIdleSoon = false;
EventRecord gCurrentEvent{};
SInt16 gResFile = -1;
bool gStarted = false;

const char* flagName(UInt16 f) {
  switch (f) {
    case 0: return "idle";
    case SEARCH_NEW: return "new";
    case SEARCH_START: return "start";
    case SEARCH_RUNNING: return "running";
  }
  return "?";
}

// The one place the search flags change.
void setSearchFlags(MAIN_DLG_DATA* m, UInt16 to, const char* why) {
  if (m->searchFlags == to) return;
  tb::TraceState("hold", "search", m, flagName(m->searchFlags), flagName(to), why);
  m->searchFlags = to;
}

PBOXinfo* gFoundTable = nullptr;

void startSearch(MAIN_DLG_DATA* m) {
  UInt32 addrs[kJCPMaxTargets];
  const int count = std::clamp<int>(m->config.usAddrCount, 1, kJCPMaxTargets);
  for (int i = 0; i < count; ++i) addrs[i] = m->config.ulAddr[i];
  JCP_ClearContext(m->search);
  JCP_UDP_SetSearch(m->search, addrs, short(count), kJcpSearchPort);
  JCP_Search(m->search, kSearchKind, UInt32(-1), SearchNotifier, true);
  m->lastSearch = TickCount();
}

void searchStep(MAIN_DLG_DATA* m) {
  if (!m->search || !m->searchFlags) return;
  if (m->searchFlags & SEARCH_NEW) {
    ResetDeviceChoice(m, true);
    setSearchFlags(m, SEARCH_START, "new search");
  } else if (m->config.ulReSearch && TickCount() - m->lastSearch > m->config.ulReSearch * 3600) {
    setSearchFlags(m, SEARCH_START, "re-search interval");
  }
  if (m->searchFlags & SEARCH_START) {
    // A search that still runs on the context is ended first: a new one on
    // an open endpoint would leave the old one behind.
    if (!JCP_IsTerminated(m->search)) {
      if (!m->searchStopping) JCP_KillIOEvent(m->search);
      m->searchStopping = true;
      JCP_PendingLoop(m->search);
      if (!JCP_IsTerminated(m->search)) return;
    }
    m->searchStopping = false;
    startSearch(m);
    setSearchFlags(m, SEARCH_RUNNING, "started");
  } else if (m->searchFlags & SEARCH_RUNNING) {
    JCP_PendingLoop(m->search);
    if (m->search->isComplete || JCP_IsTerminated(m->search)) setSearchFlags(m, 0, "complete");
  }
}

void addNewBoxes(MAIN_DLG_DATA* m) {
  if (gNewFound <= 0) return;
  ControlRef pop = GetItemControl(m->dialog, kItemDevice);
  if (!pop) return;
  MenuRef menu = GetControlPopupMenuHandle(pop);
  int inUse = 0;
  for (const PBOXinfo& p : m->found)
    if (p.pbi_inuse) ++inUse;
  const bool wasEmpty = CountMenuItems(menu) == 0;
  int index = 0;
  for (const PBOXinfo& p : m->found) {
    if (!p.pbi_inuse) continue;
    if (index++ < CountMenuItems(menu)) continue;
    const std::string text = PBOXNameText(p, gTextEncoding) + " (" + DottedText(p.pbi_ip_addr) + ")";
    Str255 item;
    SetPStrCut(item, text);
    // Appended as text: a name may hold characters the menu would read as
    // item separators or marks.
    AppendMenuItemText(menu, PText(" "));
    SetMenuItemText(menu, CountMenuItems(menu), item);
    --gNewFound;
  }
  gNewFound = std::max(gNewFound, 0);
  SetControl32BitMaximum(pop, inUse);
  if (wasEmpty && CountMenuItems(menu) > 0) {
    // No box is chosen yet (value 0): the pop-up shows the first box by
    // its menu's title.
    Str255 first;
    GetMenuItemText(menu, 1, first);
    SetMenuTitle(menu, first);
    HiliteControl(pop, 0);
    SetControl32BitValue(pop, 0);
    Draw1Control(pop);
  }
  SetStatus(m->dialog, "STRING", 0, 0);
}

void autoDeviceChoice(MAIN_DLG_DATA* m) {
  ControlRef pop = GetItemControl(m->dialog, kItemDevice);
  if (!pop || m->popupOpened || TickCount() - m->lastSearch <= kAutoPopupTicks) return;
  MenuRef menu = GetControlPopupMenuHandle(pop);
  if (!menu || CountMenuItems(menu) < 1 || GetControl32BitValue(pop) != 0) return;
  // The menu opens for a person who looks at the window: it waits while
  // the program is in the background (another program has the keyboard)
  // or another of its windows is in front. Opened there it would hold the
  // desktop's mouse, so that the person's next click in the program they
  // use only closed it; and on a pop-up dimmed with its window it would not
  // open at all, and then never again.
  if (!IsWindowHilited(GetDialogWindow(m->dialog)) || !IsControlActive(pop)) return;
  m->popupOpened = true;
  Rect r;
  GetControlBounds(pop, &r);
  tb::PortSaver saver(GetDialogPort(m->dialog));
  const ControlPartCode part = TrackControl(pop, Point{SInt16(r.top + 5), SInt16(r.left + 5)}, nullptr);
  if (part && GetControl32BitValue(pop) >= 1) ChooseDevice(m, GetControl32BitValue(pop));
}

void idleCursor(MAIN_DLG_DATA* m) {
  if (m->dragging) return;
  WindowRef front = FrontWindow();
  if (front != GetDialogWindow(m->dialog) || GetFrontDialog() != m->dialog) return;
  Point pt;
  tb::PortSaver saver(GetDialogPort(m->dialog));
  Get_Mouse(&pt);
  if (OverColumnDivider(m, pt)) {
    if (CursHandle c = GetCursor(161)) SetCursor(*c);
  } else {
    SetCursor(&gCurArrow);
  }
}

void unhighlight() { HiliteMenu(0); }

}  // namespace

void HoldIdleSoon() {
  gIdleSoon = true;
  if (gIdleTimerRef) SetEventLoopTimerNextFireTime(gIdleTimerRef, kIdleStartInterval);
}

void IdleEventMainDlgX(EventLoopTimerRef timer, void*) {
  gIdleSoon = false;
  if (IdleEventMainDlg() && !gIdleSoon) SetEventLoopTimerNextFireTime(timer, kIdleWorkedInterval);
}

int CreateEventTimer(EventLoopTimerProcPtr routine, EventTimerInterval interval, void* userData,
                     EventLoopTimerUPP* routineOut, EventLoopTimerRef* timerOut) {
  EventLoopTimerUPP upp = NewEventLoopTimerUPP(routine);
  if (InstallEventLoopTimer(GetCurrentEventLoop(), 0, interval, upp, userData, timerOut) != noErr) {
    DisposeEventLoopTimerUPP(upp);
    return 0;
  }
  if (routineOut) *routineOut = upp;
  return 1;
}

void DestroyEventTimer(EventLoopTimerUPP routine, EventLoopTimerRef timer) {
  if (timer) RemoveEventLoopTimer(timer);
  if (routine) DisposeEventLoopTimerUPP(routine);
}

void RequestNewSearch(MAIN_DLG_DATA* m) {
  if (m) setSearchFlags(m, SEARCH_NEW, "browse");
}

// ---- dialogs ----------------------------------------------------------------

DLG_HANDLERS* GetDlgHandlers(WindowRef window) {
  if (!window) return nullptr;
  return reinterpret_cast<DLG_HANDLERS*>(GetWRefCon(window));
}

void SetFrontDialog(DialogRef dialog) {
  if (dialog) {
    gDlgList.push_back(dialog);
    return;
  }
  if (!gDlgList.empty()) gDlgList.pop_back();
  if (!gDlgList.empty()) SelectWindow(GetDialogWindow(gDlgList.back()));
}

void ForgetDialog(DialogRef dialog) {
  auto it = std::find(gDlgList.begin(), gDlgList.end(), dialog);
  if (it == gDlgList.end()) return;
  if (it + 1 == gDlgList.end()) {
    SetFrontDialog(nullptr);
  } else {
    gDlgList.erase(it);
  }
  if (gDlgList.size() <= 1) EnableMenu(0, 1);
}

DialogRef GetFrontDialog() { return gDlgList.empty() ? nullptr : gDlgList.back(); }
int GetCountdDlg() { return int(gDlgList.size()); }
DialogRef GetBehindDialog() { return gDlgList.size() < 2 ? nullptr : gDlgList[gDlgList.size() - 2]; }
DialogRef GetMainDlgPtr() { return gMainDlg ? gMainDlg->dialog : nullptr; }
MAIN_DLG_DATA* GetMainDlgData() { return gMainDlg; }

void EnableMenu(int which, int enable) {
  MenuRef menu = GetMenuHandle(kMainMenu);
  const MenuCommand cmd = which == 0 ? kAboutCommand : kQuitCommand;
  if (which == 1) menu = GetMenuHandle(kApplicationMenuID);
  if (!menu) return;
  if (enable)
    EnableMenuCommand(menu, cmd);
  else
    DisableMenuCommand(menu, cmd);
}

void SetDialogTitle(DialogRef dialog, ConstStr255Param text) {
  if (!dialog || !text) return;
  Str255 title, now;
  SetPStrCut(title, NameText(text, gTextEncoding));
  GetWTitle(GetDialogWindow(dialog), now);
  if (now[0] == title[0] && std::memcmp(now + 1, title + 1, title[0]) == 0) return;
  SetWTitle(GetDialogWindow(dialog), title);
}

SInt32 GetTimeoutValue(const HOLD_CONFIG* config) {
  if (!config || config->ulTimeOut == 0) return -1;
  return SInt32(std::min<UInt32>(config->ulTimeOut, 0x7FFFFFFF / 1000) * 1000);
}

std::string HoldIniText(const char* section, const char* key) { return HoldIniString(gszStrFileName, section, key); }

void HoldIniPText(const char* section, const char* key, Str255 out) { SetPStrCut(out, HoldIniText(section, key)); }

PText::PText(const char* text) { SetPStrCut(s, text ? text : ""); }

// ---- language ---------------------------------------------------------------

int GetLangCodeFromLocalizedString(char* buffer, std::size_t size) {
  if (!buffer || size == 0) return 0;
  const std::string code = tb::LocalizedString("LANGUAGE_CODE", "");
  std::snprintf(buffer, size, "%s", code.c_str());
  return code.size() < size ? 1 : 0;
}

const LANG_CODE_ROW* FindLangCode(const char* code) {
  const LANG_CODE_ROW* row = langCodeTable;
  for (; row->code[0]; ++row)
    if (code && std::strcmp(row->code, code) == 0) return row;
  return row;
}

// ---- the event handler --------------------------------------------------------

EventHandlerRef InstallWndEvtHandler(WindowRef window) {
  static const EventTypeSpec kinds[] = {
      {kEventClassCommand, kEventCommandProcess}, {kEventClassWindow, kEventWindowUpdate},
      {kEventClassWindow, kEventWindowActivated}, {kEventClassWindow, kEventWindowDeactivated},
      {kEventClassKeyboard, kEventRawKeyDown},    {kEventClassKeyboard, kEventRawKeyRepeat},
      {kEventClassMouse, kEventMouseDown},
  };
  EventHandlerRef ref = nullptr;
  if (InstallWindowEventHandler(window, NewEventHandlerUPP(EventLoopX), UInt32(std::size(kinds)), kinds, nullptr,
                                &ref) != noErr)
    return nullptr;
  return ref;
}

EventHandlerRef BindDialogWindow(DialogRef dialog, DLG_HANDLERS* handlers) {
  WindowRef w = GetDialogWindow(dialog);
  SetWRefCon(w, reinterpret_cast<long>(handlers));
  Set_Content_Color(dialog);
  return InstallWndEvtHandler(w);
}

OSStatus EventLoopX(EventHandlerCallRef, EventRef event, void*) {
  const UInt32 cls = GetEventClass(event), kind = GetEventKind(event);
  EventRecord rec{};
  ConvertEventRefToEventRecord(event, &rec);
  SetCurrentEventRecord(&rec);
  if (cls == kEventClassCommand) {
    HICommand cmd{};
    GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof cmd, nullptr, &cmd);
    OSStatus result = eventNotHandledErr;
    if (cmd.commandID == kAboutCommand) {
      OpenAboutDlg();
      result = noErr;
    } else if (cmd.commandID == kQuitCommand) {
      QuitHoldManager();
      result = noErr;
    }
    unhighlight();
    return result;
  }
  WindowRef window = nullptr;
  if (cls == kEventClassWindow)
    GetEventParameter(event, kEventParamDirectObject, typeWindowRef, nullptr, sizeof window, nullptr, &window);
  else if (cls == kEventClassKeyboard)
    window = FrontWindow();
  else
    GetEventParameter(event, kEventParamWindowRef, typeWindowRef, nullptr, sizeof window, nullptr, &window);
  DLG_HANDLERS* h = GetDlgHandlers(window);
  if (!h) return eventNotHandledErr;
  DialogRef dialog = GetDialogFromWindow(window);
  switch (cls) {
    case kEventClassKeyboard:
      if (h->keyDown && h->keyDown(&rec, dialog)) return noErr;
      return eventNotHandledErr;
    case kEventClassMouse:
      // Only the front dialog acts: a press in a window under it brings it
      // back, so that no window comes up looking ready while it cannot act.
      if (DialogRef top = GetFrontDialog(); top && top != dialog && IsWindowVisible(GetDialogWindow(top))) {
        SelectWindow(GetDialogWindow(top));
        return noErr;
      }
      if (h->mouseDown) h->mouseDown(&rec, dialog);
      return eventNotHandledErr;
    case kEventClassWindow: {
      ControlRef root = nullptr;
      GetRootControl(window, &root);
      if (kind == kEventWindowUpdate) {
        if (!h->update) return eventNotHandledErr;
        BeginUpdate(window);
        h->update(dialog);
        EndUpdate(window);
        return noErr;
      }
      const bool active = kind == kEventWindowActivated;
      if (root) {
        if (active)
          ActivateControl(root);
        else
          DeactivateControl(root);
      }
      if (h->activate) h->activate(dialog, active);
      return noErr;
    }
  }
  return eventNotHandledErr;
}

// ---- idle step ------------------------------------------------------------------

bool IdleEventMainDlg() {
  MAIN_DLG_DATA* m = gMainDlg;
  if (!gbStartIdleEvent || !m) return false;
  if (m->eng.busy == 1) {
    const UInt32 now = TickCount() * 50 / 3;
    if (now - gAnimeInfo.lastFrame > gAnimeInfo.interval) {
      NextLogoFrame(m->eng.busy);
      DrawLogo(m->dialog);
      gAnimeInfo.lastFrame = now;
    }
  }
  searchStep(m);
  const bool worked = CommandPendingLoop(&m->eng);
  if (m->statusRedraw) DrawStatusLine(m);
  addNewBoxes(m);
  idleCursor(m);
  autoDeviceChoice(m);
  if (gNullEvtHdlSub.proc) gNullEvtHdlSub.proc(gNullEvtHdlSub.arg);
  return worked;
}

void SearchNotifier(JCPEPInfo* context, void* reply, void*, short status) {
  if (!context || !reply || status != JCP_NOTIFY_FOUND || !gFoundTable) return;
  const auto* r = static_cast<const jcp_reply*>(reply);
  if (HoldReplyCapability(r) < 0) return;
  if (hold::RegisterPBOX(gFoundTable, kFoundBoxes, r, nullptr, PBOXAddrBlock{}, 2)) ++gNewFound;
}

int HoldReplyCapability(const jcp_reply* r) {
  if (r->jcpr_chk != 2 || r->jcpr_rule != 38150 || (r->jcpr_ip_addr >> 24) == 0) return -1;
  const UInt8* t = r->jcpr_machine_type;
  if (std::memcmp(t, "VEMO", 4) != 0) return -1;
  int cap = 0;
  if (t[8] == '[' || std::memcmp(t + 10, "QSV-B", 5) == 0) cap = t[15];
  if ((cap & 0x23) != 0x23) return -1;
  return cap;
}

// ---- logo -------------------------------------------------------------------------

void NextLogoFrame(int busy) {
  const int last = std::max(0, gAnimeInfo.width - kLogoFrameWidth);
  if (busy == 1) {
    gAnimeInfo.offset += kLogoFrameWidth;
    if (gAnimeInfo.offset >= last) gAnimeInfo.offset = 0;
  } else {
    gAnimeInfo.offset = busy == 2 ? last : 0;
  }
}

void DrawLogo(DialogRef dialog) {
  if (!gAnimeInfo.world || !dialog) return;
  Rect item;
  GetDialogItemRect(dialog, kItemLogo, &item);
  Rect src{0, SInt16(gAnimeInfo.offset), SInt16(gAnimeInfo.height), SInt16(gAnimeInfo.offset + kLogoFrameWidth)};
  Rect dst{item.top, item.left, SInt16(item.top + gAnimeInfo.height), SInt16(item.left + kLogoFrameWidth)};
  tb::PortSaver saver(GetDialogPort(dialog));
  CopyBits(GetPortBitMapForCopyBits(gAnimeInfo.world), GetPortBitMapForCopyBits(GetDialogPort(dialog)), &src, &dst,
           srcCopy, nullptr);
}

// ---- start-up and shut-down ----------------------------------------------------------

void QuitHoldManager() {
  // A question or message left open goes with the window; its answer is
  // no answer (nothing it would start starts).
  while (SUB_DLG* d = FrontSubDlg()) CloseSubDlg(d, d->id);
  for (int i = gMainDlgNum; i > 0; --i)
    if (gMainDlg) CloseMainDlg(gMainDlg->dialog, i == 1);
}

int HoldStartup() {
  gMainDlgNum = 0;
  Initialize_ToolBox();
  gResFile = CurResFile();
  gStarted = true;
  OT_Init();
  Get_NameCheck_Info();

  char path[kHoldPathSize] = {};
  Get_Localize_Strings(path, sizeof path);
  std::snprintf(gszIniFileName, sizeof gszIniFileName, "::Resources:%s", "Holdmng.ini");
  std::snprintf(gszStrFileName, sizeof gszStrFileName, "%s", HoldFormat(path, {"Hmgstr.ini"}).c_str());

  char code[33] = {};
  GetLangCodeFromLocalizedString(code, sizeof code);
  const LANG_CODE_ROW* row = FindLangCode(code);
  gLangCode = row->programCode;
  gTextEncoding = row->encoding;
  gOSCode = isSystemVer() < 96 ? 121 : 122;

  std::memset(&gDefaultFont, 0, sizeof gDefaultFont);
  Get_Font_Infomation("DEFAULT=", &gDefaultFont, gszStrFileName);
  TXNMacOSPreferredFontDescription font{gDefaultFont.fontID, Fixed(std::max<int>(gDefaultFont.fSize, 9)) << 16, 0, 0};
  TXNInitTextension(&font, 1, 0);
  Get_QDGlobals_Arrow(&gCurArrow);

  MenuRef menu = NewMenu(kMainMenu, PText("\x14"));
  InsertMenu(menu, 0);
  Str255 about;
  HoldIniPText("BUTTON", "BTN_ABOUT=", about);
  InsertMenuItemText(menu, PText("-"), 0);
  InsertMenuItemText(menu, PText(" "), 0);
  SetMenuItemText(menu, 1, about);
  SetMenuItemCommandID(menu, 1, kAboutCommand);
  DrawMenuBar();

  LoadLogo();
  std::snprintf(gszStr00, sizeof gszStr00, "%s", HoldIniText("STRING", "STR00=").c_str());
  vfmpNotifyUpp = VFMPNotifyProc;
  GetIconRef(kOnSystemDisk, kSystemIconsCreator, kGenericFolderIcon, &gFolderIcon);
  SInt32 metric = 15;
  GetThemeMetric(kThemeMetricScrollBarWidth, &metric);
  gZoomBoxWidth = SInt16(metric);

  gMainDlg = CreateMainDlg();
  if (!gMainDlg) return 0;
  gFoundTable = gMainDlg->found;
  gMainDlgNum = 1;
  gMainDlgDataArg[0] = gMainDlg;
  SetFrontDialog(gMainDlg->dialog);
  setSearchFlags(gMainDlg, SEARCH_NEW, "start-up");
  gbStartIdleEvent = true;
  return 1;
}

int HoldInstallIdleTimer() {
  return CreateEventTimer(IdleEventMainDlgX, kIdleInterval, nullptr, &gIdleTimerUpp, &gIdleTimerRef);
}

void HoldShutdown() {
  if (!gStarted) return;
  gStarted = false;
  DestroyEventTimer(gIdleTimerUpp, gIdleTimerRef);
  gIdleTimerRef = nullptr;
  gIdleTimerUpp = nullptr;
  if (gMainDlg) CloseMainDlg(gMainDlg->dialog, 0);
  gbStartIdleEvent = false;
  gDlgList.clear();
  OT_Deinit();
  HoldCacheRemove();
  vfmpNotifyUpp = nullptr;
  TXNTerminateTextension();
  if (gAnimeInfo.world) DisposeGWorld(gAnimeInfo.world);
  gAnimeInfo = ANIME_INFO{};
  if (gFolderIcon) ReleaseIconRef(gFolderIcon);
  gFolderIcon = nullptr;
  gFoundTable = nullptr;
  DeinitThumbnail();
  if (gResFile > 0) CloseResFile(gResFile);
  gResFile = -1;
}

void MainDlgClosed(MAIN_DLG_DATA* m) {
  if (m == gMainDlg) {
    gMainDlg = nullptr;
    gMainDlgDataArg[0] = nullptr;
    gMainDlgNum = 0;
    gFoundTable = nullptr;
  }
  ForgetDialog(m->dialog);
}

int HoldManagerMain() {
  if (HoldStartup() && HoldInstallIdleTimer()) RunApplicationEventLoop();
  HoldShutdown();
  return 0;
}

// ---- the program's copy of the event being handled ---------------------------------

const EventRecord* GetCurrentEventRecord() { return &gCurrentEvent; }
void SetCurrentEventRecord(const EventRecord* event) {
  if (event) gCurrentEvent = *event;
}

// Development trace: a line break and the text appended to a file of that
// name on the desktop.
int WriteDebugFile(const char* text, long length, const char* fileName) {
  if (!text || !fileName) return 0;
  const char* home = std::getenv("HOME");
  std::string path = std::string(home ? home : ".") + "/Desktop/" + fileName;
  // Appended only to a file of its own: never through a link, never into a
  // pipe that would hold the program.
  tb::UniqueFd fd;
  if (tb::OpenLocalFileToWrite(path, O_CREAT | O_APPEND, fd) != noErr) return 0;
  std::FILE* f = ::fdopen(fd.get(), "ab");
  if (!f) return 0;
  fd.release();
  const std::size_t n = length < 0 ? std::strlen(text) : std::size_t(length);
  std::fputc('\n', f);
  const std::size_t written = std::fwrite(text, 1, n, f);
  std::fclose(f);
  return int(written);
}
