// The monitor's set-up pages: 150 (set it up or not), 152 (the events that
// pop its window up, moved between two lists) and 153 (its options and
// polling interval, whose Next commits the set-up into the monitor's files).
// Also the small item and list helpers these pages share.
#include <cstdio>
#include <cstring>

#include "506Q_Lib/DialogItems.h"
#include "common/IniFile.h"
#include "FanctionLib/CList.h"
#include "Installer/InstApp.h"
#include "Installer/WizardPages.h"
#include "toolbox/fonts.h"
#include "toolbox/pictures.h"
#include "toolbox/quickdraw.h"
#include "toolbox/resources.h"
#include "toolbox/textencoding.h"
#include "toolbox/trace.h"

namespace {

enum : DialogItemIndex { kMonYes = 7, kMonNo = 8, kMonPicture = 9 };
enum : DialogItemIndex {
  kEventList = 7,
  kEventFrame = 8,
  kPopupList = 10,
  kPopupFrame = 11,
  kToPopup = 13,
  kToEvent = 14
};
enum : DialogItemIndex {
  kOptPosition = 7,
  kOptHidden = 9,
  kOptStartup = 11,
  kOptSound = 13,
  kOptInterval = 15,
  kOptFrame = 17
};
constexpr SInt16 kEventRowHeight = 18;
constexpr SInt16 kFirstEventIcon = 150;
constexpr std::size_t kEventNameMax = 31;
constexpr long kIntervalMin = 500, kIntervalMax = 15000;

void Move_Button_Check(DialogRef d, CLIST_DATA* notArmed, CLIST_DATA* armed) {
  auto ready = [](CLIST_DATA* list) { return list && CLGetCount(list) > 0 && Page_List_Selected(list) >= 0; };
  Set_Item_Enabled(d, kToPopup, notArmed && armed && ready(notArmed));
  Set_Item_Enabled(d, kToEvent, notArmed && armed && ready(armed));
}

void appendEvent(CLIST_DATA* list, const EVENT_DATA& e, int index) {
  const SInt16 row = CLGetCount(list);
  Set_Page_List_Text(list, row, 0, tb::CharPrefix(e.cEventName, kEventNameMax));
  CLSetCIconData(list, e.iconID, row, 16, 16);
  CLSetReference(list, row, index);
}

void Move_Popup_Event(CLIST_DATA* from, CLIST_DATA* to) {
  const SInt16 row = from && to && CLGetCount(from) > 0 ? Page_List_Selected(from) : SInt16(-1);
  if (row < 0) return;
  const long index = CLGetReference(from, row);
  if (index < 0 || index >= instTbl.eventCount) return;
  Delete_Page_List_Row(from, row);
  CLClearSelect(to, nullptr);
  EVENT_DATA& e = instTbl.eventData[index];
  e.bEnable = !e.bEnable;
  appendEvent(to, e, int(index));
  CLSetSelect(to, Cell{SInt16(CLGetCount(to) - 1), 0}, true, false);
  CLUpdate(from, nullptr, 0);
  CLUpdate(to, nullptr, 0);
}

void leaveEventPage() {
  instTbl.monConfig.popupFlag = Event_Flags(instTbl.eventData, instTbl.eventCount, instTbl.monConfig.popupFlag);
  if (instTbl.eventList) CLShow(instTbl.eventList, false);
  if (instTbl.popupList) CLShow(instTbl.popupList, false);
}

// Page 153's fields into the record; false (after the alert) while the
// interval is not a number from 500 to 15000.
bool readOptions(DialogRef d) {
  CONFIGURATION& c = instTbl.monConfig;
  c.monitorOption = Page_Item_Value(d, kOptPosition) ? 1 : 0;
  c.activeErrWin = Page_Item_Value(d, kOptHidden) ? 1 : 0;
  c.StartupFlag = Page_Item_Value(d, kOptStartup) ? 1 : 0;
  c.soundOpt = Page_Item_Value(d, kOptSound) ? 1 : 0;
  Str255 text;
  pstr::set(text, sizeof text, tb::CharPrefix(Page_Item_Text(d, kOptInterval), 255));
  long value = 0;
  if (!Str_To_Num(text, &value, kIntervalMax, kIntervalMin)) {
    Set_Alert_Dialog_Items(kAlertNote, 2, instData.messSpec.c_str(), Message_Text("[ERROR]", "MESSAGE_24=").c_str());
    return false;
  }
  c.statUpdate = UInt16(value);
  return true;
}

}  // namespace

// ---- item helpers ----

ControlRef Page_Item_Control(DialogRef d, DialogItemIndex item) {
  DialogItemType type = 0;
  Handle h = nullptr;
  Rect r;
  GetDialogItem(d, item, &type, &h, &r);
  return (type & 127) >= 4 && (type & 127) <= 7 ? reinterpret_cast<ControlRef>(h) : nullptr;
}

SInt16 Page_Item_Value(DialogRef d, DialogItemIndex item) {
  ControlRef c = Page_Item_Control(d, item);
  return c ? GetControlValue(c) : 0;
}

void Set_Page_Item_Value(DialogRef d, DialogItemIndex item, SInt16 value) {
  if (ControlRef c = Page_Item_Control(d, item)) SetControlValue(c, value);
}

std::string Page_Item_Text(DialogRef d, DialogItemIndex item) {
  DialogItemType type = 0;
  Handle h = nullptr;
  Rect r;
  GetDialogItem(d, item, &type, &h, &r);
  if (!h || ((type & 127) != 8 && (type & 127) != 16)) return {};
  Str255 p;
  GetDialogItemText(h, p);
  return std::string(reinterpret_cast<const char*>(p + 1), p[0]);
}

CLIST_DATA* Create_Page_List(DialogRef d, DialogItemIndex item, SInt16 rowHeight, int columns, SInt16 columnWidth) {
  Rect r = Dialog_Item_Rect(d, item);
  const SInt16 width = CLOneColumnWidth(r);
  CLIST_DATA* list =
      CLNew(GetDialogWindow(d), &r, Point{rowHeight, columns > 1 ? columnWidth : width}, false, true, false);
  if (!list) return nullptr;
  const FONT_DATA font = Message_Font("LIST=");
  const SInt16 id = SInt16(font.fontID), size = SInt16(font.fSize);
  const Style face = Style(font.styleID);
  CLSetFont(list, &id, &face, &size);
  // Rows made from now on take the font's colours.
  list->defColor.rgbStrNormal = Font_Color_RGB(font.foreClrID);
  list->defColor.rgbBkNormal = Font_Color_RGB(font.backClrID);
  if (columns <= 1) {
    Str255 none = {0};
    CLAddColumn(list, none, width, kCLNoHeader | kCLSortText);
  }
  return list;
}

std::string Page_List_Text(CLIST_DATA* list, SInt16 row, SInt16 column) {
  Str255 p = {0};
  SInt16 len = sizeof p - 1;
  if (CLGetCellOne(list, p, &len, Cell{row, column}) < 0) return {};
  return pstr::str(p);
}

void Set_Page_List_Text(CLIST_DATA* list, SInt16 row, SInt16 column, std::string_view text) {
  Str255 p;
  pstr::set(p, sizeof p, tb::CharPrefix(text, 255));
  CLSetCellOne(list, Cell{row, column}, p);
}

SInt16 Page_List_Selected(CLIST_DATA* list) {
  Cell c{0, 0};
  return list && CLGetSelect(list, &c, true) ? c.v : SInt16(-1);
}

void Delete_Page_List_Row(CLIST_DATA* list, SInt16 row) {
  CLClearSelect(list, nullptr);
  CLDelRow(list, 1, row);
  if (const SInt16 left = CLGetCount(list); left > 0)
    CLSetSelect(list, Cell{SInt16(row < left ? row : left - 1), 0}, true, false);
}

// ---- page 150 ----

short Setup_Monitor_Load_Value(DialogRef d) {
  Set_Common_Buttons(d);
  Set_Item_Enabled(d, 3, Tool_Installed("VEMO-ADMIN"));
  Set_Page_Item_Value(d, kMonYes, instTbl.mSetupFlag ? 1 : 0);
  Set_Page_Item_Value(d, kMonNo, instTbl.mSetupFlag ? 0 : 1);
  Set_Dialog_Item_Message(d, 4, "[LABEL]", "MONCHECK_00=");
  Set_Dialog_Item_Message(d, 5, "[LABEL]", "MONCHECK_01=");
  Set_Dialog_Item_Message(d, 6, "[LABEL]", "MONCHECK_02=");
  Set_Dialog_Item_Message(d, kMonYes, "[BUTTON]", "YES=");
  Set_Dialog_Item_Message(d, kMonNo, "[BUTTON]", "NO=");
  return 1;
}

Boolean Setup_Monitor_Item_Select(DialogRef d, EventRecord*, DialogItemIndex item) {
  if (item != kMonYes && item != kMonNo) return false;
  Set_Page_Item_Value(d, kMonYes, item == kMonYes ? 1 : 0);
  Set_Page_Item_Value(d, kMonNo, item == kMonNo ? 1 : 0);
  return true;
}

short Setup_Monitor_Back_Value(DialogRef) {
  instTbl.activePage = Tool_Installed("VEMO-ADMIN") ? kPageAdminMode : kPageMonitor;
  return 1;
}

short Setup_Monitor_Next_Value(DialogRef d) {
  if (instTbl.monConfig.statUpdate == 0) Get_Search_Configuration(&instTbl.monConfig);
  instTbl.mSetupFlag = Page_Item_Value(d, kMonYes) ? 1 : 0;
  if (instTbl.mSetupFlag) {
    EnvInfo = SETUPINFO{};
    std::snprintf(EnvInfo.broadcast[0], sizeof EnvInfo.broadcast[0], "%s", "255.255.255.255");
    EnvInfo.tcp_count = 1;
    instTbl.activePage = kPageMonSearch;
  } else {
    Delete_Data_File(instTbl.instFolder);
    instTbl.activePage = kPageFinish;
  }
  return 1;
}

short Setup_Monitor_Update_Value(DialogRef d) {
  Draw_Pict_Usr_Item(d, kMonPicture, 129);
  return 1;
}

// ---- page 152 ----

int Build_Event_Data(EVENT_DATA* events, UInt8 popupFlag) {
  int n = 0;
  for (; n < kEventMax; ++n) {
    char key[16];
    std::snprintf(key, sizeof key, "POP_%02d=", n);
    char name[kIniLineMax + 1] = "";
    if (!Load_File_To_CstringEx("[POPUP]", key, name, sizeof name, instData.messSpec.c_str())) break;
    EVENT_DATA& e = events[n];
    e = EVENT_DATA{};
    // The flags hold events 0 to 7; later ones start not armed.
    e.bEnable = n < 8 && (popupFlag >> n) & 1;
    e.iconID = SInt16(kFirstEventIcon + n);
    const std::string_view cut = tb::CharPrefix(name, kEventNameMax);
    std::memcpy(e.cEventName, cut.data(), cut.size());
  }
  return n;
}

UInt8 Event_Flags(const EVENT_DATA* events, int count, UInt8 popupFlag) {
  for (int i = 0; i < count; ++i) {
    const int bit = events[i].iconID - kFirstEventIcon;
    if (bit < 0 || bit > 7) continue;
    popupFlag = UInt8(events[i].bEnable ? popupFlag | (1u << bit) : popupFlag & ~(1u << bit));
  }
  return popupFlag;
}

short Setup_MonEvent_Load_Value(DialogRef d) {
  Set_Common_Buttons(d);
  if (!instTbl.eventList) instTbl.eventList = Create_Page_List(d, kEventList, kEventRowHeight, 1, 0);
  if (!instTbl.popupList) instTbl.popupList = Create_Page_List(d, kPopupList, kEventRowHeight, 1, 0);
  CLIST_DATA* notArmed = instTbl.eventList;
  CLIST_DATA* armed = instTbl.popupList;
  if (notArmed && armed) {
    CLShow(notArmed, true);
    CLShow(armed, true);
    instTbl.eventCount = Build_Event_Data(instTbl.eventData, instTbl.monConfig.popupFlag);
    CLDelRow(notArmed, 0, 0);
    CLDelRow(armed, 0, 0);
    for (int i = 0; i < instTbl.eventCount; ++i)
      appendEvent(instTbl.eventData[i].bEnable ? armed : notArmed, instTbl.eventData[i], i);
  }
  Move_Button_Check(d, notArmed, armed);
  Set_Dialog_Item_Message(d, 4, "[BIT_LABEL]", "MONEVE_TITLE=");
  Set_Dialog_Item_Message(d, 5, "[BIT_LABEL]", "MONEVE_CONTENTS=");
  Set_Dialog_Item_Message(d, 6, "[LABEL]", "MONPOP_00=");
  Set_Dialog_Item_Message(d, 9, "[LABEL]", "MONPOP_01=");
  Set_Dialog_Item_Message(d, 12, "[LABEL]", "MONPOP_02=");
  return 1;
}

Boolean Setup_MonEvent_Item_Select(DialogRef d, EventRecord* event, DialogItemIndex item) {
  CLIST_DATA* notArmed = instTbl.eventList;
  CLIST_DATA* armed = instTbl.popupList;
  if ((item == kEventList || item == kPopupList) && event && event->what == mouseDown) {
    CLIST_DATA* list = item == kEventList ? notArmed : armed;
    Cell cell{0, 0};
    SInt16 sortPart = -1;
    if (list) CLMouseDown(list, event, &cell, &sortPart, false);
  } else if (item == kToPopup) {
    Move_Popup_Event(notArmed, armed);
  } else if (item == kToEvent) {
    Move_Popup_Event(armed, notArmed);
  } else {
    return false;
  }
  Move_Button_Check(d, notArmed, armed);
  return true;
}

short Setup_MonEvent_Back_Value(DialogRef) {
  leaveEventPage();
  instTbl.activePage = kPageMonSearch;
  return 1;
}

short Setup_MonEvent_Next_Value(DialogRef) {
  leaveEventPage();
  instTbl.activePage = kPageMonOption;
  return 1;
}

short Setup_MonEvent_Update_Value(DialogRef d) {
  if (instTbl.eventList) CLUpdate(instTbl.eventList, nullptr, 0);
  if (instTbl.popupList) CLUpdate(instTbl.popupList, nullptr, 0);
  Draw_Group_Frame_Item(d, kEventFrame);
  Draw_Group_Frame_Item(d, kPopupFrame);
  return 1;
}

// ---- page 153 ----

short Setup_MonOption_Load_Value(DialogRef d) {
  Set_Common_Buttons(d);
  const CONFIGURATION& c = instTbl.monConfig;
  Set_Page_Item_Value(d, kOptPosition, (c.monitorOption & 1) ? 1 : 0);
  Set_Page_Item_Value(d, kOptHidden, c.activeErrWin ? 1 : 0);
  Set_Page_Item_Value(d, kOptStartup, c.StartupFlag ? 1 : 0);
  Set_Page_Item_Value(d, kOptSound, c.soundOpt ? 1 : 0);
  Set_Page_Item_Text(d, kOptInterval, std::to_string(c.statUpdate));
  Set_Dialog_Item_Message(d, 4, "[BIT_LABEL]", "MONSET_TITLE=");
  Set_Dialog_Item_Message(d, 5, "[BIT_LABEL]", "MONSET_CONTENTS=");
  Set_Dialog_Item_Message(d, 6, "[LABEL]", "MONSET_00=");
  Set_Dialog_Item_Message(d, 8, "[LABEL]", "MONSET_01=");
  Set_Dialog_Item_Message(d, 10, "[LABEL]", "MONSET_03=");
  Set_Dialog_Item_Message(d, 12, "[LABEL]", "MONSET_04=");
  Set_Dialog_Item_Message(d, 14, "[LABEL]", "MONSET_05=");
  Set_Dialog_Item_Message(d, 18, "[LABEL]", "MONSET_06=");
  Set_Dialog_Item_Message(d, 16, "[LABEL]", "MONSET_07=");
  return 1;
}

Boolean Setup_MonOption_Item_Select(DialogRef d, EventRecord*, DialogItemIndex item) {
  if (item != kOptPosition && item != kOptHidden && item != kOptStartup && item != kOptSound) return false;
  Set_Page_Item_Value(d, item, Page_Item_Value(d, item) ? 0 : 1);
  return true;
}

short Setup_MonOption_Back_Value(DialogRef d) {
  if (!readOptions(d)) return 0;
  instTbl.activePage = kPageMonEvent;
  return 1;
}

short Setup_MonOption_Next_Value(DialogRef d) {
  if (!readOptions(d)) return 0;
  tb::TraceNote("install", "monitor set-up written to %s", instTbl.instFolder.c_str());
  Write_Monitor_Setup(instTbl.instFolder, instTbl.pbox, instTbl.monConfig, EnvInfo);
  instTbl.activePage = kPageFinish;
  return 1;
}

short Setup_MonOption_Update_Value(DialogRef d) {
  Draw_Group_Frame_Item(d, kOptFrame);
  return 1;
}

void Close_Monitor_Pages() {
  if (instTbl.eventList) CLDispose(instTbl.eventList);
  if (instTbl.popupList) CLDispose(instTbl.popupList);
  instTbl.eventList = instTbl.popupList = nullptr;
}
