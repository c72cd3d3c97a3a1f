// The start-up check that the program's language ini file is installed.
#include <cstdio>
#include <cstring>

#include "506Q_Lib/AppLocation.h"
#include "common/AppWindows.h"
#include "toolbox/dialogs.h"
#include "toolbox/files.h"
#include "toolbox/textencoding.h"

namespace {

constexpr SInt16 kNotInstalledAlertID = 603;

// Looks the ini file up beside the program (or at its full path).
OSErr find_ini(const FSSpec& app, FSSpec* spec) {
  if (IniFileName[0] == '/') return tb::PathToSpec(IniFileName, spec);
  Str255 name;
  pstr::set(name, sizeof name, tb::CharPrefix(IniFileName, 255));
  return FSMakeFSSpec(app.vRefNum, app.parID, name, spec);
}

}  // namespace

short Check_Application() {
  FSSpec app;
  if (GetAppLocation(&app) != noErr) return 1;
  FSSpec ini;
  if (find_ini(app, &ini) != fnfErr) return 1;

  char appName[64];
  pstr::toC(appName, sizeof appName, app.name);
  char text[256];
  std::snprintf(text, sizeof text, "Start '%s' after installed.", appName);
  Str255 message;
  pstr::set(message, sizeof message, text);

  DialogRef alert = GetNewDialog(kNotInstalledAlertID, nullptr, kFirstWindowOfClass);
  if (!alert) return 0;
  const unsigned char empty[1] = {0};
  ParamText(message, empty, empty, empty);
  ControlRef ok = nullptr;
  if (GetDialogItemAsControl(alert, 1, &ok) == noErr) {
    Str255 caption;
    pstr::set(caption, sizeof caption, "OK");
    SetControlTitle(ok, caption);
  }
  HideDialogItem(alert, 2);
  SysBeep(1);
  SetDialogDefaultItem(alert, 1);
  ShowWindow(GetDialogWindow(alert));
  DialogItemIndex item = 0;
  ModalDialog(Handle_Alert_Filter, &item);
  DisposeDialog(alert);
  return 0;
}
