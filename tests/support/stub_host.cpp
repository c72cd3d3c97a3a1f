// Test versions of the functions and globals each program supplies to the
// foundation (src/common/AppGlobals.h); see stub_host.h.
#include "stub_host.h"

#include <cstring>
#include <string>
#include <vector>

#include "toolbox/files.h"
#include "toolbox/loginitems.h"

char IniFileName[kAppFileNameSize] = "";
char MonFileName[kAppFileNameSize] = "";
SInt16 sysCheck = 0;

namespace testhost {

Host& host() {
  static Host h;
  return h;
}

void Reset() {
  host() = Host{};
  std::memset(IniFileName, 0, sizeof IniFileName);
  std::memset(MonFileName, 0, sizeof MonFileName);
  sysCheck = 0;
}

}  // namespace testhost

using testhost::host;

void Handle_Mouse_Down(EventRecord* event) {
  host().mouseDowns.push_back(event ? *event : EventRecord{});
  if (host().onMouseDown) host().onMouseDown(event);
}

void Handle_Activate(EventRecord* event) {
  host().activates.push_back(event ? *event : EventRecord{});
  if (host().onActivate) host().onActivate(event);
}

// Without a test's own filter: the keys of the programs' alert filters.
Boolean Handle_Alert_Filter(DialogRef dialog, EventRecord* event, DialogItemIndex* item) {
  host().alertFilterCalls++;
  if (host().onAlertFilter) return host().onAlertFilter(dialog, event, item);
  if (!event || !item || event->what != keyDown) return false;
  const UInt8 key = static_cast<UInt8>((event->message & keyCodeMask) >> 8);
  if (key == kVK_Return || key == kVK_ANSI_KeypadEnter) {
    *item = 1;
    return true;
  }
  if (key == kVK_Escape) {
    *item = 2;
    return true;
  }
  return false;
}

void Handle_File_Menu(short item) {
  host().fileMenuItems.push_back(item);
  if (host().onFileMenu) host().onFileMenu(item);
}

void Handle_Option_Menu(short item) {
  host().optionMenuItems.push_back(item);
  if (host().onOptionMenu) host().onOptionMenu(item);
}
void AppliMenu_Select_Enable(short flag) { host().appliMenuFlags.push_back(flag); }

short Get_Status_Open_Count() {
  host().statusCountCalls++;
  return host().statusOpen;
}

short Get_Config_Open_Count() {
  host().configCountCalls++;
  return host().configOpen;
}

short Get_Ftp_Open_Count() {
  host().ftpCountCalls++;
  return host().ftpOpen;
}

short Build_Config_Tab(CONFIG_FRAME* record) {
  host().buildConfigTabs.push_back(record);
  if (host().onBuildConfigTab) return host().onBuildConfigTab(record);
  return host().buildConfigResult;
}

void Set_Config_Function(CONF_TAB_CELL* cell, SInt16 pageID) {
  host().setConfigFunctions.emplace_back(cell, pageID);
  if (host().onSetConfigFunction) host().onSetConfigFunction(cell, pageID);
}

short Delete_Config_Dialog(CONFIG_FRAME* record, short tabIndex) {
  host().deleteConfigDialogs.emplace_back(record, tabIndex);
  if (host().onDeleteConfigDialog) return host().onDeleteConfigDialog(record, tabIndex);
  return host().deleteConfigResult;
}

Boolean Handle_Config_Select_Item(DialogRef dialog, EventRecord* event, DialogItemIndex item) {
  host().configSelectItems.push_back(item);
  if (host().onConfigSelectItem) return host().onConfigSelectItem(dialog, event, item);
  return host().configSelectResult;
}

// Without a test's own answer: the index of the login item whose path is
// the program's, as the status monitor looks it up.
SInt32 Get_Login_Preferences(const FSSpec* appSpec) {
  host().loginPrefsCalls++;
  if (host().onLoginPreferences) return host().onLoginPreferences(appSpec);
  if (!appSpec) return -1;
  std::string path;
  if (tb::SpecToPath(*appSpec, path) != noErr) return -1;
  std::vector<LoginItem> items;
  if (LIAECopyLoginItems(&items) != noErr) return -1;
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].path == path) return static_cast<SInt32>(i);
  return -1;
}
