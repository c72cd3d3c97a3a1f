// The mail forms: reading and writing a group's form in the settings
// tables (the fixed subjects the box stores shown as the language's own,
// line ends CR LF in the box and CR on screen, texts in the language's
// encoding in the box and the form), the Standard values, and the modal
// dialog with its six text-engine fields.
#include "Admin/SmtpForm.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "506Q_Lib/Bridge.h"
#include "506Q_Lib/DialogItems.h"
#include "Admin/AdminApp.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupPages.h"
#include "common/AppFonts.h"
#include "common/AppWindows.h"
#include "common/Context.h"
#include "common/IniFile.h"
#include "common/StrConv.h"
#include "toolbox/controls.h"
#include "toolbox/events.h"
#include "toolbox/memory.h"
#include "toolbox/textencoding.h"
#include "toolbox/textengine.h"
#include "toolbox/windows.h"

SMTP_FORMS gSmtpForms{};
SMTP_SENDFORM_INFO gSendFormTbl{};

namespace {

constexpr UInt8 kCR = 0x0D, kLF = 0x0A;

// The variables of one group's form, in the form's order.
struct FormVars {
  UInt16 subj1, text, sig1, enable, addr, subj2, sig2;
  const char *stored1, *shown1, *stored2, *shown2;
};
constexpr FormVars kPrinterVars{0xEA19, 0xEA1A, 0xEA1B, 0xEA1C, 0xEA1D, 0xEA1E, 0xEA1F,
                                "WIN_PRI_SUBJ1=", "PRINTER_SUBJECT1=", "WIN_PRI_SUBJ2=", "PRINTER_SUBJECT2="};
constexpr FormVars kConsumVars{0xEA29, 0xEA2A, 0xEA2B, 0xEA2C, 0xEA2D, 0xEA2E, 0xEA2F,
                               "WIN_CON_SUBJ1=", "CONSUM_SUBJECT1=", "WIN_CON_SUBJ2=", "CONSUM_SUBJECT2="};

void label_text(const char* key, Str255 out) {
  out[0] = 0;
  Load_File_To_PascalEx("[LABEL]", key, out, 256, IniFileName);
}

// The box keeps its mail texts, and the form its values, in the language's
// encoding; the fields show them as text.
TextEncoding box_encoding() { return GetApplicationTextEncoding(); }

// A [LABEL] text as the box is to hold it (as it stands when the encoding
// cannot hold it).
void held_label(const char* key, Str255 out) {
  label_text(key, out);
  std::string held;
  if (tb::TextToEncoding(pstr::str(out), box_encoding(), &held))
    pstr::set(out, 256, tb::CharPrefix(held, 255, box_encoding()));
}
bool same(ConstStr255Param a, ConstStr255Param b) { return a[0] == b[0] && std::memcmp(a + 1, b + 1, a[0]) == 0; }

// A string setting into out (at most 255 bytes); *max its limit less one.
void read_string(UInt16 var, Str255 out, UInt16* max) {
  out[0] = 0;
  *max = 0;
  CONTEXT_ENTRY* e = get_context_by_varid(var);
  if (!e) return;
  *max = get_ctx_max(e) ? UInt16(get_ctx_max(e) - 1) : 0;
  char text[256];
  Get_Context_String(var, text);
  const std::size_t n = std::min<std::size_t>(std::strlen(text), 255);
  std::memcpy(out + 1, text, n);
  out[0] = UInt8(n);
}

// A stored subject equal to the fixed text shows as the language's own.
void read_subject(UInt16 var, Str255 out, UInt16* max, const char* storedKey, const char* shownKey) {
  read_string(var, out, max);
  Str255 stored, shown;
  held_label(storedKey, stored);
  held_label(shownKey, shown);
  if (stored[0] && same(out, stored)) std::memcpy(out, shown, std::size_t(shown[0]) + 1);
}

// Text and signatures: CR LF pairs become CR.
void read_lines(UInt16 var, Str255 out, UInt16* max) {
  read_string(var, out, max);
  if (out[0] == 0) return;
  char buf[257];
  std::memcpy(buf, out + 1, out[0]);
  DeleteCodeN(buf, out[0]);
  const std::size_t n = std::min<std::size_t>(std::strlen(buf), 255);
  std::memcpy(out + 1, buf, n);
  out[0] = UInt8(n);
}

// Writes len bytes as the setting's text: refused (false) when the setting
// is missing or the text is longer than it takes.
bool write_text(UInt16 var, const UInt8* data, std::size_t len) {
  CONTEXT_ENTRY* e = get_context_by_varid(var);
  if (!e) return false;
  const std::size_t limit = get_ctx_max(e) ? get_ctx_max(e) - 1u : 0u;
  if (len > limit || len > 255) return false;
  char text[256];
  std::memcpy(text, data, len);
  text[len] = 0;
  return context_write(e, text) == 0;
}

bool write_subject(UInt16 var, ConstStr255Param subject, const char* storedKey, const char* shownKey) {
  Str255 stored, shown;
  held_label(storedKey, stored);
  held_label(shownKey, shown);
  if (shown[0] && same(subject, shown)) return write_text(var, stored + 1, stored[0]);
  return write_text(var, subject + 1, subject[0]);
}

bool write_lines(UInt16 var, ConstStr255Param lines) {
  char buf[256];
  std::memcpy(buf, lines + 1, lines[0]);
  const long n = InsertCodeN(buf, lines[0], 255);
  if (n < 0) return false;
  return write_text(var, reinterpret_cast<const UInt8*>(buf), std::size_t(n));
}

void get_form(SMTP_SENDFORM_INFO& f, const FormVars& v) {
  read_subject(v.subj1, f.subjName1, &f.subj1Max, v.stored1, v.shown1);
  read_lines(v.text, f.text, &f.textMax);
  read_lines(v.sig1, f.signature1, &f.sig1Max);
  f.sendEnb = Get_Context_Enable(v.enable) ? 1 : 0;
  read_string(v.addr, f.adminAddr, &f.addrMax);
  read_subject(v.subj2, f.subjName2, &f.subj2Max, v.stored2, v.shown2);
  read_lines(v.sig2, f.signature2, &f.sig2Max);
}

short set_form(const SMTP_SENDFORM_INFO& f, const FormVars& v) {
  auto refuse = [](const char* key) -> short {
    Str255 label;
    label_text(key, label);
    char text[256];
    std::memcpy(text, label + 1, label[0]);
    text[label[0]] = 0;
    Setup_Label_Error_Message(text);
    return 0;
  };
  if (!write_subject(v.subj1, f.subjName1, v.stored1, v.shown1)) return refuse("SUBJECT=");
  if (!write_lines(v.text, f.text)) return refuse("TEXT=");
  if (!write_lines(v.sig1, f.signature1)) return refuse("SIGLINE=");
  Set_Context_Enable(v.enable, f.sendEnb != 0);
  if (!write_text(v.addr, f.adminAddr + 1, f.adminAddr[0])) return refuse("ADMINADDR=");
  if (!write_subject(v.subj2, f.subjName2, v.stored2, v.shown2)) return refuse("SUBJECT=");
  if (!write_lines(v.sig2, f.signature2)) return refuse("SIGLINE=");
  return 1;
}

}  // namespace

short DeleteCodeN(char* text, long length) {
  if (!text || length < 0) return 0;
  short lines = 1;
  long out = 0;
  for (long i = 0; i < length; ++i) {
    if (UInt8(text[i]) == kCR && i + 1 < length && UInt8(text[i + 1]) == kLF) {
      text[out++] = char(kCR);
      ++i;
      ++lines;
      continue;
    }
    text[out++] = text[i];
  }
  text[out] = 0;
  return lines;
}

long InsertCodeN(char* text, long length, long max) {
  if (!text || length < 0) return -1;
  long crs = 0;
  for (long i = 0; i < length; ++i) crs += UInt8(text[i]) == kCR;
  if (length + crs > max) return -1;
  long to = length + crs;
  for (long i = length - 1; i >= 0; --i) {
    if (UInt8(text[i]) == kCR) text[--to] = char(kLF);
    text[--to] = text[i];
  }
  return length + crs;
}

void Get_Printer_Form() { get_form(gSmtpForms.printer, kPrinterVars); }
void Get_Consum_Form() { get_form(gSmtpForms.consum, kConsumVars); }
short Set_Printer_Form() { return set_form(gSmtpForms.printer, kPrinterVars); }
short Set_Consum_Form() { return set_form(gSmtpForms.consum, kConsumVars); }

void Default_Hiden_Message() {
  struct Hidden {
    UInt16 var;
    const char *key, *fallback;
  };
  constexpr Hidden kHidden[] = {{0xEA04, "SUBJECT_SUCCESS=", "Success"},
                                {0xEA05, "SUBJECT_FAILURE=", "Failure"},
                                {0xEA06, "COMMENT_SUCCESS=", "Transmission of the mail succeeded."},
                                {0xEA07, "COMMENT_FAILURE=", "Transmission of the mail failed."}};
  for (const Hidden& h : kHidden) {
    CONTEXT_ENTRY* e = get_context_by_varid(h.var);
    if (!e) continue;
    char text[256] = "";
    if (!Load_File_To_CstringEx("[LABEL]", h.key, text, sizeof text, IniFileName) || !text[0])
      std::snprintf(text, sizeof text, "%s", h.fallback);
    // The box mails these in the language's encoding; a text it cannot
    // hold gives way to the built-in one, which any encoding holds.
    std::string held;
    if (!tb::TextToEncoding(text, box_encoding(), &held)) held = h.fallback;
    held.resize(tb::CharCutLength(held, 255, box_encoding()));
    context_write(e, held.c_str());
  }
}

// ---- The dialog ----------------------------------------------------------------

Boolean SMTP_update_flag = 0;

namespace {

struct MLTE_DATA_INFO {
  TXNObject txnObject;
  TXNFrameID txnId;
};
struct SENDFORM_DATA_INFO {
  SInt16 actENum;
  SInt16 activeId;
  MLTE_DATA_INFO formMlte[kSendFormFields];
};
SENDFORM_DATA_INFO gTEDataTbl{};
FONT_DATA gTEFont{};
DialogRef gFormDialog = nullptr;
SMTP_SENDFORM_INFO* gForm = nullptr;

constexpr DialogItemIndex kFieldItem[kSendFormFields] = {5, 7, 9, 13, 15, 17};
constexpr DialogItemIndex kLabelItem[kSendFormFields] = {4, 6, 8, 12, 14, 16};
constexpr const char* kLabelKey[kSendFormFields] = {"SUBJECT=", "TEXT=", "SIGLINE=", "ADMINADDR=", "SUBJECT=",
                                                    "SIGLINE="};
constexpr bool kMultiLine[kSendFormFields] = {false, true, true, false, false, true};
enum : DialogItemIndex { kFormOK = 1, kFormCancel = 2, kFormStandard = 3, kFormSecond = 10, kFormSecondLabel = 11 };

TXNObject field(int i) { return gTEDataTbl.formMlte[i].txnObject; }
bool second_on() { return gFormDialog && Get_Item_Value(gFormDialog, kFormSecond) == 1; }
int usable_fields() { return second_on() ? kSendFormFields : 3; }

void Set_MLTE_Font(TXNObject object) {
  ItemCount count = 0;
  TXNGetFontDefaults(object, &count, nullptr);
  if (count == 0) return;
  TXNMacOSPreferredFontDescription d[4]{};
  count = std::min<ItemCount>(count, 4);
  TXNGetFontDefaults(object, &count, d);
  for (ItemCount i = 0; i < count; ++i) {
    d[i].fontID = gTEFont.fontID;
    d[i].pointSize = Fixed(UInt32(gTEFont.fSize ? gTEFont.fSize : 10) << 16);
    d[i].fontStyle = 0;
    d[i].encoding = kTXNSystemDefaultEncoding;
  }
  TXNSetFontDefaults(object, count, d);
}

void set_field_text(int i, ConstStr255Param held) {
  if (!field(i)) return;
  const std::string text = tb::TextFromEncoding(pstr::str(held), box_encoding());
  TXNSetData(field(i), kTXNTextData, text.data(), ByteCount(text.size()), kTXNStartOffset, kTXNEndOffset);
}

void set_field_color(int i, UInt16 level) {
  if (!field(i)) return;
  TXNTypeAttributes a{};
  RGBColor c{level, level, level};
  a.tag = kTXNQDFontColorAttribute;
  a.size = kTXNQDFontColorAttributeSize;
  a.data.dataPtr = &c;
  TXNSetTypeAttributes(field(i), 1, &a, kTXNStartOffset, kTXNEndOffset);
}

void focus(int i) {
  if (i == gTEDataTbl.actENum && field(i)) {
    TXNFocus(field(i), true);
    return;
  }
  if (field(gTEDataTbl.actENum)) TXNFocus(field(gTEDataTbl.actENum), false);
  gTEDataTbl.actENum = SInt16(i);
  if (field(i)) TXNFocus(field(i), true);
}

void Create_MLTE_Item(DialogRef d) {
  tb::PortSaver saver;
  SetPortDialogPort(d);
  for (int i = 0; i < kSendFormFields; ++i) {
    Rect r;
    Get_Dialog_Item_Rect(d, kFieldItem[i], &r);
    Rect wide = r;
    wide.right = SInt16(wide.right + 1000);
    const TXNFrameOptions options = kMultiLine[i] ? TXNFrameOptions(13) : kTXNSingleLineOnlyMask;
    MLTE_DATA_INFO& m = gTEDataTbl.formMlte[i];
    if (TXNNewObject(nullptr, GetDialogWindow(d), &wide, options, kTXNTextEditStyleFrameType, kTXNTextensionFile,
                     kTXNSystemDefaultEncoding, &m.txnObject, &m.txnId, nullptr) != noErr) {
      m = MLTE_DATA_INFO{};
      continue;
    }
    TXNSetFrameBounds(m.txnObject, r.top, r.left, r.bottom, r.right, m.txnId);
    TXNActivate(m.txnObject, m.txnId, kScrollBarsAlwaysActive);
    Set_MLTE_Font(m.txnObject);
    TXNSetData(m.txnObject, kTXNTextData, " ", 1, kTXNStartOffset, kTXNEndOffset);
    TXNSetData(m.txnObject, kTXNTextData, "", 0, kTXNStartOffset, kTXNEndOffset);
  }
  gTEDataTbl.actENum = 0;
  if (field(0)) TXNFocus(field(0), true);
}

void Dispose_MLTE_Item() {
  for (MLTE_DATA_INFO& m : gTEDataTbl.formMlte) {
    if (!m.txnObject) continue;
    TXNFocus(m.txnObject, false);
    TXNDeleteObject(m.txnObject);
    m = MLTE_DATA_INFO{};
  }
  gTEDataTbl = SENDFORM_DATA_INFO{};
}

// The text of a field as the box is to hold it, into out (which holds the
// value the field was loaded with): left as it is while the text still
// reads as it, else the text in the language's encoding. 0, or -1 when the
// field is missing, the encoding cannot hold a character of the text, or it
// makes 256 bytes or more.
short Get_Setup_Data(TXNObject object, Str255 out) {
  if (!object) return -1;
  Handle h = nullptr;
  if (TXNGetDataEncoded(object, kTXNStartOffset, kTXNEndOffset, &h, kTXNTextData) != noErr || !h) return -1;
  const std::string text(*h, std::size_t(GetHandleSize(h)));
  DisposeHandle(h);
  if (tb::TextFromEncoding(pstr::str(out), box_encoding()) == text) return 0;
  std::string held;
  if (!tb::TextToEncoding(text, box_encoding(), &held) || held.size() > 255) return -1;
  pstr::set(out, 256, held);
  return 0;
}

void Setup_Form_Update_ValueEX(DialogRef d) {
  Set_String_To_Item(d, kFormSecondLabel, "SMTP_SENDFORM=", "[BUTTON]", IniFileName);
  for (int i = 0; i < 3; ++i) set_field_color(i, 0);
  const bool on = second_on();
  for (int i = 3; i < kSendFormFields; ++i) Draw_Color_Label(d, kLabelItem[i], "[LABEL]", kLabelKey[i], !on);
  for (int i = 3; i < kSendFormFields; ++i) {
    if (!field(i)) continue;
    if (on) {
      TXNActivate(field(i), gTEDataTbl.formMlte[i].txnId, kScrollBarsAlwaysActive);
      set_field_color(i, 0);
    } else {
      TXNFocus(field(i), false);
      set_field_color(i, 0x8888);
    }
  }
  if (!on && gTEDataTbl.actENum >= 3) focus(0);
}

void Default_Form_Value(DialogRef d, SMTP_SENDFORM_INFO* form) {
  const bool printer = form->sendType == kSendFormPrinter;
  held_label(printer ? "PRINTER_SUBJECT1=" : "CONSUM_SUBJECT1=", form->subjName1);
  held_label(printer ? "PRINTER_SUBJECT2=" : "CONSUM_SUBJECT2=", form->subjName2);
  set_field_text(0, form->subjName1);
  set_field_text(4, form->subjName2);
  Set_Item_Value(d, kFormSecond, form->sendEnb ? 1 : 0);
}

SMTP_SENDFORM_INFO& group_form(SInt16 type) {
  return type == kSendFormPrinter ? gSmtpForms.printer : gSmtpForms.consum;
}

void Load_Value_SMTP_SendForm(DialogRef d, SMTP_SENDFORM_INFO* form) {
  const bool printer = form->sendType == kSendFormPrinter;
  SMTP_SENDFORM_INFO& g = group_form(form->sendType);
  const SInt16 type = form->sendType;
  if (printer) Get_Printer_Form(); else Get_Consum_Form();
  g.sendType = type;
  if (form != &g) *form = g;
  ConstStr255Param texts[kSendFormFields] = {form->subjName1, form->text, form->signature1,
                                             form->adminAddr, form->subjName2, form->signature2};
  for (int i = 0; i < kSendFormFields; ++i) set_field_text(i, texts[i]);
  Set_Item_Value(d, kFormSecond, form->sendEnb ? 1 : 0);
  Set_String_To_Item(d, kFormStandard, "STANDARD=", "[BUTTON]", IniFileName);
  for (int i = 0; i < kSendFormFields; ++i) Set_String_To_Item(d, kLabelItem[i], kLabelKey[i], "[LABEL]", IniFileName);
  Setup_Form_Update_ValueEX(d);
}

short Get_Value_SMTP_SendForm(DialogRef d, SMTP_SENDFORM_INFO* form) {
  if (form->sendType == 0) return 0;
  StringPtr dest[kSendFormFields] = {form->subjName1, form->text, form->signature1,
                                     form->adminAddr, form->subjName2, form->signature2};
  for (int i = 0; i < kSendFormFields; ++i) {
    if (i == 3) form->sendEnb = Get_Item_Value(d, kFormSecond) ? 1 : 0;
    Str255 text;
    std::memcpy(text, dest[i], std::size_t(dest[i][0]) + 1);
    if (Get_Setup_Data(field(i), text) != 0) {
      Setup_Error_Message(d, kLabelItem[i]);
      return 0;
    }
    std::memcpy(dest[i], text, std::size_t(text[0]) + 1);
  }
  SMTP_SENDFORM_INFO& g = group_form(form->sendType);
  if (form != &g) g = *form;
  return form->sendType == kSendFormPrinter ? Set_Printer_Form() : Set_Consum_Form();
}

void flash(DialogRef d, DialogItemIndex item) {
  if (ControlRef c = Item_Control(d, item)) {
    HiliteControl(c, kControlButtonPart);
    HiliteControl(c, 0);
  }
}

void draw_fields(DialogRef d) {
  for (int i = 0; i < kSendFormFields; ++i) {
    if (!field(i)) continue;
    // The frame goes round the field's whole rectangle, its scroll bars
    // included: the toolbox's view is the text's part alone, and a frame
    // round it alone ran under the bars and left them without an edge.
    Rect view, r;
    TXNGetViewRect(field(i), &view);
    Get_Dialog_Item_Rect(d, kFieldItem[i], &r);
    UnionRect(&view, &r, &r);
    InsetRect(&r, -2, -2);
    FrameRect(&r);
    TXNDraw(field(i), nullptr);
  }
  Setup_Form_Update_ValueEX(d);
}

Boolean Handle_SMTP_Send_Filter(DialogRef d, EventRecord* event, DialogItemIndex* item) {
  TXNObject focused = field(gTEDataTbl.actENum);
  switch (event->what) {
    case nullEvent:
      if (focused) {
        TXNIdle(focused);
        TXNAdjustCursor(focused, nullptr);
      }
      return false;
    case mouseDown: {
      WindowRef hit = nullptr;
      const WindowPartCode part = FindWindow(event->where, &hit);
      if (part == inDrag) {
        if (hit == GetDialogWindow(d)) {
          Rect bounds{-32000, -32000, 32000, 32000};
          DragWindow(hit, event->where, &bounds);
          SMTP_update_flag = 1;
        } else {
          SysBeep(1);
        }
        *item = 0;
        return true;
      }
      if (hit != GetDialogWindow(d) || part != inContent) return false;
      Point local = event->where;
      {
        tb::PortSaver saver;
        SetPortDialogPort(d);
        GlobalToLocal(&local);
      }
      for (int i = 0; i < usable_fields(); ++i) {
        Rect r;
        Get_Dialog_Item_Rect(d, kFieldItem[i], &r);
        if (!PtInRect(local, &r) || !field(i)) continue;
        focus(i);
        TXNClick(field(i), event);
        TXNIdle(field(i));
        *item = 0;
        return true;
      }
      return false;
    }
    case keyDown:
    case autoKey: {
      const UInt8 code = UInt8((event->message & keyCodeMask) >> 8);
      const char ch = char(event->message & charCodeMask);
      if (event->what == keyDown && (event->modifiers & cmdKey)) {
        if (focused) {
          switch (ch | 0x20) {
            case 'a': TXNSelectAll(focused); break;
            case 'c': TXNCopy(focused); break;
            case 'v': TXNPaste(focused); break;
            case 'x': TXNCut(focused); break;
            case 'z':
              if (event->modifiers & shiftKey) TXNRedo(focused); else TXNUndo(focused);
              break;
            case 't': focus((gTEDataTbl.actENum + 1) % usable_fields()); break;
            default: break;
          }
        }
        *item = 0;
        return true;
      }
      if (code == 0x35) {
        flash(d, kFormCancel);
        *item = kFormCancel;
        return true;
      }
      if (code == 0x24 || code == 0x4C) {
        flash(d, kFormOK);
        *item = kFormOK;
        return true;
      }
      if (event->modifiers & cmdKey) {
        *item = 0;
        return true;
      }
      // Tab and Shift-Tab go round the usable fields as in every other
      // dialog, each reached with its whole text selected: a tab typed into
      // a subject or an address would only reach the mail as a stray blank.
      if (ch == kTabCharCode) {
        const int n = usable_fields();
        focus((gTEDataTbl.actENum + ((event->modifiers & shiftKey) ? n - 1 : 1)) % n);
        if (field(gTEDataTbl.actENum)) TXNSelectAll(field(gTEDataTbl.actENum));
        *item = 0;
        return true;
      }
      if (focused) TXNKeyDown(focused, event);
      *item = 0;
      return true;
    }
    case updateEvt:
      if (reinterpret_cast<WindowRef>(event->message) != GetDialogWindow(d)) return false;
      BeginUpdate(GetDialogWindow(d));
      Set_Content_Color(d);
      DrawDialog(d);
      SetDialogDefaultItem(d, kFormOK);
      draw_fields(d);
      EndUpdate(GetDialogWindow(d));
      *item = 0;
      return true;
    case activateEvt: {
      const bool active = (event->modifiers & activeFlag) != 0;
      for (int i = 0; i < usable_fields(); ++i)
        if (field(i) && active) TXNActivate(field(i), gTEDataTbl.formMlte[i].txnId, kScrollBarsAlwaysActive);
      Handle_Window_Active(d, event);
      if (focused) TXNFocus(focused, active);
      return false;
    }
    default:
      if (focused) {
        TXNIdle(focused);
        TXNAdjustCursor(focused, nullptr);
      }
      return false;
  }
}

}  // namespace

void Init_MLTE_Item() {
  gTEFont = FONT_DATA{};
  std::strcpy(gTEFont.fName, "Geneva");
  gTEFont.fSize = 10;
  Get_Font_Infomation("TEDIT=", &gTEFont);
  TXNMacOSPreferredFontDescription d{};
  d.fontID = gTEFont.fontID;
  d.pointSize = Fixed(UInt32(gTEFont.fSize ? gTEFont.fSize : 10) << 16);
  d.encoding = kTXNSystemDefaultEncoding;
  d.fontStyle = 0;
  TXNInitTextension(&d, 1, 0);
}

void Terminate_MLTE_Item() { TXNTerminateTextension(); }

OpaqueTXNObject* SendForm_Field(int index) {
  if (!gFormDialog || index < 0 || index >= kSendFormFields) return nullptr;
  return field(index);
}
short SendForm_Focus() { return gTEDataTbl.actENum; }

namespace {

void form_item(DialogRef d, DialogItemIndex item) {
  if (item == kFormStandard) {
    Default_Hiden_Message();
    Default_Form_Value(d, gForm);
    Setup_Form_Update_ValueEX(d);
  } else if (item == kFormSecond) {
    Toggle_Item(d, kFormSecond);
    gForm->sendEnb = Get_Item_Value(d, kFormSecond) ? 1 : 0;
    Setup_Form_Update_ValueEX(d);
  }
}

}  // namespace

short Open_SMTP_SendForm_Dialog(DialogRef, SMTP_SENDFORM_INFO* form) {
  if (!form || form->sendType == 0) return 0;
  gSendFormTbl = *form;
  gForm = form;
  SMTP_update_flag = 1;
  const short result = Run_Setup_Sub_Dialog(
      kSendFormDialogID, form->sendType == kSendFormPrinter ? "FORM_PRINTER=" : "FORM_CONSUM=",
      [](DialogRef d) {
        gFormDialog = d;
        Set_Content_Color(d);
        Create_MLTE_Item(d);
        Load_Value_SMTP_SendForm(d, gForm);
      },
      [](DialogRef d) { return Get_Value_SMTP_SendForm(d, gForm); }, Handle_SMTP_Send_Filter, form_item,
      [](DialogRef) { Dispose_MLTE_Item(); });
  if (result != 1) {
    // Cancel: the form and its group as they were.
    *form = gSendFormTbl;
    group_form(form->sendType) = gSendFormTbl;
  }
  gFormDialog = nullptr;
  gForm = nullptr;
  SMTP_update_flag = 0;
  return result;
}
