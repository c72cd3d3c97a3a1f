// The details dialog over its own two-page tab strip; every page callback
// finds the record through the dialog.
#include "Monitor/DetailsDialog.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "common/AppWindows.h"
#include "common/IniFile.h"
#include "common/StrConv.h"
#include "common/TextFormat.h"
#include "Monitor/DialogUtil.h"
#include "Monitor/MonitorApp.h"
#include "Monitor/MonitorConfig.h"
#include "Monitor/MonitorLogin.h"
#include "Monitor/OptionDialog.h"
#include "Monitor/StatusData.h"
#include "Monitor/StatusText.h"
#include "Monitor/StatusWindow.h"
#include "toolbox/resources.h"
#include "toolbox/windows.h"

namespace {

using namespace mondlg;

constexpr DialogItemIndex kFrameItems = 4, kTabItem = 4, kApply = 3;

enum : DialogItemIndex {
  kEvtOn = 5,
  kEvtOff = 6,
  kEvtOffList = 7,
  kEvtOffFrame = 8,
  kEvtOffTitle = 9,
  kEvtOnList = 10,
  kEvtOnFrame = 11,
  kEvtOnTitle = 12,
};
enum : DialogItemIndex {
  kOthInterval = 5,
  kOthHidden = 6,
  kOthUnit = 7,
  kOthHiddenLabel = 8,
  kOthLogin = 9,
  kOthLoginLabel = 10,
  kOthTitle = 11,
  kOthFrame = 12,
  kOthPlace = 14,
  kOthPlaceLabel = 15,
  kOthSound = 16,
  kOthSoundLabel = 17,
};

// The records of the details dialogs open now (each owned by its option
// dialog).
std::vector<DETAILS_WND_INFO*> gOpen;

DETAILS_WND_INFO* rec_of(DialogRef d) { return Get_Details_Info(d); }

CONFIGURATION* settings(DETAILS_WND_INFO* rec) { return Get_Config_Data(rec->ownerDlg); }

const SUB_TAB_CELL* page_cell(DETAILS_WND_INFO* rec, SInt16 tab) {
  if (tab < 0 || tab > 1 || rec->sconfInfo[tab].enable != 1) return nullptr;
  return &rec->sconfInfo[tab].cellData;
}
const SUB_TAB_CELL* current_cell(DETAILS_WND_INFO* rec) { return page_cell(rec, rec->confOldSelect); }

// The page's values taken for Apply, OK or a page change: the interval is
// checked (and refused with its alert).
bool checked_get(DETAILS_WND_INFO* rec, const SUB_TAB_CELL* cell) {
  if (!cell || !cell->dlg_get_value) return true;
  rec->checkFlag = 1;
  const bool ok = cell->dlg_get_value(rec->dlg);
  rec->checkFlag = 0;
  return ok;
}

void Load_Details_Dialog(DETAILS_WND_INFO* rec) {
  const SUB_TAB_CELL* cell = current_cell(rec);
  if (!cell) return;
  const DialogItemIndex count = CountDITL(rec->dlg);
  if (count > kFrameItems) ShortenDITL(rec->dlg, DialogItemIndex(count - kFrameItems));
  if (Handle items = GetResource('DITL', rec->sconfInfo[rec->confOldSelect].contID))
    AppendDITL(rec->dlg, items, overlayDITL);
  if (cell->dlg_setup) cell->dlg_setup(rec->dlg);
  if (cell->dlg_load_value) cell->dlg_load_value(rec->dlg);
}

// ---- Event page ------------------------------------------------------------

void read_event_names(DETAILS_WND_INFO* rec) {
  POPUP_DATA& p = rec->popupData;
  if (p.popupName[0].eventStr[0]) return;
  char text[9] = "";
  Load_File_To_CstringEx("[POPUP]", "POPCNT=", text, sizeof text, IniFileName);
  // popupFlag stores eight events: a ninth or tenth could be armed but
  // never kept, so none beyond the eighth is offered.
  const int count = std::clamp(std::atoi(text), 0, kPopupEventStored);
  for (int i = 0; i < count; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "POP%02d=", i);
    POPUP_EVENT& e = p.popupName[i];
    e = POPUP_EVENT{};
    Load_File_To_CstringEx("[POPUP]", key, e.eventStr, sizeof e.eventStr, IniFileName);
    e.eventNo = SInt16(i);
  }
  p.eventCnt = SInt16(count);
}

CLIST_DATA* event_list(DialogRef d, DialogItemIndex item) {
  CLIST_DATA* list = NewOneColumnList(d, item, 17);
  return list;
}

void add_event_row(CLIST_DATA* list, const std::string& text, SInt16 icon) {
  if (!list) return;
  const SInt16 row = CLGetCount(list);
  AppendRow(list, text);
  CLSetCIconData(list, icon, row, 16, 16);
}

// The event of that name takes the flag; the walk never passes the events
// read.
void Move_Check_Event(DETAILS_WND_INFO* rec, const std::string& name, UInt8 flag) {
  POPUP_DATA& p = rec->popupData;
  for (int i = 0; i < std::min<int>(p.eventCnt, kPopupEventMax); ++i) {
    if (!p.popupName[i].eventStr[0]) break;
    if (name == p.popupName[i].eventStr) {
      p.popupName[i].eventFlag = flag;
      return;
    }
  }
}

void Move_Popup_Event(DETAILS_WND_INFO* rec, CLIST_DATA* from, CLIST_DATA* to, UInt8 flag) {
  if (!from || !to || CLGetCount(from) == 0) return;
  const SInt16 row = SelectedRow(from);
  if (row < 0) return;
  const std::string text = RowText(from, row);
  const SInt16 icon = CLGetIconID(from, row);
  CLDelRow(from, 1, row);
  if (const SInt16 left = CLGetCount(from); left > 0)
    CLSetSelect(from, Cell{std::min<SInt16>(row, SInt16(left - 1)), 0}, true, false);
  CLClearSelect(to, nullptr);
  add_event_row(to, text, icon);
  CLSetSelect(to, Cell{SInt16(CLGetCount(to) - 1), 0}, true, false);
  Move_Check_Event(rec, text, flag);
  Redraw(from);
  Redraw(to);
}

void Setup_Event_Load_Value(DialogRef d) {
  DETAILS_WND_INFO* rec = rec_of(d);
  CONFIGURATION* c = rec ? settings(rec) : nullptr;
  if (!c) return;
  read_event_names(rec);
  if (!rec->popupDList)
    rec->popupDList = event_list(d, kEvtOffList);
  else
    CLShow(rec->popupDList, true);
  if (!rec->popupEList)
    rec->popupEList = event_list(d, kEvtOnList);
  else
    CLShow(rec->popupEList, true);
  for (CLIST_DATA* list : {rec->popupDList, rec->popupEList})
    if (list && CLGetCount(list) > 0) CLDelRow(list, CLGetCount(list), 0);
  POPUP_DATA& p = rec->popupData;
  for (int i = 0; i < p.eventCnt; ++i) {
    POPUP_EVENT& e = p.popupName[i];
    e.eventFlag = (c->popupFlag >> i) & 1;
    add_event_row(e.eventFlag ? rec->popupEList : rec->popupDList, e.eventStr, SInt16(150 + e.eventNo));
  }
  SetDimmed(d, kEvtOn, SelectedRow(rec->popupDList) < 0);
  SetDimmed(d, kEvtOff, SelectedRow(rec->popupEList) < 0);
  Set_String_To_Item(d, kEvtOn, "GRP_LR=", "[GROUP]", IniFileName);
  Set_String_To_Item(d, kEvtOff, "GRP_RL=", "[GROUP]", IniFileName);
}

Boolean Setup_Event_Select_Item(DialogRef d, EventRecord* event, DialogItemIndex item) {
  DETAILS_WND_INFO* rec = rec_of(d);
  if (!rec) return true;
  switch (item) {
    case kEvtOffList:
      Handle_List_Select(d, event, item, rec->popupDList);
      SetDimmed(d, kEvtOn, SelectedRow(rec->popupDList) < 0);
      break;
    case kEvtOnList:
      Handle_List_Select(d, event, item, rec->popupEList);
      SetDimmed(d, kEvtOff, SelectedRow(rec->popupEList) < 0);
      break;
    case kEvtOn:
    case kEvtOff:
      if (item == kEvtOn)
        Move_Popup_Event(rec, rec->popupDList, rec->popupEList, 1);
      else
        Move_Popup_Event(rec, rec->popupEList, rec->popupDList, 0);
      SetDimmed(d, kEvtOn, !rec->popupDList || !rec->popupEList || CLGetCount(rec->popupDList) == 0);
      SetDimmed(d, kEvtOff, !rec->popupDList || !rec->popupEList || CLGetCount(rec->popupEList) == 0);
      break;
    default: break;
  }
  return true;
}

Boolean Setup_Event_Get_Value(DialogRef d) {
  DETAILS_WND_INFO* rec = rec_of(d);
  CONFIGURATION* c = rec ? settings(rec) : nullptr;
  if (!c) return true;
  UInt8 flags = 0;
  for (int i = 0; i < std::min<int>(rec->popupData.eventCnt, kPopupEventStored); ++i)
    if (rec->popupData.popupName[i].eventFlag) flags = UInt8(flags | (1u << i));
  c->popupFlag = flags;
  c->popupCount = kPopupEventStored;
  return true;
}

void Setup_Event_Update(DialogRef d) {
  DETAILS_WND_INFO* rec = rec_of(d);
  if (!rec) return;
  Redraw(rec->popupDList);
  Redraw(rec->popupEList);
  Draw_Group_Frame_Item(d, kEvtOffFrame);
  Draw_Group_Frame_Item(d, kEvtOnFrame);
  DrawLabel(d, kEvtOffTitle, Ini_Text("[GROUP]", "GRP_EVENT="));
  DrawLabel(d, kEvtOnTitle, Ini_Text("[GROUP]", "GRP_POPUP="));
}

// ---- Other page ------------------------------------------------------------

void Setup_Other_Load_Value(DialogRef d) {
  DETAILS_WND_INFO* rec = rec_of(d);
  CONFIGURATION* c = rec ? settings(rec) : nullptr;
  if (!c) return;
  SetItemText(d, kOthInterval, std::to_string(c->statUpdate));
  Set_Item_Value(d, kOthHidden, c->activeErrWin ? 1 : 0);
  Set_Item_Value(d, kOthLogin, c->StartupFlag ? 1 : 0);
  Set_Item_Value(d, kOthPlace, (c->monitorOption & 1) ? 1 : 0);
  Set_Item_Value(d, kOthSound, c->soundOpt ? 1 : 0);
}

Boolean Setup_Other_Select_Item(DialogRef d, EventRecord*, DialogItemIndex item) {
  auto toggle = [d](DialogItemIndex box) { Set_Item_Value(d, box, Get_Item_Value(d, box) ? 0 : 1); };
  switch (item) {
    case kOthHidden:
    case kOthHiddenLabel: toggle(kOthHidden); break;
    case kOthLogin:
    case kOthLoginLabel: toggle(kOthLogin); break;
    case kOthPlace:
    case kOthPlaceLabel: toggle(kOthPlace); break;
    case kOthSound:
    case kOthSoundLabel: toggle(kOthSound); break;
    default: break;
  }
  return true;
}

Boolean Setup_Other_Key_Input(DialogRef d, EventRecord*) {
  SetDimmed(d, kApply, false);
  return true;
}

Boolean Setup_Other_Get_Value(DialogRef d) {
  DETAILS_WND_INFO* rec = rec_of(d);
  CONFIGURATION* c = rec ? settings(rec) : nullptr;
  if (!c) return true;
  const std::string text = ItemText(d, kOthInterval);
  UInt32 value = 0;
  if (!Interval_Text_Valid(text.c_str(), &value) && rec->checkFlag) {
    Str255 p;
    pstr::set(p, sizeof p, Ini_Text("[ERR]", "ERROR05=", "The interval is not valid.", MonFileName));
    Set_Alert_Dialog_Items(603, 2, p, nullptr, nullptr, nullptr);
    SelectDialogItemText(d, kOthInterval, 0, 32767);
    return false;
  }
  c->statUpdate = UInt16(std::min<UInt32>(value, 0xFFFF));
  c->activeErrWin = Get_Item_Value(d, kOthHidden) ? 1 : 0;
  c->monitorOption = Get_Item_Value(d, kOthPlace) ? 1 : 0;
  c->StartupFlag = Get_Item_Value(d, kOthLogin) ? 1 : 0;
  c->soundOpt = Get_Item_Value(d, kOthSound) ? 1 : 0;
  return true;
}

void Setup_Other_Update(DialogRef d) {
  DrawLabel(d, kOthHiddenLabel, Ini_Text("[BUTTON]", "BTN_MIN="));
  DrawLabel(d, kOthLoginLabel, Ini_Text("[BUTTON]", "BTN_START="));
  DrawLabel(d, kOthPlaceLabel, Ini_Text("[BUTTON]", "BTN_POS="));
  DrawLabel(d, kOthSoundLabel, Ini_Text("[BUTTON]", "BTN_SOUND="));
  DrawLabel(d, kOthUnit, Ini_Text("[LABEL]", "STC_SEC="));
  DrawLabel(d, kOthTitle, Ini_Text("[GROUP]", "GRP_TIME="));
  Draw_Group_Frame_Item(d, kOthFrame);
}

// ---- Frame -----------------------------------------------------------------

void hide_page(DETAILS_WND_INFO* rec, SInt16 tab) {
  if (tab != 0) return;
  if (rec->popupDList) CLShow(rec->popupDList, false);
  if (rec->popupEList) CLShow(rec->popupEList, false);
}

void Create_Details_Tab(DETAILS_WND_INFO* rec) {
  rec->confTab = NewSettingsTabs(rec->dlg, kTabItem, 225);
  if (!rec->confTab) return;
  struct Page {
    SInt16 id;
    const char* key;
    const char* fallback;
    SUB_TAB_CELL cell;
  };
  const Page pages[2] = {
      {kDetailsPageEvent,
       "TAB05=",
       "Event",
       {nullptr, Setup_Event_Select_Item, nullptr, Setup_Event_Load_Value, Setup_Event_Get_Value, Setup_Event_Update}},
      {kDetailsPageOther,
       "TAB06=",
       "Other",
       {nullptr, Setup_Other_Select_Item, Setup_Other_Key_Input, Setup_Other_Load_Value, Setup_Other_Get_Value,
        Setup_Other_Update}},
  };
  for (int i = 0; i < 2; ++i) {
    DCONF_PAGE& p = rec->sconfInfo[i];
    p.enable = 1;
    p.contID = pages[i].id;
    pstr::set(p.contName, sizeof p.contName, Ini_Text("[TAB]", pages[i].key, pages[i].fallback));
    p.cellData = pages[i].cell;
    CTAdd(rec->confTab, p.contName, -1);
  }
  CTSetCurSel(rec->confTab, 0, false);
  CTShow(rec->confTab, true);
  rec->confOldSelect = 0;
  Load_Details_Dialog(rec);
}

void Handle_Details_Tab_Select(DETAILS_WND_INFO* rec, EventRecord* event) {
  DialogRef d = rec->dlg;
  if (!rec->confTab || !event) return;
  // The tab control reads the mouse in the dialog's port.
  tb::PortSaver keep(GetDialogPort(d));
  const SInt16 old = rec->confOldSelect;
  const SInt16 now = TrackTabPress(d, rec->confTab, kTabItem, event, old);
  if (now < 0) return;
  if (!checked_get(rec, page_cell(rec, old))) {
    CTSetCurSel(rec->confTab, old, true);
    return;
  }
  hide_page(rec, old);
  rec->confOldSelect = now;
  Load_Details_Dialog(rec);
  InvalidateAll(d);
}

Boolean Handle_Details_Select_Item(DialogRef dlg, EventRecord* event, DialogItemIndex item) {
  DETAILS_WND_INFO* rec = rec_of(dlg);
  if (!rec) return true;
  switch (item) {
    case 1: Exit_Details_Dialog(dlg, 1); return true;
    case 2: Exit_Details_Dialog(dlg, 0); return true;
    case kApply: Appli_Dialog_Data(dlg); return true;
    case kTabItem: Handle_Details_Tab_Select(rec, event); return true;
    default: {
      const SUB_TAB_CELL* cell = current_cell(rec);
      if (!cell) return true;
      if (cell->dlg_item_select) cell->dlg_item_select(dlg, event, item);
      if (cell->dlg_get_value) cell->dlg_get_value(dlg);
      Setup_Data_Check(dlg);
      return true;
    }
  }
}

Boolean Handle_Details_Key_Input(DialogRef dlg, EventRecord* event) {
  DETAILS_WND_INFO* rec = rec_of(dlg);
  if (!rec || !event || (event->what != keyDown && event->what != autoKey)) return true;
  const UInt8 key = UInt8((event->message & keyCodeMask) >> 8);
  if (key == kVK_Return || key == kVK_ANSI_KeypadEnter) {
    Invert_Button_Item(dlg, 1);
    Exit_Details_Dialog(dlg, 1);
    return false;
  }
  if (key == kVK_Escape) {
    Invert_Button_Item(dlg, 2);
    Exit_Details_Dialog(dlg, 0);
    return false;
  }
  if (key == kVK_Delete) return true;
  const SUB_TAB_CELL* cell = current_cell(rec);
  return cell && cell->dlg_key_input ? cell->dlg_key_input(dlg, event) : false;
}

short Handle_Details_Window_Update(DialogRef dlg, EventRecord*) {
  DETAILS_WND_INFO* rec = rec_of(dlg);
  const SUB_TAB_CELL* cell = rec ? current_cell(rec) : nullptr;
  UpdateTabbedDialog(dlg, rec ? rec->confTab : nullptr, cell ? cell->dlg_update : nullptr);
  return 1;
}

short Handle_Details_Window_Active(DialogRef dlg, EventRecord* event) {
  Handle_Window_Active(dlg, event);
  return 1;
}

std::string printer_text(const PBOXinfo& p) {
  const std::string name = PBOXNameText(p);
  char addr[24] = "";
  if (p.protocol_Type_Num == PBOX_PROTO_TCPIP) {
    if (p.pbi_ip_addr == 0) return name;
    iptoa(p.pbi_ip_addr, addr);
  } else {
    if (!p.pbi_inuse) return name;
    mactoa(p.pbi_nodeaddr, addr);
  }
  return name + "(" + addr + ")";
}

}  // namespace

// ---- Interface ----------------------------------------------------------------

bool Interval_Text_Valid(const char* text, UInt32* value) {
  UInt32 v = 0;
  bool digits = text && *text;
  for (const char* c = text; digits && *c; ++c) {
    if (*c < '0' || *c > '9') {
      digits = false;
      break;
    }
    v = std::min<UInt32>(v * 10 + UInt32(*c - '0'), 0xFFFFFF);
  }
  if (!digits) {
    // What a lax reading would take: the leading digits.
    v = 0;
    for (const char* c = text; c && *c >= '0' && *c <= '9'; ++c)
      v = std::min<UInt32>(v * 10 + UInt32(*c - '0'), 0xFFFFFF);
  }
  if (value) *value = v;
  return digits && v >= kIntervalMin && v <= kIntervalMax;
}

DETAILS_WND_INFO* Get_Details_Info(DialogRef dlg) {
  if (!dlg) return nullptr;
  for (DETAILS_WND_INFO* r : gOpen)
    if (r->using_ == 1 && r->dlg == dlg) return r;
  return nullptr;
}

Boolean Get_Details_Table(DialogRef ownerDlg, DETAILS_WND_INFO* rec, const PBOXinfo* printer) {
  if (!rec || !printer || rec->using_ == 1 || rec->dlg) return false;
  *rec = DETAILS_WND_INFO{};
  rec->ownerDlg = ownerDlg;
  rec->printData = *printer;
  rec->using_ = 1;
  return true;
}

Boolean Open_Details_Setup_Dialog(DialogRef ownerDlg, DETAILS_WND_INFO* rec, const PBOXinfo* printer) {
  if (!Get_Details_Table(ownerDlg, rec, printer)) return false;
  const DialogFont f = FontOf("BROADFONT=");
  rec->fontID = f.id;
  rec->fontFace = f.face;
  rec->fontSize = f.size;
  const std::string format = Ini_Text("[TITLE]", "DETAILS=", "%s");
  const std::string who = printer_text(*printer);
  char text[256];
  if (Format_Strings(text, sizeof text, format.c_str(), {who.c_str()}) < 0)
    std::snprintf(text, sizeof text, "%s", who.c_str());
  Str255 title;
  pstr::set(title, sizeof title, text);
  DialogRef d = Open_Usr_Dialog(kDetailsDialogID, title, Handle_Details_Select_Item, Handle_Details_Window_Update,
                                nullptr, Handle_Details_Window_Active, nullptr, Handle_Details_Key_Input);
  if (!d) {
    *rec = DETAILS_WND_INFO{};
    return false;
  }
  rec->dlg = d;
  gOpen.push_back(rec);
  Set_Content_Color(d);
  SetDialogDefaultItem(d, 1);
  {
    tb::PortSaver keep(GetDialogPort(d));
    TextFont(rec->fontID);
    TextFace(rec->fontFace);
    TextSize(rec->fontSize);
  }
  Create_Details_Tab(rec);
  Set_String_To_Item(d, 1, "OK=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, 2, "CANCEL=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, kApply, "APPLI=", "[MACSTR]", IniFileName);
  SetDimmed(d, kApply, true);
  Window_Select_Mode(d);
  ShowWindow(GetDialogWindow(d));
  SelectWindow(GetDialogWindow(d));
  return true;
}

short Setup_Data_Check(DialogRef dlg) {
  DETAILS_WND_INFO* rec = rec_of(dlg);
  if (!rec) return 0;
  CONFIGURATION* now = Get_Config_Data(rec->ownerDlg);
  CONFIGURATION* back = Get_Backup_Data(rec->ownerDlg);
  if (!now || !back) return 0;
  std::array<UInt8, kConfigurationSize> a{}, b{};
  PackConfiguration(*now, a);
  PackConfiguration(*back, b);
  const bool differ = a != b;
  SetDimmed(dlg, kApply, !differ);
  return differ ? 1 : 0;
}

short Appli_Dialog_Data(DialogRef dlg) {
  DETAILS_WND_INFO* rec = rec_of(dlg);
  if (!rec) return 0;
  if (!checked_get(rec, current_cell(rec))) return 0;
  CONFIGURATION* now = Get_Config_Data(rec->ownerDlg);
  CONFIGURATION* back = Get_Backup_Data(rec->ownerDlg);
  if (!now || !back) return 0;
  *back = *now;
  Set_Startup_Data(&rec->printData, now->StartupFlag ? 1 : 0);
  Save_Status_DataEx(&rec->printData);
  Set_Config_Data(&rec->printData, now, 1);
  if (CONFIG_WND_INFO* option = Get_Config_Info(rec->ownerDlg)) Setup_Configuration(option->ownerDlg, now, 1);
  Setup_Data_Check(dlg);
  return 1;
}

short Exit_Details_Dialog(DialogRef dlg, short ok) {
  DETAILS_WND_INFO* rec = rec_of(dlg);
  if (!rec) return 0;
  if (ok == 1) {
    if (!Appli_Dialog_Data(dlg)) return 0;
  } else {
    CONFIGURATION* now = Get_Config_Data(rec->ownerDlg);
    CONFIGURATION* back = Get_Backup_Data(rec->ownerDlg);
    if (now && back) *now = *back;
  }
  if (rec->popupDList) CLDispose(rec->popupDList);
  if (rec->popupEList) CLDispose(rec->popupEList);
  if (rec->confTab) CTDispose(rec->confTab);
  Close_Usr_Dialog(dlg);
  std::erase(gOpen, rec);
  rec->dlg = nullptr;
  rec->popupDList = rec->popupEList = nullptr;
  rec->confTab = nullptr;
  rec->using_ = 0;
  Window_Select_Mode(nullptr);
  return 1;
}
