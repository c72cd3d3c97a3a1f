// The wizard: one dialog whose first three items are Next, Cancel and Back;
// each page's items are appended below them from its own item list. A table
// of cells gives each page its handlers; the pages of the administrator
// mode and the monitor set-up live in their own files.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "506Q_Lib/DialogItems.h"
#include "common/AppFonts.h"
#include "common/IniFile.h"
#include "FanctionLib/CEdit.h"
#include "Installer/InstApp.h"
#include "Installer/InstLibrary.h"
#include "Installer/InstWindows.h"
#include "Installer/WizardPages.h"
#include "toolbox/appleevents.h"
#include "toolbox/clock.h"
#include "toolbox/controls.h"
#include "toolbox/files.h"
#include "toolbox/fonts.h"
#include "toolbox/gestalt.h"
#include "toolbox/navigation.h"
#include "toolbox/pictures.h"
#include "toolbox/quickdraw.h"
#include "toolbox/resources.h"
#include "toolbox/textencoding.h"
#include "toolbox/trace.h"
#include "toolbox/windows.h"

namespace {

constexpr SInt16 kPageOrder[kPageCells] = {141, 146, 142, 147, 143, 148, 144, 149, 150, 151, 152, 153, 145};
SETUP_DLG_CELL gCells[kPageCells];

constexpr std::size_t kLicenceMax = 16000;
// The tick box of a tool row, from the list's left edge, and its icons.
constexpr short kTickLeft = 5, kTickRight = 17, kTickHeight = 16;
constexpr SInt16 kIconUnticked = 130, kIconTicked = 131;
constexpr SInt16 kBarPicture = 128;

std::unique_ptr<CopyEngine> gEngine;
SInt16 gLangSelected = -1;
SInt16 gToolSelected = 0;
bool gLangBuilt = false, gToolsBuilt = false;
std::string gCopyFile;  // the file the copy message names

// ---- item helpers ----

// The font of every list ("[FONT]" "LIST=" of the message file), taken when
// a list is made.
FONT_DATA gListFont{};

// Draws in the list font and its colours, the port's own restored afterwards.
class ListFontScope {
 public:
  ListFontScope() {
    GrafPtr port;
    GetPort(&port);
    font_ = GetPortTextFont(port);
    face_ = GetPortTextFace(port);
    size_ = GetPortTextSize(port);
    GetForeColor(&fore_);
    GetBackColor(&back_);
    TextFont(SInt16(gListFont.fontID));
    TextFace(Style(gListFont.styleID));
    TextSize(SInt16(gListFont.fSize));
    const RGBColor fore = Font_Color_RGB(gListFont.foreClrID), back = Font_Color_RGB(gListFont.backClrID);
    RGBForeColor(&fore);
    RGBBackColor(&back);
  }
  ~ListFontScope() {
    TextFont(font_);
    TextFace(face_);
    TextSize(size_);
    RGBForeColor(&fore_);
    RGBBackColor(&back_);
  }
  ListFontScope(const ListFontScope&) = delete;
  ListFontScope& operator=(const ListFontScope&) = delete;

 private:
  SInt16 font_, size_;
  Style face_;
  RGBColor fore_, back_;
};

// A plain row: the cell's text in the list font.
void textRowDraw(SInt16 message, Boolean selected, Rect* cellRect, Cell cell, SInt16, SInt16, ListHandle list) {
  if (message == lHiliteMsg) {
    InvertRect(cellRect);
    return;
  }
  if (message != lDrawMsg) return;
  char text[256];
  SInt16 len = sizeof text;
  LGetCell(text, &len, cell, list);
  ListFontScope font;
  EraseRect(cellRect);
  MoveTo(SInt16(cellRect->left + 4), SInt16(cellRect->top + 13));
  DrawText(text, 0, len);
  if (selected) InvertRect(cellRect);
}

// A one-column list over the item less its bar, rows drawn by draw.
ListHandle makeList(DialogRef d, DialogItemIndex item, ListDefProcPtr draw) {
  gListFont = Message_Font("LIST=");
  Rect r = Dialog_Item_Rect(d, item);
  r.right = SInt16(r.right - 15);
  ListBounds bounds{0, 0, 0, 1};
  ListDefSpec def{};
  def.defType = kListDefUserProcType;
  def.u.userProc = NewListDefUPP(draw);
  ListHandle list = nullptr;
  CreateCustomList(&r, &bounds, Point{kListRowHeight, 0}, &def, GetDialogWindow(d), true, false, false, true, &list);
  return list;
}

void setLanguageText(DialogRef d, DialogItemIndex item, const char* section, const char* key) {
  char value[kIniLineMax + 1] = "";
  if (Load_File_To_CstringEx(section, key, value, sizeof value, Exe_Relative(LanguFileName).c_str()))
    Set_Page_Item_Text(d, item, value);
}

void showItem(DialogRef d, DialogItemIndex item, bool on) {
  if (on) {
    ShowDialogItem(d, item);
  } else {
    HideDialogItem(d, item);
  }
}

void invalidate(DialogRef d) {
  Rect all;
  GetPortBounds(GetWindowPort(GetDialogWindow(d)), &all);
  InvalWindowRect(GetDialogWindow(d), &all);
}

// The row under a point of the list's item, or -1; the row is selected
// alone. A second click on the same row soon after is a double click.
int clickRow(DialogRef d, DialogItemIndex item, ListHandle list, const EventRecord* event, bool* twice) {
  static UInt32 lastWhen = 0;
  static int lastRow = -1;
  Point pt = event->where;
  GlobalToLocal(&pt);
  Rect r = Dialog_Item_Rect(d, item);
  ListBounds b;
  GetListDataBounds(list, &b);
  ListBounds vis;
  GetListVisibleCells(list, &vis);
  int row = pt.v >= r.top ? (pt.v - r.top) / kListRowHeight + vis.top : -1;
  if (row < 0 || row >= b.bottom || pt.h >= r.right - 15) return -1;
  Cell c{0, 0};
  while (LGetSelect(true, &c, list)) {
    LSetSelect(false, c, list);
    c.v += 1;
  }
  LSetSelect(true, Cell{SInt16(row), 0}, list);
  *twice = row == lastRow && event->when - lastWhen <= GetDblTime();
  lastRow = row;
  lastWhen = event->when;
  return row;
}

void disposeList(ListHandle& list) {
  if (list) LDispose(list);
  list = nullptr;
}

// ---- page 141: the language ----

short Setup_Screen1_Load_Value(DialogRef d) {
  HideDialogItem(d, 3);
  setLanguageText(d, 1, "[BUTTON]", "NEXT=");
  setLanguageText(d, 2, "[BUTTON]", "CANCEL=");
  setLanguageText(d, 5, "[LABEL]", "SEL_LANG=");
  setLanguageText(d, 6, "[LABEL]", "LANG=");
  instTbl.langList = Create_ListBox(d, 4);
  if (!gLangBuilt) std::memset(instTbl.langData, 0, sizeof(LANG_DATA) * kLangMax);
  Build_Language_Data(&instTbl);
  if (!gLangBuilt) {
    char name[64] = "";
    Get_System_Language(name, sizeof name, Exe_Relative(LanguFileName).c_str());
    gLangSelected = -1;
    for (int i = 0; i < kLangMax && instTbl.langData[i].cLanguage[0]; ++i) {
      if (std::strcmp(instTbl.langData[i].cLanguage, name) == 0) gLangSelected = SInt16(i);
    }
    if (gLangSelected < 0 && instTbl.langData[0].cLanguage[0]) gLangSelected = 0;
    gLangBuilt = true;
  }
  if (gLangSelected >= 0) LSetSelect(true, Cell{gLangSelected, 0}, instTbl.langList);
  return 1;
}

short Setup_Screen1_Next_Value(DialogRef) {
  Cell c{0, 0};
  if (!instTbl.langList || !LGetSelect(true, &c, instTbl.langList) || !instTbl.langData[c.v].cLanguage[0]) {
    std::string file = Exe_Relative(LanguFileName);
    char text[kIniLineMax + 1] = "";
    Load_File_To_CstringEx("[ERROR]", "MESSAGE_00=", text, sizeof text, file.c_str());
    Set_Alert_Dialog_Items(kAlertNote, 2, file.c_str(), text);
    return 0;
  }
  gLangSelected = c.v;
  Set_Language_Infomation(instTbl.langData[c.v].cDir);
  disposeList(instTbl.langList);
  instTbl.activePage = kPageWelcome;
  return 1;
}

Boolean Setup_Screen1_Item_Select(DialogRef d, EventRecord* event, DialogItemIndex item) {
  if (item != 4 || !instTbl.langList) return false;
  bool twice = false;
  if (clickRow(d, 4, instTbl.langList, event, &twice) >= 0 && twice) {
    if (Setup_Screen1_Next_Value(d)) Change_Dialog_Page(d, instTbl.activePage);
  }
  return true;
}

short Setup_Screen1_Update(DialogRef d) {
  if (instTbl.langList) LUpdate(nullptr, instTbl.langList);
  Draw_Pict_Usr_Item(d, 7, 129);
  return 1;
}

// ---- page 146: welcome ----

short Setup_Welcome_Load_Value(DialogRef d) {
  Set_Common_Buttons(d);
  showItem(d, 3, !nonSelectLang);
  Set_Dialog_Item_Message(d, 4, "[LABEL]", "WELCOME00=");
  Set_Dialog_Item_Message(d, 5, "[LABEL]", "WELCOME01=");
  Set_Dialog_Item_Message(d, 6, "[LABEL]", "WELCOME02=");
  return 1;
}
short Setup_Welcome_Back_Value(DialogRef) {
  if (nonSelectLang) return 0;
  instTbl.activePage = kPageLanguage;
  return 1;
}
short Setup_Welcome_Next_Value(DialogRef) {
  instTbl.activePage = kPageLicence;
  return 1;
}
short Setup_Welcome_Update(DialogRef d) {
  Draw_Pict_Usr_Item(d, 7, 129);
  return 1;
}

// ---- page 142: the licence ----

int Build_Text_Data(INST_DLG_INFO* tbl) {
  if (!tbl->textData) return 0;
  inst::CTESetText(tbl->textData, "", 0);
  std::string path =
      Resolve_Partial_Path(instData.rootSpec, "::Resources:" + instData.languFolderSpec + ":LICENSE.TXT");
  std::string text;
  if (tb::ReadLocalFile(path, kLicenceMax, text, tb::LongerFile::Cut) != noErr) return 0;
  // The text view breaks lines at CR: LF and CR LF ends become CR.
  std::string lines;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines += text[i] == '\n' ? '\r' : text[i];
  }
  inst::CTESetText(tbl->textData, lines.data(), long(lines.size()));
  return 1;
}

// The licence in the font of "[FONT]" "LICENSE=", when the message file names one.
void licenceFont(CEDIT_DATA* view) {
  SInt16 font = 0, size = 0;
  UInt8 face = 0;
  short fontOut = 0, sizeOut = 0, faceOut = 0;
  if (!Get_Font_Data2("LICENSE=", &fontOut, &faceOut, &sizeOut, instData.messSpec.c_str())) return;
  CTEGetFont(view, &font, &face, &size);
  font = fontOut ? fontOut : font;
  face = UInt8(faceOut);
  size = sizeOut ? sizeOut : size;
  CTESetFont(view, &font, &face, &size);
}

short Setup_Screen2_Load_Value(DialogRef d) {
  Set_Common_Buttons(d);
  Set_Dialog_Item_Message(d, 1, "[BUTTON]", "YES=");
  Set_Dialog_Item_Message(d, 2, "[BUTTON]", "NO=");
  Set_Dialog_Item_Message(d, 4, "[BIT_LABEL]", "LICENSE_TITLE=");
  Set_Dialog_Item_Message(d, 5, "[BIT_LABEL]", "LICENSE_CONTENTS=");
  Set_Dialog_Item_Message(d, 6, "[LABEL]", "LICENSE_00=");
  Set_Dialog_Item_Message(d, 7, "[LABEL]", "LICENSE_01=");
  // Made on the first visit; later visits show it again and reload it.
  if (!instTbl.textData) {
    Rect r = Dialog_Item_Rect(d, 8);
    instTbl.textData = CENew(GetDialogWindow(d), &r, &r, &r, false, true, true);
    if (instTbl.textData) licenceFont(instTbl.textData);
  }
  if (instTbl.textData) {
    CEShow(instTbl.textData, true);
    Build_Text_Data(&instTbl);
  }
  return 1;
}
void leaveLicence() {
  if (instTbl.textData) CEShow(instTbl.textData, false);
}
short Setup_Screen2_Back_Value(DialogRef) {
  leaveLicence();
  instTbl.activePage = kPageWelcome;
  return 1;
}
short Setup_Screen2_Next_Value(DialogRef) {
  leaveLicence();
  instTbl.activePage = kPageTools;
  return 1;
}
short Setup_Screen2_Update(DialogRef d) {
  Draw_Group_Frame_Item(d, 9);
  if (instTbl.textData) CEUpdate(instTbl.textData);
  return 1;
}
Boolean Setup_Screen2_Item_Select(DialogRef, EventRecord* event, DialogItemIndex item) {
  if (item != 8 || !instTbl.textData) return false;
  // Only the bar at the view's right edge takes clicks: the text is read-only.
  CEMouseDown(instTbl.textData, event, nullptr, nullptr, 1);
  return true;
}

// ---- page 147: the tools ----

bool anyTicked() {
  for (int i = 0; i < instTbl.toolCnt; ++i)
    if (instTbl.toolData[i].bEnable) return true;
  return false;
}

// A tool row: its tick (colour icon 131 ticked, 130 not) in the tick box
// 5 to 17 pixels from the left, then the name.
void toolRowDraw(SInt16 message, Boolean selected, Rect* cellRect, Cell cell, SInt16, SInt16, ListHandle list) {
  // The selection marks the name; the tick keeps its colours.
  Rect nameRect = *cellRect;
  nameRect.left = SInt16(cellRect->left + kTickRight + 2);
  if (message == lHiliteMsg) {
    InvertRect(&nameRect);
    return;
  }
  if (message != lDrawMsg) return;
  ListFontScope font;
  EraseRect(cellRect);
  const bool ticked = cell.v >= 0 && cell.v < instTbl.toolCnt && instTbl.toolData[cell.v].bEnable;
  Rect box{SInt16(cellRect->top + 3), SInt16(cellRect->left + kTickLeft), SInt16(cellRect->top + 15),
           SInt16(cellRect->left + kTickRight)};
  if (CIconHandle icon = GetCIcon(ticked ? kIconTicked : kIconUnticked)) {
    PlotCIcon(&box, icon);
    DisposeCIcon(icon);
  } else {
    FrameRect(&box);
  }
  char name[64];
  SInt16 len = sizeof name;
  LGetCell(name, &len, cell, list);
  MoveTo(SInt16(cellRect->left + kTickRight + 5), SInt16(cellRect->top + 13));
  DrawText(name, 0, len);
  if (selected) InvertRect(&nameRect);
}

void setToolRow(int row) {
  const TOOL_DATA& t = instTbl.toolData[row];
  LSetCell(t.cToolName, SInt16(std::strlen(t.cToolName)), Cell{SInt16(row), 0}, instTbl.toolList);
}

void showMemo(DialogRef d) {
  std::string memo;
  if (gToolSelected >= 0 && gToolSelected < instTbl.toolCnt) {
    const unsigned char* m = instTbl.toolData[gToolSelected].cMemo;
    memo.assign(reinterpret_cast<const char*>(m + 1), m[0]);
  }
  Set_Page_Item_Text(d, 8, memo);
}

}  // namespace

int Build_Tool_Data(INST_DLG_INFO* tbl) {
  tbl->toolCnt = 0;
  for (int i = 0; i < kToolMax; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "APR_%02d=", i);
    char name[kIniLineMax + 1] = "";
    if (!Load_File_To_CstringEx("[APR]", key, name, sizeof name, instData.messSpec.c_str())) break;
    if (std::strncmp(name, "FILE_COMMON", 11) == 0) break;
    TOOL_DATA& t = tbl->toolData[i];
    t = TOOL_DATA{};
    std::string_view cut = tb::CharPrefix(name, 31);
    std::memcpy(t.cToolName, cut.data(), cut.size());
    t.bEnable = std::strncmp(name, "VEMO-ADMIN", 10) != 0;
    std::snprintf(key, sizeof key, "MEMO_%02d=", i);
    std::string memo = Message_Text("[APR]", key);
    pstr::set(t.cMemo, sizeof t.cMemo, tb::CharPrefix(memo, 255));
    ++tbl->toolCnt;
  }
  return 1;
}

namespace {

short Setup_SelectTool_Load_Value(DialogRef d) {
  Set_Common_Buttons(d);
  Set_Dialog_Item_Message(d, 4, "[BIT_LABEL]", "APR_TITLE=");
  Set_Dialog_Item_Message(d, 5, "[BIT_LABEL]", "APR_CONTENTS=");
  Set_Dialog_Item_Message(d, 6, "[LABEL]", "APR_01=");
  Set_Dialog_Item_Message(d, 10, "[LABEL]", "APR_00=");
  if (!gToolsBuilt) {
    Build_Tool_Data(&instTbl);
    gToolSelected = 0;
    gToolsBuilt = true;
  }
  instTbl.toolList = makeList(d, 7, toolRowDraw);
  // The common tool, once added, is not shown.
  int shown = 0;
  while (shown < instTbl.toolCnt && std::strcmp(instTbl.toolData[shown].cToolName, "FILE_COMMON") != 0) ++shown;
  LAddRow(SInt16(shown), 0, instTbl.toolList);
  for (int i = 0; i < shown; ++i) setToolRow(i);
  if (gToolSelected >= 0 && gToolSelected < shown) LSetSelect(true, Cell{gToolSelected, 0}, instTbl.toolList);
  showMemo(d);
  Set_Item_Enabled(d, 1, anyTicked());
  return 1;
}

// A click in the tool list selects the row under it, and a click below the
// rows selects none; a click in the row's tick box toggles the tool; the
// bar scrolls and keeps the selection. The selected tool's memo goes to
// item 8, so the Description always tells of the row shown selected.
void Handle_Tool_Select(DialogRef d, EventRecord* event) {
  Point pt = event->where;
  GlobalToLocal(&pt);
  const Rect list = Dialog_Item_Rect(d, 7);
  if (pt.h >= list.right - 15) {
    LClick(pt, event->modifiers, instTbl.toolList);
    return;
  }
  bool twice = false;
  int row = clickRow(d, 7, instTbl.toolList, event, &twice);
  if (row < 0 || row >= instTbl.toolCnt) {
    Cell c{0, 0};
    while (LGetSelect(true, &c, instTbl.toolList)) LSetSelect(false, c, instTbl.toolList);
    gToolSelected = -1;
    showMemo(d);
    return;
  }
  gToolSelected = SInt16(row);
  ListBounds visible;
  GetListVisibleCells(instTbl.toolList, &visible);
  const int rowTop = list.top + (row - visible.top) * kListRowHeight;
  if (pt.h >= list.left + kTickLeft && pt.h < list.left + kTickRight && pt.v >= rowTop && pt.v < rowTop + kTickHeight) {
    instTbl.toolData[row].bEnable = !instTbl.toolData[row].bEnable;
    LDraw(Cell{SInt16(row), 0}, instTbl.toolList);
  }
  showMemo(d);
}

Boolean Setup_SelectTool_Item_Select(DialogRef d, EventRecord* event, DialogItemIndex item) {
  if (item != 7 || !instTbl.toolList) return false;
  Handle_Tool_Select(d, event);
  Set_Item_Enabled(d, 1, anyTicked());
  return true;
}

short Setup_SelectTool_Back_Value(DialogRef) {
  disposeList(instTbl.toolList);
  instTbl.activePage = kPageLicence;
  return 1;
}
short Setup_SelectTool_Next_Value(DialogRef) {
  if (!anyTicked()) return 0;
  disposeList(instTbl.toolList);
  instTbl.activePage = kPageFolder;
  return 1;
}
short Setup_SelectTool_Update(DialogRef d) {
  if (instTbl.toolList) LUpdate(nullptr, instTbl.toolList);
  Draw_Group_Frame_Item(d, 9);
  return 1;
}

// ---- page 143: the install folder ----

void showInstallPath(DialogRef d) {
  std::string path = instData.instParent;
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  path += (path == "/" ? "" : "/") + instData.instName;
  if (path.size() > 59) {
    // Sixty characters of the dialog's font, measured at its size, and
    // never wider than the item: a path that wrapped would lose its end,
    // the folder's own name.
    const short size = GetPortTextSize(GetDialogPort(d));
    const Rect item = Dialog_Item_Rect(d, 7);
    const short width = short(std::min<int>(60 * (size > 0 ? size : GetDefFontSize()), item.right - item.left));
    short len = short(std::min<std::size_t>(path.size(), 0x7FFF));
    TruncText(width, path.data(), &len, truncMiddle);
    path.resize(std::size_t(len));
  }
  Set_Page_Item_Text(d, 7, path);
}

// While the chooser is up, the wizard and any other window of ours that it
// uncovers are drawn by their own handlers.
void folderChooserEvent(NavEventCallbackMessage message, NavCBRecPtr params, void*) {
  if (message != kNavCBEvent || !params) return;
  EventRecord* event = params->eventData.eventDataParms.event;
  if (event && event->what == updateEvt && reinterpret_cast<WindowRef>(event->message) != params->window)
    inst::Update_Window(event);
}

int User_Select_Folder(const std::string& current, std::string* chosen) {
  NavDialogOptions options;
  NavGetDefaultDialogOptions(&options);
  options.dialogOptionFlags |= kNavSelectDefaultLocation;
  AEDesc location;
  AEInitializeDesc(&location);
  FSSpec spec{};
  tb::PathToSpec(current, &spec);
  AECreateDesc(typeFSS, &spec, sizeof spec, &location);
  NavReplyRecord reply{};
  OSErr e = NavChooseFolder(&location, &reply, &options, NewNavEventUPP(folderChooserEvent), nullptr, nullptr);
  AEDisposeDesc(&location);
  int result = 0;
  if (e == noErr && reply.validRecord) {
    FSSpec picked{};
    AEKeyword keyword;
    DescType type;
    Size size = 0;
    if (AEGetNthPtr(&reply.selection, 1, typeFSS, &keyword, &type, &picked, sizeof picked, &size) == noErr &&
        tb::SpecToPath(picked, *chosen) == noErr)
      result = 1;
  }
  // A cancelled chooser still hands over an empty selection.
  NavDisposeReply(&reply);
  return result;
}

short Setup_Screen3_Load_Value(DialogRef d) {
  Set_Common_Buttons(d);
  Set_Dialog_Item_Message(d, 6, "[BUTTON]", "REF=");
  Set_Dialog_Item_Message(d, 4, "[BIT_LABEL]", "FOLDER_TITLE=");
  Set_Dialog_Item_Message(d, 5, "[BIT_LABEL]", "FOLDER_CONTENTS=");
  Set_Dialog_Item_Message(d, 8, "[LABEL]", "FOLDER_00=");
  Set_Dialog_Item_Message(d, 10, "[LABEL]", "FOLDER_01=");
  showInstallPath(d);
  return 1;
}
Boolean Setup_Screen3_Item_Select(DialogRef d, EventRecord*, DialogItemIndex item) {
  if (item != 6) return false;
  std::string chosen;
  std::string install = instData.instParent + "/" + instData.instName;
  if (User_Select_Folder(install, &chosen)) {
    while (chosen.size() > 1 && chosen.back() == '/') chosen.pop_back();
    // The install folder keeps its name and goes inside the folder chosen,
    // unless the install folder itself was chosen.
    instData.instParent = chosen == install ? instData.instParent : chosen;
    showInstallPath(d);
    invalidate(d);
  }
  return true;
}
short Setup_Screen3_Back_Value(DialogRef) {
  instTbl.activePage = kPageTools;
  return 1;
}
short Setup_Screen3_Next_Value(DialogRef) {
  instTbl.activePage = kPageCheck;
  return 1;
}
short Setup_Screen3_Update(DialogRef d) {
  Draw_Group_Frame_Item(d, 9);
  return 1;
}

// ---- page 148: check ----

short Setup_Check_Load_Value(DialogRef d) {
  Set_Common_Buttons(d);
  Set_Dialog_Item_Message(d, 1, "[BUTTON]", "START=");
  Set_Dialog_Item_Message(d, 4, "[BIT_LABEL]", "CHECK_TITLE=");
  Set_Dialog_Item_Message(d, 5, "[BIT_LABEL]", "CHECK_CONTENTS=");
  Set_Dialog_Item_Message(d, 6, "[LABEL]", "CHECK_00=");
  Set_Dialog_Item_Message(d, 7, "[LABEL]", "CHECK_01=");
  return 1;
}
short Setup_Check_Back_Value(DialogRef) {
  instTbl.activePage = kPageFolder;
  return 1;
}
short Setup_Check_Next_Value(DialogRef) {
  instTbl.activePage = kPageCopy;
  return 1;
}

// ---- page 144: copying ----

// The progress bar in item 9: on older processors grey over white, else
// picture 128 stretched over the done part.
void Draw_Install_Bar(DialogRef d, int done, int total) {
  SInt32 cpu = 0;
  if (Gestalt('cput', &cpu) != noErr) return;
  Rect r = Dialog_Item_Rect(d, 9);
  const int width = Install_Bar_Width(r.right - r.left, done, total);
  if (cpu < 264) {
    EraseRect(&r);
    Rect part = r;
    part.right = SInt16(r.left + width);
    Pattern grey;
    GetQDGlobalsGray(&grey);
    FillRect(&part, &grey);
  } else {
    Rect inside = r;
    InsetRect(&inside, 1, 1);
    Rect rest = inside;
    rest.left = SInt16(std::min<int>(inside.left + width, inside.right));
    EraseRect(&rest);
    Rect part = inside;
    part.right = rest.left;
    if (PicHandle pic = GetPicture(kBarPicture); pic && !EmptyRect(&part)) DrawPicture(pic, &part);
  }
  FrameRect(&r);
}

void drawInstallBar(DialogRef d) {
  if (gEngine) Draw_Install_Bar(d, gEngine->copied(), gEngine->totalCount());
}

short Setup_Screen4_Load_Value(DialogRef d) {
  Set_Common_Buttons(d);
  for (DialogItemIndex i = 1; i <= 3; ++i) Set_Item_Enabled(d, i, false);
  Set_Dialog_Item_Message(d, 4, "[BIT_LABEL]", "INSTALL_TITLE=");
  Set_Dialog_Item_Message(d, 5, "[BIT_LABEL]", "INSTALL_CONTENTS=");
  Set_Dialog_Item_Message(d, 6, "[LABEL]", "INSTALL_00=");
  Set_Dialog_Item_Message(d, 7, "[LABEL]", "INSTALL_01=");
  Set_Dialog_Item_Message(d, 8, "[LABEL]", "INSTALL_02=");
  std::string format = Message_Text("[INSTALL]", "COPY=");
  std::snprintf(instTbl.copyMess, sizeof instTbl.copyMess, "%s", format.c_str());
  gEngine = std::make_unique<CopyEngine>(CopySetup{instData.rootSpec, instData.languFolderSpec, instData.copyFSpec,
                                                   instData.instParent, instData.instName},
                                         instTbl.toolData, &instTbl.toolCnt);
  gEngine->onFile = [d](const std::string& name, int number, int total) {
    gCopyFile = name;
    // The message is a format with one "%s": anything else shows the name.
    const char* f = instTbl.copyMess;
    const char* s = std::strstr(f, "%s");
    std::string text = s && !std::strchr(s + 2, '%') && std::count(f, s, '%') == 0
                           ? std::string(f, s) + name + std::string(s + 2)
                           : name;
    Set_Page_Item_Text(d, 8, text);
    Draw_Install_Bar(d, number, total);
  };
  copyStart = 1;
  return 1;
}
short Setup_Screen4_Update(DialogRef d) {
  drawInstallBar(d);
  return 1;
}

// ---- page 145: the end ----

short Setup_Screen5_Load_Value(DialogRef d) {
  Set_Common_Buttons(d);
  Set_Dialog_Item_Message(d, 1, "[BUTTON]", "FINISH=");
  Set_Item_Enabled(d, 2, false);
  Set_Item_Enabled(d, 3, Page_Back_From_Finish() != kPageFinish);
  // Missing files are not a completed installation.
  const char* end = Copy_Incomplete() ? "FINISH_01=" : "FINISH_00=";
  Set_Dialog_Item_Message(d, 4, "[LABEL]", end);
  tb::TraceNote("install", "finish: %s", Message_Text("[LABEL]", end).c_str());
  Set_Dialog_Item_Message(d, 5, "[LABEL]", "FINISH_03=");
  return 1;
}
short Setup_Screen5_Back_Value(DialogRef) {
  SInt16 to = Page_Back_From_Finish();
  if (to == kPageFinish) return 0;
  instTbl.activePage = to;
  return 1;
}
short Setup_Screen5_Next_Value(DialogRef) {
  instTbl.activePage = kPageEnd;
  return 1;
}
short Setup_Screen5_Update(DialogRef d) {
  Draw_Pict_Usr_Item(d, 6, 129);
  return 1;
}

}  // namespace

void Set_Dialog_Function(SETUP_DLG_CELL* cell, SInt16 page) {
  // Every page's handlers: setup, item select, load value, back, next,
  // update (null where the page has none).
  static constexpr SETUP_DLG_CELL kHandlers[] = {
      {kPageLanguage, nullptr, Setup_Screen1_Item_Select, Setup_Screen1_Load_Value, nullptr, Setup_Screen1_Next_Value,
       Setup_Screen1_Update},
      {kPageWelcome, nullptr, nullptr, Setup_Welcome_Load_Value, Setup_Welcome_Back_Value, Setup_Welcome_Next_Value,
       Setup_Welcome_Update},
      {kPageLicence, nullptr, Setup_Screen2_Item_Select, Setup_Screen2_Load_Value, Setup_Screen2_Back_Value,
       Setup_Screen2_Next_Value, Setup_Screen2_Update},
      {kPageTools, nullptr, Setup_SelectTool_Item_Select, Setup_SelectTool_Load_Value, Setup_SelectTool_Back_Value,
       Setup_SelectTool_Next_Value, Setup_SelectTool_Update},
      {kPageFolder, nullptr, Setup_Screen3_Item_Select, Setup_Screen3_Load_Value, Setup_Screen3_Back_Value,
       Setup_Screen3_Next_Value, Setup_Screen3_Update},
      {kPageCheck, nullptr, nullptr, Setup_Check_Load_Value, Setup_Check_Back_Value, Setup_Check_Next_Value, nullptr},
      {kPageCopy, nullptr, nullptr, Setup_Screen4_Load_Value, nullptr, nullptr, Setup_Screen4_Update},
      {kPageFinish, nullptr, nullptr, Setup_Screen5_Load_Value, Setup_Screen5_Back_Value, Setup_Screen5_Next_Value,
       Setup_Screen5_Update},
      {kPageAdminMode, nullptr, Setup_AdMode_Item_Select, Setup_AdMode_Load_Value, nullptr, Setup_AdMode_Next_Value,
       Setup_AdMode_Update_Value},
      {kPageMonitor, nullptr, Setup_Monitor_Item_Select, Setup_Monitor_Load_Value, Setup_Monitor_Back_Value,
       Setup_Monitor_Next_Value, Setup_Monitor_Update_Value},
      {kPageMonSearch, nullptr, Setup_MonSearch_Item_Select, Setup_MonSearch_Load_Value, Setup_MonSearch_Back_Value,
       Setup_MonSearch_Next_Value, Setup_MonSearch_Update_Value},
      {kPageMonEvent, nullptr, Setup_MonEvent_Item_Select, Setup_MonEvent_Load_Value, Setup_MonEvent_Back_Value,
       Setup_MonEvent_Next_Value, Setup_MonEvent_Update_Value},
      {kPageMonOption, nullptr, Setup_MonOption_Item_Select, Setup_MonOption_Load_Value, Setup_MonOption_Back_Value,
       Setup_MonOption_Next_Value, Setup_MonOption_Update_Value},
  };
  *cell = SETUP_DLG_CELL{};
  cell->dlgNum = page;
  for (const SETUP_DLG_CELL& c : kHandlers)
    if (c.dlgNum == page) *cell = c;
}

const SETUP_DLG_CELL* Get_Dialog_Function(SInt16 page) {
  for (const auto& c : gCells)
    if (c.dlgNum == page) return &c;
  return nullptr;
}

namespace {

bool buttonEnabled(DialogRef d, DialogItemIndex item) {
  ControlRef c = Page_Item_Control(d, item);
  return c && GetControlHilite(c) != 255 && IsControlVisible(c);
}

}  // namespace

void Flash_Button(DialogRef d, DialogItemIndex item) {
  if (ControlRef c = Page_Item_Control(d, item)) {
    HiliteControl(c, kControlButtonPart);
    UInt32 until = TickCount() + 5;
    while (TickCount() < until) {
      EventRecord e;
      WaitNextEvent(0, &e, 1, nullptr);
    }
    HiliteControl(c, 0);
  }
}

Rect Dialog_Item_Rect(DialogRef d, DialogItemIndex item) {
  DialogItemType type;
  Handle h;
  Rect r{};
  GetDialogItem(d, item, &type, &h, &r);
  return r;
}

void Set_Page_Item_Text(DialogRef d, DialogItemIndex item, std::string_view text) {
  DialogItemType type = 0;
  Handle h = nullptr;
  Rect r;
  GetDialogItem(d, item, &type, &h, &r);
  if (!h) return;
  Str255 p;
  pstr::set(p, sizeof p, tb::CharPrefix(text, 255));
  const int kind = type & 127;
  if (kind >= 4 && kind <= 6) {
    SetControlTitle(reinterpret_cast<ControlRef>(h), p);
  } else if (kind == 8 || kind == 16) {
    SetDialogItemText(h, p);
  }
}

void Set_Dialog_Item_Message(DialogRef d, DialogItemIndex item, const char* section, const char* key) {
  std::string text = Message_Text(section, key);
  char raw[kIniLineMax + 1] = "";
  if (text.empty() && !Load_File_To_CstringEx(section, key, raw, sizeof raw, instData.messSpec.c_str())) return;
  Set_Page_Item_Text(d, item, text);
}

FONT_DATA Message_Font(const char* key) {
  GrafPtr port;
  GetPort(&port);
  const SInt16 font = GetPortTextFont(port), size = GetPortTextSize(port);
  const Style face = GetPortTextFace(port);
  // The system font in plain black on white unless the message file says
  // otherwise; reading a font leaves the port's font at 0.
  FONT_DATA f{};
  Get_Font_Data("", &f);
  Get_Font_Details(&f);
  if (!instData.messSpec.empty()) Get_Font_Infomation(key, &f, instData.messSpec.c_str());
  TextFont(font);
  TextFace(face);
  TextSize(size);
  return f;
}

void Set_Item_Enabled(DialogRef d, DialogItemIndex item, bool on) {
  if (ControlRef c = Page_Item_Control(d, item)) HiliteControl(c, on ? 0 : 255);
}

void Draw_Pict_Usr_Item(DialogRef d, DialogItemIndex item, SInt16 id) {
  Rect r = Dialog_Item_Rect(d, item);
  if (PicHandle pic = GetPicture(id)) DrawPicture(pic, &r);
}

void Set_Common_Buttons(DialogRef d) {
  Set_Dialog_Item_Message(d, 1, "[BUTTON]", "NEXT=");
  Set_Dialog_Item_Message(d, 2, "[BUTTON]", "CANCEL=");
  Set_Dialog_Item_Message(d, 3, "[BUTTON]", "BACK=");
  ShowDialogItem(d, 3);
  for (DialogItemIndex i = 1; i <= 3; ++i) Set_Item_Enabled(d, i, true);
}

ListHandle Create_ListBox(DialogRef d, DialogItemIndex item) { return makeList(d, item, textRowDraw); }

short Handle_List_Select(DialogRef d, EventRecord* event, DialogItemIndex item, ListHandle list) {
  bool twice = false;
  return list && clickRow(d, item, list, event, &twice) >= 0 && twice ? 1 : 0;
}

bool Tool_Ticked(const char* name) {
  for (int i = 0; i < instTbl.toolCnt; ++i)
    if (std::strcmp(instTbl.toolData[i].cToolName, name) == 0) return instTbl.toolData[i].bEnable;
  return false;
}

bool Tool_Installed(const char* name) { return Tool_Ticked(name) && gEngine && gEngine->toolComplete(name); }

bool Copy_Incomplete() { return gEngine && !gEngine->failures().empty(); }

short Access_Err(const char* messageFile) {
  char text[kIniLineMax + 1] = "";
  Load_File_To_CstringEx("[ERROR]", "MESSAGE_50=", text, sizeof text, messageFile);
  return Set_Alert_Dialog_Items(kAlertQuestion, 2, messageFile, text);
}

std::string Copy_Failure_Line(const CopyFailure& failure) {
  // The cause in the user's words; a code we have no words for is named.
  struct Cause {
    OSErr err;
    const char* key;
  };
  static constexpr Cause kCauses[] = {{dskFulErr, "MESSAGE_52="},
                                      {afpAccessDenied, "MESSAGE_53="},
                                      {fnfErr, "MESSAGE_54="},
                                      {dirNFErr, "MESSAGE_54="},
                                      {ioErr, "MESSAGE_55="}};
  const char* key = "MESSAGE_56=";
  for (const Cause& c : kCauses)
    if (c.err == failure.err) key = c.key;
  std::string cause = Message_Text("[ERROR]", key);
  const std::string code = std::to_string(failure.err);
  if (auto at = cause.find("%d"); at != std::string::npos) cause.replace(at, 2, code);
  if (cause.empty() || cause.find('%') != std::string::npos) cause = "error " + code;
  return failure.name + ": " + cause;
}

std::string Copy_Failure_Text(const std::string& format, const std::vector<std::string>& failures) {
  std::string list;
  for (const auto& f : failures) list += (list.empty() ? "" : "\r") + f;
  std::string f = format;
  auto at = f.find("%s");
  if (at == std::string::npos || f.find('%', at + 2) != std::string::npos || f.find('%') != at) {
    f = "These files could not be installed:\r%s";
    at = f.find("%s");
  }
  return f.substr(0, at) + list + f.substr(at + 2);
}

SInt16 Page_After_Copy() {
  // A program that did not arrive whole is not set up.
  if (Tool_Installed("VEMO-ADMIN")) return kPageAdminMode;
  if (Tool_Installed("VEMO-MONITOR")) return kPageMonitor;
  return kPageFinish;
}

SInt16 Page_Back_From_Finish() {
  if (Tool_Installed("VEMO-MONITOR")) {
    if (instTbl.mSetupFlag) return Printer_Selected() ? kPageMonOption : kPageMonSearch;
    return kPageMonitor;
  }
  if (Tool_Installed("VEMO-ADMIN")) return kPageAdminMode;
  return kPageFinish;
}

void Set_Dialog_Event() {
  for (int i = 0; i < kPageCells; ++i) Set_Dialog_Function(&gCells[i], kPageOrder[i]);
  gLangBuilt = gToolsBuilt = false;
}

int Change_Dialog_Page(DialogRef dialog, SInt16 page) {
  GrafPtr saved;
  GetPort(&saved);
  SetPortDialogPort(dialog);
  Rect content;
  GetPortBounds(GetWindowPort(GetDialogWindow(dialog)), &content);
  content.bottom -= 40;
  ShortenDITL(dialog, CountDITL(dialog) - 3);
  EraseRect(&content);
  if (Handle items = GetResource('DITL', page)) AppendDITL(dialog, items, overlayDITL);
  const SETUP_DLG_CELL* cell = Get_Dialog_Function(page);
  if (cell && cell->dlg_setup) cell->dlg_setup(dialog);
  if (cell && cell->dlg_load_value) cell->dlg_load_value(dialog);
  invalidate(dialog);
  SetPort(saved);
  return 1;
}

int Close_Main_Dialog(DialogRef dialog) {
  disposeList(instTbl.langList);
  disposeList(instTbl.toolList);
  if (instTbl.textData) CEDispose(instTbl.textData);
  instTbl.textData = nullptr;
  Close_Search_Printer();
  Close_Monitor_Pages();
  copyStart = 0;
  gEngine.reset();
  if (dialog) inst::Close_Usr_Dialog(dialog);
  instTbl.dlg = nullptr;
  instTbl.using_ = 0;
  return 1;
}

Boolean Handle_Instwin_Select_Item(DialogRef dialog, EventRecord* event, DialogItemIndex item) {
  if (inst::Get_Usr_Window_RefCon(dialog) != &instTbl) return false;
  SetPortDialogPort(dialog);
  if (item > 3 && event && event->what == mouseDown) {
    // Frames and pictures lie under the controls they surround: the click
    // belongs to the first enabled item under the point.
    Point pt = event->where;
    GlobalToLocal(&pt);
    for (DialogItemIndex i = 4; i <= CountDITL(dialog); ++i) {
      DialogItemType type;
      Handle h;
      Rect r;
      GetDialogItem(dialog, i, &type, &h, &r);
      if (!(type & 128) && PtInRect(pt, &r)) {
        item = i;
        break;
      }
    }
  }
  tb::TraceNote("install", "page %d item %d", instTbl.activePage, item);
  const SETUP_DLG_CELL* cell = Get_Dialog_Function(instTbl.activePage);
  if (item == 1) {
    if (!cell || !cell->dlg_next_value || !cell->dlg_next_value(dialog)) return true;
    if (instTbl.activePage == kPageEnd) {
      Close_Main_Dialog(dialog);
      Application_Exit_Function();
    } else {
      Change_Dialog_Page(dialog, instTbl.activePage);
    }
    return true;
  }
  if (item == 3) {
    if (cell && cell->dlg_back_value && cell->dlg_back_value(dialog)) Change_Dialog_Page(dialog, instTbl.activePage);
    return true;
  }
  if (item == 2) {
    if (Confirm_Quit()) {
      Close_Main_Dialog(dialog);
      Application_Exit_Function();
    }
    return true;
  }
  if (cell && cell->dlg_item_select) return cell->dlg_item_select(dialog, event, item);
  return false;
}

Boolean Handle_Instwin_Key_Input(DialogRef dialog, EventRecord* event) {
  if (inst::Get_Usr_Window_RefCon(dialog) != &instTbl) return true;
  SetPortDialogPort(dialog);
  const int code = (event->message & keyCodeMask) >> 8;
  const SInt16 page = instTbl.activePage;
  switch (code) {
    case 36:
    case 76:
      if (page == kPageCopy || (page == kPageTools && !anyTicked())) return false;
      if (!buttonEnabled(dialog, 1)) return false;
      Flash_Button(dialog, 1);
      Handle_Instwin_Select_Item(dialog, event, 1);
      return false;
    case 47: return false;
    case 53:
      if (page == kPageCopy || page == kPageFinish) return false;
      Flash_Button(dialog, 2);
      Handle_Instwin_Select_Item(dialog, event, 2);
      return false;
    case 125:
    case 126: {
      ListHandle list = page == kPageLanguage ? instTbl.langList : page == kPageTools ? instTbl.toolList : nullptr;
      if (!list) return true;
      Cell c{0, 0};
      SInt16 rows = 0;
      ListBounds b;
      GetListDataBounds(list, &b);
      rows = b.bottom;
      SInt16 now = LGetSelect(true, &c, list) ? c.v : -1;
      SInt16 next = SInt16(std::clamp<int>(now + (code == 125 ? 1 : -1), 0, std::max<int>(rows - 1, 0)));
      if (rows > 0) {
        if (now >= 0) LSetSelect(false, Cell{now, 0}, list);
        LSetSelect(true, Cell{next, 0}, list);
        if (page == kPageTools) {
          gToolSelected = next;
          showMemo(dialog);
        }
      }
      return true;
    }
    default: return true;
  }
}

short Handle_Instwin_Update_Value(DialogRef dialog, EventRecord*) {
  inst::Draw_Dialog_Update(dialog, [](DialogRef d) {
    if (const SETUP_DLG_CELL* cell = Get_Dialog_Function(instTbl.activePage); cell && cell->dlg_update)
      cell->dlg_update(d);
  });
  return 1;
}

void Setup_File_Copy() {
  if (!copyStart || !gEngine || !instTbl.dlg) return;
  GrafPtr saved;
  GetPort(&saved);
  SetPortDialogPort(instTbl.dlg);
  CopyEngine::Step step = gEngine->Copy_Preparation();
  SetPort(saved);
  instData.totalCount = SInt16(std::min(gEngine->totalCount(), 0x7FFF));
  instData.toFolderSpec = gEngine->toFolder();
  instData.aliasSpec = gEngine->alias();
  instData.aliasFolderSpec = gEngine->aliasFolder();
  if (step == CopyEngine::Step::More) return;
  copyStart = 0;
  if (step == CopyEngine::Step::Refused) {
    Access_Err(instData.messSpec.c_str());
    instTbl.activePage = kPageCheck;
  } else {
    instTbl.instFolder = gEngine->monitorFolder();
    if (Copy_Incomplete()) {
      std::vector<std::string> lines;
      for (const CopyFailure& f : gEngine->failures()) lines.push_back(Copy_Failure_Line(f));
      Set_Alert_Dialog_Items(kAlertQuestion, 2, instData.messSpec.c_str(),
                             Copy_Failure_Text(Message_Text("[ERROR]", "MESSAGE_51="), lines).c_str());
    }
    instTbl.activePage = Page_After_Copy();
  }
  Change_Dialog_Page(instTbl.dlg, instTbl.activePage);
}
