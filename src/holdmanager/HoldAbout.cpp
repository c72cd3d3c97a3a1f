// The about box and the logo picture.
#include <algorithm>
#include <cstring>

#include "506Q_Lib/AppLocation.h"
#include "common/GWorldImage.h"
#include "common/IniFile.h"
#include "holdmanager/HoldControls.h"
#include "holdmanager/HoldMainWnd.h"
#include "toolbox/files.h"
#include "toolbox/icons.h"
#include "toolbox/menus.h"
#include "toolbox/quickdraw.h"
#include "toolbox/windows.h"

namespace {

struct ABOUT_DLG_DATA {
  DLG_HANDLERS handlers;
  DialogRef dialog;
  STC_DATA* texts;
  EventHandlerRef evtHandler;
};

ABOUT_DLG_DATA* gAbout = nullptr;

constexpr DialogItemIndex kAboutOK = 6;

}  // namespace

bool LoadLogo() {
  char file[256] = {};
  if (!Load_File_To_CstringEx("[ANIME]", "FILE=", file, sizeof file, gszIniFileName) || !file[0])
    std::strcpy(file, "::Resources:Logo.bmp");
  char number[32] = {};
  gAnimeInfo.interval = 500;
  if (Load_File_To_CstringEx("[ANIME]", "TIMER=", number, sizeof number, gszIniFileName) && number[0])
    gAnimeInfo.interval = UInt32(std::strtoul(number, nullptr, 10));
  gAnimeInfo.transparent = true;
  if (Load_File_To_CstringEx("[ANIME]", "TRANSPARENT=", number, sizeof number, gszIniFileName) && number[0])
    gAnimeInfo.transparent = std::strtol(number, nullptr, 10) == 1;
  Str255 path;
  const std::size_t n = std::min<std::size_t>(std::strlen(file), 255);
  path[0] = UInt8(n);
  std::memcpy(path + 1, file, n);
  FSSpec app, spec;
  if (GetAppLocation(&app) != noErr || FSMakeFSSpec(app.vRefNum, app.parID, path, &spec) != noErr) return false;
  GWorldPtr world = nullptr;
  if (NewGWorldFromBMP(&world, &spec) != noErr || !world) return false;
  Rect r;
  GetPortBounds(world, &r);
  gAnimeInfo.world = world;
  gAnimeInfo.width = r.right - r.left;
  gAnimeInfo.height = r.bottom - r.top;
  gAnimeInfo.offset = 0;
  return true;
}

void UpdateAboutDlg(DialogRef dialog) {
  if (!gAbout || gAbout->dialog != dialog) return;
  tb::PortSaver saver(GetDialogPort(dialog));
  DrawDialog(dialog);
  STCDrawList(gAbout->texts);
  Rect r;
  GetDialogItemRect(dialog, 1, &r);
  if (CIconHandle icon = GetCIcon(128)) {
    PlotCIcon(&r, icon);
    DisposeCIcon(icon);
  }
}

void CloseAboutDlg(DialogRef dialog) {
  if (!gAbout || gAbout->dialog != dialog) return;
  ABOUT_DLG_DATA* a = gAbout;
  gAbout = nullptr;
  ForgetDialog(dialog);
  STCDisposeList(&a->texts);
  if (a->evtHandler) RemoveEventHandler(a->evtHandler);
  DisposeDialog(dialog);
  delete a;
  if (GetCountdDlg() <= 1)
    if (MenuRef menu = GetMenuHandle(1000)) EnableMenuItem(menu, 0);
}

void MouseDownAboutDlg(EventRecord* event, DialogRef dialog) {
  if (!gAbout || gAbout->dialog != dialog || !event) return;
  // The close box is tracked but does not close the box.
  if (TrackOneButtonPress(event, dialog, kAboutOK) == OneButtonPress::button) CloseAboutDlg(dialog);
}

Boolean KeyDownAboutDlg(EventRecord* event, DialogRef dialog) {
  if (!gAbout || gAbout->dialog != dialog || !event) return false;
  if (!OneButtonKey(event, dialog, kAboutOK)) return false;
  CloseAboutDlg(dialog);
  return true;
}

int OpenAboutDlg() {
  if (gAbout) return 0;
  auto* a = new (std::nothrow) ABOUT_DLG_DATA{};
  if (!a) return 0;
  a->dialog = GetNewDialog(250, nullptr, kFirstWindowOfClass);
  if (!a->dialog) {
    delete a;
    return 0;
  }
  gAbout = a;
  a->handlers.update = UpdateAboutDlg;
  a->handlers.mouseDown = MouseDownAboutDlg;
  a->handlers.keyDown = KeyDownAboutDlg;
  WindowRef w = GetDialogWindow(a->dialog);
  a->evtHandler = BindDialogWindow(a->dialog, &a->handlers);
  EnableMenu(0, 0);
  if (MenuRef menu = GetMenuHandle(1000)) DisableMenuItem(menu, 0);
  Str255 t;
  HoldIniPText("BUTTON", "OK=", t);
  if (ControlRef ok = GetItemControl(a->dialog, kAboutOK); ok && t[0]) SetControlTitle(ok, t);
  SetDialogDefaultItem(a->dialog, kAboutOK);
  static const char* const lines[] = {"VemoHoldManager", "Version 1.6.0 R1", "Copyright the VemoPlex developers.",
                                      "All rights reserved."};
  Str255 font{};
  for (int i = 0; i < 4; ++i) {
    Str255 s;
    s[0] = UInt8(std::strlen(lines[i]));
    std::memcpy(s + 1, lines[i], s[0]);
    STCAddList(&a->texts, a->dialog, UInt16(2 + i), font, 11, gTextEncoding, s);
  }
  for (STC_DATA* s = a->texts; s; s = s->next) s->fontID = SInt16(gDefaultFont.fontID);
  HoldIniPText("TITLE", "ABOUT=", t);
  if (t[0]) SetWTitle(w, t);
  SetFrontDialog(a->dialog);
  ShowWindow(w);
  SelectWindow(w);
  return 1;
}
