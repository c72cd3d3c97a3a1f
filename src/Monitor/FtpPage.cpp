// The FTP page of a status window and the monitor's side of the FTP send
// window: the chosen files, the lists and the page's buttons.
#include "Monitor/FtpPage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "506Q_Lib/DialogItems.h"
#include "common/AppFonts.h"
#include "common/IniFile.h"
#include "Monitor/DialogUtil.h"
#include "Monitor/MonitorApp.h"
#include "Monitor/StatusDraw.h"
#include "Monitor/StatusText.h"
#include "OT/DrawUtil.h"
#include "OT/FTPSend.h"
#include "toolbox/files.h"

namespace {

using namespace mondlg;

void empty_list(CLIST_DATA* list) {
  if (list && CLGetCount(list) > 0) CLDelRow(list, CLGetCount(list), 0);
  Redraw(list);
}

// The name of the folder (by its folder id) that holds the chosen files.
std::string folder_name(const FSSpec& spec) {
  std::string path;
  if (!tb::PathForDirID(spec.parID, path)) return {};
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void show_folder(STATUS_WND_INFO* rec) {
  if (!rec->fSelectSpecs || rec->fSelectSpecs->fileCount < 1) {
    SetItemText(rec->dlg, kFtpFolder, "");
    return;
  }
  SetItemText(rec->dlg, kFtpFolder, folder_name(rec->fSelectSpecs->specs[0]));
}

}  // namespace

CLIST_DATA* File_ListBox(STATUS_WND_INFO* rec, const FONT_DATA* font, DialogItemIndex item) {
  if (!rec || !rec->dlg) return nullptr;
  const Rect r = ItemRect(rec->dlg, item);
  if (r.right <= r.left) return nullptr;
  const SInt16 width = CLOneColumnWidth(r);
  CLIST_DATA* list = CLNew(GetDialogWindow(rec->dlg), &r, Point{15, width}, false, true, false);
  if (!list) return nullptr;
  if (font) {
    const SInt16 id = SInt16(font->fontID);
    const Style face = Style(font->styleID);
    const SInt16 size = SInt16(font->fSize ? font->fSize : 10);
    CLSetFont(list, &id, &face, &size);
  }
  Str255 none = {0};
  CLAddColumn(list, none, width, kCLNoHeader);
  return list;
}

short Build_SelectFile_List(CLIST_DATA* list, const FSS_LIST* specs) {
  if (!list || !specs) return 1;
  const int n = std::clamp<int>(specs->fileCount, 0, kSelectFileMax);
  for (int i = 0; i < n; ++i) {
    const SInt16 row = CLGetCount(list);
    CLSetCellOne(list, Cell{row, 0}, specs->specs[i].name);
    CLSetReference(list, row, i);
  }
  return 1;
}

short Handle_File_List_Select(DialogRef dlg, EventRecord* event, DialogItemIndex item, CLIST_DATA* list) {
  if (!dlg || !event || !list) return 0;
  tb::PortSaver keep(GetDialogPort(dlg));
  Point local = event->where;
  GlobalToLocal(&local);
  const Rect r = ItemRect(dlg, item);
  if (!PtInRect(local, &r)) return 0;
  Cell cell{0, 0};
  SInt16 sortPart = -1;
  return CLMouseDown(list, event, &cell, &sortPart, false) ? 1 : 0;
}

void Setup_Ftp_Load_Value(DialogRef dlg) {
  if (STATUS_WND_INFO* rec = Page_Record(dlg)) Load_Ftp_Page(rec);
}

void Load_Ftp_Page(STATUS_WND_INFO* rec) {
  DialogRef dlg = rec->dlg;
  FONT_DATA font{};
  std::snprintf(font.fName, sizeof font.fName, "Geneva");
  font.fSize = 10;
  Get_Font_Infomation("LIST=", &font);
  for (auto [list, item] : {std::pair{&rec->fSelectList, kFtpSelectList}, std::pair{&rec->fSendList, kFtpSendList}}) {
    if (!*list) {
      *list = File_ListBox(rec, &font, item);
      if (*list && item == kFtpSelectList && rec->fSelectSpecs) Build_SelectFile_List(*list, rec->fSelectSpecs);
      if (*list && CLGetCount(*list) > 0) CLSetSelect(*list, Cell{0, 0}, true, false);
    } else {
      CLShow(*list, true);
    }
    Redraw(*list);
  }
  show_folder(rec);
  Page_Button_Check(rec);
  Set_String_To_Item(dlg, kFtpSend, "BTN_SEND=", "[BUTTON]", IniFileName);
  Set_String_To_Item(dlg, kFtpSelect, "BTN_SEL=", "[BUTTON]", IniFileName);
}

void Setup_Ftp_Update(DialogRef dlg) {
  if (STATUS_WND_INFO* rec = Page_Record(dlg)) Draw_Ftp_Page(rec);
}

void Draw_Ftp_Page(STATUS_WND_INFO* rec) {
  DialogRef dlg = rec->dlg;
  Draw_Group_Frame_Item(dlg, kFtpSelectFrame);
  Draw_Group_Frame_Item(dlg, kFtpSendFrame);
  Draw_Setup_Frame_Item(dlg, kFtpInfoFrame);
  Draw_Item_Icon(dlg, kFtpIcon, 136);
  Redraw(rec->fSelectList);
  Redraw(rec->fSendList);
  DrawLabel(dlg, kFtpInfo, Ini_Text("[LABEL]", "STC_INFO1="));
  DrawLabel(dlg, kFtpSelectTitle, Ini_Text("[GROUP]", "GRP_FILE="));
  DrawLabel(dlg, kFtpSendTitle, Ini_Text("[GROUP]", "GRP_TRN="));
}

Boolean Status_Ftp_Select_Item(DialogRef dlg, EventRecord* event, DialogItemIndex item) {
  STATUS_WND_INFO* rec = Page_Record(dlg);
  if (!rec) return true;
  // The lists belong to the transfer while it runs: a new choice or a
  // second job would send or list files the box never got.
  if ((item == kFtpSelect || item == kFtpSend) && Do_Ftp_Dialog_Open(dlg)) {
    SysBeep(1);
    return true;
  }
  switch (item) {
    case kFtpSelectList: Handle_File_List_Select(dlg, event, item, rec->fSelectList); break;
    case kFtpSendList: Handle_File_List_Select(dlg, event, item, rec->fSendList); break;
    case kFtpSelect: {
      empty_list(rec->fSelectList);
      empty_list(rec->fSendList);
      if (!rec->fSelectSpecs) break;
      *rec->fSelectSpecs = FSS_LIST{};
      FSSpec folder{};
      // The chooser reports at most as many files as it copied.
      const short count = Get_Select_File_Spec(&folder, rec->fSelectSpecs->specs);
      rec->fSelectSpecs->fileCount = SInt16(std::clamp<int>(count, 0, kSelectFileMax));
      if (rec->fSelectSpecs->fileCount > 0) {
        Build_SelectFile_List(rec->fSelectList, rec->fSelectSpecs);
        if (rec->fSelectList) CLSetSelect(rec->fSelectList, Cell{0, 0}, true, false);
        Redraw(rec->fSelectList);
      }
      if (rec->fSelectSpecs->fileCount > 0 && rec->pbox.pbi_ip_addr != 0) {
        SetItemText(dlg, kFtpFolder, folder_name(folder));
        SetDimmed(dlg, kFtpSend, false);
      } else {
        SetItemText(dlg, kFtpFolder, "");
        SetDimmed(dlg, kFtpSend, true);
      }
      Invalidate_Page(rec);
      break;
    }
    case kFtpSend: {
      SetDimmed(dlg, kFtpSelect, true);
      SetDimmed(dlg, kFtpSend, true);
      Str255 text;
      pstr::set(text, sizeof text, Ini_Text("[STRING]", "STRING01=", "Send the files?", MonFileName));
      const short answer = Set_Alert_Dialog_Items(602, 1, text, nullptr, nullptr, nullptr);
      const UInt16 rows = rec->fSelectList ? UInt16(CLGetCount(rec->fSelectList)) : 0;
      if (answer == 1 && rows > 0 && Open_Tcp_Dialog(dlg, rec->pbox.pbi_ip_addr, rows)) {
        Ftp_Sending_Check(rec);
        break;
      }
      SetDimmed(dlg, kFtpSelect, false);
      SetDimmed(dlg, kFtpSend, false);
      break;
    }
    default: break;
  }
  return true;
}

void Ftp_Page_Buttons(STATUS_WND_INFO* rec, bool data) {
  DialogRef d = rec->dlg;
  if (!data || Do_Ftp_Dialog_Open(d)) {
    SetDimmed(d, kFtpSend, true);
    SetDimmed(d, kFtpSelect, true);
    return;
  }
  const bool files = rec->fSelectList && CLGetCount(rec->fSelectList) > 0;
  const bool ip = rec->pbox.protocol_Type_Num == PBOX_PROTO_TCPIP && rec->pbox.pbi_ip_addr != 0;
  SetDimmed(d, kFtpSelect, false);
  SetDimmed(d, kFtpSend, !(files && ip));
}

short Ftp_Sending_Check(STATUS_WND_INFO* rec) {
  if (!rec || !rec->dlg) return 0;
  const bool sending = Do_Ftp_Dialog_Open(rec->dlg) != 0;
  SetDimmed(rec->dlg, 1, sending);
  SetDimmed(rec->dlg, 2, sending);
  return sending ? 1 : 0;
}

void Hide_Ftp_Lists(STATUS_WND_INFO* rec) {
  if (rec->fSelectList) CLShow(rec->fSelectList, false);
  if (rec->fSendList) CLShow(rec->fSendList, false);
}

void Dispose_Ftp_Lists(STATUS_WND_INFO* rec) {
  if (rec->fSelectList) CLDispose(rec->fSelectList);
  if (rec->fSendList) CLDispose(rec->fSendList);
  rec->fSelectList = rec->fSendList = nullptr;
}

// ---- The send window's host ------------------------------------------------

short Get_FileSpec_FromList(DialogPtr owner, FSSpec* fss) {
  STATUS_WND_INFO* rec = Page_Record(owner);
  if (!rec || !fss || !rec->fSelectList || !rec->fSelectSpecs || CLGetCount(rec->fSelectList) < 1) return 0;
  const long index = CLGetReference(rec->fSelectList, 0);
  if (index < 0 || index >= std::min<int>(rec->fSelectSpecs->fileCount, kSelectFileMax)) return 0;
  *fss = rec->fSelectSpecs->specs[index];
  return 1;
}

void Move_FTP_File(DialogPtr owner) {
  STATUS_WND_INFO* rec = Page_Record(owner);
  if (!rec || !rec->fSelectList || CLGetCount(rec->fSelectList) < 1) return;
  Str255 text = {0};
  SInt16 len = sizeof text - 1;
  CLGetCellOne(rec->fSelectList, text, &len, Cell{0, 0});
  CLDelRow(rec->fSelectList, 1, 0);
  if (CLGetCount(rec->fSelectList) > 0) CLSetSelect(rec->fSelectList, Cell{0, 0}, true, false);
  if (rec->fSendList) {
    const SInt16 row = CLGetCount(rec->fSendList);
    CLSetCellOne(rec->fSendList, Cell{row, 0}, text);
    CLClearSelect(rec->fSendList, nullptr);
    CLSetSelect(rec->fSendList, Cell{row, 0}, true, false);
  }
  if (rec->activePage == kPageFtp) {
    Redraw(rec->fSelectList);
    Redraw(rec->fSendList);
  }
}
