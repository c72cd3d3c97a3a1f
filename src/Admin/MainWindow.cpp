// The main window and the repeated search.
#include "Admin/MainWindow.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "506Q_Lib/AppFiles.h"
#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/AdminMenu.h"
#include "Admin/AdminState.h"
#include "Admin/DeviceCommand.h"
#include "Admin/SearchConfig.h"
#include "common/AppMenus.h"
#include "common/AppWindows.h"
#include "common/IniFile.h"
#include "common/StrConv.h"
#include "toolbox/dialogs.h"
#include "toolbox/fonts.h"
#include "toolbox/pictures.h"
#include "toolbox/resources.h"
#include "toolbox/textencoding.h"
#include "toolbox/windows.h"

MAIN_DLG_INFO mainTbl{};
TOOL_BAR toolBarInfo{};
FONT_DATA gMFData{}, gSFData{};

namespace {

constexpr SInt16 kMainDialogID = 129;
constexpr DialogItemIndex kToolItem = 1;
constexpr DialogItemIndex kListItem = 2;
constexpr SInt16 kIconNoStatus = 140;
constexpr SInt16 kColumnCursor = 161;
constexpr SInt16 kHoverFrame = 200;
constexpr SInt16 kPressedFrame = 201;
constexpr UInt8 kStatusCapability = 0x40;
constexpr SInt16 kBandHeight = 62;
constexpr SInt16 kPanelPicture = 132;

struct SIMPLE_STAT_TBL {
  SInt16 iconID;
  const char* statKey;
};
constexpr SIMPLE_STAT_TBL mainStatTbl[31] = {
    {141, "VEMO_STAT00="}, {141, "VEMO_STAT01="}, {142, "VEMO_STAT02="}, {142, "VEMO_STAT03="},
    {142, "VEMO_STAT04="}, {145, "VEMO_STAT05="}, {145, "VEMO_STAT06="}, {143, "VEMO_STAT07="},
    {143, "VEMO_STAT08="}, {143, "VEMO_STAT09="}, {143, "VEMO_STAT10="}, {143, "VEMO_STAT11="},
    {144, "VEMO_STAT12="}, {144, "VEMO_STAT13="}, {142, "VEMO_STAT14="}, {142, "VEMO_STAT15="},
    {142, "VEMO_STAT16="}, {142, "VEMO_STAT17="}, {142, "VEMO_STAT18="}, {142, "VEMO_STAT19="},
    {142, "VEMO_STAT20="}, {142, "VEMO_STAT21="}, {142, "VEMO_STAT22="}, {142, "VEMO_STAT23="},
    {142, "VEMO_STAT24="}, {142, "VEMO_STAT25="}, {142, "VEMO_STAT26="}, {143, "VEMO_STAT27="},
    {144, "VEMO_STAT28="}, {142, "VEMO_STAT29="}, {145, "VEMO_STAT30="},
};

// Only these buttons can be pressed.
constexpr const char* kPressable[] = {"SEARCH", "PRINTER", "SYSTEM", "JCSETUP", "ENVIRONMENT", "HTML", "FTP",
                                      "FMANAGER"};

bool has_status(const PBOXinfo& box) { return (box.pbi_machine_type[15] & kStatusCapability) != 0; }

void to_pstr(Str255 out, const char* text) {
  std::size_t n = std::strlen(text);
  if (n > 255) n = 255;
  n = tb::CharCutLength(std::string_view(text), n);
  out[0] = static_cast<UInt8>(n);
  std::memcpy(out + 1, text, n);
}

bool pstr_equal(ConstStr255Param a, ConstStr255Param b) { return a[0] == b[0] && std::memcmp(a + 1, b + 1, a[0]) == 0; }

void status_text(Str255 out, UInt16 status) {
  out[0] = 0;
  Load_File_To_PascalEx("[STATUS]", Status_Key(status), out, 256, IniFileName);
}

WindowRef main_window() { return mainTbl.dlg ? GetDialogWindow(mainTbl.dlg) : nullptr; }

Rect port_rect() {
  Rect r{};
  if (mainTbl.dlg) GetPortBounds(GetDialogPort(mainTbl.dlg), &r);
  return r;
}

// The dialog's port current for the scope.
struct DialogPort : tb::PortSaver {
  explicit DialogPort(DialogRef dialog) : tb::PortSaver(GetDialogPort(dialog)) {}
};

// ---- Tool bar --------------------------------------------------------------

bool is_separator(const TOOL_CONTROL& t) { return t.disableIconID == 199; }

bool pressable(const char* title) {
  for (const char* k : kPressable)
    if (std::strcmp(title, k) == 0) return true;
  return false;
}

void plot_icon(SInt16 id, const Rect* r) {
  if (CIconHandle icon = GetCIcon(id)) {
    PlotCIcon(r, icon);
    DisposeCIcon(icon);
    // The icon keeps its own copy; the resource's data is not needed again.
    if (Handle data = GetResource('cicn', id)) ReleaseResource(data);
  }
}

void Draw_Tool_Icon(DialogRef dialog, TOOL_CONTROL& t) {
  DialogPort port(dialog);
  Rect r = t.ctlRect;
  InsetRect(&r, -3, -3);
  if (t.status == 2) {
    EraseRect(&r);
    plot_icon(t.disableIconID, &t.ctlRect);
  } else if (t.mouseStat == 0x20 && (t.status & 1)) {
    EraseRect(&r);
    plot_icon(t.enableIconID, &t.ctlRect);
  } else if (t.mouseStat == 0x10 && t.status == 1) {
    EraseRect(&r);
    plot_icon(kHoverFrame, &r);
    plot_icon(t.enableIconID, &t.ctlRect);
  } else if (t.mouseStat == 0x10 && (t.status & 4)) {
    EraseRect(&r);
    plot_icon(kPressedFrame, &r);
    plot_icon(t.invertIconID, &t.ctlRect);
  }
}

// The menu entry a button runs: the first item whose section is the
// button's keyword.
const admin::MENUINFO* Get_MenuInfo(const char* keyword) {
  const std::size_t n = std::strlen(keyword);
  for (auto& menu : admin::MeInfo)
    for (auto& item : menu) {
      if (!item.cPopMen[0]) continue;
      // Sections are kept in square brackets: compare the name inside.
      const char* name = item.cPopMen[0] == '[' ? item.cPopMen + 1 : item.cPopMen;
      if (std::strncmp(name, keyword, n) == 0 && (name[n] == ']' || name[n] == 0)) return &item;
    }
  return nullptr;
}

// One tool's section (named after it) of the language file.
void Get_Tool_CommandEx(const char* name, admin::MENUINFO* out) {
  char section[40];
  std::snprintf(section, sizeof section, "[%s]", name);
  char value[257] = "";
  if (Load_File_To_CstringEx(section, "MENU_STR=", value, sizeof value, IniFileName)) {
    char clean[257];
    DeleteAnd(clean, value);
    const std::size_t n =
        std::min<std::size_t>(std::strlen(clean), std::min<std::size_t>(63, sizeof out->cTotalMen - 1));
    out->cTotalMen[0] = static_cast<UInt8>(n);
    std::memcpy(out->cTotalMen + 1, clean, n);
  }
  auto text = [&](const char* key, char* to, std::size_t size) {
    value[0] = 0;
    if (Load_File_To_CstringEx(section, key, value, sizeof value, IniFileName)) std::snprintf(to, size, "%s", value);
  };
  text("EXEC=", out->cExec, sizeof out->cExec);
  text("OPTION=", out->cOption, sizeof out->cOption);
  text("TYPE=", out->cType, sizeof out->cType);
  text("SHORT=", out->cShortCut, sizeof out->cShortCut);
  value[0] = 0;
  if (Load_File_To_CstringEx(section, "ICON=", value, sizeof value, IniFileName)) out->iIcon = std::atoi(value);
}

void Create_Tool_Bar(DialogRef dialog) {
  toolBarInfo = TOOL_BAR{};
  toolBarInfo.using_ = 1;
  toolBarInfo.actionNum = -1;
  char list[512] = "";
  if (!Load_File_To_CstringEx("[TOOLBAR_MENU]", "SUB_MENU=", list, sizeof list, IniFileName)) return;
  Rect area;
  Get_Dialog_Item_Rect(dialog, kToolItem, &area);
  short x = area.left;
  int count = 0;
  for (char* p = list; *p && count < kToolMax;) {
    char* comma = std::strchr(p, ',');
    if (comma) *comma = 0;
    TOOL_CONTROL& t = toolBarInfo.toolData[count];
    std::size_t n = std::strlen(p);
    if (n >= sizeof t.title) n = sizeof t.title - 1;
    std::memcpy(t.title, p, n);
    t.title[n] = 0;
    admin::MENUINFO command{};
    Get_Tool_CommandEx(t.title, &command);
    const int icon = command.iIcon;
    t.viewFlag = std::strcmp(command.cType, "SELECT") == 0;
    const bool separator = std::strcmp(t.title, "---") == 0;
    if (icon >= 1 && icon <= 8) {
      t.disableIconID = static_cast<SInt16>(207 + 4 * icon);
      t.enableIconID = static_cast<SInt16>(208 + 4 * icon);
      t.invertIconID = static_cast<SInt16>(209 + 4 * icon);
    } else if (separator) {
      t.disableIconID = 199, t.enableIconID = 200, t.invertIconID = 201;
    } else {
      t.disableIconID = 200, t.enableIconID = 201, t.invertIconID = 202;
    }
    if (is_separator(t)) {
      t.ctlRect = Rect{area.top, x, static_cast<short>(area.top + 24), static_cast<short>(x + 2)};
      x = static_cast<short>(x + 8);
    } else {
      t.ctlRect = Rect{area.top, x, static_cast<short>(area.top + 24), static_cast<short>(x + 24)};
      x = static_cast<short>(x + 32);
    }
    t.toolNum = static_cast<SInt16>(count + 1);
    t.status = 1;
    t.mouseStat = 0x20;
    t.using_ = 1;
    ++count;
    if (!comma) break;
    p = comma + 1;
  }
  toolBarInfo.toolCnt = static_cast<SInt16>(count);
}

void Draw_Tool_Bar(DialogRef dialog) {
  const bool selected = Get_PBOX_Select_Count() != 0;
  for (TOOL_CONTROL& t : toolBarInfo.toolData) {
    if (t.toolNum == 0) break;
    if (is_separator(t)) {
      DialogPort port(dialog);
      plot_icon(199, &t.ctlRect);
      continue;
    }
    SInt16 status;
    bool keep;
    const admin::MENUINFO* info = Get_MenuInfo(t.title);
    if (info && !admin::Check_External_Function(info)) {
      status = 2;
      keep = t.status == 2 || t.status == 4;
    } else if (selected) {
      status = 1;
      keep = t.status == 1 || t.status == 4;
    } else if (t.viewFlag) {
      status = 2;
      keep = t.status == 2;
    } else {
      status = 1;
      keep = t.status == 2;
    }
    if (!keep) {
      t.status = status;
      t.mouseStat = 0x20;
      Draw_Tool_Icon(dialog, t);
    }
  }
}

void Draw_Header(DialogRef dialog) {
  DialogPort port(dialog);
  const Rect pr = port_rect();
  Rect band{pr.top, pr.left, static_cast<short>(pr.top + kBandHeight), pr.right};
  EraseRect(&band);
  for (TOOL_CONTROL& t : toolBarInfo.toolData) {
    if (t.toolNum == 0) break;
    if (is_separator(t)) {
      t.status = 2;
      plot_icon(199, &t.ctlRect);
      continue;
    }
    t.status = t.viewFlag ? 2 : 1;
    t.mouseStat = 0x20;
    Draw_Tool_Icon(dialog, t);
  }
  MoveTo(pr.left, static_cast<short>(pr.top + 2));
  LineTo(pr.right, static_cast<short>(pr.top + 2));
  MoveTo(pr.left, static_cast<short>(pr.top + 36));
  LineTo(pr.right, static_cast<short>(pr.top + 36));
}

int Get_Click_Tool_Icon(Point local) {
  for (int i = 0; i < kToolMax && toolBarInfo.toolData[i].toolNum; ++i) {
    const TOOL_CONTROL& t = toolBarInfo.toolData[i];
    if (t.status != 2 && !is_separator(t) && PtInRect(local, &t.ctlRect)) return i;
  }
  return -1;
}

// ---- Status bar ------------------------------------------------------------

void Create_Status_Bar() {
  const Rect pr = port_rect();
  STATUS_DATA& s = mainTbl.statusBar;
  s.statRect = Rect{static_cast<short>(pr.bottom - 14), pr.left, pr.bottom, static_cast<short>(pr.right - 15)};
  const short u = static_cast<short>((s.statRect.right - s.statRect.left) / 8);
  const short l = s.statRect.left;
  s.cntRect = Rect{s.statRect.top, l, s.statRect.bottom, static_cast<short>(l + 4 * u)};
  s.eNetRect = Rect{s.statRect.top, static_cast<short>(l + 4 * u), s.statRect.bottom, static_cast<short>(l + 6 * u)};
  s.ipAddrRect = Rect{s.statRect.top, static_cast<short>(l + 6 * u), s.statRect.bottom, s.statRect.right};
  s.cntWidth = static_cast<short>(s.cntRect.right - s.cntRect.left);
  s.eNetWidth = static_cast<short>(s.eNetRect.right - s.eNetRect.left);
  s.ipAddrWidth = static_cast<short>(s.ipAddrRect.right - s.ipAddrRect.left);
}

// A panel of the status bar in the current port, framed by picture 132
// (14 x 16): its corners kept, its edges and its middle stretched to the
// panel.
void DrawPictur(const Rect& r) {
  const short w = static_cast<short>(r.right - r.left), h = static_cast<short>(r.bottom - r.top);
  if (w < 8 || h < 8) return;
  PicHandle pic = GetPicture(kPanelPicture);
  if (!pic) return;
  const Rect pictRect{0, 0, 16, 14}, panelRect{0, 0, h, w};
  tb::OwnedGWorld piece(pictRect), panel(panelRect);
  if (piece.get() && panel.get()) {
    CGrafPtr port = GetQDGlobalsThePort();
    {
      tb::PortSaver saved;
      SetGWorld(piece.get(), nullptr);
      EraseRect(&pictRect);
      DrawPicture(pic, &pictRect);
      struct Piece {
        Rect from, to;
      };
      const short b = static_cast<short>(h - 4), rt = static_cast<short>(w - 4);
      const Piece pieces[] = {
          {{0, 0, 4, 4}, {0, 0, 4, 4}},     {{11, 0, 16, 4}, {b, 0, h, 4}},  {{5, 0, 10, 4}, {4, 0, b, 4}},
          {{0, 5, 16, 9}, {0, 4, h, rt}},   {{0, 10, 4, 14}, {0, rt, 4, w}}, {{11, 10, 16, 14}, {b, rt, h, w}},
          {{5, 10, 10, 14}, {4, rt, b, w}},
      };
      for (const Piece& p : pieces) CopyBits(piece.bits(), panel.bits(), &p.from, &p.to, srcCopy, nullptr);
    }
    RGBColor fore, back;
    GetForeColor(&fore);
    GetBackColor(&back);
    const RGBColor black{0, 0, 0}, white{0xFFFF, 0xFFFF, 0xFFFF};
    RGBForeColor(&black);
    RGBBackColor(&white);
    CopyBits(panel.bits(), GetPortBitMapForCopyBits(port), &panelRect, &r, srcCopy, nullptr);
    RGBForeColor(&fore);
    RGBBackColor(&back);
  }
  ReleaseResource(reinterpret_cast<Handle>(pic));
}

void draw_panel_text(const Rect& r, const char* text) {
  TextFont(static_cast<short>(gSFData.fontID));
  TextSize(static_cast<short>(gSFData.fSize));
  TextFace(static_cast<Style>(gSFData.styleID));
  FontInfo fi;
  GetFontInfo(&fi);
  Str255 s;
  to_pstr(s, text);
  const short width = static_cast<short>(r.right - r.left);
  if (StringWidth(s) > width) {
    // Cut to k - 3 characters, k the shortest length that no longer fits.
    std::size_t k = 1;
    while (k < s[0] && TextWidth(s + 1, 0, static_cast<short>(k)) <= width) ++k;
    std::size_t keep = k > 3 ? k - 3 : 0;
    keep = tb::CharCutLength(std::string_view(reinterpret_cast<const char*>(s + 1), s[0]), keep);
    s[0] = static_cast<UInt8>(keep);
  }
  MoveTo(static_cast<short>(r.left + 4), static_cast<short>(r.bottom - (fi.ascent - fi.descent) / 2));
  DrawString(s);
}

// "COUNT=" with its one "%d"; a text with any other conversion gives the
// built-in one.
std::string count_text(int count) {
  char format[256] = "";
  if (!Load_File_To_CstringEx("[STATIC]", "COUNT=", format, sizeof format, IniFileName)) std::strcpy(format, "Get %d print server");
  std::string f = format;
  std::size_t at = f.find("%d");
  bool ok = at != std::string::npos;
  for (std::size_t i = f.find('%'); ok && i != std::string::npos; i = f.find('%', i + 1))
    if (i != at) ok = false;
  if (!ok) {
    f = "Get %d print server";
    at = f.find("%d");
  }
  return f.substr(0, at) + std::to_string(count) + f.substr(at + 2);
}

void Draw_Server_Count() {
  if (!mainTbl.dlg) return;
  DialogPort port(mainTbl.dlg);
  DrawPictur(mainTbl.statusBar.cntRect);
  draw_panel_text(mainTbl.statusBar.cntRect, count_text(CLGetCount(mainTbl.pservList)).c_str());
}

void Draw_Status_Pbox() {
  if (!mainTbl.dlg) return;
  DialogPort port(mainTbl.dlg);
  DrawPictur(mainTbl.statusBar.eNetRect);
  DrawPictur(mainTbl.statusBar.ipAddrRect);
  Cell cell{0, 0};
  if (!mainTbl.pservList || !CLGetSelect(mainTbl.pservList, &cell, true)) return;
  PBOXinfo* box = Get_PBOX_Select_Data();
  if (!box) return;
  char mac[24], ip[20], text[64];
  mactoa(box->pbi_nodeaddr, mac);
  iptoa(box->pbi_ip_addr, ip);
  std::snprintf(text, sizeof text, "E/A [%s]", mac);
  draw_panel_text(mainTbl.statusBar.eNetRect, text);
  std::snprintf(text, sizeof text, "IP [%s]", ip);
  draw_panel_text(mainTbl.statusBar.ipAddrRect, text);
}

void Status_Bar_Init() {
  if (!mainTbl.dlg) return;
  DialogPort port(mainTbl.dlg);
  DrawPictur(mainTbl.statusBar.cntRect);
  DrawPictur(mainTbl.statusBar.eNetRect);
  DrawPictur(mainTbl.statusBar.ipAddrRect);
}

void Draw_Status_Bar() {
  Draw_Server_Count();
  Draw_Status_Pbox();
}

// ---- List ------------------------------------------------------------------

void Create_Server_List(DialogRef dialog) {
  const Rect pr = port_rect();
  Rect r{static_cast<short>(pr.top + 40), pr.left, static_cast<short>(pr.bottom - 15), pr.right};
  SetDialogItem(dialog, kListItem, userItem, nullptr, &r);
  mainTbl.pservList = CLNew(GetDialogWindow(dialog), &r, Point{18, static_cast<short>(r.right - r.left)}, false, true,
                            false);
  if (!mainTbl.pservList) return;
  const SInt16 font = static_cast<SInt16>(gMFData.fontID);
  const Style face = static_cast<Style>(gMFData.styleID);
  const SInt16 size = static_cast<SInt16>(gMFData.fSize);
  CLSetFont(mainTbl.pservList, &font, &face, &size);
  struct Column {
    const char* key;
    SInt16 width;
  };
  constexpr Column kColumns[] = {
      {"PRINTER_STATUS=", 150}, {"MODEL_NAME=", 140}, {"EA_ADDRESS=", 140}, {"IP_ADDRESS=", 140}};
  for (const Column& c : kColumns) {
    Str255 title = {0};
    Load_File_To_PascalEx("[LABEL]", c.key, title, 256, IniFileName);
    CLAddColumn(mainTbl.pservList, title, c.width, kCLSortText);
  }
  CLSetHeaderPictID(mainTbl.pservList, 141, 141, 140);
  CLSetColumnHeight(mainTbl.pservList, 20);
}

// The cells the last merge rewrote, the only ones to draw again.
std::vector<Cell> gChangedCells;

void note_change(SInt16 row, SInt16 column) {
  for (const Cell& c : gChangedCells)
    if (c.v == row && c.h == column) return;
  gChangedCells.push_back(Cell{row, column});
}

// What the last merge was made from. The merge only reads the table's
// entries it walks and the list's rows, and only it and a new search change
// those rows: the same entries over the same rows would merge to the rows
// the list shows, so an idle pass that finds them unchanged does nothing.
struct MergeSource {
  const CLIST_DATA* list = nullptr;
  const PBOXinfo* table = nullptr;
  SInt16 rows = -1;
  std::vector<PBOXinfo> walked;
};
MergeSource gLastMerge;

bool same_merge_source(const MAIN_DLG_INFO* m, const PBOXinfo* table, SInt16 rows, int walked) {
  const MergeSource& last = gLastMerge;
  return last.list == m->pservList && last.table == table && last.rows == rows &&
         last.walked.size() == std::size_t(walked) &&
         (walked == 0 || std::memcmp(last.walked.data(), table, sizeof(PBOXinfo) * std::size_t(walked)) == 0);
}

void note_merge_source(const MAIN_DLG_INFO* m, const PBOXinfo* table, SInt16 rows, int walked) {
  gLastMerge.list = m->pservList;
  gLastMerge.table = table;
  gLastMerge.rows = rows;
  gLastMerge.walked.assign(table, table + walked);
}

// A cell's text and a row's icon, set only when they differ from what the
// row shows.
void put_text(SInt16 row, SInt16 column, ConstStr255Param text) {
  Str255 cell;
  SInt16 len = 255;
  if (CLGetCellOne(mainTbl.pservList, cell, &len, Cell{row, column}) >= 0 && pstr_equal(cell, text)) return;
  CLSetCellOne(mainTbl.pservList, Cell{row, column}, text);
  note_change(row, column);
}

void put_icon(SInt16 row, SInt16 iconID) {
  if (CLGetIconID(mainTbl.pservList, row) == iconID) return;
  CLSetCIconData(mainTbl.pservList, iconID, row, 16, 16);
  note_change(row, 0);
}

void set_status_cell(SInt16 row, const PBOXinfo& box, bool withText) {
  const UInt16 s = box.pbi_status > 30 ? 0 : box.pbi_status;
  if (withText) {
    Str255 text;
    status_text(text, s);
    put_text(row, 0, text);
  }
  put_icon(row, Status_Icon(s));
}

void set_no_status(SInt16 row, const PBOXinfo& box) {
  put_icon(row, kIconNoStatus);
  if (has_status(box)) {
    Str255 text;
    status_text(text, 0);
    put_text(row, 0, text);
  }
}

// ---- Search ----------------------------------------------------------------

// One search slot's four fields seen together.
struct SEARCH_SLOT {
  Boolean& send;
  UInt32& tick;
  JCPEPInfo*& conf;
  Boolean& needKill;
};
SEARCH_SLOT udp_slot(MAIN_DLG_INFO* m) { return {m->udpSend, m->udpTick, m->jcudpConf, m->bUdpNeedKillIOEvent}; }
SEARCH_SLOT dis_slot(MAIN_DLG_INFO* m) { return {m->disSend, m->disTick, m->jcdisConf, m->bDisNeedKillIOEvent}; }
SEARCH_SLOT ddp_slot(MAIN_DLG_INFO* m) { return {m->ddpSend, m->ddpTick, m->jcddpConf, m->bDdpNeedKillIOEvent}; }

void start_slot(SEARCH_SLOT slot, short protocol, UInt16 port) {
  if (!slot.conf || !JCP_IsTerminated(slot.conf)) return;
  JCP_ClearContext(slot.conf);
  slot.needKill = 0;
  slot.send = SearchPBOX(slot.conf, mainTbl.pboxTbl, PboxTblMax, protocol, port) ? 1 : 0;
  if (slot.send) slot.tick = TickCount();
}

void Get_Search_Data(MAIN_DLG_INFO* m) {
  if (ConfigData.Protocol_1 == 1) {
    start_slot(udp_slot(m), PBOX_PROTO_TCPIP, JCP_UDP_PORT);
    start_slot(dis_slot(m), PBOX_PROTO_TCPIP, JCP_UDP_PORT_OLD);
  }
  if (ConfigData.Protocol_2 == 1) start_slot(ddp_slot(m), PBOX_PROTO_ATALK, 0);
  m->pollTick = TickCount();
}

SInt16 Get_Search_Result(MAIN_DLG_INFO* m, SEARCH_SLOT slot) {
  if (!slot.conf) return 0;
  if (!slot.needKill) {
    if (!slot.send) return 0;
    JCP_PendingLoop(slot.conf);
    if (slot.conf->isTimeout) slot.send = 0;
    return static_cast<SInt16>(slot.conf->found);
  }
  if (JCP_IsTerminated(slot.conf)) {
    slot.needKill = 0;
    JCP_ClearContext(slot.conf);
    Set_Print_List_Value(m);
  }
  return 0;
}

// ---- Window handlers ---------------------------------------------------------

void Draw_Machine_Data(DialogRef dialog) {
  if (mainTbl.pservList) CLUpdate(mainTbl.pservList, nullptr, 0);
  Draw_Tool_Bar(dialog);
}

short Handle_Main_Active(DialogRef dialog, EventRecord*) {
  DialogPort port(dialog);
  DrawGrowIcon(GetDialogWindow(dialog));
  return 1;
}

short Handle_Main_Close(DialogRef, EventRecord*) {
  admin::Execution_Internal_Fanction(admin::kCmdExit);
  return 1;
}

Boolean Handle_Main_Key_Input(DialogRef, EventRecord*) { return 0; }

short Handle_Main_Resize(DialogRef dialog, EventRecord* event) {
  WindowRef window = GetDialogWindow(dialog);
  Rect limits{150, 300, g_qdBitmap.bounds.bottom, g_qdBitmap.bounds.right};
  const Rect before = port_rect();
  long size = GrowWindow(window, event->where, &limits);
  if (size == 0) return 1;
  const short w = static_cast<short>(size & 0xFFFF), h = static_cast<short>((size >> 16) & 0xFFFF);
  SizeWindow(window, w, h, true);
  const short dw = static_cast<short>(w - (before.right - before.left));
  const short dh = static_cast<short>(h - (before.bottom - before.top));
  if (mainTbl.pservList) {
    Rect r;
    CLGetRect(mainTbl.pservList, &r, true, true, true);
    r.right = static_cast<short>(r.right + dw);
    r.bottom = static_cast<short>(r.bottom + dh);
    CLResize(mainTbl.pservList, &r);
    SetDialogItem(dialog, kListItem, userItem, nullptr, &r);
  }
  Create_Status_Bar();
  const Rect all = port_rect();
  InvalWindowRect(window, &all);
  return 1;
}

}  // namespace

SInt16 Status_Icon(UInt16 status) { return mainStatTbl[status > 30 ? 0 : status].iconID; }
const char* Status_Key(UInt16 status) { return mainStatTbl[status > 30 ? 0 : status].statKey; }

// Claims the window's record: refused while it is in use or has a dialog.
bool Get_Main_Table() {
  if (mainTbl.using_ == 1 || mainTbl.dlg) return false;
  mainTbl.psCount = 0;
  mainTbl.using_ = 1;
  return true;
}

short Open_Main_Window() {
  if (!Get_Main_Table()) return 0;
  mainTbl.pboxTbl = static_cast<PBOXinfo*>(std::calloc(static_cast<std::size_t>(PboxTblMax), sizeof(PBOXinfo)));
  mainTbl.old_status = static_cast<UInt16*>(std::calloc(static_cast<std::size_t>(PboxTblMax), sizeof(UInt16)));
  if (!mainTbl.pboxTbl || !mainTbl.old_status) {
    std::free(mainTbl.pboxTbl);
    std::free(mainTbl.old_status);
    mainTbl = MAIN_DLG_INFO{};
    return 0;
  }
  // A context that cannot be had leaves its slot never started.
  for (SEARCH_SLOT s : {udp_slot(&mainTbl), dis_slot(&mainTbl), ddp_slot(&mainTbl)}) {
    s.send = s.needKill = 0;
    s.tick = 0;
    s.conf = new (std::nothrow) JCPEPInfo{};
  }
  mainTbl.sendFlag = 0;
  mainTbl.pollTick = 0;

  Str255 title;
  if (Get_Setup_Mode() == 0)
    Get_Ini_Text(title, "[TITLE]", "GUEST=", 0, "VEMO-ADMIN [ User Mode ]");
  else
    Get_Ini_Text(title, "[TITLE]", "ADMIN=", 0, "VEMO-ADMIN");
  DialogRef dialog = admin::Open_Usr_Dialog(kMainDialogID, title, Handle_Main_Select_Item, nullptr, Handle_Main_Update,
                                            Handle_Main_Active, Handle_Main_Close, Handle_Main_Key_Input,
                                            Handle_Main_Resize);
  if (!dialog) {
    DeinitMain();
    return 0;
  }
  mainTbl.dlg = dialog;
  Set_Content_Color(dialog);
  Set_Usr_Window_RefCon(dialog, &mainTbl);
  gMFData = FONT_DATA{};
  gSFData = FONT_DATA{};
  Get_Font_Infomation("MAINWIN=", &gMFData);
  Get_Font_Infomation("MAINSTAT=", &gSFData);
  Create_Tool_Bar(dialog);
  Create_Server_List(dialog);
  Create_Status_Bar();
  ShowWindow(GetDialogWindow(dialog));
  Draw_Header(dialog);
  if (mainTbl.pservList) CLUpdate(mainTbl.pservList, nullptr, 1);
  return 1;
}

void DeinitMain() {
  if (mainTbl.dlg) {
    if (mainTbl.pservList) CLDispose(mainTbl.pservList);
    Close_Usr_Dialog(mainTbl.dlg);
  }
  for (SEARCH_SLOT s : {udp_slot(&mainTbl), dis_slot(&mainTbl), ddp_slot(&mainTbl)}) {
    if (s.conf && !JCP_IsTerminated(s.conf)) JCP_KillIOEvent(s.conf);
    delete s.conf;
  }
  std::free(mainTbl.pboxTbl);
  std::free(mainTbl.old_status);
  mainTbl = MAIN_DLG_INFO{};
  toolBarInfo = TOOL_BAR{};
  gLastMerge = MergeSource{};
}

DialogRef Get_Open_Main_Dialog() { return mainTbl.dlg; }
MAIN_DLG_INFO* Get_Open_Main_Tbl() { return mainTbl.dlg ? &mainTbl : nullptr; }
PBOXinfo* Get_Pbox_Table() { return mainTbl.dlg ? mainTbl.pboxTbl : nullptr; }

short Get_PBOX_Select_Count() {
  if (!mainTbl.dlg || !mainTbl.pservList) return 0;
  Cell cell{0, 0};
  return CLGetSelect(mainTbl.pservList, &cell, true) ? 1 : 0;
}

PBOXinfo* Get_PBOX_Select_Data() {
  if (!mainTbl.dlg || !mainTbl.pservList) return nullptr;
  Cell cell{0, 0};
  if (!CLGetSelect(mainTbl.pservList, &cell, true)) return nullptr;
  return reinterpret_cast<PBOXinfo*>(CLGetReference(mainTbl.pservList, cell.v));
}

short Set_Print_List_Value(MAIN_DLG_INFO* mInfo) {
  Get_Search_Data(mInfo);
  return 1;
}

short Build_PrintServer_List(MAIN_DLG_INFO* m, PBOXinfo* table) {
  gChangedCells.clear();
  if (!m || !table || !m->pservList) return 0;
  SInt16 n = CLGetCount(m->pservList);
  const int bound = n + m->newCount;
  int walked = 0;
  while (walked < bound && walked < PboxTblMax && table[walked].pbi_inuse) ++walked;
  if (same_merge_source(m, table, n, walked)) return 0;
  short added = 0;
  for (int i = 0; i < walked; ++i) {
    PBOXinfo& box = table[i];
    char mac[24], ip[20];
    mactoa(box.pbi_nodeaddr, mac);
    iptoa(box.pbi_ip_addr, ip);
    Str255 macText, ipText;
    to_pstr(macText, mac);
    to_pstr(ipText, ip);
    SInt16 row = -1;
    for (SInt16 r = 0; r < n; ++r) {
      Str255 cell;
      SInt16 len = 255;
      CLGetCellOne(m->pservList, cell, &len, Cell{r, 2});
      if (pstr_equal(cell, macText)) {
        row = r;
        break;
      }
    }
    if (row >= 0) {
      Str255 shownIp;
      SInt16 len = 255;
      const bool ipChanged =
          CLGetCellOne(m->pservList, shownIp, &len, Cell{row, 3}) < 0 || !pstr_equal(shownIp, ipText);
      // The icon follows the box's state: a box that was given an address
      // (or lost it) shows its status anew, even when the status is the same.
      if (box.pbi_status != m->old_status[i] || ipChanged || box.pbi_ip_addr == 0) {
        m->old_status[i] = box.pbi_status;
        if (has_status(box) && box.pbi_ip_addr != 0)
          set_status_cell(row, box, true);
        else
          set_no_status(row, box);
      }
      put_text(row, 3, ipText);
      continue;
    }
    row = n;
    m->old_status[i] = box.pbi_status;
    if (has_status(box) && box.pbi_ip_addr != 0) {
      set_status_cell(row, box, true);
    } else {
      Str255 text;
      status_text(text, 0);
      CLSetCellOne(m->pservList, Cell{row, 0}, text);
      CLSetCIconData(m->pservList, kIconNoStatus, row, 16, 16);
    }
    Str255 nameText;
    to_pstr(nameText, PBOXNameText(box).c_str());
    CLSetCellOne(m->pservList, Cell{row, 1}, nameText);
    CLSetCellOne(m->pservList, Cell{row, 2}, macText);
    CLSetCellOne(m->pservList, Cell{row, 3}, ipText);
    CLSetReference(m->pservList, row, reinterpret_cast<long>(&box));
    ++n;
    ++added;
  }
  note_merge_source(m, table, n, walked);
  return added;
}

void Update_Main_Dialog() {
  if (!mainTbl.dlg) return;
  MAIN_DLG_INFO* m = &mainTbl;
  const UInt32 now = TickCount();
  if (m->pollTick == 0 || now - m->pollTick > static_cast<UInt32>(ConfigData.pollTime) * 60u) {
    Set_Print_List_Value(m);
    return;
  }
  int count = 0;
  if (ConfigData.Protocol_1) {
    count += Get_Search_Result(m, udp_slot(m));
    count += Get_Search_Result(m, dis_slot(m));
  }
  if (ConfigData.Protocol_2) count += Get_Search_Result(m, ddp_slot(m)) + 1;
  m->newCount = static_cast<SInt16>(count);
  const short added = Build_PrintServer_List(m, m->pboxTbl);
  if (!m->pservList) return;
  if (added > 0) {
    {
      DialogPort port(m->dlg);
      CLUpdate(m->pservList, nullptr, 0);
    }
    m->psCount = CLGetCount(m->pservList);
    Draw_Status_Bar();
    return;
  }
  // An unchanged list draws nothing; a changed one only its changed cells,
  // and the status bar when they are the selected box's.
  if (gChangedCells.empty()) return;
  Cell selected{0, 0};
  const bool hasSelection = CLGetSelect(m->pservList, &selected, true);
  bool selectedChanged = false;
  {
    DialogPort port(m->dlg);
    for (const Cell& c : gChangedCells) {
      CLUpdateCell(m->pservList, c);
      selectedChanged = selectedChanged || (hasSelection && c.v == selected.v);
    }
  }
  if (selectedChanged) Draw_Status_Pbox();
}

void Search_Again_PBOX() {
  if (!mainTbl.dlg) return;
  InitPBOXtable(mainTbl.pboxTbl, PboxTblMax);
  std::memset(mainTbl.old_status, 0, sizeof(UInt16) * static_cast<std::size_t>(PboxTblMax));
  if (mainTbl.pservList) {
    CLDelRow(mainTbl.pservList, 0, 0);
    DialogPort port(mainTbl.dlg);
    CLUpdate(mainTbl.pservList, nullptr, 0);
  }
  Draw_Tool_Bar(mainTbl.dlg);
  Status_Bar_Init();
  Setup_Menu_Status();
  mainTbl.psCount = 0;
  mainTbl.pollTick = 0;
  bool running = false;
  for (SEARCH_SLOT s : {udp_slot(&mainTbl), dis_slot(&mainTbl), ddp_slot(&mainTbl)}) {
    if (s.conf && !JCP_IsTerminated(s.conf)) {
      s.needKill = 1;
      JCP_KillIOEvent(s.conf);
      running = true;
    }
  }
  if (!running) {
    Update_Main_Dialog();
  } else {
    // The new cycle starts once an aborted search has ended.
    mainTbl.pollTick = TickCount();
  }
  Draw_Status_Bar();
}

short Handle_Main_Update(DialogRef dialog, EventRecord*) {
  WindowRef window = GetDialogWindow(dialog);
  DialogPort port(dialog);
  BeginUpdate(window);
  const Rect pr = port_rect();
  EraseRect(&pr);
  Draw_Header(dialog);
  Draw_Machine_Data(dialog);
  Draw_Status_Bar();
  if (mainTbl.pservList) CLUpdate(mainTbl.pservList, nullptr, 1);
  DrawGrowIcon(window);
  DrawControls(window);
  EndUpdate(window);
  return 1;
}

void Main_Window_Update() {
  if (!mainTbl.dlg) return;
  const Rect pr = port_rect();
  InvalWindowRect(main_window(), &pr);
}

short Handle_Main_Mouse_Move(DialogRef dialog, EventRecord* event) {
  if (!dialog || !event) return 0;
  DialogPort port(dialog);
  Point local = event->where;
  GlobalToLocal(&local);
  const Rect pr = port_rect();
  WindowRef hitWindow = nullptr;
  const bool inside = FindWindow(event->where, &hitWindow) == inContent && hitWindow == main_window() &&
                      PtInRect(local, &pr);
  short decided = 0;
  for (TOOL_CONTROL& t : toolBarInfo.toolData) {
    if (t.toolNum == 0) break;
    if (t.status == 2 || is_separator(t)) continue;
    SInt16 stat;
    if (!inside) {
      if (t.mouseStat != 0x10) continue;
      stat = 0x20;
    } else if (!PtInRect(local, &t.ctlRect)) {
      stat = 0x20;
    } else if (toolBarInfo.actionNum == -1 || &toolBarInfo.toolData[toolBarInfo.actionNum] == &t) {
      stat = 0x10;
    } else {
      continue;
    }
    decided = 1;
    if (stat != t.mouseStat) {
      t.mouseStat = stat;
      Draw_Tool_Icon(dialog, t);
    }
  }
  return decided;
}

short Handle_Main_Column_Cursol(DialogRef dialog, EventRecord* event) {
  if (!dialog || !event || !mainTbl.pservList) return 0;
  DialogPort port(dialog);
  Point local = event->where;
  GlobalToLocal(&local);
  if (CLIsHeaderMovable(mainTbl.pservList, local)) {
    if (CursHandle c = GetCursor(kColumnCursor)) SetCursor(*c);
  } else {
    Set_Arrow_Cursor();
  }
  return 0;
}

Boolean Handle_Main_Select_Item(DialogRef dialog, EventRecord* event, DialogItemIndex item) {
  if (!dialog || !event) return 0;
  DialogPort port(dialog);
  Point local = event->where;
  GlobalToLocal(&local);
  Rect listRect{};
  if (mainTbl.pservList) CLGetRect(mainTbl.pservList, &listRect, true, true, true);
  if (item == kListItem || (mainTbl.pservList && PtInRect(local, &listRect))) {
    if (!mainTbl.pservList) return 0;
    Cell cell{0, 0};
    SInt16 sortPart = 0;
    const Boolean dbl = CLMouseDown(mainTbl.pservList, event, &cell, &sortPart, false);
    Cell sel{0, 0};
    if (dbl && CLGetSelect(mainTbl.pservList, &sel, true)) admin::Click_Menu_Bar_Item(132, 1);
    if (mainTbl.dlg) {
      Draw_Tool_Bar(mainTbl.dlg);
      Draw_Status_Pbox();
      Setup_Menu_Status();
    }
    return 1;
  }
  if (item == kToolItem || local.v < 40) return Handle_Main_Tool_Select(dialog, Get_Click_Tool_Icon(local));
  return 0;
}

Boolean Handle_Main_Tool_Select(DialogRef dialog, int i) {
  if (i < 0 || !pressable(toolBarInfo.toolData[i].title)) return 0;
  toolBarInfo.actionNum = static_cast<SInt16>(i);
  toolBarInfo.toolData[i].status = 5;
  toolBarInfo.toolData[i].mouseStat = 0x10;
  Draw_Tool_Icon(dialog, toolBarInfo.toolData[i]);
  return 1;
}

void Handle_Main_Tool_Select2(DialogRef dialog, int i) {
  TOOL_CONTROL& t = toolBarInfo.toolData[i];
  if (!pressable(t.title)) return;
  Draw_Tool_Icon(dialog, t);
  Click_Tool_Item_Number(t.title);
}

void Click_Tool_Item_Number(const char* keyword) {
  if (const admin::MENUINFO* info = Get_MenuInfo(keyword)) admin::Execution_Fanction(info);
}

short Handle_Main_Select_Item2(DialogRef dialog, EventRecord* event) {
  if (!dialog || !event || !Get_Active_Application()) return 0;
  Point local = event->where;
  {
    tb::PortSaver port(GetDialogPort(dialog));
    GlobalToLocal(&local);
  }
  int released = -1;
  for (int i = 0; i < kToolMax && toolBarInfo.toolData[i].toolNum; ++i) {
    TOOL_CONTROL& t = toolBarInfo.toolData[i];
    if (t.status == 2) continue;
    if (!PtInRect(local, &t.ctlRect)) {
      t.mouseStat = 0x20;
      if (t.status & 4) t.status = 1;
    } else if (released < 0 && (t.status & 4)) {
      t.status = 1;
      t.mouseStat = 0x20;
      released = i;
    }
  }
  toolBarInfo.actionNum = -1;
  if (released >= 0) {
    Handle_Main_Tool_Select2(dialog, released);
  } else {
    // A press that ended outside its button: every button shows normal.
    if (mainTbl.dlg) Draw_Tool_Bar(mainTbl.dlg);
  }
  return 0;
}
