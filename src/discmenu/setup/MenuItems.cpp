// What a button of the disc start menu does: open a sub-menu of the menu
// file, open a document or program through the Finder, or start one of the
// suite's own programs with the launch event and the current language; the
// menu's alerts and the sub-menu labels.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/IniFile.h"
#include "common/LaunchEvents.h"
#include "common/StrConv.h"
#include "discmenu/FinderLaunch.h"
#include "discmenu/setup/Autorun.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"
#include "toolbox/files.h"
#include "toolbox/textencoding.h"
#include "toolbox/trace.h"
#include "toolbox/windows.h"

namespace {

const unsigned char kEmpty[1] = {0};

bool isGo(const char* obj) { return std::strncmp(obj, "GO_", 3) == 0; }

void resetColours() { std::memset(&gMenuColor, 0, sizeof gMenuColor); }

// A colour key of the sub-menu: its default when missing, unset when the
// value does not hold three numbers.
void readColour(const char* section, const char* key, const char* fallback, RGBColor* colour, UInt8* set) {
  char value[128];
  const char* text = Read_Ini(&gAutorunInfo.menuFile, section, key, value, sizeof value) ? value : fallback;
  *set = Color_Numbers(text, colour) ? 1 : 0;
}

void labelRect(MENU_DATA* e) {
  MENU_FONT font;
  Get_Menu_Font(&gAutorunInfo.menuFile, "NORMAL_MENU=", &font);
  e->strRect = Label_Rect(e->label, e->pos, &font);
}

void readSubMenu(int number, MENU_DATA* table, short count) {
  char section[32], value[512];
  std::snprintf(section, sizeof section, "[MENU%d]", number);
  resetColours();
  if (Read_Ini(&gAutorunInfo.menuFile, section, "MENU_FONT=", value, sizeof value) && value[0]) {
    Copy_Cut(gMenuColor.fontKey, sizeof gMenuColor.fontKey, value);
    gMenuColor.fontSet = 1;
  }
  readColour(section, "MENU_S_COLOR=", "0,0,128", &gMenuColor.sColor, &gMenuColor.sColorSet);
  readColour(section, "MENU_S_SHADOW=", "192,192,192", &gMenuColor.sShadow, &gMenuColor.sShadowSet);
  readColour(section, "MENU_N_COLOR=", "96,96,96", &gMenuColor.nColor, &gMenuColor.nColorSet);
  readColour(section, "MENU_N_SHADOW=", "255,255,255", &gMenuColor.nShadow, &gMenuColor.nShadowSet);
  const bool named = Read_Ini(&gAutorunInfo.menuFile, section, "MENU_NAME=", value, sizeof value) && value[0];
  const short down = named ? 60 : 0;
  Clear_Menu_Table(table, count);
  short slot = 0;
  for (int d = 0; d < count && slot < count; ++d) {
    char key[32], word[128];
    std::snprintf(key, sizeof key, "ITEM%d=", d);
    if (!Read_Ini(&gAutorunInfo.menuFile, section, key, word, sizeof word)) break;
    if (word[0] == 0) continue;
    MENU_DATA& e = table[slot++];
    e.enable = 1;
    auto item = [&](const char* suffix, char* out, int size) {
      char k[160];
      std::snprintf(k, sizeof k, "%s%s", word, suffix);
      return Read_Ini(&gAutorunInfo.menuFile, "[ITEMS]", k, out, size);
    };
    if (item("_STR=", value, sizeof value)) {
      SetKaigyou(value, int(std::strlen(value)));
      value[tb::CharCutLength(std::string_view(value), 255)] = '\0';
      pstr::set(e.label, sizeof e.label, value);
    }
    if (item("_OBJ=", value, sizeof value)) Copy_Cut(e.obj, sizeof e.obj, value);
    if (item("_LANG=", value, sizeof value)) Copy_Cut(e.lang, sizeof e.lang, value);
    if (item("_POS=", value, sizeof value)) Read_Point(value, &e.pos);
    e.pos.v = short(e.pos.v + down);
    labelRect(&e);
    if (item("_ICO=", value, sizeof value)) e.normal = Load_Picture(value);
    if (item("_ICOS=", value, sizeof value)) e.select = Load_Picture(value);
    Point iconPos = e.pos;
    if (item("_ICOP=", value, sizeof value) && Read_Point(value, &iconPos)) iconPos.v = short(iconPos.v + down);
    if (e.normal) GetPortBounds(e.normal, &e.btnRect);
    OffsetRect(&e.btnRect, iconPos.h, iconPos.v);
  }
}

// Opens a target that is not a sub-menu.
void openTarget(const MENU_DATA* entry) {
  if (entry->obj[0] != ':') return;
  FSSpec spec;
  const OSErr err = Make_Target_Spec(entry->obj, &spec);
  if (err != noErr && err != fnfErr) {
    Menu_Command_Error();
    return;
  }
  const short kind = err == fnfErr ? short(kFileMissing) : Get_File_Type(&spec);
  switch (kind) {
    case kFileText:
    case kFileOtherApp:
    case kFilePDF:
      // A failure of the opened program is not ours to know; an opener that
      // cannot even be started is.
      if (FinderLaunch(1, &spec) == procNotFound) Menu_Command_Error();
      return;
    case kFileSuiteApp:
      if (Go_To_Exec_Command(entry) != noErr) Menu_Command_Error();
      return;
    default: Menu_Command_Error(); return;
  }
}

Boolean alertFilter(DialogRef dialog, EventRecord* event, DialogItemIndex* item) {
  if (event->what == keyDown || event->what == autoKey) {
    const UInt8 key = UInt8((event->message >> 8) & 0xFF);
    const char c = char(event->message & 0xFF);
    if (key == 0x24 || key == 0x4C || c == '\r' || c == 3) {
      *item = 1;
      return true;
    }
    if (key == 0x35 || c == 0x1B) {
      *item = 2;
      return true;
    }
  }
  if (event->what == updateEvt && autoWndPtr &&
      reinterpret_cast<WindowRef>(event->message) == GetDialogWindow(autoWndPtr) &&
      reinterpret_cast<WindowRef>(event->message) != GetDialogWindow(dialog)) {
    WindowRef w = GetDialogWindow(autoWndPtr);
    BeginUpdate(w);
    Handle_Autorun_Window_Update();
    EndUpdate(w);
  }
  return false;
}

void setCaption(DialogRef dialog, DialogItemIndex item, const char* text) {
  ControlRef control = nullptr;
  if (GetDialogItemAsControl(dialog, item, &control) != noErr || !control) return;
  Str255 title;
  char cut[256];
  Copy_Cut(cut, sizeof cut, text);
  pstr::set(title, sizeof title, cut);
  SetControlTitle(control, title);
}

// The alert: the first button always, the second only with a caption.
short runAlert(short dialogID, ConstStr255Param text, ConstStr255Param p1, ConstStr255Param p2, ConstStr255Param p3,
               const char* yes, const char* no, bool yesOnSecond) {
  ParamText(text, p1, p2, p3);
  DialogRef dialog = GetNewDialog(dialogID, nullptr, reinterpret_cast<WindowRef>(-1));
  if (!dialog) return 1;
  // The menu's own title, read from its files, so that no word of another
  // language stands over the question.
  if (autoWndPtr) {
    Str255 title;
    GetWTitle(GetDialogWindow(autoWndPtr), title);
    SetWTitle(GetDialogWindow(dialog), title);
  }
  const DialogItemIndex yesItem = yesOnSecond ? 2 : 1;
  const DialogItemIndex noItem = yesOnSecond ? 1 : 2;
  setCaption(dialog, yesItem, yes);
  if (no)
    setCaption(dialog, noItem, no);
  else
    HideDialogItem(dialog, 2);
  SetDialogDefaultItem(dialog, yesItem);
  SysBeep(1);
  ShowWindow(GetDialogWindow(dialog));
  DialogItemIndex hit = 0;
  do {
    ModalDialog(alertFilter, &hit);
  } while (hit != 1 && (hit != 2 || !no));
  DisposeDialog(dialog);
  return hit;
}

}  // namespace

OSErr Make_Target_Spec(const char* obj, FSSpec* spec) {
  if (std::strlen(obj) > 255) return bdNamErr;
  Str255 path;
  pstr::set(path, sizeof path, obj);
  return FSMakeFSSpec(gAutorunInfo.languFile.vRefNum, gAutorunInfo.languFile.parID, path, spec);
}

short Get_File_Type(const FSSpec* spec) {
  if (!spec || spec->name[0] == 0) return kFileMissing;
  FInfo info;
  if (FSpGetFInfo(spec, &info) != noErr) return kFileMissing;
  if (info.fdType == 'TEXT') return kFileText;
  if (info.fdType == 'PDF ') return kFilePDF;
  if (info.fdType != 'APPL') return kFileOther;
  const char first[2] = {char(info.fdCreator >> 24), char((info.fdCreator >> 16) & 0xFF)};
  for (const char* suite : {"JC", "KQ", "ST", "VM", "WQ"})
    if (first[0] == suite[0] && first[1] == suite[1]) return kFileSuiteApp;
  return kFileOtherApp;
}

short Get_Menu_Keywoad(const MENU_DATA* entry, MENU_DATA* table, short count) {
  if (isGo(entry->obj)) {
    // The entry may lie in the table being read.
    const int number = std::atoi(entry->obj + 3);
    readSubMenu(number, table, count);
    return 1;
  }
  openTarget(entry);
  return 0;
}

void Go_To_Select_Command(short command) {
  if (command < 10 || command > 19) return;
  const MENU_DATA& e = iContents[command - 10];
  if (!e.enable) return;
  if (Get_Menu_Keywoad(&e, iManual, kSubMenuSlots) == 1) {
    langItem = -1;
    Change_Autorun_Screen(kScreenSubMenu, "sub-menu");
  }
}

void Go_To_Common_Command(short command) {
  if (command < 50 || command > 59) return;
  const MENU_DATA& e = iManual[command - 50];
  if (!e.enable) return;
  if (Get_Menu_Keywoad(&e, iCommon, kCommonSlots) == 1) Change_Autorun_Screen(kScreenCommon, "common menu");
}

void Make_Launch_Option(const MENU_DATA* entry, Str255 out) {
  char text[128];
  if (!entry->lang[0]) {
    text[0] = '\0';
  } else if (gAutorunInfo.type[0] == 'A' || gAutorunInfo.type[0] == 'L') {
    std::snprintf(text, sizeof text, "%s%s", entry->lang, gAutorunInfo.langName);
  } else {
    std::snprintf(text, sizeof text, "%s ", entry->lang);
  }
  const std::size_t n = tb::CharCutLength(std::string_view(text), kLaunchOptionMax);
  out[0] = UInt8(n);
  std::memcpy(out + 1, text, n);
}

OSErr Go_To_Exec_Command(const MENU_DATA* entry) {
  FSSpec spec;
  OSErr err = Make_Target_Spec(entry->obj, &spec);
  if (err != noErr) return err;
  FInfo info;
  err = FSpGetFInfo(&spec, &info);
  if (err != noErr) return err;
  Str255 option;
  Make_Launch_Option(entry, option);
  ProcessSerialNumber psn;
  err = SendAppliCommand(&spec, option, Size(option[0]) + 1, info.fdCreator, kSuiteEventClass, kSuiteLaunchEventID,
                         'TEXT', info.fdCreator, &psn);
  if (err != noErr) tb::TraceRefusal("setup", "launch of %s failed (%d)", entry->obj, err);
  return err;
}

void Menu_Command_Error() {
  char text[512], ok[128];
  Read_Ini(&gAutorunInfo.menuFile, "[SYSTEM]", "ERRORMES2=", text, sizeof text);
  if (!Read_Ini(&gAutorunInfo.menuFile, "[SYSTEM]", "OK=", ok, sizeof ok) || !ok[0]) std::strcpy(ok, "OK");
  SetKaigyou(text, int(std::strlen(text)));
  text[tb::CharCutLength(std::string_view(text), 255)] = '\0';
  Str255 message;
  pstr::set(message, sizeof message, text);
  runAlert(602, message, kEmpty, kEmpty, kEmpty, ok, nullptr, false);
}

short Set_Alert_Dialog_Items_YesNo(short dialogID, short kind, const FSSpec* menuFile, ConstStr255Param text,
                                   ConstStr255Param p1, ConstStr255Param p2, ConstStr255Param p3) {
  char yes[128], no[128];
  if (!Read_Ini(menuFile, "[SYSTEM]", "MACYES=", yes, sizeof yes) || !yes[0]) std::strcpy(yes, "Yes");
  if (!Read_Ini(menuFile, "[SYSTEM]", "MACNO=", no, sizeof no) || !no[0]) std::strcpy(no, "No");
  const bool yesOnSecond = dialogID >= 604 && dialogID <= 607;
  const short hit = runAlert(dialogID, text, p1, p2, p3, yes, kind == 2 ? nullptr : no, yesOnSecond);
  return hit;
}

void Get_Sub_Menu_Font(bool selected, MENU_FONT* font) {
  char key[40];
  if (gMenuColor.fontSet) {
    const char* underscore = std::strchr(gMenuColor.fontKey, '_');
    const int prefix = underscore ? int(underscore - gMenuColor.fontKey) : int(std::strlen(gMenuColor.fontKey));
    std::snprintf(key, sizeof key, "%.*s%s", prefix, gMenuColor.fontKey, selected ? "_SELECT=" : "_MENU=");
  } else {
    std::strcpy(key, selected ? "SELECT_MENU=" : "NORMAL_MENU=");
  }
  Get_Menu_Font(&gAutorunInfo.menuFile, key, font);
}

void Draw_Mouse_In_Rect(const MENU_DATA* entry, bool selected, const MENU_FONT& font) {
  if (!entry->enable || entry->label[0] == 0) return;
  const RGBColor white{65535, 65535, 65535}, black{0, 0, 0};
  const RGBColor& colour = selected ? (gMenuColor.sColorSet ? gMenuColor.sColor : white)
                                    : (gMenuColor.nColorSet ? gMenuColor.nColor : black);
  const RGBColor& shadow = selected ? (gMenuColor.sShadowSet ? gMenuColor.sShadow : white)
                                    : (gMenuColor.nShadowSet ? gMenuColor.nShadow : black);
  Draw_Label(entry->label, &entry->strRect, &font, &colour, font.dx, font.dy);
  Draw_Label(entry->label, &entry->strRect, &font, &shadow, 0, 0);
}
