// The tabbed configuration dialog: page swaps, tab presses the page being
// left may refuse, and the dialog keys.
#include "FanctionLib/ConfigDialog.h"

#include <cstring>

#include "506Q_Lib/DialogItems.h"
#include "common/AppWindows.h"
#include "toolbox/resources.h"

namespace {

CONFIG_FRAME* FrameOf(DialogRef dialog) {
  return dialog ? static_cast<CONFIG_FRAME*>(Get_Usr_Window_RefCon(dialog)) : nullptr;
}

// Cuts the dialog back to its frame items and appends the item list.
void SwapPageItems(DialogRef dialog, SInt16 ditlID) {
  const DialogItemIndex count = CountDITL(dialog);
  if (count > kConfigFrameItems) ShortenDITL(dialog, DialogItemIndex(count - kConfigFrameItems));
  if (Handle items = GetResource('DITL', ditlID)) {
    AppendDITL(dialog, items, overlayDITL);
    ReleaseResource(items);
  }
}

UInt8 KeyCode(const EventRecord* event) { return UInt8((event->message & keyCodeMask) >> 8); }

}  // namespace

short Create_Config_Tab(CONFIG_FRAME* record) {
  if (!record) return 1;
  if (Build_Config_Tab(record) && record->tabData) CTSetCurSel(record->tabData, 0, true);
  if (record->tabData) CTShow(record->tabData, true);
  return 1;
}

void Load_Config_Dialog(CONFIG_FRAME* record) {
  if (!record || !record->dlg || !record->tabData) return;
  Str255 title;
  if (CTGetTitle(record->tabData, CTGetCurSel(record->tabData), title) < 0) return;
  const short index = Get_Config_Fanction(record, title);
  if (index < 0) return;
  const CONFIG_PAGE& page = record->fanction[index];
  SwapPageItems(record->dlg, page.contID);
  if (page.cellData.dlg_setup) page.cellData.dlg_setup(record->dlg);
  if (page.cellData.dlg_load_value) page.cellData.dlg_load_value(record->dlg);
}

short Get_Config_Fanction(CONFIG_FRAME* record, ConstStr255Param title) {
  if (!record || !title) return -1;
  for (short i = 0; i < kConfigPageCount; ++i) {
    const CONFIG_PAGE& page = record->fanction[i];
    if (page.enable != 1) continue;
    // contName holds at most 255 characters before its NUL.
    const std::size_t have = strnlen(page.contName, sizeof page.contName - 1);
    if (have >= title[0] && std::memcmp(page.contName, title + 1, title[0]) == 0) return i;
  }
  return -1;
}

short Config_Select_Dialog_Page(DialogRef dialog, SInt16 ditlID) {
  if (dialog) SwapPageItems(dialog, ditlID);
  return 1;
}

short Handle_Config_Tab_Select(DialogRef dialog, EventRecord* event, DialogItemIndex) {
  CONFIG_FRAME* record = FrameOf(dialog);
  if (!record || !record->tabData || !event) return 1;
  tb::PortSaver keep(GetDialogPort(dialog));
  CTAB_DATA* tabs = record->tabData;
  const SInt16 old = CTGetCurSel(tabs);
  SInt16 pushed = -1;
  if (CTMouseDown(tabs, event, &pushed) == 1 && CTGetCurSel(tabs) != old) {
    if (Delete_Config_Dialog(record, old)) {
      Load_Config_Dialog(record);
    } else {
      CTSetCurSel(tabs, old, false);
    }
    CTUpdate(tabs);
  }
  return 1;
}

Boolean Handle_Config_Key_Input(DialogRef dialog, EventRecord* event) {
  if (!dialog || !event || (event->what != keyDown && event->what != autoKey)) return true;
  DialogItemIndex item = 0;
  switch (KeyCode(event)) {
    case kVK_Escape: item = kConfigCancel; break;
    case kVK_Return:
    case kVK_ANSI_KeypadEnter: item = kConfigOK; break;
    default: return true;
  }
  Invert_Button_Item(dialog, item);
  Handle_Config_Select_Item(dialog, event, item);
  return false;
}

short Handle_Config_Window_Active(DialogRef dialog, EventRecord* event) {
  CONFIG_FRAME* record = FrameOf(dialog);
  if (record && record->dlg) Handle_Window_Active(record->dlg, event);
  return 1;
}

Boolean Handle_List_Select(DialogRef dialog, EventRecord* event, DialogItemIndex item, CLIST_DATA* list) {
  if (!dialog || !event || !list) return false;
  tb::PortSaver keep(GetDialogPort(dialog));
  Point local = event->where;
  GlobalToLocal(&local);
  Rect area;
  Get_Dialog_Item_Rect(dialog, item, &area);
  if (!PtInRect(local, &area)) return false;
  Cell cell{0, 0};
  SInt16 sortPart = -1;
  return CLMouseDown(list, event, &cell, &sortPart, false);
}
