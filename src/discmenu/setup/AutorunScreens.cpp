// The disc start menu's screens: which buttons each screen draws and acts
// on, the screen changes, drawing, the hover highlight and cursor, and the
// quit question.
#include <cstdlib>
#include <cstring>

#include "common/GWorldImage.h"
#include "common/IniFile.h"
#include "common/StrConv.h"
#include "discmenu/setup/Autorun.h"
#include "toolbox/events.h"
#include "toolbox/fonts.h"
#include "toolbox/icons.h"
#include "toolbox/pictures.h"
#include "toolbox/textencoding.h"
#include "toolbox/trace.h"
#include "toolbox/windows.h"

namespace {

constexpr SInt16 kHandCursor = 151;
constexpr SInt16 kHitIcon = 140;

const char* screenName(SInt16 screen) {
  switch (screen) {
    case kScreenMain: return "main";
    case kScreenLanguage: return "language";
    case kScreenCommon: return "common";
    case kScreenSubMenu: return "sub-menu";
    default: return "?";
  }
}

char typeLetter() { return gAutorunInfo.type[0]; }

// Screen -4 is drawn and left like a sub-menu, so the user is never held on
// a screen with only the exit button.
bool subLike(SInt16 screen) { return screen == kScreenSubMenu || screen == kScreenCommon; }

const GINFO* background() {
  switch (gActivePNum) {
    case kScreenLanguage: return &gLangGInfo;
    case kScreenMain: return &gSelectGInfo;
    default: return &gWindowGInfo;
  }
}

Rect drawnArea() {
  char value[64];
  Rect r = background()->bounds;
  if (Read_Ini(&gAutorunInfo.languFile, "[SYSTEM]", "MAINSIZE=", value, sizeof value)) {
    int l, t, rr, b;
    if (std::sscanf(value, "%d,%d,%d,%d", &l, &t, &rr, &b) == 4 && l < rr && t < b)
      r = Rect{short(t), short(l), short(b), short(rr)};
  }
  return r;
}

RGBColor clearColour(GWorldPtr world) {
  RGBColor c{0xFFFF, 0xFFFF, 0xFFFF};
  GetGWorldPixel(world, 0, 0, &c);
  return c;
}

void drawTransparent(GWorldPtr world, const Rect* at) {
  if (!world) return;
  Rect bounds;
  GetPortBounds(world, &bounds);
  const RGBColor clear = clearColour(world);
  Draw_GWorld_Mask(autoWndPtr, world, &bounds, at, &clear);
}

// The background behind a rectangle, so a button drawn with transparency
// can be drawn again in another state.
void restoreBackground(Rect area) {
  const GINFO* bg = background();
  if (!bg->world) return;
  InsetRect(&area, -2, -2);
  Rect clipped;
  if (!SectRect(&area, &bg->bounds, &clipped)) return;
  DrawGWorldRect(autoWndPtr, bg->world, &clipped, &clipped);
}

const MENU_DATA* screenEntries(short* count) {
  if (gActivePNum == kScreenMain) {
    *count = kMainMenuSlots;
    return iContents;
  }
  if (gActivePNum == kScreenSubMenu) {
    *count = kSubMenuSlots;
    return iManual;
  }
  *count = 0;
  return nullptr;
}

// The button and everything its label's drawings in either state cover
// (each drawn twice: with the shadow's offset and without, the highlighted
// one moved by `shift`), so that the state drawn before, in a wider or
// bolder font, is erased whole.
Rect buttonArea(const MENU_DATA& e, const MENU_FONT (&fonts)[2], short shift) {
  Rect area;
  UnionRect(&e.btnRect, &e.strRect, &area);
  if (e.label[0] == 0) return area;
  for (int k = 0; k < 2; ++k) {
    const short by = k == 1 ? shift : 0;
    for (const Rect& r :
         {Label_Bounds(e.label, &e.strRect, &fonts[k], short(fonts[k].dx + by), short(fonts[k].dy + by)),
          Label_Bounds(e.label, &e.strRect, &fonts[k], by, by)})
      UnionRect(&area, &r, &area);
  }
  return area;
}

void drawMainButton(short i, bool selected) {
  const MENU_DATA& e = iContents[i];
  if (!e.enable) return;
  MENU_FONT fonts[2];
  Get_Menu_Font(&gAutorunInfo.menuFile, "SUP_ADD=", &fonts[0]);
  Get_Menu_Font(&gAutorunInfo.menuFile, "SUP_ADDS=", &fonts[1]);
  const short shift = -1;
  restoreBackground(buttonArea(e, fonts, shift));
  drawTransparent(selected && e.select ? e.select : e.normal, &e.btnRect);
  if (e.label[0] == 0) return;
  const MENU_FONT& font = fonts[selected ? 1 : 0];
  const short by = selected ? shift : 0;
  Draw_Label(e.label, &e.strRect, &font, &font.back, short(font.dx + by), short(font.dy + by));
  Draw_Label(e.label, &e.strRect, &font, &font.fore, by, by);
}

void drawSubEntry(short i, bool selected) {
  const MENU_DATA& e = iManual[i];
  if (!e.enable) return;
  MENU_FONT fonts[2];
  Get_Sub_Menu_Font(false, &fonts[0]);
  Get_Sub_Menu_Font(true, &fonts[1]);
  restoreBackground(buttonArea(e, fonts, 0));
  drawTransparent(selected && e.select ? e.select : e.normal, &e.btnRect);
  Draw_Mouse_In_Rect(&e, selected, fonts[selected ? 1 : 0]);
}

void drawLanguage(short i, bool selected) {
  const LANG_DATA& l = gLangTbl[i];
  GWorldPtr w = selected && l.select ? l.select : l.normal;
  if (w) DrawGWorld(autoWndPtr, w, &l.rect);
}

void drawFixed(short slot, bool selected) {
  const COMMON_DATA& c = gCommonTbl[slot];
  GWorldPtr w = selected && c.select ? c.select : c.normal;
  if (w) DrawGWorld(autoWndPtr, w, &c.rect);
}

void drawScreenButton(short i, bool selected) {
  if (i < 0) return;
  if (gActivePNum == kScreenLanguage && i < gLangCount) drawLanguage(i, selected);
  if (gActivePNum == kScreenMain && i < kMainMenuSlots) drawMainButton(i, selected);
  if (gActivePNum == kScreenSubMenu && i < kSubMenuSlots) drawSubEntry(i, selected);
}

void setCursor(bool hand) {
  if (hand) {
    CursHandle h = GetCursor(kHandCursor);
    if (h && *h) SetCursor(*h);
  } else {
    InitCursor();
  }
  gCheckCursor = hand ? 1 : 0;
}

void changeLanguage(short i) {
  const LANG_DATA& l = gLangTbl[i];
  gAutorunInfo.langNumber = l.number;
  Copy_Cut(gAutorunInfo.langName, sizeof gAutorunInfo.langName, l.name);
  gAutorunInfo.menuFile = l.menuFile;
  gAutorunInfo.menuFileSet = l.menuFile.name[0] != 0;
  Get_Contents_Keywoad();
  Change_Autorun_Screen(kScreenMain, "language chosen");
}

}  // namespace

void Change_Autorun_Screen(SInt16 screen, const char* why) {
  tb::TraceState("setup", "screen", &gActivePNum, screenName(gActivePNum), screenName(screen), why);
  gActivePNum = screen;
  langItem = -1;
  contentItem = -1;
  gItem = -1;
  if (screen != kScreenSubMenu) Clear_Menu_Table(iManual, kSubMenuSlots);
  if (autoWndPtr) SetWRefCon(GetDialogWindow(autoWndPtr), screen);
  setDialogUpdate = 1;
}

// A fixed button is drawn on the screens where it acts and only there: the
// picture of a button that does nothing would tell the user it does.
bool Fixed_Button_Acts(short slot) {
  if (slot < 0 || slot >= kFixedCount || !gCommonTbl[slot].normal) return false;
  const char t = typeLetter();
  switch (slot) {
    case kFixedExit: return true;
    case kFixedBack:
      if (gActivePNum == kScreenLanguage) return t == 'A';
      if (gActivePNum == kScreenMain) return t == 'L';
      return subLike(gActivePNum);
    case kFixedBackToLang: return gActivePNum == kScreenMain && t == 'A';
    default: return false;
  }
}

bool Fixed_Button_Drawn(short slot) { return Fixed_Button_Acts(slot); }

short Find_Fixed_Button(Point local) {
  for (short slot = 0; slot < kFixedCount; ++slot) {
    if (!Fixed_Button_Drawn(slot)) continue;
    const Rect& r = gCommonTbl[slot].rect;
    if (PtInRect(local, &r) && PtInIconID(local, &r, kAlignNone, kHitIcon)) return slot;
  }
  return -1;
}

short Find_Screen_Button(Point local) {
  if (gActivePNum == kScreenLanguage) {
    for (short i = 0; i < gLangCount; ++i)
      if (gLangTbl[i].normal && PtInRect(local, &gLangTbl[i].rect)) return i;
    return -1;
  }
  short count = 0;
  const MENU_DATA* table = screenEntries(&count);
  for (short i = 0; i < count; ++i) {
    if (!table[i].enable) continue;
    if (PtInRect(local, &table[i].btnRect) || PtInRect(local, &table[i].strRect)) return i;
  }
  return -1;
}

void Handle_Autorun_Select_Item(Point local) {
  const short fixed = Find_Fixed_Button(local);
  if (fixed == kFixedExit) {
    if (Autorun_Quit_Asked()) gQuitFlag = true;
    return;
  }
  switch (gActivePNum) {
    case kScreenLanguage: {
      if (fixed == kFixedBack && Fixed_Button_Acts(kFixedBack)) {
        Get_Contents_Keywoad();
        Change_Autorun_Screen(kScreenMain, "back");
        return;
      }
      const short i = Find_Screen_Button(local);
      if (i >= 0) changeLanguage(i);
      return;
    }
    case kScreenMain: {
      if ((fixed == kFixedBackToLang || fixed == kFixedBack) && Fixed_Button_Acts(fixed)) {
        Change_Autorun_Screen(kScreenLanguage, "back to the languages");
        return;
      }
      const short i = Find_Screen_Button(local);
      if (i >= 0) Go_To_Select_Command(short(10 + i));
      return;
    }
    case kScreenSubMenu:
    case kScreenCommon: {
      if (fixed == kFixedBack) {
        Change_Autorun_Screen(kScreenMain, "back");
        return;
      }
      if (gActivePNum != kScreenSubMenu) return;
      const short i = Find_Screen_Button(local);
      if (i >= 0 && i < kSubMenuActive) Go_To_Common_Command(short(50 + i));
      return;
    }
    default: return;
  }
}

void Handle_Autorun_Window_Update() {
  if (!autoWndPtr) return;
  setDialogUpdate = 0;
  tb::PortSaver saver(GetDialogPort(autoWndPtr));
  const GINFO* bg = background();
  const Rect area = drawnArea();
  if (bg->world) DrawGWorldRect(autoWndPtr, bg->world, &area, &area);
  for (short slot = 0; slot < kFixedCount; ++slot)
    if (Fixed_Button_Drawn(slot)) drawFixed(slot, slot == gItem);
  switch (gActivePNum) {
    case kScreenLanguage:
      for (short i = 0; i < gLangCount; ++i) drawLanguage(i, i == langItem);
      break;
    case kScreenMain:
      for (short i = 0; i < kMainMenuSlots; ++i) drawMainButton(i, i == contentItem);
      break;
    case kScreenSubMenu:
      for (short i = 0; i < kSubMenuSlots; ++i) drawSubEntry(i, i == langItem);
      break;
    default: break;
  }
}

void Handle_Autorun_Window_Active() {
  if (!autoWndPtr) return;
  tb::PortSaver saver(GetDialogPort(autoWndPtr));
  Point mouse;
  GetMouse(&mouse);
  short* current = gActivePNum == kScreenMain ? &contentItem : &langItem;
  const short fixed = Find_Fixed_Button(mouse);
  if (fixed >= 0) {
    if (fixed != gItem) {
      if (gItem >= 0) drawFixed(gItem, false);
      drawFixed(fixed, true);
      gItem = fixed;
    }
    // The mouse may come straight from one of the screen's buttons: only the
    // button under it shows highlighted.
    if (*current >= 0) {
      drawScreenButton(*current, false);
      *current = -1;
    }
    if (!gCheckCursor) setCursor(true);
    return;
  }
  if (gItem >= 0) {
    drawFixed(gItem, false);
    gItem = -1;
  }
  const short over = Find_Screen_Button(mouse);
  if (over != *current) {
    drawScreenButton(*current, false);
    drawScreenButton(over, true);
    *current = over;
  }
  if ((over >= 0) != (gCheckCursor != 0)) setCursor(over >= 0);
}

bool Autorun_Quit_Asked() {
  FSSpec file = gAutorunInfo.menuFile;
  bool haveFile = gAutorunInfo.menuFileSet;
  if (gActivePNum == kScreenLanguage || !haveFile) {
    char value[512];
    haveFile = false;
    if (Read_Ini(&gAutorunInfo.languFile, "[LANG_AUTO]", "DEFAULT=", value, sizeof value)) {
      if (char* semi = std::strchr(value, ';')) *semi = '\0';
      const OSErr err = Make_Program_Spec(value, &file);
      haveFile = err == noErr;
    }
  }
  char text[512];
  if (!haveFile || !Read_Ini(&file, "[SYSTEM]", "EXITMESS=", text, sizeof text) || text[0] == 0) return true;
  SetKaigyou(text, int(std::strlen(text)));
  Str255 message;
  text[tb::CharCutLength(std::string_view(text), 255)] = '\0';
  pstr::set(message, sizeof message, text);
  static const unsigned char kEmpty[1] = {0};
  const short item = Set_Alert_Dialog_Items_YesNo(602, 1, &file, message, kEmpty, kEmpty, kEmpty);
  return item == 1;
}
