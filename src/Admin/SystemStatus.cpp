// The system status window: the status text a box reports, line by line in
// a scrolling list; up to eight windows, one per box; Review asks again.
#include "Admin/SystemStatus.h"

#include <cstdio>
#include <cstring>

#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/AdminMenu.h"
#include "Admin/DeviceCommand.h"
#include "Admin/IpSetup.h"
#include "common/AppWindows.h"
#include "common/IniFile.h"
#include "common/StrConv.h"
#include "toolbox/lists.h"
#include "toolbox/resources.h"

SYSTEM_WND_INFO SystemTbl[kSystemWindowMax]{};

namespace {

constexpr SInt16 kSystemDialog = 400;
constexpr short kScrollWidth = 15;

SYSTEM_WND_INFO* slot_of(DialogRef d) {
  for (SYSTEM_WND_INFO& s : SystemTbl)
    if (s.using_ && s.dlg == d) return &s;
  return nullptr;
}

// Windows are found again by the box's Ethernet address: each keeps its own
// copy of the box's entry.
SYSTEM_WND_INFO* Search_System_Table(const PBOXinfo* box) {
  for (SYSTEM_WND_INFO& s : SystemTbl)
    if (s.using_ && std::memcmp(s.pbox.pbi_nodeaddr, box->pbi_nodeaddr, sizeof box->pbi_nodeaddr) == 0) return &s;
  return nullptr;
}

SYSTEM_WND_INFO* Get_System_Table() {
  for (SYSTEM_WND_INFO& s : SystemTbl)
    if (!s.using_) {
      s = SYSTEM_WND_INFO{};
      s.using_ = 1;
      return &s;
    }
  return nullptr;
}

void Draw_System_Usr_Item(DialogRef d, DialogItemIndex item) {
  SYSTEM_WND_INFO* s = slot_of(d);
  if (!s || !s->hList) return;
  tb::PortSaver keep(GetDialogPort(d));
  LUpdate(nullptr, s->hList);
  Rect r;
  Get_Dialog_Item_Rect(d, item, &r);
  InsetRect(&r, -1, -1);
  FrameRect(&r);
}

Boolean Handle_System_Select_Item(DialogRef d, EventRecord* event, DialogItemIndex item) {
  SYSTEM_WND_INFO* s = slot_of(d);
  if (!s) return 1;
  if (item == 1) {
    Update_System_Window_Info(s);
  } else if (item == 2 && event && s->hList) {
    tb::PortSaver keep(GetDialogPort(d));
    Point local = event->where;
    GlobalToLocal(&local);
    Rect r;
    Get_Dialog_Item_Rect(d, 2, &r);
    // Only the scroll bar: the lines themselves cannot be selected.
    if (local.h >= r.right - kScrollWidth) LClick(local, event->modifiers, s->hList);
  }
  return 1;
}

short Handle_System_Window_Close(DialogRef d, EventRecord*) {
  Exit_System_Dialog(d);
  return 0;
}

}  // namespace

short Get_System_Open_Count() {
  short n = 0;
  for (const SYSTEM_WND_INFO& s : SystemTbl) n += s.using_ ? 1 : 0;
  return n;
}

void Split_System_Status(const UInt8* status, std::size_t size, std::vector<std::string>& lines) {
  lines.clear();
  std::size_t i = 2;
  // Blank lines give no rows, those before the first row too.
  while (i < size && (status[i] == 13 || status[i] == 10)) ++i;
  while (i < size && status[i]) {
    std::size_t start = i;
    while (i < size && status[i] && status[i] != 13 && status[i] != 10) ++i;
    lines.emplace_back(reinterpret_cast<const char*>(status + start), i - start);
    while (i < size && (status[i] == 13 || status[i] == 10)) ++i;
  }
}

void Update_System_Window_Info(SYSTEM_WND_INFO* s) {
  if (!s || !s->dlg) return;
  if (s->hList) {
    ListBounds b;
    GetListDataBounds(s->hList, &b);
    if (b.bottom > 0) LDelRow(b.bottom, 0, s->hList);
  }
  Force_Update_Window();
  std::memset(s->portStatus, 0, sizeof s->portStatus);
  Str255 arg;
  const SInt16 saved = CurResFile();
  UseResFile(Appl_Rsrc_Fork_No);
  GetIndString(arg, kStrStatusWindow, 2);
  char argText[256];
  std::memcpy(argText, arg + 1, arg[0]);
  argText[arg[0]] = 0;
  Set_Watch_Cursor();
  // One byte stays free so the text always ends inside the buffer.
  const long n = GetPortStatus(&s->pbox, argText, s->portStatus, long(sizeof s->portStatus - 1));
  Set_Arrow_Cursor();
  if (n <= 0) {
    Str255 none;
    GetIndString(none, kStrStatusWindow, 3);
    std::memcpy(s->portStatus + 1, none, std::size_t(none[0]) + 1);
  }
  UseResFile(saved);
  std::vector<std::string> lines;
  Split_System_Status(s->portStatus, sizeof s->portStatus, lines);
  if (!s->hList) return;
  for (std::size_t r = 0; r < lines.size(); ++r) {
    LAddRow(1, SInt16(r), s->hList);
    LSetCell(lines[r].data(), SInt16(std::min<std::size_t>(lines[r].size(), 255)), Cell{SInt16(r), 0}, s->hList);
  }
  InvalWindowRect(GetDialogWindow(s->dlg), nullptr);
}

short Open_System_Window(PBOXinfo* box) {
  if (!box) return 0;
  if (box->protocol_Type_Num == PBOX_PROTO_TCPIP && Check_IPAddress(box) != 1) return 0;
  if (SYSTEM_WND_INFO* open = Search_System_Table(box)) {
    SelectWindow(GetDialogWindow(open->dlg));
    return 1;
  }
  SYSTEM_WND_INFO* s = Get_System_Table();
  if (!s) return 0;
  s->pbox = *box;
  Str255 first;
  const SInt16 saved = CurResFile();
  UseResFile(Appl_Rsrc_Fork_No);
  GetIndString(first, kStrStatusWindow, 1);
  UseResFile(saved);
  char mac[20], title[300];
  mactoa(box->pbi_nodeaddr, mac);
  std::snprintf(title, sizeof title, "%.*s(%s)", int(first[0]), reinterpret_cast<const char*>(first + 1), mac);
  Str255 ptitle;
  ptitle[0] = UInt8(std::min<std::size_t>(std::strlen(title), 255));
  std::memcpy(ptitle + 1, title, ptitle[0]);
  DialogRef d = admin::Open_Usr_Dialog(kSystemDialog, ptitle, Handle_System_Select_Item, nullptr, nullptr, nullptr,
                                       Handle_System_Window_Close, nullptr, nullptr);
  if (!d) {
    s->using_ = 0;
    return 0;
  }
  s->dlg = d;
  Set_Usr_Window_RefCon(d, s);
  Create_System_Message_List(s);
  Update_System_Window_Info(s);
  Set_String_To_Item(d, 1, "REVIEW=", "[BUTTON]", IniFileName);
  ShowWindow(GetDialogWindow(d));
  Setup_Menu_Status();
  return 1;
}

void Create_System_Message_List(SYSTEM_WND_INFO* s) {
  DialogRef d = s->dlg;
  Rect r;
  Get_Dialog_Item_Rect(d, 2, &r);
  SetDialogItem(d, 2, userItem, reinterpret_cast<Handle>(Draw_System_Usr_Item), &r);
  // Room on the right for the vertical scroll bar.
  Rect view = r;
  view.right = SInt16(view.right - kScrollWidth);
  ListBounds bounds{0, 0, 0, 1};
  s->hList =
      LNew(&view, &bounds, Point{16, SInt16(view.right - view.left)}, 0, GetDialogWindow(d), true, false, false, true);
}

short Exit_System_Dialog(DialogRef d) {
  SYSTEM_WND_INFO* s = slot_of(d);
  if (s && s->hList) LDispose(s->hList);
  Close_Usr_Dialog(d);
  if (s) *s = SYSTEM_WND_INFO{};
  Setup_Menu_Status();
  return 1;
}
