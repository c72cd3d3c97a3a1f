// The consumables window: its record, the rows and gauges it shows for a
// decoded printer state, opening centred on its status window, refreshing
// when the values change and closing.
#include "Monitor/ConsumWindow.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "common/AppWindows.h"
#include "common/IniFile.h"
#include "Monitor/DialogUtil.h"
#include "Monitor/StatusText.h"
#include "OT/DrawUtil.h"
#include "toolbox/fonts.h"
#include "toolbox/icons.h"
#include "toolbox/pictures.h"
#include "toolbox/quickdraw.h"
#include "toolbox/trace.h"
#include "toolbox/windows.h"

namespace {

// Template items of the dialog.
enum : DialogItemIndex {
  kItemOK = 1,
  kItemInkIcon = 2,
  kItemInkName = 3,
  kItemInkGauge = 4,
  kItemPaperIcon = 6,
  kItemPaperName = 7,
  kItemPaperGauge = 8,
  kItemPaperSize = 10,
  kItemPanel1 = 11,
  kItemDispName = 12,
  kItemDispGauge = 13,
  kItemPanel2 = 15,
  kItemSupply = 16,
  kItemZan = 17,
  kItemBoxIcon = 18,
  kItemBox = 19,
  kItemDrumSize = 20,
  kItemDrumInk = 21,
  kItemGroup = 22,
  kItemDrumInfo = 23,
};

// The records' arrays bound the counts a reply may claim.
constexpr int kMaxDrums = 2, kMaxDisposals = 2, kMaxTrays = 3;

int drums(const VEMOINFO& i) { return std::clamp<SInt32>(i.CmDrmNum, 0, kMaxDrums); }
int disposals(const VEMOINFO& i) { return std::clamp<SInt32>(i.CmDisNum, 0, kMaxDisposals); }
int trays(const VEMOINFO& i) { return std::clamp<SInt32>(i.CmPprNum, 0, kMaxTrays); }

std::string monText(const char* section, const char* key, const char* fallback = "") {
  return Ini_Text(section, key, fallback, MonFileName);
}

std::string numbered(const std::string& name, int n) {
  char text[300];
  std::snprintf(text, sizeof text, "%s %d", name.c_str(), n);
  return text;
}

// The paper texts may hold "\n" pairs meant as line breaks.
std::string paperText(std::string text) {
  text.push_back('\0');
  SetKaigyou(text.data(), int(text.size() - 1));
  text.resize(std::strlen(text.c_str()));
  return text;
}

Rect rowRect(DialogRef d, DialogItemIndex item, SInt16 row) {
  Rect r{};
  Get_Dialog_Item_Rect(d, item, &r);
  OffsetRect(&r, 0, SInt16(row * kConsumRowStep));
  return r;
}

void drawText(DialogRef d, const std::string& text, const Rect& r) {
  Str255 p;
  const std::size_t n = std::min<std::size_t>(text.size(), 255);
  p[0] = UInt8(n);
  std::memcpy(p + 1, text.data(), n);
  // Every area was cleared (or painted white) before the texts.
  Draw_String_User_Rect(d, p, &r, kDrawLeft, 0, false);
}

void drawIcon(DialogRef d, const Rect& r, SInt16 icon) {
  if (icon) Draw_Rect_Icon(d, &r, icon);
}

// The gauge in a rectangle of the picture's own size at the item's corner.
void drawGauge(DialogRef d, const Rect& item, SInt16 pict, bool unknownText) {
  Rect r = item;
  if (PicHandle pic = GetPicture(pict)) {
    Rect frame;
    QDGetPictureBounds(pic, &frame);
    r.right = SInt16(r.left + (frame.right - frame.left));
    r.bottom = SInt16(r.top + (frame.bottom - frame.top));
    DrawPicture(pic, &r);
  }
  if (unknownText) drawText(d, monText("[MASTER]", "UNKNOWN="), r);
}

void DrawMasterRemaining(DialogRef d, const ConsumRow& row) {
  drawIcon(d, rowRect(d, row.iconItem, row.row), row.icon);
  drawText(d, row.name, rowRect(d, row.nameItem, row.row));
  drawGauge(d, rowRect(d, row.gaugeItem, row.row), row.gauge, row.unknownText);
}

void DrawInkRemaining(DialogRef d, const ConsumRow& row) { DrawMasterRemaining(d, row); }

void DrawPaperRemaining(DialogRef d, const ConsumRow& row) {
  DrawMasterRemaining(d, row);
  drawText(d, row.size, rowRect(d, row.sizeItem, row.row));
}

void DrawDispRemaining(DialogRef d, const ConsumRow& row) {
  drawText(d, row.name, rowRect(d, row.nameItem, row.row));
  drawGauge(d, rowRect(d, row.gaugeItem, row.row), row.gauge, row.unknownText);
}

std::string drumSize(const DRMINFO& drum) {
  char key[16];
  std::snprintf(key, sizeof key, "SIZEB%02d=", drum.DrmSiz);
  return monText("[DETAIL]", key);
}

std::string inkName(const DRMINFO& drum) {
  char key[16];
  std::snprintf(key, sizeof key, "INK%02d=", drum.DrmCol);
  return monText("[INK]", key, " ");
}

void DrawDramRemaining(DialogRef d, const VEMOINFO& info) {
  const std::string label = monText("[INFORMATION]", "DRAM=", "Dram :");
  const int n = drums(info);
  for (int i = 0; i < n; ++i) {
    char text[600];
    if (n == 1)
      std::snprintf(text, sizeof text, "%s : %s", label.c_str(), drumSize(info.pDrm[i]).c_str());
    else
      std::snprintf(text, sizeof text, "%s%d : %s", label.c_str(), i + 1, drumSize(info.pDrm[i]).c_str());
    drawText(d, text, rowRect(d, kItemDrumSize, SInt16(i)));
    const std::string ink = inkName(info.pDrm[i]);
    Rect r = rowRect(d, kItemDrumInk, SInt16(i));
    if (n == 1) r.right = SInt16(std::min<int>(r.right, r.left + TextWidth(ink.data(), 0, short(ink.size())) + 4));
    drawText(d, ink, r);
  }
}

CONSUM_WND_INFO* recordOf(DialogRef d) { return d ? static_cast<CONSUM_WND_INFO*>(Get_Usr_Window_RefCon(d)) : nullptr; }

Boolean Handle_Consum_Select_Item(DialogRef d, EventRecord*, DialogItemIndex item) {
  if (item == kItemOK)
    if (CONSUM_WND_INFO* rec = recordOf(d)) Exit_Consum_Dialog(rec);
  return true;
}

short Handle_Consum_Window_Updata(DialogRef d, EventRecord*) {
  CONSUM_WND_INFO* rec = recordOf(d);
  WindowRef w = GetDialogWindow(d);
  BeginUpdate(w);
  Set_Content_Color(d);
  if (rec) Load_Value_Balance_Setup(rec, &rec->PrinterInfo);
  DrawDialog(d);
  EndUpdate(w);
  return 1;
}

short Handle_Consum_Window_Active(DialogRef d, EventRecord* event) {
  Handle_Window_Active(d, event);
  return 1;
}

short Handle_Consum_Window_Close(DialogRef d, EventRecord*) {
  if (CONSUM_WND_INFO* rec = recordOf(d)) Exit_Consum_Dialog(rec);
  return 1;
}

bool sameDrums(const VEMOINFO& a, const VEMOINFO& b) {
  for (int i = 0; i < kMaxDrums; ++i) {
    const DRMINFO &x = a.pDrm[i], &y = b.pDrm[i];
    if (x.InkRm != y.InkRm || x.DrmSiz != y.DrmSiz || x.DrmCol != y.DrmCol || x.DrmDens != y.DrmDens ||
        x.DrmInfo != y.DrmInfo)
      return false;
  }
  return true;
}

bool sameDisposals(const VEMOINFO& a, const VEMOINFO& b) {
  for (int i = 0; i < kMaxDisposals; ++i)
    if (a.pDis[i].DisRm != b.pDis[i].DisRm || a.pDis[i].HanMax != b.pDis[i].HanMax) return false;
  return true;
}

bool sameTrays(const VEMOINFO& a, const VEMOINFO& b) {
  for (int i = 0; i < kMaxTrays; ++i) {
    const PPRINFO &x = a.pPpr[i], &y = b.pPpr[i];
    if (x.PprType != y.PprType || x.PprTray != y.PprTray || x.PprRm != y.PprRm || x.PprSiz != y.PprSiz ||
        x.PprQty != y.PprQty)
      return false;
  }
  return true;
}

}  // namespace

void Consum_Gauge(int level, bool master, bool fill, SInt16* pict, bool* unknownText) {
  *unknownText = false;
  if (level >= 0 && level <= 10) {
    *pict = SInt16(fill ? 210 - level : 200 + level);
    return;
  }
  *pict = 211;
  *unknownText = !(master && level == 15);
}

SInt16 SetConsumableIcon(const VEMOINFO& info) {
  if (info.IcType < 4) return 0;
  int supply = info.CmMasterInfo;
  for (int i = 0; i < drums(info); ++i) supply += info.pDrm[i].DrmInfo;
  return supply == 0 && info.MainStsErr != 5 ? 488 : 486;
}

std::vector<ConsumRow> Consum_Rows(const VEMOINFO& info) {
  std::vector<ConsumRow> rows;
  auto add = [&](ConsumRow r, int level, bool master, bool fill) {
    Consum_Gauge(level, master, fill, &r.gauge, &r.unknownText);
    rows.push_back(std::move(r));
  };
  add({kItemInkIcon, kItemInkName, kItemInkGauge, 0, 0, 518, monText("[MASTER]", "MASTER="), 0, false, {}},
      info.CmMasterRm, true, false);
  const std::string ink = monText("[INK]", "INK=");
  for (int i = 0; i < drums(info); ++i)
    add({kItemInkIcon,
         kItemInkName,
         kItemInkGauge,
         0,
         SInt16(i + 1),
         519,
         drums(info) == 1 ? ink : numbered(ink, i + 1),
         0,
         false,
         {}},
        info.pDrm[i].InkRm, false, false);
  for (int i = 0; i < trays(info); ++i) {
    const PPRINFO& p = info.pPpr[i];
    const std::string name =
        i == 0 || trays(info) == 1 ? monText("[PAPER]", "DTRAY00=") : numbered(monText("[PAPER]", "DTRAY01="), i);
    char key[16];
    std::snprintf(key, sizeof key, "SIZE%03d=", p.PprSiz);
    const std::string size =
        monText("[PAPER]", key, (monText("[PAPER]", "SIZE\?\?\?=") + std::to_string(p.PprSiz)).c_str());
    add({kItemPaperIcon, kItemPaperName, kItemPaperGauge, kItemPaperSize, SInt16(i), SInt16(i == 0 ? 516 : 517),
         paperText(name), 0, false, "(" + paperText(size) + ")"},
        p.PprRm, false, false);
  }
  const std::string disp = monText("[DISPOSAL]", "DISP=");
  for (int i = 0; i < disposals(info); ++i)
    add({0,
         kItemDispName,
         kItemDispGauge,
         0,
         SInt16(i),
         0,
         disposals(info) == 1 ? disp : numbered(disp, i + 1),
         0,
         false,
         {}},
        info.pDis[i].DisRm, false, true);
  return rows;
}

short Get_Consum_Table(CONSUM_WND_INFO* rec, DialogRef statusDlg, const VEMOINFO* info) {
  if (rec->using_ == 1) return 0;
  rec->parentDlg = statusDlg;
  rec->using_ = 1;
  rec->PrinterInfo = *info;
  rec->sumCount = SInt16(trays(*info) + disposals(*info) + drums(*info) + 1);
  return 1;
}

short ConDlgProc(CONSUM_WND_INFO* rec, DialogRef statusDlg, const VEMOINFO* info, SInt16) {
  if (!rec || !info || !Get_Consum_Table(rec, statusDlg, info)) return 0;
  Str255 title;
  CopyCStringToPascal(Ini_Text("[TITLE]", "CONSUMABLES=", "Consumables").c_str(), title);
  rec->dlg = Open_Usr_Dialog(kConsumDialogID, title, Handle_Consum_Select_Item, Handle_Consum_Window_Updata, nullptr,
                             Handle_Consum_Window_Active, Handle_Consum_Window_Close, nullptr);
  if (!rec->dlg) {
    tb::TraceRefusal("monitor", "the consumables window cannot be made");
    rec->using_ = 0;
    rec->parentDlg = nullptr;
    return 0;
  }
  rec->fontID = 0;
  rec->fontFace = 0;
  rec->fontSize = 10;
  Get_Font_Data2("CONSUMFONT=", &rec->fontID, &rec->fontFace, &rec->fontSize, IniFileName);
  WindowRef w = GetDialogWindow(rec->dlg);
  {
    tb::PortSaver saver(GetWindowPort(w));
    TextFont(rec->fontID);
    TextFace(rec->fontFace);
    TextSize(rec->fontSize);
  }
  Set_Content_Color(rec->dlg);
  Set_Usr_Window_RefCon(rec->dlg, rec);
  Set_String_To_Item(rec->dlg, kItemOK, "OK=", "[BUTTON]", IniFileName);
  SetDialogDefaultItem(rec->dlg, kItemOK);
  Rect parent{}, mine{};
  GetWindowBounds(GetDialogWindow(statusDlg), kWindowContentRgn, &parent);
  GetWindowBounds(w, kWindowContentRgn, &mine);
  const int h = (parent.left + parent.right) / 2 - (mine.right - mine.left) / 2;
  const int v = (parent.top + parent.bottom) / 2 - (mine.bottom - mine.top) / 2;
  MoveWindow(w, SInt16(std::max(h, 0)), SInt16(std::max(v, 20)), false);
  ShowWindow(w);
  SelectWindow(w);
  return 1;
}

short Refresh_Consum_Printer_Info(CONSUM_WND_INFO* rec, const VEMOINFO* info) {
  if (!rec || !info || rec->using_ != 1) return 0;
  const VEMOINFO& old = rec->PrinterInfo;
  if (sameDrums(old, *info) && sameDisposals(old, *info) && sameTrays(old, *info) &&
      old.CmMasterRm == info->CmMasterRm && old.CmMasterInfo == info->CmMasterInfo && old.CmDrmNum == info->CmDrmNum &&
      old.CmDisNum == info->CmDisNum && old.CmPprNum == info->CmPprNum)
    return 0;
  rec->PrinterInfo = *info;
  rec->sumCount = SInt16(trays(*info) + disposals(*info) + drums(*info) + 1);
  if (rec->dlg) {
    WindowRef w = GetDialogWindow(rec->dlg);
    Rect all;
    GetPortBounds(GetWindowPort(w), &all);
    InvalWindowRect(w, &all);
  }
  return 1;
}

short Refresh_Consum_Printer_Info(DialogRef dlg, const VEMOINFO* info) {
  return Refresh_Consum_Printer_Info(recordOf(dlg), info);
}

short Exit_Consum_Dialog(CONSUM_WND_INFO* rec) {
  if (!rec) return 1;
  if (rec->dlg) Close_Usr_Dialog(rec->dlg);
  rec->using_ = 0;
  rec->dlg = nullptr;
  rec->parentDlg = nullptr;
  return 1;
}

void Load_Value_Balance_Setup(CONSUM_WND_INFO* rec, const VEMOINFO* info) {
  DialogRef d = rec->dlg;
  if (!d) return;
  tb::PortSaver saver(GetDialogPort(d));
  TextFont(rec->fontID);
  TextFace(rec->fontFace);
  TextSize(rec->fontSize);
  Clear_Dialog_Item_Area(d, kItemGroup);
  for (DialogItemIndex panel : {kItemPanel1, kItemPanel2}) {
    Rect r{};
    Get_Dialog_Item_Rect(d, panel, &r);
    const RGBColor white{0xFFFF, 0xFFFF, 0xFFFF};
    RGBForeColor(&white);
    PaintRect(&r);
    ForeColor(blackColor);
    InsetRect(&r, -1, -1);
    FrameRect(&r);
  }
  if (const SInt16 icon = SetConsumableIcon(*info))
    Draw_Item_Icon(d, kItemSupply, icon);
  else
    Clear_Dialog_Item_Area(d, kItemSupply);
  Rect r{};
  Get_Dialog_Item_Rect(d, kItemZan, &r);
  drawText(d, Ini_Text("[LABEL]", "STC_ZAN="), r);
  Draw_Item_Icon(d, kItemBoxIcon, 489);
  Get_Dialog_Item_Rect(d, kItemBox, &r);
  drawText(d, Ini_Text("[LABEL]", "STC_BOX="), r);
  Get_Dialog_Item_Rect(d, kItemGroup, &r);
  FrameRect(&r);
  const std::string drumInfo = Ini_Text("[LABEL]", "STC_DRMINFO=");
  Get_Dialog_Item_Rect(d, kItemDrumInfo, &r);
  Rect clear = r;
  clear.left = SInt16(r.left - 2);
  clear.right = SInt16(r.left + 18 + TextWidth(drumInfo.data(), 0, short(drumInfo.size())) + 22);
  EraseRect(&clear);
  const Rect icon{r.top, r.left, SInt16(r.top + 16), SInt16(r.left + 16)};
  Draw_Rect_Icon(d, &icon, 515);
  Rect label = r;
  label.left = SInt16(r.left + 18);
  drawText(d, drumInfo, label);

  // With no tray the gauge's place stays as the white panel (there is no
  // picture 0 to draw there).
  for (const ConsumRow& row : Consum_Rows(*info)) {
    if (row.nameItem == kItemInkName)
      row.row == 0 ? DrawMasterRemaining(d, row) : DrawInkRemaining(d, row);
    else if (row.nameItem == kItemPaperName)
      DrawPaperRemaining(d, row);
    else
      DrawDispRemaining(d, row);
  }
  DrawDramRemaining(d, *info);
}
