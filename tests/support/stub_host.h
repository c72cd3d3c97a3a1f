// The program side of the foundation (src/common/AppGlobals.h) as library
// tests see it: every hook counts its calls and keeps its arguments, the
// counts and results a test sets are what the hooks answer, and a test may
// put its own function in place of any hook.
#pragma once

#include <functional>
#include <vector>

#include "common/AppGlobals.h"

namespace testhost {

struct Host {
  // What the program answers.
  short statusOpen = 0;         // Get_Status_Open_Count
  short configOpen = 0;         // Get_Config_Open_Count
  short ftpOpen = 0;            // Get_Ftp_Open_Count
  short buildConfigResult = 1;  // Build_Config_Tab
  short deleteConfigResult = 1; // Delete_Config_Dialog
  Boolean configSelectResult = true;  // Handle_Config_Select_Item

  // What the program was asked, in order.
  std::vector<EventRecord> mouseDowns;
  std::vector<EventRecord> activates;
  std::vector<short> fileMenuItems;
  std::vector<short> optionMenuItems;
  std::vector<short> appliMenuFlags;   // AppliMenu_Select_Enable
  int statusCountCalls = 0;
  int configCountCalls = 0;
  int ftpCountCalls = 0;
  int loginPrefsCalls = 0;
  int alertFilterCalls = 0;
  std::vector<CONFIG_FRAME*> buildConfigTabs;
  std::vector<std::pair<CONF_TAB_CELL*, SInt16>> setConfigFunctions;
  std::vector<std::pair<CONFIG_FRAME*, short>> deleteConfigDialogs;
  std::vector<DialogItemIndex> configSelectItems;

  // A hook set here runs in place of the stub's own behaviour (the call is
  // still counted).
  std::function<void(EventRecord*)> onMouseDown;
  std::function<void(EventRecord*)> onActivate;
  std::function<void(short)> onFileMenu;
  std::function<void(short)> onOptionMenu;
  std::function<Boolean(DialogRef, EventRecord*, DialogItemIndex*)> onAlertFilter;
  std::function<short(CONFIG_FRAME*)> onBuildConfigTab;
  std::function<void(CONF_TAB_CELL*, SInt16)> onSetConfigFunction;
  std::function<short(CONFIG_FRAME*, short)> onDeleteConfigDialog;
  std::function<Boolean(DialogRef, EventRecord*, DialogItemIndex)> onConfigSelectItem;
  std::function<SInt32(const FSSpec*)> onLoginPreferences;
};

// The one host of the test process.
Host& host();
// A fresh host; IniFileName and MonFileName emptied, sysCheck 0.
void Reset();

}  // namespace testhost
