// The status and information pages' views: the text views, the information
// pop-up, the wrapped message, the error view and saving the information
// text.
#include "Monitor/StatusViews.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "506Q_Lib/DialogItems.h"
#include "common/AppWindows.h"
#include "common/IniFile.h"
#include "common/TextFormat.h"
#include "Monitor/ConsumWindow.h"
#include "Monitor/DialogUtil.h"
#include "Monitor/MonitorApp.h"
#include "Monitor/StatusDisplay.h"
#include "Monitor/StatusDraw.h"
#include "Monitor/StatusText.h"
#include "toolbox/drawntext.h"
#include "toolbox/files.h"
#include "toolbox/fonts.h"
#include "toolbox/icons.h"
#include "toolbox/menus.h"
#include "toolbox/navigation.h"
#include "toolbox/script.h"
#include "toolbox/trace.h"

namespace {

constexpr std::size_t kDetailMax = 16000;
constexpr int kMaxPieces = 127;
constexpr int kMaxComboItems = 10;

CEDIT_DATA* makeView(STATUS_WND_INFO* rec, DialogItemIndex item, const char* fontKey) {
  Rect r{};
  Get_Dialog_Item_Rect(rec->dlg, item, &r);
  CEDIT_DATA* view = CENew(GetDialogWindow(rec->dlg), &r, &r, &r, false, true, false);
  if (!view) return nullptr;
  SInt16 font = 0, size = 10;
  UInt8 face = 0;
  Get_Font_Data2(fontKey, &font, &face, &size, IniFileName);
  CTESetFont(view, &font, &face, &size);
  {
    tb::PortSaver saver(GetDialogPort(rec->dlg));
    TextFont(font);
    TextFace(face);
    TextSize(size);
    FontInfo fi;
    GetFontInfo(&fi);
    CTESetLineHeight(view, SInt16(fi.ascent + fi.descent + fi.leading));
  }
  CTESetAlignment(view, teFlushLeft);
  return view;
}

// A view shown again stands with its scroll bar, as when it was made: the
// view shows it only for a text taller than the view, and its range is
// brought up to date after each change anyway.
void showView(CEDIT_DATA* view) {
  CEShow(view, true);
  CEShowVScroll(view, true);
}

// The pieces a line may be cut into: words with their trailing blanks.
std::vector<std::string> pieces(const std::string& text) {
  std::vector<std::string> out;
  const short len = short(std::min<std::size_t>(text.size(), 32767));
  short at = 0;
  while (at < len && int(out.size()) < kMaxPieces) {
    OffsetTable offsets{};
    FindWordBreaks(text.data(), len, at, true, kLineBreakTable, offsets, smSystemScript);
    short end = offsets[0].offSecond;
    if (end <= at) end = short(at + 1);
    // A line end ends its piece: what follows starts a new line.
    for (short k = at; k < end; ++k)
      if (text[std::size_t(k)] == '\r' || text[std::size_t(k)] == '\n') {
        end = short(k + 1);
        break;
      }
    out.push_back(text.substr(std::size_t(at), std::size_t(end - at)));
    at = end;
  }
  // What lies beyond the last piece stays with it.
  if (at < len && !out.empty()) out.back() += text.substr(std::size_t(at), std::size_t(len - at));
  return out;
}

short width(const std::string& s) { return TextWidth(s.data(), 0, short(std::min<std::size_t>(s.size(), 32767))); }

std::string trimEnd(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\n')) s.pop_back();
  return s;
}

}  // namespace

std::string Get_TextEdit_Data(CEDIT_DATA* view) {
  if (!view) return {};
  std::string text(kDetailMax, '\0');
  SInt32 len = SInt32(kDetailMax);
  CTEGetText(view, text.data(), &len);
  text.resize(std::size_t(std::max<SInt32>(len, 0)));
  return text;
}

short Set_String_To_ItemEx(DialogRef dlg, DialogItemIndex item, const char* key, const char* section,
                           const char* file) {
  return Set_String_To_Item(dlg, item, key, section, file);
}

std::string Display_Key(const UInt8* field) {
  return std::string(reinterpret_cast<const char*>(field + 1), std::min<std::size_t>(field[0], 31));
}

void Set_Status_Machine_Info(DialogRef dlg) {
  Set_String_To_ItemEx(dlg, 1, "BTN_OPTION=", "[BUTTON]", IniFileName);
  Set_String_To_ItemEx(dlg, 2, "BTN_EXIT=", "[BUTTON]", IniFileName);
  Set_String_To_ItemEx(dlg, 3, "BTN_ICON=", "[BUTTON]", IniFileName);
}

void Comment_TextEdit(STATUS_WND_INFO* rec) {
  if (!rec->commentData) rec->commentData = makeView(rec, 7, "COMMENT=");
  if (!rec->commentData) return;
  showView(rec->commentData);
  const UInt8* c = rec->viewData.commentStr;
  if (c[0])
    CTESetText(rec->commentData, c + 1, c[0]);
  else
    CTESetText(rec->commentData, " ", 1);
}

void Detail_TextEdit(STATUS_WND_INFO* rec) {
  if (!rec->textData) rec->textData = makeView(rec, 6, "INFOFONT=");
  if (rec->textData) showView(rec->textData);
}

short Comment_Scroll_Action(STATUS_WND_INFO* rec, EventRecord* event) {
  if (!rec->commentData || !event) return 0;
  CEMouseDown(rec->commentData, event);
  return 1;
}

short Detail_Scroll_Action(STATUS_WND_INFO* rec, EventRecord* event) {
  if (!rec->textData || !event) return 0;
  CEMouseDown(rec->textData, event);
  return 1;
}

void Set_Popup_Menu(STATUS_WND_INFO* rec, DialogItemIndex item, SInt16 ctrl, SInt16 active) {
  std::vector<std::string> texts;
  for (int i = 1; i <= kMaxComboItems; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "COM%02d=", i);
    std::string t = Ini_Text("[COMBO]", key);
    if (t.empty()) break;
    texts.push_back(t);
  }
  ControlRef popup = GetNewControl(ctrl, GetDialogWindow(rec->dlg));
  if (!popup) return;
  MenuRef menu = GetControlPopupMenuHandle(popup);
  for (std::size_t i = 0; menu && i < texts.size(); ++i) {
    static const UInt8 kBlank[] = {1, ' '};
    AppendMenu(menu, kBlank);
    Str255 p;
    CopyCStringToPascal(texts[i].c_str(), p);
    SetMenuItemText(menu, short(i + 1), p);
  }
  SetControlMinimum(popup, 1);
  SetControlMaximum(popup, SInt16(std::max<std::size_t>(texts.size(), 1)));
  SetControlValue(popup, active > SInt16(texts.size()) || active < 1 ? 1 : active);
  Rect r{};
  Get_Dialog_Item_Rect(rec->dlg, item, &r);
  MoveControl(popup, r.left, r.top);
  SizeControl(popup, SInt16(r.right - r.left), SInt16(r.bottom - r.top));
  rec->infoPopup = popup;
}

void Main_Change_Page(STATUS_WND_INFO* rec, SInt16 page) {
  rec->prevPage = page;
  if (page == 0 && rec->commentData) CEShow(rec->commentData, false);
  if (page == 1) {
    if (rec->infoPopup) HideControl(rec->infoPopup);
    if (rec->textData) CEShow(rec->textData, false);
  }
}

void Setup_Main_Load_Value(DialogRef dlg) {
  STATUS_WND_INFO* rec = Page_Record(dlg);
  if (rec) Comment_TextEdit(rec);
}

void Setup_Detail_Load_Value(DialogRef dlg) {
  STATUS_WND_INFO* rec = Page_Record(dlg);
  if (!rec) return;
  if (rec->activeNum < 1) rec->activeNum = 1;
  if (!rec->infoPopup) {
    Set_Popup_Menu(rec, 5, rec->controlID, rec->activeNum);
  } else {
    if (rec->activeNum > GetControlMaximum(rec->infoPopup)) rec->activeNum = 1;
    SetControlValue(rec->infoPopup, rec->activeNum);
  }
  if (rec->infoPopup) ShowControl(rec->infoPopup);
  Detail_TextEdit(rec);
  GetDispInfo(rec);
}

void Dispose_Page_Views(STATUS_WND_INFO* rec) {
  if (rec->commentData) CEDispose(rec->commentData);
  if (rec->textData) CEDispose(rec->textData);
  if (rec->infoPopup) DisposeControl(rec->infoPopup);
  rec->commentData = rec->textData = nullptr;
  rec->infoPopup = nullptr;
}

Boolean Status_Main_Select_Item(DialogRef dlg, EventRecord* event, DialogItemIndex item) {
  STATUS_WND_INFO* rec = Page_Record(dlg);
  if (!rec) return true;
  if (item == 7) Comment_Scroll_Action(rec, event);
  if (item == 30) ConDlgProc(&rec->sumData, dlg, &rec->info, rec->controlID);
  return true;
}

Boolean Status_Detail_Select_Item(DialogRef dlg, EventRecord* event, DialogItemIndex item) {
  STATUS_WND_INFO* rec = Page_Record(dlg);
  if (!rec) return true;
  switch (item) {
    case 5:
      if (rec->infoPopup && event) {
        Point local = event->where;
        {
          tb::PortSaver saver(GetDialogPort(rec->dlg));
          GlobalToLocal(&local);
        }
        TrackControl(rec->infoPopup, local, nullptr);
      }
      Set_Data_Action(rec);
      break;
    case 6: Detail_Scroll_Action(rec, event); break;
    case 7: Save_Infolog_File(rec); break;
    default: break;
  }
  return true;
}

void GetDispStat(STATUS_WND_INFO* rec) {
  VEMOSTATUSSET& v = rec->viewData;
  Disp_Main_Stat(&rec->info, &rec->nic, &v, rec->decodeResult, rec->powerCheck);
  Get_Status_Image(v.IconID, &rec->info, &rec->statImg);
  if (rec->statImg.iconNo > 149 && rec->statImg.animeCnt == 0) rec->animeCnt = 1;
  FirstOpenMessage(&rec->info, Display_Key(v.mesKey).c_str(), v.messageStr, &v.mesLine);
  FirstOpenComment(&rec->info, Display_Key(v.comKey).c_str(), v.szData, v.commentStr, v.warning);
  if (rec->commentData && rec->activePage == kPageStatus) Comment_TextEdit(rec);
}

void GetDispInfo(STATUS_WND_INFO* rec) {
  if (rec->monitorOpen == 1 || !rec->textData) return;
  rec->activeNum = rec->infoPopup ? GetControlValue(rec->infoPopup) : 1;
  std::string text = DispInfoStat(rec->activeNum, &rec->info, &rec->nic, &rec->netInfo);
  if (text.size() > kDetailMax) text.resize(kDetailMax);
  if (Get_TextEdit_Data(rec->textData) == text) return;
  CTESetText(rec->textData, text.data(), SInt32(text.size()));
  CEUpdate(rec->textData);
}

void DispInfoDialog(STATUS_WND_INFO* rec, short clear) {
  if (!rec->textData) return;
  if (clear) {
    CTESetText(rec->textData, "", 0);
    CEUpdate(rec->textData);
  } else {
    CTESetTextVScroll(rec->textData);
  }
}

short Set_Data_Action(STATUS_WND_INFO* rec) {
  if (!rec->infoPopup || !Page_Button_Check(rec)) return 0;
  rec->activeNum = GetControlValue(rec->infoPopup);
  GetDispInfo(rec);
  return 1;
}

void Get_Error_Status(STATUS_WND_INFO* rec) {
  rec->sleepCheck = rec->powerCheck;
  Set_Power_State(rec, 0, "error view");
  VEMOSTATUSSET& v = rec->viewData;
  DispErrStatus(&rec->info, &v, kErrComm, rec->sleepCheck);
  Get_Status_Image(v.IconID, &rec->info, &rec->statImg);
  if (rec->statImg.iconNo > 149 && rec->statImg.animeCnt == 0) rec->animeCnt = 1;
  ErrorMessage(&rec->info, Display_Key(v.mesKey).c_str(), v.messageStr, &v.mesLine);
  ErrorComment(Display_Key(v.comKey).c_str(), v.commentStr);
}

void Draw_Error_Status(STATUS_WND_INFO* rec) {
  if (rec->activePage == kPageStatus) {
    if (rec->commentData) Comment_TextEdit(rec);
    Exit_Consum_Dialog(&rec->sumData);
  } else if (rec->activePage == kPageDetail) {
    DispInfoDialog(rec, 1);
  }
  Page_Button_Check(rec);
}

std::vector<std::string> Text_Rect_Lines(const std::string& text, short room, int maxLines) {
  std::vector<std::string> lines;
  if (maxLines < 1) return lines;
  std::string line;
  std::size_t used = 0;  // bytes of the text in finished lines
  bool more = false;
  for (const std::string& piece : pieces(text)) {
    const bool hardBreak = piece.find_first_of("\r\n") != std::string::npos;
    if (!line.empty() && width(trimEnd(line + piece)) > room) {
      if (int(lines.size()) + 1 == maxLines) {
        more = true;
        break;
      }
      used += line.size();
      lines.push_back(trimEnd(line));
      line.clear();
    }
    line += piece;
    if (hardBreak) {
      if (int(lines.size()) + 1 == maxLines) {
        more = used + line.size() < text.size();
        break;
      }
      used += line.size();
      lines.push_back(trimEnd(line));
      line.clear();
    }
  }
  if (more) {
    // The last line takes the rest of the text, cut with an ellipsis.
    std::string rest = text.substr(used);
    for (char& c : rest)
      if (c == '\r' || c == '\n') c = ' ';
    Str255 p;
    const std::size_t n = std::min<std::size_t>(rest.size(), 255);
    p[0] = UInt8(n);
    std::memcpy(p + 1, rest.data(), n);
    TruncString(room, p, truncEnd);
    line.assign(reinterpret_cast<const char*>(p + 1), p[0]);
    // TruncString keeps what fits; a text that fits after all still ends here.
    if (line.size() == n && n == rest.size()) line = trimEnd(line);
  }
  if (!line.empty() || lines.empty()) lines.push_back(trimEnd(line));
  return lines;
}

void DrawTextRect(const std::string& text, const Rect* r) {
  FontInfo fi;
  GetFontInfo(&fi);
  const short lineHeight = short(fi.ascent + fi.descent + fi.leading);
  short v = short(r->top + fi.ascent);
  tb::DrawnTextScope tag(tb::TextSource::kDirect, r);
  for (const std::string& line : Text_Rect_Lines(text, short(r->right - r->left - 12), 2)) {
    MoveTo(r->left, v);
    DrawText(line.data(), 0, short(line.size()));
    v = short(v + lineHeight);
  }
}

void Draw_String_From_Item(DialogRef dlg, DialogItemIndex item, const std::string& text, SInt16 errIcon) {
  Rect r{};
  Get_Dialog_Item_Rect(dlg, item, &r);
  tb::PortSaver saver(GetDialogPort(dlg));
  const RGBColor white{0xFFFF, 0xFFFF, 0xFFFF};
  RGBForeColor(&white);
  PaintRect(&r);
  ForeColor(blackColor);
  if (errIcon) {
    if (CIconHandle icon = GetCIcon(errIcon)) {
      const Rect ir{r.top, r.left, SInt16(r.top + 16), SInt16(r.left + 16)};
      PlotCIcon(&ir, icon);
      ForeColor(blackColor);
      DisposeCIcon(icon);
      r.left = SInt16(r.left + 20);
    }
  }
  TextSize(12);
  r.left = SInt16(r.left + 2);
  DrawTextRect(text.substr(0, 255), &r);
}

void Ink_Name_Texts(const VEMOINFO& info, std::string* first, std::string* second) {
  const std::string label = Ini_Text("[LABEL]", "STC_INK=", "Ink Name:");
  auto ink = [](int code) {
    char key[16];
    std::snprintf(key, sizeof key, "INK%02d=", code);
    return Ini_Text("[INK]", key, " ", MonFileName);
  };
  first->clear();
  second->clear();
  const SInt32 drums = std::clamp<SInt32>(info.CmDrmNum, 0, 2);
  if (drums == 0) {
    *first = ink(0);
  } else if (drums == 1) {
    *first = label + " : " + ink(info.pDrm[0].DrmCol);
  } else {
    *first = label + "1 : " + ink(info.pDrm[0].DrmCol);
    *second = label + "2 : " + ink(info.pDrm[1].DrmCol);
  }
}

std::string Drum_Size_Text(const VEMOINFO& info) {
  const std::string format = Ini_Text("[LABEL]", "STC_DRM=", "Dram Size:");
  char key[16];
  if (info.CmDrmNum <= 0)
    std::snprintf(key, sizeof key, "SIZE000=");
  else
    std::snprintf(key, sizeof key, info.IcType ? "SIZEB%02d=" : "SIZEA%02d=", info.pDrm[0].DrmSiz);
  // The value is at most 63 bytes.
  char value[64];
  Copy_Text(value, sizeof value, Ini_Text("[DETAIL]", key, "", MonFileName));
  char text[320];
  // The label is the format: only "%s" is taken from it.
  if (Format_Strings(text, sizeof text, format.c_str(), {value}) < 0) return format;
  return text;
}

namespace {

void Save_File_Filter(NavEventCallbackMessage message, NavCBRecPtr params, void*) {
  if (message != kNavCBEvent || !params || !params->eventData.eventDataParms.event) return;
  EventRecord* event = params->eventData.eventDataParms.event;
  if (event->what == updateEvt && Handle_Dialog_Event(event) != 1) Handle_Window_Event(event);
}

}  // namespace

short Save_Infolog_File(STATUS_WND_INFO* rec) {
  if (!rec->textData) return 0;
  NavDialogOptions options;
  NavGetDefaultDialogOptions(&options);
  Load_File_To_PascalEx("[MACSTR2]", "SAVEDLG=", options.message, sizeof options.message, IniFileName);
  Load_File_To_PascalEx("[MACSTR2]", "LOGNAME=", options.savedFileName, sizeof options.savedFileName, IniFileName);
  NavReplyRecord reply{};
  const OSErr err = NavPutFile(nullptr, &reply, &options, Save_File_Filter, 'TEXT', 'VMxm', rec);
  if (err != noErr || !reply.validRecord) {
    // A cancelled chooser still hands over an empty selection.
    NavDisposeReply(&reply);
    return 0;
  }
  FSSpec spec{};
  AEKeyword keyword;
  DescType type;
  Size got = 0;
  OSErr e = AEGetNthPtr(&reply.selection, 1, typeFSS, &keyword, &type, &spec, sizeof spec, &got);
  const bool replacing = reply.replacing;
  NavDisposeReply(&reply);
  if (e != noErr) return 0;
  if (replacing) FSpDelete(&spec);
  const std::string text = Get_TextEdit_Data(rec->textData);
  e = FSpCreate(&spec, 'ttxt', 'TEXT', smSystemScript);
  SInt16 ref = -1;
  if (e == noErr) e = FSpOpenDF(&spec, fsWrPerm, &ref);
  if (e != noErr) {
    tb::TraceRefusal("monitor", "the information file cannot be written");
    return 0;
  }
  SInt32 count = SInt32(text.size());
  e = FSWrite(ref, &count, text.data());
  FSClose(ref);
  return e == noErr && count == SInt32(text.size()) ? 1 : 0;
}
