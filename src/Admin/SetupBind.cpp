// Settings page bindings: each operation ties one dialog item to one
// setting of the box's tables and stores back through the tables' checks.
#include "Admin/SetupBind.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/SetupWindow.h"
#include "common/AppWindows.h"
#include "common/Context.h"
#include "common/IniFile.h"
#include "toolbox/controls.h"
#include "toolbox/menus.h"
#include "toolbox/textencoding.h"
#include "toolbox/windows.h"

Boolean MenuChangeAuthority = 1;
Boolean gbSetupCancel = 0;
Boolean gbAdminMode = 1;
int SetPassFlag = 99;

Str255 Tcppass = {0};
short MaxSetpass = 0;
char TcpipPassBuff[256] = {0};
short TcpipPass = 0;
Str255 Compass = {0};
short MaxCompass = 0;
char CommunityPassBuff[256] = {0};
short CommunityPass = 0;
Str255 Serpass = {0};
short MaxSerpass = 0;
char ServerPassBuff[256] = {0};
short ServerPass = 0;
Str255 POPUserpass = {0};
short MaxPOPUpass = 0;
char PUserPassBuff[256] = {0};
short PUserPass = 0;
Str255 WireLesspass = {0};
short MaxWLesspass = 0;
char WLessPassBuff[256] = {0};
short WLessPass = 0;

short MaxWdpass = 0;
char PassWdChkBuff[256] = {0};
short PassWdChkCnt = 0;
ModalFilterUPP g_passProc = nullptr;

namespace {

constexpr UInt16 kVarDevicePassword = 264;
constexpr SInt16 kPasswordDialog = 201;

short rule(short r) { return (!MenuChangeAuthority || gbSetupCancel) ? 0 : r; }

// The stored string of a string setting (NUL-terminated or length-prefixed
// by its kind), at most 255 bytes, NUL-terminated in out.
bool stored_string(const CONTEXT_ENTRY* e, char* out) {
  out[0] = 0;
  auto f = context_field(e);
  if (f.empty()) return false;
  std::size_t n = 0;
  const UInt8* src = f.data();
  if (get_ctx_type(e) == 'P') {
    n = std::min<std::size_t>(f[0], f.size() - 1);
    ++src;
  } else {
    while (n < f.size() && f[n]) ++n;
  }
  n = std::min<std::size_t>(n, 255);
  std::memcpy(out, src, n);
  out[n] = 0;
  return true;
}

bool printable(const char* text) {
  for (const UInt8* p = reinterpret_cast<const UInt8*>(text); *p; ++p)
    if (*p < 0x20 || *p > 0x7F) return false;
  return true;
}

short set_varid(UInt16 var, const char* text) {
  char msg[kCtxMessageSize];
  return static_cast<short>(context_set_varid(var, text, msg, sizeof msg));
}

// The enumeration name of the setting's stored choice.
std::string_view enum_name(const CONTEXT_ENTRY* e) {
  // A table from the box may give an enumeration a 32-bit value: a number
  // past any name, never one that wraps round to another name.
  const std::int64_t n = std::int64_t{get_ctx_min(e)} + std::int64_t{context_read(e)};
  if (n > INT_MAX) return {};
  return get_enum_name(static_cast<int>(n));
}

void to_pstr(const char* text, Str255 out) {
  std::size_t n = tb::CharCutLength(text, 255);
  out[0] = static_cast<UInt8>(n);
  std::memcpy(out + 1, text, n);
}

// The box holds its string settings in the language's encoding; the
// fields show them as text.
std::string shown_text(const char* stored) { return tb::TextFromEncoding(stored, GetApplicationTextEncoding()); }

}  // namespace

// ---- Item helpers ----------------------------------------------------------

void Get_Item_Text(DialogRef d, short item, char* out, std::size_t outSize) {
  if (!outSize) return;
  out[0] = 0;
  DialogItemType kind;
  Handle h;
  Rect r;
  GetDialogItem(d, item, &kind, &h, &r);
  if (!h) return;
  Str255 text;
  GetDialogItemText(h, text);
  std::size_t n = std::min<std::size_t>(text[0], outSize - 1);
  std::memcpy(out, text + 1, n);
  out[n] = 0;
}

void Set_Item_Text(DialogRef d, short item, const char* text) {
  DialogItemType kind;
  Handle h;
  Rect r;
  GetDialogItem(d, item, &kind, &h, &r);
  if (!h) return;
  Str255 p;
  to_pstr(text, p);
  SetDialogItemText(h, p);
}

void Toggle_Item(DialogRef d, short item) { Set_Item_Value(d, item, Get_Item_Value(d, item) ? 0 : 1); }

// ---- Masked groups ---------------------------------------------------------

namespace {

const MaskedGroup kMaskedGroups[] = {
    {Tcppass, MaxSetpass, TcpipPassBuff, TcpipPass},        {Compass, MaxCompass, CommunityPassBuff, CommunityPass},
    {Serpass, MaxSerpass, ServerPassBuff, ServerPass},      {POPUserpass, MaxPOPUpass, PUserPassBuff, PUserPass},
    {WireLesspass, MaxWLesspass, WLessPassBuff, WLessPass},
};

void clear_group(const MaskedGroup& g) {
  std::memset(g.stored, 0, sizeof g.stored);
  g.limit = 0;
  std::memset(g.typed, 0, sizeof g.typed);
  g.length = 0;
}

}  // namespace

const MaskedGroup* Masked_Group(UInt16 var) {
  switch (var) {
    case 264: return &kMaskedGroups[0];
    case 274: return &kMaskedGroups[1];
    case 538: return &kMaskedGroups[2];
    case 8453:
    case 8709:
    case 8965:
    case 9221: return &kMaskedGroups[3];
    case 12313: return &kMaskedGroups[4];
    default: return nullptr;
  }
}

void Clear_Pass_Buffer() {
  for (const MaskedGroup& g : kMaskedGroups) clear_group(g);
  MaxWdpass = 0;
  PassWdChkCnt = 0;
  std::memset(PassWdChkBuff, 0, sizeof PassWdChkBuff);
}

// ---- Edit fields -----------------------------------------------------------

short Set_Editbox_From_Int(DialogRef d, short item, UInt16 var) {
  char text[256];
  if (context_show_varid(var, text, sizeof text) < 0) return -1;
  Set_Item_Text(d, item, text);
  return 0;
}

short Set_Editbox_To_Int(DialogRef d, short item, UInt16 var) {
  char text[256];
  Get_Item_Text(d, item, text, sizeof text);
  return rule(set_varid(var, text));
}

short Set_Editbox_From_String(DialogRef d, short item, UInt16 var) {
  CONTEXT_ENTRY* e = get_context_by_varid(var);
  if (!e) return 0;
  char text[256];
  stored_string(e, text);
  const UInt16 max = get_ctx_max(e);
  const short limit = static_cast<short>(std::min<int>(max ? max - 1 : 0, 255));
  if (const MaskedGroup* g = Masked_Group(var)) {
    to_pstr(text, g->stored);
    g->limit = limit;
    std::memset(g->typed, 0, sizeof g->typed);
    std::strcpy(g->typed, text);
    g->length = static_cast<short>(std::strlen(text));
    std::string stars(std::strlen(text), '*');
    Set_Item_Text(d, item, stars.c_str());
  } else {
    Set_Item_Text(d, item, shown_text(text).c_str());
  }
  return limit;
}

short Set_Editbox_To_String(DialogRef d, short item, UInt16 var) {
  CONTEXT_ENTRY* e = get_context_by_varid(var);
  if (!e) return 0;
  const UInt16 max = get_ctx_max(e);
  const std::size_t limit = max ? max - 1u : 0u;
  char text[256];
  if (const MaskedGroup* g = Masked_Group(var)) {
    const std::size_t n = std::min<std::size_t>(g->length < 0 ? 0 : g->length, 255);
    std::memcpy(text, g->typed, n);
    text[n] = 0;
  } else {
    char typed[256], stored[256];
    Get_Item_Text(d, item, typed, sizeof typed);
    // A text that still reads as the stored one leaves the box's bytes as
    // they are; a changed one goes in the language's encoding, a character
    // that cannot hold refused as one an "E" setting cannot take is.
    stored_string(e, stored);
    if (shown_text(stored) == typed) return 0;
    std::string held;
    if (!tb::TextToEncoding(typed, GetApplicationTextEncoding(), &held)) return 1;
    if (held.size() > limit || held.size() > 255) return rule(2);
    std::memcpy(text, held.c_str(), held.size() + 1);
  }
  if (std::strlen(text) > limit) return rule(2);
  if (get_ctx_type(e) == 'E' && !printable(text)) return 1;
  return rule(set_varid(var, text));
}

short Set_Editbox_From_CtrlStr(DialogRef d, short item, UInt16 var) {
  char text[256];
  if (context_show_varid(var, text, sizeof text) < 0) {
    HideDialogItem(d, item);
    return 0;
  }
  Set_Item_Text(d, item, text);
  return static_cast<short>(std::strlen(text));
}

short Set_Editbox_To_CtrlStr(DialogRef d, short item, UInt16 var) { return Set_Editbox_To_Int(d, item, var); }

// ---- Check boxes -----------------------------------------------------------

short Set_Checkbox_From_EnumEnable(DialogRef d, short item, UInt16 var) {
  CONTEXT_ENTRY* e = get_context_by_varid(var);
  const short v = e && IsEnumEnable(std::string(enum_name(e)).c_str()) ? 1 : 0;
  Set_Item_Value(d, item, v);
  return v;
}

short Set_Checkbox_To_EnumEnable(DialogRef d, short item, UInt16 var) {
  const short v = Get_Item_Value(d, item) ? 1 : 0;
  if (get_context_by_varid(var)) set_varid(var, EnumEnable(v));
  return v;
}

short Set_Checkbox_From_EnumYes(DialogRef d, short item, UInt16 var) {
  CONTEXT_ENTRY* e = get_context_by_varid(var);
  if (!e) return 2;
  const short v = IsEnumYes(std::string(enum_name(e)).c_str()) ? 1 : 0;
  Set_Item_Value(d, item, v);
  return v;
}

short Set_Checkbox_To_EnumYes(DialogRef d, short item, UInt16 var) {
  if (!get_context_by_varid(var)) return 2;
  const short v = Get_Item_Value(d, item) ? 1 : 0;
  set_varid(var, EnumYes(v));
  return v;
}

short Get_CheckBox_Enable(DialogRef d, short item, UInt16 var) {
  if (!get_context_by_varid(var)) return 0;
  return Get_Item_Value(d, item);
}

short Set_Checkbox_From_Static(DialogRef d, short item, UInt16 var) {
  const short on = Get_Context_Enable(var);
  Set_Item_Text(d, item, on ? "ON" : "OFF");
  return on;
}

// ---- Pop-up menus ----------------------------------------------------------

namespace {

MenuRef popup_menu(DialogRef d, short item, ControlRef* ctrl) {
  *ctrl = Item_Control(d, item);
  if (!*ctrl) return nullptr;
  MenuRef m = GetControlPopupMenuHandle(*ctrl);
  if (m) DeleteMenuItems(m, 1, CountMenuItems(m));
  return m;
}

// A blank item first, then its name: no menu metacharacter is read.
void append_name(MenuRef m, std::string_view name) {
  static const UInt8 blank[] = {1, ' '};
  AppendMenu(m, blank);
  Str255 p;
  const std::size_t n = std::min<std::size_t>(name.size(), 255);
  p[0] = static_cast<UInt8>(n);
  if (n) std::memcpy(p + 1, name.data(), n);  // an empty name may have no bytes at all
  SetMenuItemText(m, static_cast<short>(CountMenuItems(m)), p);
}

std::string_view port_name(const UInt8* list, short n, short width) {
  const char* s = reinterpret_cast<const char*>(list + 1 + std::size_t(n) * width);
  std::size_t len = 0;
  while (len < std::size_t(width) && s[len]) ++len;
  return {s, len};
}

}  // namespace

short Set_Popup_From_Enum(DialogRef d, short item, UInt16 var) {
  CONTEXT_ENTRY* e = get_context_by_varid(var);
  if (!e) return 0;
  ControlRef c;
  MenuRef m = popup_menu(d, item, &c);
  if (!m) return 0;
  const int min = get_ctx_min(e), max = get_ctx_max(e);
  for (int n = min; n <= max; ++n) append_name(m, get_enum_name(n));
  const short count = static_cast<short>(CountMenuItems(m));
  SetControlMinimum(c, 1);
  SetControlMaximum(c, count);
  SetControlValue(c, static_cast<short>(context_read(e) + 1));
  return count;
}

short Set_Popup_To_Enum(DialogRef d, short item, UInt16 var) {
  CONTEXT_ENTRY* e = get_context_by_varid(var);
  if (!e) return 0;
  const int v = Get_Item_Value(d, item) - 1;
  if (v < 0 || v > get_ctx_max(e) - get_ctx_min(e)) return 2;
  context_write(e, static_cast<UInt8>(v));
  return 0;
}

namespace {

// Appends the printer ports of the list, those flagged 1 when flags are
// given, each item marked with its port number; the number appended.
short append_ports(MenuRef m, const UInt8* list, short portMax, short width, const int* flags) {
  short appended = 0;
  for (short port = 1; port <= portMax; ++port) {
    const short entry = GetPortEntry(list, width, port);
    if (entry == 0) break;
    if (flags && flags[port - 1] != 1) continue;
    append_name(m, port_name(list, short(entry - 1), width));
    SetMenuItemCommandID(m, MenuItemIndex(CountMenuItems(m)), MenuCommand(port));
    ++appended;
  }
  return appended;
}

short fill_ports(DialogRef d, short item, const UInt8* list, short portMax, short width, const int* flags) {
  ControlRef c;
  MenuRef m = popup_menu(d, item, &c);
  if (!m || !list || width <= 0) return 0;
  const short shown = append_ports(m, list, portMax, width, flags);
  SetControlMinimum(c, 1);
  SetControlMaximum(c, shown ? shown : 1);
  SetControlValue(c, 1);
  HiliteControl(c, shown <= 1 ? 255 : 0);
  return portMax;
}

// Puts the pop-up on the item that stands for the port.
void select_port(ControlRef popup, short port) {
  MenuRef m = GetControlPopupMenuHandle(popup);
  for (MenuItemIndex i = 1; m && i <= CountMenuItems(m); ++i) {
    MenuCommand id = 0;
    if (GetMenuItemCommandID(m, i, &id) == noErr && id == MenuCommand(port)) return SetControlValue(popup, i);
  }
  SetControlValue(popup, port);
}

}  // namespace

short Set_Popup_PortList(DialogRef d, short item, const UInt8* portList, short portMax, short portWidth) {
  return fill_ports(d, item, portList, portMax, portWidth, nullptr);
}

short Set_Popup_PortListEx(DialogRef d, short item, const UInt8* portList, short portMax, short portWidth,
                           const int* portFlag) {
  return portFlag ? fill_ports(d, item, portList, portMax, portWidth, portFlag) : 0;
}

short Popup_Port(DialogRef d, short item) {
  ControlRef c = Item_Control(d, item);
  if (!c) return 1;
  const short value = GetControlValue(c);
  MenuRef m = GetControlPopupMenuHandle(c);
  MenuCommand id = 0;
  if (m && GetMenuItemCommandID(m, MenuItemIndex(value), &id) == noErr && id > 0) return short(id);
  return value;
}

void Select_Popup_Port(DialogRef d, short item, short port) {
  if (ControlRef popup = Item_Control(d, item)) select_port(popup, port);
}

void Set_Port_Items(DialogRef d, const PORT_ITEMS& items) {
  const short port = Popup_Port(d, items.popup);
  items.load(d, port);
  if (ControlRef popup = Item_Control(d, items.popup)) SetControlReference(popup, port);
}

short Get_Port_Items(DialogRef d, const PORT_ITEMS& items) {
  ControlRef popup = Item_Control(d, items.popup);
  // Without a pop-up the page shows the first port.
  const long shown = popup ? GetControlReference(popup) : 1;
  if (shown < 1 || items.store(d, short(shown)) == 0) return 1;
  Setup_Error_Message(d, items.label);
  if (popup) select_port(popup, short(shown));
  return 0;
}

short Change_Port_Items(DialogRef d, const PORT_ITEMS& items) {
  if (!Get_Port_Items(d, items)) return 0;
  Set_Port_Items(d, items);
  return 1;
}

// ---- Values without a control ---------------------------------------------

short Check_Context_Data(UInt16 var) { return get_context_by_varid(var) ? 1 : 0; }

short Get_Context_Enable(UInt16 var) {
  CONTEXT_ENTRY* e = get_context_by_varid(var);
  return e && IsEnumEnable(std::string(enum_name(e)).c_str()) ? 1 : 0;
}

short Set_Context_Enable(UInt16 var, Boolean flag) {
  if (!get_context_by_varid(var)) return 1;
  set_varid(var, EnumEnable(flag));
  return 0;
}

short Get_Context_Enum(UInt16 var) {
  CONTEXT_ENTRY* e = get_context_by_varid(var);
  return e ? static_cast<short>(context_read(e) + 1) : -1;
}

short Set_Context_Enum(UInt16 var, short n) {
  CONTEXT_ENTRY* e = get_context_by_varid(var);
  if (!e) return 0;
  if (n < 1 || n - 1 > get_ctx_max(e) - get_ctx_min(e)) return 2;
  context_write(e, static_cast<UInt8>(n - 1));
  return 0;
}

short Get_Context_Int(UInt16 var, char* out) {
  out[0] = 0;
  if (context_show_varid(var, out, 256) < 0) return 0;
  return out[0] ? 1 : 0;
}

short Get_Context_String(UInt16 var, char* out) {
  CONTEXT_ENTRY* e = get_context_by_varid(var);
  if (!e) {
    out[0] = 0;
    return 0;
  }
  return stored_string(e, out) ? 1 : 0;
}

short Set_Context_StringEx(UInt16 var, const char* data, short len) {
  CONTEXT_ENTRY* e = get_context_by_varid(var);
  if (!e) return rule(-1);
  const int limit = get_ctx_max(e) ? get_ctx_max(e) - 1 : 0;
  if (len < 0 || len > limit || len > 255) return rule(2);
  char text[256];
  std::memcpy(text, data, static_cast<std::size_t>(len));
  text[len] = 0;
  if (get_ctx_type(e) == 'E' && !printable(text)) return 1;
  return rule(set_varid(var, text));
}

short Set_Context_String(UInt16 var, ConstStr255Param text) {
  if (!text) return 0;
  return Set_Context_StringEx(var, reinterpret_cast<const char*>(text + 1), text[0]);
}

short Get_Context_StringEx(UInt16 var, char* out, short* min, short* max) {
  const short r = Get_Context_String(var, out);
  if (CONTEXT_ENTRY* e = get_context_by_varid(var)) {
    if (min) *min = short(get_ctx_min(e));
    if (max) *max = short(get_ctx_max(e) ? get_ctx_max(e) - 1 : 0);
  }
  return r;
}

short Set_Context_Int(UInt16 var, ConstStr255Param text) {
  char buf[256];
  const std::size_t n = text ? text[0] : 0;
  if (n) std::memcpy(buf, text + 1, n);
  buf[n] = 0;
  const short r = get_context_by_varid(var) ? set_varid(var, buf) : 255;
  return rule(short(r & 0xFF));
}

short Protocol_Check(UInt16 var) { return Get_Context_Enable(var); }
short Get_Context_Boolean(UInt16 var) { return Get_Context_Enable(var); }
short Set_Context_Boolean(UInt16 var, Boolean flag) { return Set_Context_Enable(var, flag); }

// ---- Text operations -------------------------------------------------------

Boolean IsEnumEnable(const char* text) { return text && text[0] == 'E'; }
Boolean IsEnumYes(const char* text) { return text && text[0] == 'Y'; }
const char* EnumEnable(Boolean flag) { return flag ? "ENABLE" : "DISABLE"; }
const char* EnumYes(Boolean flag) { return flag ? "YES" : "NO"; }

int asc2bin(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

short Check_password(const char* text) { return printable(text) ? 1 : 0; }

short Check_Wepkey(UInt16 var, const char* text) {
  CONTEXT_ENTRY* e = get_context_by_varid(var);
  if (!e) return 0;
  UInt8 key[14] = {0};
  for (int i = 0; i < 13; ++i) {
    const int hi = asc2bin(text[2 * i]);
    const int lo = hi < 0 ? -1 : asc2bin(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return 2;
    key[i] = static_cast<UInt8>(hi << 4 | lo);
  }
  auto f = context_field(e);
  // A field of one byte or none (outside the image) holds no key to compare.
  if (f.size() <= 1) return 0;
  // The key as it would lie in the field: zeros past its 14 bytes.
  std::vector<UInt8> want(f.size(), 0);
  std::memcpy(want.data(), key, std::min(f.size(), sizeof key));
  if (std::memcmp(f.data(), want.data(), f.size() - 1) == 0) return 0;
  return wep_context_set_varid(var, want);
}

short wep_context_set_varid(UInt16 var, std::span<const UInt8> bytes) {
  CONTEXT_ENTRY* e = get_context_by_varid(var);
  if (!e || get_ctx_type(e) != 'X') return 1;
  auto f = context_field(e);
  const std::size_t n = std::min(f.size(), bytes.size());
  std::copy_n(bytes.begin(), n, f.begin());
  std::fill(f.begin() + std::ptrdiff_t(n), f.end(), UInt8(0));
  return 1;
}

// ---- Drawing ---------------------------------------------------------------

FONT_DATA gGetFont{};

namespace {

constexpr RGBColor kGreyInk{0x8888, 0x8888, 0x8888};
constexpr RGBColor kBlackInk{0, 0, 0};

// The dialog's port current, with the ink of the state, for the scope;
// text items are drawn in the port's colour as they are set.
class Ink {
 public:
  Ink(DialogRef d, Boolean grey) : port_(GetDialogPort(d)) {
    GetForeColor(&old_);
    RGBForeColor(grey ? &kGreyInk : &kBlackInk);
  }
  ~Ink() { RGBForeColor(&old_); }
  Ink(const Ink&) = delete;
  Ink& operator=(const Ink&) = delete;

 private:
  tb::PortSaver port_;
  RGBColor old_{};
};

}  // namespace

short Set_Editbox_From_String_Color(DialogRef d, short item, UInt16 var, Boolean colorStat) {
  Ink ink(d, colorStat);
  return Set_Editbox_From_String(d, item, var);
}

short Set_Editbox_From_Int_Color(DialogRef d, short item, UInt16 var, Boolean colorStat) {
  Ink ink(d, colorStat);
  return Set_Editbox_From_Int(d, item, var);
}

short Draw_Color_String(DialogRef d, short item, const char* text, Boolean colorStat) {
  DialogItemType kind = 0;
  Handle h = nullptr;
  Rect r;
  GetDialogItem(d, item, &kind, &h, &r);
  switch (kind) {
    case ctrlItem + btnCtrl:
    case ctrlItem + chkCtrl:
    case ctrlItem + radCtrl:
    case ctrlItem + btnCtrl + itemDisable:
    case ctrlItem + chkCtrl + itemDisable:
    case ctrlItem + radCtrl + itemDisable:
      if (ControlRef c = Item_Control(d, item)) {
        ControlFontStyleRec style;
        if (colorStat) {
          style.flags = kControlUseForeColorMask;
          style.foreColor = kGreyInk;
        }
        SetControlFontStyle(c, &style);
        Str255 p;
        to_pstr(text, p);
        SetControlTitle(c, p);
      }
      break;
    case statText:
    case editText:
    case statText + itemDisable: {
      Ink ink(d, colorStat);
      Set_Item_Text(d, item, text);
      break;
    }
    default: break;
  }
  return 0;
}

void Draw_Color_Label(DialogRef d, short item, const char* section, const char* key, Boolean colorStat) {
  char text[256] = "";
  Load_File_To_CstringEx(section, key, text, sizeof text, IniFileName);
  Draw_Color_String(d, item, text, colorStat);
}

Boolean Set_Dialog_Font(DialogRef d, Boolean setFont) {
  CGrafPtr port = GetDialogPort(d);
  if (setFont) {
    gGetFont.fontID = UInt16(GetPortTextFont(port));
    gGetFont.styleID = UInt16(GetPortTextFace(port));
    gGetFont.fSize = UInt16(GetPortTextSize(port));
    SetPortTextFont(port, short(gSetFont.fontID));
    SetPortTextFace(port, StyleParameter(gSetFont.styleID));
    SetPortTextSize(port, short(gSetFont.fSize));
  } else {
    SetPortTextFont(port, short(gGetFont.fontID));
    SetPortTextFace(port, StyleParameter(gGetFont.styleID));
    SetPortTextSize(port, short(gGetFont.fSize));
  }
  return setFont ? 1 : 0;
}

// ---- Messages --------------------------------------------------------------

void Setup_Label_Error_Message(const char* label) {
  Str255 format;
  Get_Ini_Text(format, "[STATIC]", "INPUT=", 22, "Please check %s.");
  char f[256];
  std::memcpy(f, format + 1, format[0]);
  f[format[0]] = 0;
  // Only the first %s takes the label; any other % is printed as it is.
  std::string out;
  bool used = false;
  for (const char* p = f; *p; ++p) {
    if (!used && p[0] == '%' && p[1] == 's') {
      out += label ? label : "";
      used = true;
      ++p;
    } else {
      out += *p;
    }
  }
  Str255 text;
  to_pstr(out.c_str(), text);
  Str255 empty = {0};
  Set_Alert_Dialog_Items(kAlertMessage, 2, text, empty, empty, empty);
}

void Setup_Error_Message(DialogRef d, short labelItem) {
  char label[256] = "";
  if (labelItem > 0) Get_Item_Text(d, labelItem, label, sizeof label);
  Setup_Label_Error_Message(label);
}

// ---- Password --------------------------------------------------------------

short Check_In_Password(const char* typed, short length, short* max) {
  CONTEXT_ENTRY* e = get_context_by_varid(kVarDevicePassword);
  if (max) *max = 0;
  if (!e) return 0;
  if (max) *max = static_cast<short>(std::min<int>(get_ctx_max(e) ? get_ctx_max(e) - 1 : 0, 255));
  char stored[256];
  stored_string(e, stored);
  const std::size_t n = std::strlen(stored);
  return length >= 0 && n == static_cast<std::size_t>(length) && std::memcmp(stored, typed, n) == 0 ? 1 : 0;
}

int Masked_Focus_Flag(DialogRef dialog, DialogItemIndex item, int code) {
  return dialog && GetDialogKeyboardFocusItem(dialog) == item ? code : 99;
}

short Password_Input_Filter(DialogRef dialog, EventRecord* event, short minLen, short maxLen, char* buffer,
                            short* length) {
  if (event->what != keyDown && event->what != autoKey) return 0;
  if (event->modifiers & (cmdKey | optionKey | controlKey)) {
    event->what = nullEvent;
    return 0;
  }
  const UInt8 code = static_cast<UInt8>((event->message & keyCodeMask) >> 8);
  const UInt8 ch = static_cast<UInt8>(event->message & charCodeMask);
  maxLen = std::clamp<short>(maxLen, 0, 255);
  const short len = std::clamp<short>(*length, 0, 255);
  // The field shows one asterisk per character: its selection, in bytes,
  // is the same stretch of the secret.
  short from = len, to = len;
  if (TEHandle te = dialog ? GetDialogTextEditHandle(dialog) : nullptr) {
    from = std::clamp<short>((**te).selStart, 0, len);
    to = std::clamp<short>((**te).selEnd, from, len);
  }
  const auto refuse = [event] {
    SysBeep(1);
    event->what = nullEvent;
    return short(0);
  };
  const auto replace = [&](short newFrom, const char* with, short count) {
    std::memmove(buffer + newFrom + count, buffer + to, std::size_t(len - to));
    if (count) std::memcpy(buffer + newFrom, with, std::size_t(count));
    *length = short(len - (to - newFrom) + count);
    buffer[*length] = 0;
  };
  switch (code) {
    case 0x33: {
      if (from == to) --from;
      if (from < 0 || len - (to - from) < minLen) return refuse();
      replace(from, nullptr, 0);
      return 0;
    }
    case 0x24: case 0x35: case 0x4C: return 1;
    case 0x30: return 0;
    default: break;
  }
  if (ch < 0x20 || ch > 0x7E || len - (to - from) + 1 > maxLen) return refuse();
  const char typed = static_cast<char>(ch);
  replace(from, &typed, 1);
  event->message = (event->message & ~static_cast<UInt32>(charCodeMask)) | '*';
  return 0;
}

namespace {

Boolean Check_PassWord_Filter(DialogRef d, EventRecord* event, DialogItemIndex* item) {
  if (event->what == keyDown || event->what == autoKey) {
    if (Password_Input_Filter(d, event, 0, MaxWdpass, PassWdChkBuff, &PassWdChkCnt) == 1) {
      const UInt8 code = static_cast<UInt8>((event->message & keyCodeMask) >> 8);
      *item = code == 0x35 ? 2 : 1;
      Invert_Button_Item(d, *item);
      return true;
    }
  }
  return false;
}

}  // namespace

short Open_Input_Password_Dialog() {
  PassWdChkCnt = 0;
  MaxWdpass = 0;
  std::memset(PassWdChkBuff, 0, sizeof PassWdChkBuff);
  short max = 0;
  if (Check_In_Password("", 0, &max) == 1) {
    MenuChangeAuthority = 1;
    return 1;
  }
  MaxWdpass = max;
  DialogRef d = GetNewDialog(kPasswordDialog, nullptr, reinterpret_cast<WindowRef>(-1));
  if (!d) return 0;
  Str255 title;
  Get_Ini_Text(title, "[TITLE]", "PASSWORD=", 0, "Password");
  SetWTitle(GetDialogWindow(d), title);
  Set_String_To_Item(d, 1, "OK=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, 2, "CANCEL=", "[BUTTON]", IniFileName);
  Set_String_To_Item(d, 3, "INPUTPASS=", "[LABEL]", IniFileName);
  HideDialogItem(d, 6);
  SetDialogDefaultItem(d, 1);
  ShowWindow(GetDialogWindow(d));
  SelectDialogItemText(d, 4, 0, 0);
  g_passProc = NewModalFilterUPP(Check_PassWord_Filter);
  short result = 0;
  for (;;) {
    DialogItemIndex item = 0;
    ModalDialog(g_passProc, &item);
    if (item == 4) {
      SelectDialogItemText(d, 4, 32767, 32767);
    } else if (item == 1) {
      short ignored;
      if (Check_In_Password(PassWdChkBuff, PassWdChkCnt, &ignored) == 1) {
        MenuChangeAuthority = 1;
        result = 1;
        break;
      }
      Str255 text;
      Get_Ini_Text(text, "[STATIC]", "PASSWORD=", 5, "The password is not correct.");
      Str255 empty = {0};
      Set_Alert_Dialog_Items(kAlertMessage, 2, text, empty, empty, empty);
      SelectDialogItemText(d, 4, 32767, 32767);
    } else if (item == 2) {
      break;
    }
  }
  DisposeModalFilterUPP(g_passProc);
  g_passProc = nullptr;
  DisposeDialog(d);
  return result;
}
