// The device settings window frame: opening (tables, password, offers,
// ports), the tabs and page swaps, the buttons by mode and authority, and
// leaving with the write-back of a changed image.
#include "Admin/SetupWindow.h"

#include <cstring>

#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/AdminMenu.h"
#include "Admin/DeviceCommand.h"
#include "Admin/IpSetup.h"
#include "Admin/MainWindow.h"
#include "Admin/PopPage.h"
#include "Admin/PortPage.h"
#include "Admin/SearchDialog.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupPages.h"
#include "Admin/SmtpPage.h"
#include "common/AppWindows.h"
#include "common/Context.h"
#include "common/IniFile.h"
#include "toolbox/resources.h"
#include "toolbox/trace.h"

SETUP_DLG_INFO setupTbl{};
SETUP_PAGE fancInfo[kSetupPageRows]{};
UInt16 TypeBit = 0;
SInt16 setupTabOldSelect = 0;
CTAB_DATA* gclData = nullptr;
FONT_DATA gSetFont{};
UInt8 sPortList[kPortListSize]{};
short iPortMax = 0;
short iPortWidth = 0;

namespace {

constexpr SInt16 kSetupDialog = 131;
constexpr SInt16 kSnmpPage = 165;

char gModel[8] = "";

struct PageRow {
  int bit;
  SInt16 page;
  const char* title;
};
// The offer list in tab order; bits 3 and 5 (printer ports) have no tab,
// and bit 14 (POP) is never offered.
constexpr PageRow kOffers[] = {
    {15, 150, "General"}, {0, 132, "TCP/IP"}, {1, 133, "NetWare"}, {2, 134, "AppleTalk"},
    {12, 166, "NetBIOS"}, {8, 165, "SNMP"},   {14, 168, "POP"},    {13, 176, "SMTP"},
};

Boolean has(UInt16 var) { return get_context_by_varid(var) ? 1 : 0; }

void Free_Setup_Table() {
  setupTbl.using_ = 0;
  setupTbl.dlg = nullptr;
  setupTbl.closeFlag = 0;
}

void release_all() {
  Free_Setup_Table();
  Dispose_Setup_Memory();
}

void static_text(const char* key, short fallback, Str255 out) { Get_Ini_Text(out, "[STATIC]", key, fallback); }

void Draw_Setup_Usr_Item(DialogRef dialog, DialogItemIndex item) {
  if (item == 4) Draw_Dialog_Default_Button(dialog, 1);
  if (item == 5 && gclData) CTUpdate(gclData);
}

void Load_Dialog_Item(DialogRef dialog) {
  SETUP_PAGE* page = Current_Setup_Page();
  if (!page) return;
  const DialogItemIndex count = CountDITL(dialog);
  if (count > kSetupFrameItems) ShortenDITL(dialog, DialogItemIndex(count - kSetupFrameItems));
  {
    tb::PortSaver keep(GetDialogPort(dialog));
    Rect frame, strip, area;
    if (CTGetRect(gclData, &frame, true) < 0 || CTGetRect(gclData, &strip, false) < 0) {
      area = Rect{10, 30, 550, 300};
    } else {
      area = Rect{SInt16(strip.bottom + 3), SInt16(frame.left + 3), SInt16(frame.bottom - 3), SInt16(frame.right - 3)};
    }
    EraseRect(&area);
  }
  if (Handle items = GetResource('DITL', page->contID)) {
    AppendDITL(dialog, items, overlayDITL);
    ReleaseResource(items);
  }
  if (page->cellData.dlg_setup) page->cellData.dlg_setup(dialog);
  SetPassFlag = 99;
  if (page->cellData.dlg_load_value) page->cellData.dlg_load_value(dialog);
  tb::TraceNote("setup", "page %s shown", page->contName);
}

// A tab and a page-table row for each offered page, in tab order.
void Build_Icon_List(UInt16 offers) {
  int row = 0;
  for (const PageRow& r : kOffers) {
    if (!(offers & (1u << r.bit)) || row >= kSetupPageRows) continue;
    Str255 title;
    title[0] = UInt8(std::strlen(r.title));
    std::memcpy(title + 1, r.title, title[0]);
    CTAdd(gclData, title, -1);
    SETUP_PAGE& p = fancInfo[row++];
    p.enable = 1;
    p.contID = r.page;
    std::strcpy(p.contName, r.title);
    p.cellData = Set_Dialog_Function(r.page);
  }
}

// Claims the window's record for the box: refused while it is in use or
// has a dialog.
bool Get_Setup_Table(const PBOXinfo* pbox) {
  if (!pbox || setupTbl.using_ || setupTbl.dlg) return false;
  setupTbl = SETUP_DLG_INFO{};
  setupTbl.pbox = *pbox;
  setupTbl.using_ = 1;
  setupTbl.closeFlag = 0;
  return true;
}

void Create_Setup_Tab(DialogRef dialog, UInt16 offers) {
  SetDialogItem(dialog, 4, userItem, reinterpret_cast<Handle>(Draw_Setup_Usr_Item), nullptr);
  Rect strip;
  Get_Dialog_Item_Rect(dialog, 5, &strip);
  SetDialogItem(dialog, 5, userItem, reinterpret_cast<Handle>(Draw_Setup_Usr_Item), nullptr);
  FONT_DATA tabFont{};
  Get_Font_Infomation("TAB=", &tabFont);
  Rect frame{strip.bottom, strip.left, SInt16(strip.bottom + 300), strip.right};
  gclData = CTNew(GetDialogWindow(dialog), &strip, &frame, 16, false, 0xFFFFFF, true);
  if (!gclData) return;
  SInt16 font = SInt16(tabFont.fontID), size = SInt16(tabFont.fSize ? tabFont.fSize : 10);
  UInt8 face = UInt8(tabFont.styleID);
  CTSetFont(gclData, &font, &face, &size);
  CTSetPictID(gclData, 143, 142, 144, 145, 146, 147, 148, 149);
  Build_Icon_List(offers);
  CTSetCurSel(gclData, 0, true);
  setupTabOldSelect = 0;
  Load_Dialog_Item(dialog);
  CTShow(gclData, true);
}

void Setup_Base_Setting(DialogRef dialog) {
  if (!MenuChangeAuthority || !gbAdminMode) {
    Hilite_Item(dialog, 1, 0);
    Hilite_Item(dialog, 3, 0);
  }
  // The restart rule of the command menu, for the box being edited.
  char type[8];
  const UInt8 cap = GetVemoplexType(type, setupTbl.pbox.pbi_machine_type);
  if (!(cap & 0x10) || std::strcmp(type, "QSV-A") == 0) HideDialogItem(dialog, 3);
  Set_String_To_Item(dialog, 1, "SETUP=", "[BUTTON]", IniFileName);
  Set_String_To_Item(dialog, 2, "CANCEL=", "[BUTTON]", IniFileName);
  Set_String_To_Item(dialog, 3, "INIT=", "[BUTTON]", IniFileName);
}

SETUP_PAGE* page_of_tab(SInt16 index) {
  if (!gclData || index < 0) return nullptr;
  Str255 title;
  if (CTGetTitle(gclData, index, title) < 0) return nullptr;
  for (SETUP_PAGE& p : fancInfo) {
    if (!p.enable) continue;
    if (strnlen(p.contName, sizeof p.contName - 1) >= title[0] && std::memcmp(p.contName, title + 1, title[0]) == 0)
      return &p;
  }
  return nullptr;
}

short Handle_Setup_Tab_Select(DialogRef dialog, EventRecord* event) {
  if (!gclData || !event) return 1;
  tb::PortSaver keep(GetDialogPort(dialog));
  const SInt16 old = CTGetCurSel(gclData);
  setupTabOldSelect = old;
  SInt16 pushed = -1;
  if (CTMouseDown(gclData, event, &pushed) == 1 && CTGetCurSel(gclData) != old) {
    SETUP_PAGE* leaving = page_of_tab(old);
    if (leaving && leaving->cellData.dlg_get_value && leaving->cellData.dlg_get_value(dialog) != 1) {
      tb::TraceRefusal("setup", "the page being left refused its values");
      CTSetCurSel(gclData, old, true);
      return 1;
    }
    Load_Dialog_Item(dialog);
    setupTabOldSelect = CTGetCurSel(gclData);
  }
  return 1;
}

void factory_defaults(DialogRef dialog) {
  Str255 text, empty = {0};
  static_text("FACTORY=", 6, text);
  // Alert 607's first button abandons.
  if (Set_Alert_Dialog_Items(607, 0, text, empty, empty, empty) == 1) return;
  Set_Watch_Cursor();
  const short r = GetPBOXDefault(&setupTbl.pbox);
  Set_Arrow_Cursor();
  if (r != 0) {
    Connection_Error_Alert();
    if (SETUP_PAGE* p = Current_Setup_Page(); p && p->cellData.dlg_load_value) p->cellData.dlg_load_value(dialog);
    return;
  }
  PBOXinfo box = setupTbl.pbox;
  Close_Setup_Dialog(dialog);
  Main_Window_Update();
  static_text("INIT=", 10, text);
  admin::Check_Reset(&box, text);
}

}  // namespace

const char* Setup_Model() { return gModel; }

SETUP_PAGE* Current_Setup_Page() { return gclData ? page_of_tab(CTGetCurSel(gclData)) : nullptr; }

DialogRef Get_Open_Setup_Dialog() { return setupTbl.using_ ? setupTbl.dlg : nullptr; }

short Open_Setup_Window(PBOXinfo* pbox) {
  MenuChangeAuthority = 1;
  if (!Get_Setup_Table(pbox)) return 0;
  if (!Allocate_Setup_Memory()) {
    release_all();
    return 0;
  }
  Clear_Pass_Buffer();
  Clear_Setup_Page_Backups();
  TypeBit = 0;
  for (SETUP_PAGE& p : fancInfo) p = SETUP_PAGE{};

  Set_Watch_Cursor();
  if (GetPBOXInfo(&setupTbl.pbox) < 0 || wEEPDataSize == 0) {
    Set_Arrow_Cursor();
    Connection_Error_Alert();
    release_all();
    return 0;
  }
  Set_Arrow_Cursor();
  if (Open_Input_Password_Dialog() == 0) {
    release_all();
    return 0;
  }

  SETUP_DLG_INFO& t = setupTbl;
  t.tcp_flag = has(0x101);
  t.talk_flag = has(0x301);
  t.netb_flag = has(0x401);
  t.nds_flag = has(0x21D);
  t.trap_flag = has(0x60C);
  t.smtp_flag = has(0xEA02);
  t.ipx_flag = t.pop3_flag = 0;
  GetVemoplexType(gModel, t.pbox.pbi_machine_type);
  if (std::strncmp(gModel, "QSV-A", 5) == 0 || std::strncmp(gModel, "QSV-B", 5) == 0)
    t.snmp_flag = 0;
  else
    t.snmp_flag = has(0x112) || has(0x121);
  if (std::strncmp(gModel, "QSV-E", 5) == 0) t.netb_flag = t.talk_flag = 0;
  if (!t.tcp_flag && !t.ipx_flag && !t.talk_flag && !t.netb_flag) {
    t.tcp_flag = has(0x102);
    t.ipx_flag = has(0x202);
  }

  // The port list: one reply sets the list, its stride and its count.
  std::memset(sPortList, 0, sizeof sPortList);
  const long got = GetPortList(&t.pbox, sPortList, sizeof sPortList);
  iPortWidth = got > 1 ? short(GetStringArrayWidth(reinterpret_cast<const char*>(sPortList + 1), 32,
                                                   std::size_t(got - 1)))
                       : 0;
  iPortMax = got > 1 && iPortWidth > 0 ? GetPortMax(sPortList, iPortWidth, got) : 0;
  if (iPortMax > kSetupPortMax) iPortMax = kSetupPortMax;
  t.tcount = 0;
  for (short k = 0; k < iPortMax; ++k) {
    const UInt16 b = UInt16(0x1100 + 0x100 * k);
    if (!has(b + 1) && !has(b + 0x20) && !has(b + 0x21) && !has(b + 0x22)) break;
    char name[33];
    GetPortName(sPortList, iPortWidth, GetPortEntry(sPortList, iPortWidth, short(k + 1), got), name, sizeof name, got);
    const std::size_t n = strnlen(name, 31);
    t.port[k].name[0] = UInt8(n);
    std::memcpy(t.port[k].name + 1, name, n);
    t.port[k].type = has(b + 0x30) ? 0 : 1;
    ++t.tcount;
  }
  t.pcount = 0;

  Get_Font_Infomation("SETUP=", &gSetFont);
  Str255 title;
  Get_Ini_Text(title, "[TITLE]", "JCSETUP=", 0);
  DialogRef dialog = admin::Open_Usr_Dialog(kSetupDialog, title, Handle_Setup_Select_Item, nullptr,
                                            Handle_Setup_Update_Value, nullptr, nullptr, Handle_Setup_Key_Input,
                                            nullptr);
  if (!dialog) {
    release_all();
    return 0;
  }
  t.dlg = dialog;
  Set_Content_Color(GetDialogWindow(dialog));
  SetDialogDefaultItem(dialog, 1);
  Set_Usr_Window_RefCon(dialog, &setupTbl);

  TypeBit = UInt16(t.tcp_flag | t.ipx_flag << 1 | t.talk_flag << 2 | t.nds_flag << 7 | t.snmp_flag << 8 |
                   t.netb_flag << 12 | t.smtp_flag << 13 | t.pop3_flag << 14 | 0x8000);
  if (t.tcount > 0) {
    if (iPortMax == 1) {
      TypeBit |= 1u << 3;
      if (has(0x1120) || has(0x1121) || has(0x1122)) TypeBit |= 1u << 4;
    } else if (iPortMax > 1) {
      TypeBit |= (1u << 3) | (1u << 4) | (1u << 5);
    }
  }
  Get_SMTP_Infomartion();
  Create_Setup_Tab(dialog, TypeBit);
  // The window's font: every page, its captions and its fields are drawn
  // in it, whatever draws them. Set once the tab font was read, which
  // leaves the current port's font at the system's.
  if (gSetFont.fSize) Set_Dialog_Font(dialog, 1);
  Setup_Base_Setting(dialog);
  Window_Select_Mode(dialog);
  ShowWindow(GetDialogWindow(dialog));
  Setup_Menu_Status();
  return 1;
}

short Handle_Setup_Update_Value(DialogRef dialog, EventRecord*) {
  if (!dialog || !setupTbl.using_) return 0;
  WindowRef window = GetDialogWindow(dialog);
  tb::PortSaver keep(GetDialogPort(dialog));
  BeginUpdate(window);
  Rect all;
  GetPortBounds(GetDialogPort(dialog), &all);
  EraseRect(&all);
  if (gclData) CTUpdate(gclData);
  DrawDialog(dialog);
  EndUpdate(window);
  if (SETUP_PAGE* p = page_of_tab(setupTabOldSelect); p && p->cellData.dlg_update) p->cellData.dlg_update(dialog);
  return 1;
}

namespace {

// The SNMP page's community field takes its keys masked whenever it has the
// keyboard, however the keyboard got there (a click, Tab, Shift-Tab, another
// field hidden).
void follow_focus(DialogRef dialog) {
  SETUP_PAGE* page = Current_Setup_Page();
  SetPassFlag = page && page->contID == kSnmpPage ? Masked_Focus_Flag(dialog, 7, 101) : 99;
}

}  // namespace

Boolean Handle_Setup_Select_Item(DialogRef dialog, EventRecord* event, DialogItemIndex item) {
  switch (item) {
    case 1:
      gbSetupCancel = 0;
      Exit_Setup_Dialog(dialog, 1);
      return 1;
    case 2:
      gbSetupCancel = 1;
      Exit_Setup_Dialog(dialog, 0);
      gbSetupCancel = 0;
      return 1;
    case 3:
      factory_defaults(dialog);
      return 1;
    case 5: return Handle_Setup_Tab_Select(dialog, event) != 0;
    default: break;
  }
  SETUP_PAGE* page = Current_Setup_Page();
  Boolean r = page && page->cellData.dlg_item_select ? page->cellData.dlg_item_select(dialog, event, item) : 0;
  // The page may have closed the window (never, today), so look again.
  if (Get_Open_Setup_Dialog() != dialog) return r;
  if (page && page->contID == kSnmpPage && item == 7) SelectDialogItemText(dialog, 7, 32767, 32767);
  follow_focus(dialog);
  return r;
}

Boolean Handle_Setup_Key_Input(DialogRef dialog, EventRecord* event) {
  if (!event || (event->what != keyDown && event->what != autoKey)) return 1;
  follow_focus(dialog);
  const UInt8 code = UInt8((event->message & keyCodeMask) >> 8);
  switch (code) {
    case 0x24:
    case 0x4C:
      if (MenuChangeAuthority && gbAdminMode) {
        Invert_Button_Item(dialog, 1);
        gbSetupCancel = 0;
        Exit_Setup_Dialog(dialog, 1);
        event->message &= ~UInt32(charCodeMask);
      }
      return 0;
    case 0x35:
      Invert_Button_Item(dialog, 2);
      gbSetupCancel = 1;
      Exit_Setup_Dialog(dialog, 0);
      gbSetupCancel = 0;
      return 0;
    case 0x30: {
      SETUP_PAGE* page = Current_Setup_Page();
      if (!page || page->contID != kSnmpPage) return 1;
      DialogRef hit = nullptr;
      DialogItemIndex item = 0;
      if (DialogSelect(event, &hit, &item) && hit == dialog) return Handle_Setup_Select_Item(dialog, event, item);
      follow_focus(dialog);
      return 0;
    }
    default: break;
  }
  if (SetPassFlag == 101)
    return Password_Input_Filter(dialog, event, 0, MaxCompass, CommunityPassBuff, &CommunityPass) == 0;
  return 1;
}

short Exit_Setup_Dialog(DialogRef dialog, Boolean isUpload) {
  const bool holds = MenuChangeAuthority && gbAdminMode;
  SETUP_PAGE* page = Current_Setup_Page();
  if (page && page->cellData.dlg_get_value && page->cellData.dlg_get_value(dialog) != 1 && holds) return 0;
  // The SMTP page's record reaches the tables only now; on Cancel its
  // refusals are passed over without a message.
  if (setupTbl.smtp_flag && Set_SMTP_Infomartion(isUpload ? dialog : nullptr) != 1 && holds) return 0;
  if (!pEEPData || !pEEPBackup || std::memcmp(pEEPData, pEEPBackup, wEEPDataSize) == 0) {
    Close_Setup_Dialog(dialog);
    return 1;
  }
  Str255 text, empty = {0};
  if (isUpload) {
    static_text("SETTING=", 9, text);
    if (Set_Alert_Dialog_Items(kAlertQuestion, 0, text, empty, empty, empty) != 1) return 0;
    Set_Watch_Cursor();
    const short r = PutPBOXInfo(&setupTbl.pbox);
    Set_Arrow_Cursor();
    if (r != 0) {
      Connection_Error_Alert();
      return 0;
    }
    static_text("UPDATE=", 10, text);
    admin::Check_Reset(&setupTbl.pbox, text);
    Close_Setup_Dialog(dialog);
    return 1;
  }
  static_text("CANCEL=", 12, text);
  if (Set_Alert_Dialog_Items(kAlertQuestion, 0, text, empty, empty, empty) != 1) return 0;
  Close_Setup_Dialog(dialog);
  return 1;
}

short Close_Setup_Dialog(DialogRef dialog) {
  if (gclData) {
    CTDispose(gclData);
    gclData = nullptr;
  }
  if (dialog) Close_Usr_Dialog(dialog);
  Free_Setup_Table();
  // Search settings the window was opened over are again the one window
  // that takes clicks; without them back the main window could be brought
  // over them while they stay open, and their menu command then does nothing.
  Window_Select_Mode(Get_Open_Config_Dialog());
  Dispose_Setup_Memory();
  for (SETUP_PAGE& p : fancInfo) p = SETUP_PAGE{};
  Setup_Menu_Status();
  return 1;
}

SETUP_ICON_CELL Set_Dialog_Function(SInt16 page) {
  switch (page) {
    case 150:
      return {Setup_General_Setup, Setup_General_Item_Select, Setup_General_Load_Value, Setup_General_Get_Value,
              Setup_General_Update_Value};
    case 132:
      return {nullptr, Setup_TcpIp_Item_Select, Setup_TcpIp_Load_Value, Setup_TcpIp_Get_Value,
              Setup_TcpIp_Update_Value};
    case 133:
      return {nullptr, Setup_NetWare_Item_Select, Setup_NetWare_Load_Value, Setup_NetWare_Get_Value,
              Setup_NetWare_Update_Value};
    case 134:
      return {nullptr, Setup_EtherTalk_Item_Select, Setup_EtherTalk_Load_Value, Setup_EtherTalk_Get_Value,
              Setup_ETalk_Update_Value};
    case 166:
      return {nullptr, Setup_NetBEUI_Item_Select, Setup_NetBEUI_Load_Value, Setup_NetBEUI_Get_Value,
              Setup_NetBEUI_Update_Value};
    case 165:
      return {Setup_Snmp_Setup, Setup_Snmp_Item_Select, Setup_Snmp_Load_Value, Setup_Snmp_Get_Value,
              Setup_Snmp_Update_Value};
    case kPopPageID:
      // The update slot runs the get value as well.
      return {Setup_POP_Setup, Setup_POP_Item_Select, Setup_POP_Load_Value, Setup_POP_Get_Value,
              [](DialogRef d) { Setup_POP_Get_Value(d); }};
    case kPortPageID:
      return {Setup_PrnPort_Setup, Setup_PrnPort_Item_Select, Setup_PrnPort_Load_Value, Setup_PrnPort_Get_Value,
              Setup_PrnPort_Update_Value};
    case kSmtpPageID:
      return {nullptr, Setup_SMTP_Item_SelectEX, Setup_SMTP_Load_ValueEX, Setup_SMTP_Get_ValueEX,
              Setup_SMTP_Update_ValueEX};
    default: return {};
  }
}
