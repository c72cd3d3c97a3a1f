// The disc start menu's start-up: "UserLangu.ini", the backgrounds and
// composed buttons, the language choice and the first screen, the main menu
// read from the current language's menu file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "506Q_Lib/AppLocation.h"
#include "common/AppFonts.h"
#include "common/AppGlobals.h"
#include "common/GWorldImage.h"
#include "common/IniFile.h"
#include "common/StrConv.h"
#include "discmenu/setup/Autorun.h"
#include "toolbox/bundle.h"
#include "toolbox/resources.h"
#include "toolbox/script.h"
#include "toolbox/textencoding.h"
#include "toolbox/trace.h"
#include "toolbox/windows.h"

// The name of the menu file in each language's folder.
char IniFileName[kAppFileNameSize];
const char LanguFileName[] = "::Resources:UserLangu.ini";

AUTORUN_INFO gAutorunInfo;
SInt16 gActivePNum = kScreenMain;
short contentItem = -1;
short gItem = -1;
short langItem = -1;
UInt8 setDialogUpdate = 0;
UInt8 gCheckCursor = 0;
MENU_DATA iContents[kMainMenuSlots];
MENU_DATA iManual[kSubMenuSlots];
MENU_DATA iCommon[kCommonSlots];
LANG_DATA gLangTbl[kLangSlots];
short gLangCount = 0;
COMMON_DATA gCommonTbl[kFixedCount];
GINFO gLangGInfo, gSelectGInfo, gWindowGInfo;
MENU_COLOR_SET gMenuColor;
DialogRef autoWndPtr = nullptr;
Boolean gQuitFlag = false;
UInt16 gSystemVersion = 0x1060;
char gDefaultButton[kMainMenuSlots][3][256];

namespace {

void disposeWorld(GWorldPtr* world) {
  if (*world) DisposeGWorld(*world);
  *world = nullptr;
}

Rect worldBounds(GWorldPtr world) {
  Rect r{0, 0, 0, 0};
  if (world) GetPortBounds(world, &r);
  return r;
}

void loadBackground(const char* key, GINFO* info) {
  char path[256];
  disposeWorld(&info->world);
  info->bounds = Rect{0, 0, 0, 0};
  if (!Read_Ini(&gAutorunInfo.languFile, "[SYSTEM]", key, path, sizeof path)) return;
  info->world = Load_Picture(path);
  info->bounds = worldBounds(info->world);
}

// A picture laid over the language screen's background at rect, its pixel
// (0,0) colour left out; the picture alone when there is no background.
GWorldPtr composeOverBase(GWorldPtr picture, const Rect* rect) {
  if (!picture) return nullptr;
  Rect pictureBounds = worldBounds(picture);
  RGBColor clear;
  GetGWorldPixel(picture, 0, 0, &clear);
  GWorldPtr out = nullptr;
  if (gLangGInfo.world) {
    if (NewUnionGWorkd(&out, gLangGInfo.world, rect, srcCopy, nullptr, picture, &pictureBounds, transparent, &clear) !=
        noErr)
      out = nullptr;
  } else {
    if (NewUnionGWorkd(&out, picture, &pictureBounds, srcCopy, nullptr, picture, &pictureBounds, srcCopy, nullptr) !=
        noErr)
      out = nullptr;
  }
  return out;
}

// "path;name" of [LANG_AUTO] as the current menu file and language name.
bool takeLanguageEntry(const char* value, SInt16 number) {
  const char* semi = std::strchr(value, ';');
  char path[256];
  const std::size_t pathLen = semi ? std::size_t(semi - value) : std::strlen(value);
  if (pathLen == 0 || pathLen >= sizeof path) return false;
  std::memcpy(path, value, pathLen);
  path[pathLen] = '\0';
  FSSpec spec;
  const OSErr err = Make_Program_Spec(path, &spec);
  if (err != noErr && err != fnfErr) return false;
  gAutorunInfo.menuFile = spec;
  gAutorunInfo.menuFileSet = 1;
  Copy_Cut(gAutorunInfo.langName, sizeof gAutorunInfo.langName, semi ? semi + 1 : "");
  gAutorunInfo.langNumber = number;
  return true;
}

bool acceptedLanguage(long code) {
  if (code >= 0 && code <= 14) return true;
  switch (code) {
    case 17:
    case 19:
    case 21:
    case 22:
    case 23:
    case 25:
    case 31:
    case 32:
    case 33:
    case 81: return true;
    default: return false;
  }
}

// The bundle's "LANGUAGE_PATH" format with the menu file's name put in. The
// format comes from a data file, so only one "%s" and no other conversion
// is taken.
bool localisedMenuPath(char* out, std::size_t size) {
  char format[256];
  if (!Get_Localize_Strings(format, sizeof format)) return false;
  const char* at = std::strstr(format, "%s");
  if (!at || std::strchr(at + 2, '%') ||
      std::string_view(format, std::size_t(at - format)).find('%') != std::string_view::npos)
    return false;
  const int n = std::snprintf(out, size, "%.*s%s%s", int(at - format), format, IniFileName, at + 2);
  return n > 0 && std::size_t(n) < size;
}

}  // namespace

void Copy_Cut(char* out, std::size_t size, const char* text) {
  if (size == 0) return;
  const std::size_t len = text ? std::strlen(text) : 0;
  const std::size_t n = tb::CharCutLength(std::string_view(text ? text : "", len), size - 1);
  if (n) std::memcpy(out, text, n);
  out[n] = '\0';
}

bool Read_Ini(const FSSpec* file, const char* section, const char* key, char* out, int size) {
  if (size > 0) out[0] = '\0';
  if (!file || file->name[0] == 0) return false;
  return Get_File_To_CstringEx(section, key, out, size, file) == 1;
}

OSErr Make_Program_Spec(const char* path, FSSpec* spec) {
  FSSpec app;
  OSErr err = GetAppLocation(&app);
  if (err != noErr) return err;
  Str255 name;
  if (std::strlen(path) > 255) return bdNamErr;
  pstr::set(name, sizeof name, path);
  return FSMakeFSSpec(app.vRefNum, app.parID, name, spec);
}

bool Read_Point(const char* text, Point* pt) {
  char* end = nullptr;
  const long x = std::strtol(text, &end, 10);
  if (end == text || *end != ',') return false;
  const char* second = end + 1;
  const long y = std::strtol(second, &end, 10);
  if (end == second || x < -32768 || x > 32767 || y < -32768 || y > 32767) return false;
  pt->h = short(x);
  pt->v = short(y);
  return true;
}

GWorldPtr Load_Picture(const char* path) {
  const std::size_t len = std::strlen(path);
  if (len == 0) return nullptr;
  if (len >= 8 && strncasecmp(path + len - 8, "NONE.BMP", 8) == 0) return nullptr;
  FSSpec spec;
  if (Make_Program_Spec(path, &spec) != noErr) {
    tb::TraceRefusal("setup", "picture %s not found", path);
    return nullptr;
  }
  GWorldPtr world = nullptr;
  if (NewGWorldFromBMP(&world, &spec) != noErr) {
    tb::TraceRefusal("setup", "picture %s is not a picture this program reads", path);
    return nullptr;
  }
  return world;
}

void Clear_Menu_Table(MENU_DATA* table, short count) {
  for (short i = 0; i < count; ++i) {
    disposeWorld(&table[i].normal);
    disposeWorld(&table[i].select);
    disposeWorld(&table[i].icon);
    std::memset(&table[i], 0, sizeof table[i]);
  }
}

void Initialize_Variables() { std::snprintf(IniFileName, sizeof IniFileName, "%s", "MENU.INI"); }

short Get_Autorun_Start_Infomation() {
  if (!IniFileName[0]) Initialize_Variables();
  std::memset(&gAutorunInfo, 0, sizeof gAutorunInfo);
  if (Make_Program_Spec(LanguFileName, &gAutorunInfo.languFile) != noErr) return 0;
  char type[64];
  Read_Ini(&gAutorunInfo.languFile, "[SYSTEM]", "TYPE=", type, sizeof type);
  Copy_Cut(gAutorunInfo.type, sizeof gAutorunInfo.type, type);
  if (gAutorunInfo.type[0] == 'A') {
    gAutorunInfo.autoLang = 1;
    gAutorunInfo.langScreen = 1;
  } else if (gAutorunInfo.type[0] == 'L') {
    gAutorunInfo.langScreen = 1;
  }
  return 1;
}

void Get_Autorun_Data(COMMON_DATA* button, const char* bmpKey, const char* bmp2Key, const char* posKey) {
  char path[256], pos[64];
  Point at{0, 0};
  if (Read_Ini(&gAutorunInfo.languFile, "[SYSTEM]", posKey, pos, sizeof pos)) Read_Point(pos, &at);
  GWorldPtr normal = nullptr, select = nullptr;
  if (Read_Ini(&gAutorunInfo.languFile, "[SYSTEM]", bmpKey, path, sizeof path)) normal = Load_Picture(path);
  if (Read_Ini(&gAutorunInfo.languFile, "[SYSTEM]", bmp2Key, path, sizeof path)) select = Load_Picture(path);
  button->rect = worldBounds(normal);
  OffsetRect(&button->rect, at.h, at.v);
  button->normal = composeOverBase(normal, &button->rect);
  button->select = composeOverBase(select ? select : normal, &button->rect);
  disposeWorld(&normal);
  disposeWorld(&select);
}

void Get_Lang_Data(LANG_DATA* lang, const char* name, short index) {
  char section[32], path[256], pos[64];
  lang->number = index;
  Copy_Cut(lang->name, sizeof lang->name, name);
  std::snprintf(section, sizeof section, "[%s]", lang->name);
  if (Read_Ini(&gAutorunInfo.languFile, section, "INI=", path, sizeof path)) Make_Program_Spec(path, &lang->menuFile);
  Point at{0, 0};
  if (Read_Ini(&gAutorunInfo.languFile, section, "POS=", pos, sizeof pos)) Read_Point(pos, &at);
  GWorldPtr normal = nullptr, select = nullptr;
  if (Read_Ini(&gAutorunInfo.languFile, section, "BMP=", path, sizeof path)) normal = Load_Picture(path);
  if (Read_Ini(&gAutorunInfo.languFile, section, "BMP2=", path, sizeof path)) select = Load_Picture(path);
  lang->rect = worldBounds(normal);
  OffsetRect(&lang->rect, at.h, at.v);
  lang->normal = composeOverBase(normal, &lang->rect);
  lang->select = composeOverBase(select ? select : normal, &lang->rect);
  disposeWorld(&normal);
  disposeWorld(&select);
}

short Initialize_GWorld() {
  loadBackground("BASEBMP=", &gLangGInfo);
  loadBackground("CONTBMP=", &gSelectGInfo);
  loadBackground("CONTBMP2=", &gWindowGInfo);
  Get_Autorun_Data(&gCommonTbl[kFixedExit], "EXITBMP=", "EXITBMP2=", "EXITPOS=");
  Get_Autorun_Data(&gCommonTbl[kFixedBack], "BACKBMP=", "BACKBMP2=", "BACKPOS=");
  Get_Autorun_Data(&gCommonTbl[kFixedBackToLang], "BACKTOLANGBMP=", "BACKTOLANGBMP2=", "BACKTOLANGPOS=");
  gLangCount = 0;
  if (gAutorunInfo.langScreen) {
    char list[1024];
    if (Read_Ini(&gAutorunInfo.languFile, "[LANG_MENU]", "MENU=", list, sizeof list)) {
      const char* p = list;
      while (*p && gLangCount < kLangSlots) {
        const char* comma = std::strchr(p, ',');
        const std::size_t len = comma ? std::size_t(comma - p) : std::strlen(p);
        char name[64];
        if (len > 0 && len < sizeof name) {
          std::memcpy(name, p, len);
          name[len] = '\0';
          Get_Lang_Data(&gLangTbl[gLangCount], name, gLangCount);
          ++gLangCount;
        }
        if (!comma) break;
        p = comma + 1;
      }
    }
  }
  for (short i = 0; i < kMainMenuSlots; ++i) {
    char keys[3][16];
    std::snprintf(keys[0], sizeof keys[0], "BUTTON%d=", i);
    std::snprintf(keys[1], sizeof keys[1], "BUTTON%dS=", i);
    std::snprintf(keys[2], sizeof keys[2], "ICON%d=", i);
    bool all = true;
    char values[3][256];
    for (int k = 0; k < 3; ++k)
      all = all && Read_Ini(&gAutorunInfo.languFile, "[MAIN_MENU]", keys[k], values[k], sizeof values[k]);
    if (!all) break;
    for (int k = 0; k < 3; ++k) std::memcpy(gDefaultButton[i][k], values[k], sizeof values[k]);
  }
  return gSelectGInfo.world && gWindowGInfo.world ? 1 : 0;
}

UInt16 Get_System_Version() {
  const double version = kCFCoreFoundationVersionNumber;
  const long whole = long(version);
  if (whole > 855) return 0x10A0;
  if (whole > 744) return 0x1090;
  if (whole > 635) return 0x1080;
  if (whole > 550) return 0x1070;
  return 0x1060;
}

short Get_Default_Language() {
  char value[512];
  if (!Read_Ini(&gAutorunInfo.languFile, "[LANG_AUTO]", "DEFAULT=", value, sizeof value)) return 0;
  return takeLanguageEntry(value, 0) ? 1 : 0;
}

short Get_System_Language() {
  const long code = GetScriptVariable(smSystemScript, smScriptLang);
  char key[32], value[512];
  std::snprintf(key, sizeof key, "LANG_%02ld=", code);
  if (Read_Ini(&gAutorunInfo.languFile, "[LANG_AUTO]", key, value, sizeof value) &&
      takeLanguageEntry(value, SInt16(code)))
    return acceptedLanguage(code) ? 1 : -1;
  return Get_Default_Language();
}

SInt16 Choose_First_Screen() {
  if (gAutorunInfo.autoLang) {
    const short found = Get_System_Language();
    if (found == 1) return kScreenMain;
    if (found == -1) return kScreenLanguage;
    // Neither the system's language nor a default is listed: the user picks
    // one when there is anything to pick.
    return gLangCount > 0 ? kScreenLanguage : kScreenMain;
  }
  if (gAutorunInfo.langScreen) return kScreenLanguage;
  char path[512];
  FSSpec spec;
  if (localisedMenuPath(path, sizeof path) && Make_Program_Spec(path, &spec) == noErr) {
    gAutorunInfo.menuFile = spec;
    gAutorunInfo.menuFileSet = 1;
  }
  return kScreenMain;
}

void Get_Contents_Keywoad() {
  Clear_Menu_Table(iContents, kMainMenuSlots);
  gSystemVersion = Get_System_Version();
  const FSSpec* file = &gAutorunInfo.menuFile;
  if (!gAutorunInfo.menuFileSet) return;
  MENU_FONT font;
  Get_Menu_Font(file, "SUP_ADD=", &font);
  for (short i = 0; i < kMainMenuRead; ++i) {
    char section[32], value[512];
    std::snprintf(section, sizeof section, "[MAIN_MENU_%d]", i);
    if (!Read_Ini(file, section, "ENABLE=", value, sizeof value) || std::strcmp(value, "TRUE") != 0) continue;
    MENU_DATA& e = iContents[i];
    e.enable = 1;
    const char* keys[3] = {"BUTTON_N=", "BUTTON_S=", "ICON="};
    GWorldPtr* slots[3] = {&e.normal, &e.select, &e.icon};
    for (int k = 0; k < 3; ++k) {
      disposeWorld(slots[k]);
      if (Read_Ini(file, section, keys[k], value, sizeof value))
        *slots[k] = Load_Picture(value);
      else
        *slots[k] = Load_Picture(gDefaultButton[i][k]);
    }
    if (Read_Ini(file, section, "POS=", value, sizeof value)) Read_Point(value, &e.pos);
    Point labelPos = e.pos;
    if (Read_Ini(file, section, "STRPOS=", value, sizeof value)) Read_Point(value, &labelPos);
    if (Read_Ini(file, section, "STR1=", value, sizeof value)) {
      const int len = int(std::strlen(value));
      SetKaigyou(value, len);
      const std::size_t n = tb::CharCutLength(std::string_view(value), 255);
      value[n] = '\0';
      pstr::set(e.label, sizeof e.label, value);
    }
    labelPos.v = short(labelPos.v + 25);
    e.strRect = Label_Rect(e.label, labelPos, &font);
    char exver[64], exobj[256];
    const bool hasVer = Read_Ini(file, section, "EXVER=", exver, sizeof exver) && exver[0];
    const bool hasObj = Read_Ini(file, section, "EXOBJ=", exobj, sizeof exobj) && exobj[0];
    if (hasVer && hasObj && gSystemVersion >= std::strtoul(exver, nullptr, 16))
      Copy_Cut(e.obj, sizeof e.obj, exobj);
    else if (Read_Ini(file, section, "OBJ=", value, sizeof value))
      Copy_Cut(e.obj, sizeof e.obj, value);
    if (Read_Ini(file, section, "LANG=", value, sizeof value)) Copy_Cut(e.lang, sizeof e.lang, value);
    e.cont = Read_Ini(file, section, "CONT=", value, sizeof value) && std::strcmp(value, "TRUE") == 0;
    e.strong = Read_Ini(file, section, "STRONG=", value, sizeof value) && std::strcmp(value, "TRUE") == 0;
    e.btnRect = worldBounds(e.normal);
    OffsetRect(&e.btnRect, e.pos.h, e.pos.v);
  }
}

short Open_Main_Window() {
  const SInt16 first = Choose_First_Screen();
  char title[256];
  Str255 ptitle;
  if (Read_Ini(&gAutorunInfo.languFile, "[SYSTEM]", "WINDOW_TITLE=", title, sizeof title) && title[0]) {
    Copy_Cut(title, 256, title);
    pstr::set(ptitle, sizeof ptitle, title);
  } else {
    GetIndString(ptitle, 128, 1);
  }
  autoWndPtr = GetNewDialog(130, nullptr, reinterpret_cast<WindowRef>(-1));
  if (!autoWndPtr) return 0;
  WindowRef window = GetDialogWindow(autoWndPtr);
  SetWTitle(window, ptitle);
  Change_Autorun_Screen(first, "first screen");
  if (first == kScreenMain) Get_Contents_Keywoad();
  ShowWindow(window);
  return 1;
}

void Dispose_All_GWorld() {
  Clear_Menu_Table(iContents, kMainMenuSlots);
  Clear_Menu_Table(iManual, kSubMenuSlots);
  Clear_Menu_Table(iCommon, kCommonSlots);
  for (auto& l : gLangTbl) {
    disposeWorld(&l.normal);
    disposeWorld(&l.select);
  }
  for (auto& c : gCommonTbl) {
    disposeWorld(&c.normal);
    disposeWorld(&c.select);
  }
  disposeWorld(&gLangGInfo.world);
  disposeWorld(&gSelectGInfo.world);
  disposeWorld(&gWindowGInfo.world);
}
