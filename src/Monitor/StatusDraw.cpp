// The status page and detail page drawing, the status animation and the
// page buttons.
#include "Monitor/StatusDraw.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "506Q_Lib/DialogItems.h"
#include "common/GWorldImage.h"
#include "common/IniFile.h"
#include "common/TextFormat.h"
#include "Monitor/FtpPage.h"
#include "Monitor/MonitorApp.h"
#include "Monitor/StatusDisplay.h"
#include "Monitor/StatusText.h"
#include "Monitor/StatusViews.h"
#include "toolbox/clock.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/drawntext.h"
#include "toolbox/icons.h"
#include "toolbox/pictures.h"
#include "toolbox/quickdraw.h"
#include "toolbox/windows.h"

namespace {

constexpr int kFrameWidth = 77;
constexpr UInt32 kAnimationTicks = 30;

Rect item_rect(DialogRef d, DialogItemIndex item) {
  Rect r{};
  Get_Dialog_Item_Rect(d, item, &r);
  return r;
}

std::string label(const char* key, const char* fallback) { return Ini_Text("[LABEL]", key, fallback); }

std::string pstr_text(const UInt8* p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }

// Text in an item's rectangle, erased first, wrapped at blanks into the
// lines that fit. The last line the rectangle holds ends with an ellipsis
// when text is left over: nothing is left out unseen.
void draw_text_in(DialogRef d, DialogItemIndex item, const std::string& text, short indent = 0) {
  Rect r = item_rect(d, item);
  if (r.right <= r.left) return;
  EraseRect(&r);
  tb::DrawnTextScope tag(tb::TextSource::kDirect, &r, item);
  const short width = short(r.right - r.left - indent - 4);
  constexpr short kLine = 14;
  short v = short(r.top + 12);
  std::size_t at = 0;
  const auto skipBreaks = [&](std::size_t k) {
    while (k < text.size() && (text[k] == ' ' || text[k] == '\r' || text[k] == '\n')) ++k;
    return k;
  };
  while (at < text.size() && v <= r.bottom) {
    std::size_t end = text.find_first_of("\r\n", at);
    if (end == std::string::npos) end = text.size();
    std::size_t fit = at;
    for (std::size_t k = at; k <= end; ++k) {
      if (k == end || text[k] == ' ') {
        if (TextWidth(text.data(), short(at), short(k - at)) > width && fit > at) break;
        fit = k;
      }
    }
    if (fit == at) fit = end;
    MoveTo(short(r.left + indent + 2), v);
    if (v + kLine > r.bottom && skipBreaks(fit) < text.size()) {
      std::string rest = text.substr(at);
      std::replace_if(
          rest.begin(), rest.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
      Str255 last;
      pstr::set(last, sizeof last, rest);
      TruncString(width, last, truncEnd);
      DrawString(last);
      return;
    }
    DrawText(text.data(), short(at), short(fit - at));
    at = skipBreaks(fit);
    v = short(v + kLine);
  }
}

// Frame count of the picture in use.
SInt32 frame_count(const STATUS_WND_INFO* rec) {
  if (rec->statImg.iconNo <= 149) {
    for (int i = 0; i < 31; ++i)
      if (gStatAnime[i].statNo == rec->viewData.IconID) return gStatAnime[i].animeCnt;
    return 0;
  }
  return rec->statImg.animeCnt;
}

void draw_picture_frame(STATUS_WND_INFO* rec) {
  DialogRef d = rec->dlg;
  const Rect r = item_rect(d, 5);
  PicHandle pic = GetPicture(SInt16(rec->statImg.iconNo));
  if (!pic) return;
  const int frame = frame_count(rec) == 0 ? 1 : rec->animeCnt;
  const int offset = frame == 2 ? kFrameWidth : frame == 3 ? 2 * kFrameWidth : 0;
  Rect dest{r.top, SInt16(r.left - offset), SInt16(r.top + kFrameWidth), SInt16(r.left - offset + 3 * kFrameWidth)};
  Rect all;
  GetPortBounds(GetWindowPort(GetDialogWindow(d)), &all);
  ClipRect(&r);
  DrawPicture(pic, &dest);
  ClipRect(&all);
}

void draw_message(STATUS_WND_INFO* rec) {
  std::string text = pstr_text(rec->viewData.messageStr);
  if (frame_count(rec) != 0) text.append(std::size_t(rec->blinkCnt), '.');
  Draw_String_From_Item(rec->dlg, 6, text, rec->viewData.ErrID);
}

// The gauge picture's own background (the colour of its top-left pixel)
// gives way to the window's, so the bar sits on the page.
void draw_gauge(DialogRef d, SInt16 picture) {
  GWorldPtr world = nullptr;
  if (NewGWorldFromPict(&world, picture) != noErr || !world) return;
  RGBColor back{0xFFFF, 0xFFFF, 0xFFFF};
  GetWindowContentColor(GetDialogWindow(d), &back);
  ExchangePixelColor(world, 32, &back, Point{0, 0});
  const Rect g = item_rect(d, 32);
  DrawGWorld(d, world, &g);
  DisposeGWorld(world);
}

void draw_values(STATUS_WND_INFO* rec) {
  DialogRef d = rec->dlg;
  const VEMOSTATUSSET& v = rec->viewData;
  const VEMOINFO& info = rec->info;
  const bool noData = !Power_Shows_Data(rec->powerCheck);
  char text[300];
  draw_text_in(d, 29, Resolution_Text(rec));
  draw_text_in(d, 27, label("STC_HOLD=", "Held jobs"));
  char used[32], freeText[32];
  const UInt32 total = info.DeHldMem, free = info.DeHldMemZan;
  Size_Text(total >= free ? total - free : 0, used, sizeof used);
  Size_Text(free, freeText, sizeof freeText);
  draw_text_in(d, 35, label("STC_USE=", "Use Size:") + " " + used);
  draw_text_in(d, 36, label("STC_EMPTY=", "Free Size:") + " " + freeText);
  draw_gauge(d, Hold_Gauge_Picture(total, free));
  draw_text_in(d, 28, label("STC_COPIES=", "Copies"));
  SetCopies(d, v.statusID == -1 || noData ? 65535 : v.SubPageNum, v.copies);
  draw_text_in(d, 26, label("STC_CONSUM=", "Consumables"));
  // The label is the format: only "%s" is taken from it.
  const std::string paper = label("STC_PAPER=", "Paper Size:");
  if (Format_Strings(text, sizeof text, paper.c_str(), {pstr_text(v.szSize).c_str()}) < 0)
    std::snprintf(text, sizeof text, "%s", paper.c_str());
  draw_text_in(d, 8, text);
  std::string ink1, ink2;
  Ink_Name_Texts(info, &ink1, &ink2);
  draw_text_in(d, 20, ink1);
  draw_text_in(d, 25, ink2);
  draw_text_in(d, 18, Drum_Size_Text(info));
  SInt16 consIcon = SetConsumableIcon(info);
  if (consIcon == 488 && info.PopStat == 8) consIcon = 486;
  if (consIcon == 0 && v.statusID == -1) consIcon = 486;
  Rect ci = item_rect(d, 17);
  EraseRect(&ci);
  if (consIcon)
    if (CIconHandle icon = GetCIcon(consIcon)) {
      PlotCIcon(&ci, icon);
      DisposeCIcon(icon);
    }
}

void draw_power_icon(STATUS_WND_INFO* rec) {
  Rect r = item_rect(rec->dlg, 31);
  EraseRect(&r);
  if (rec->viewData.powerIcon)
    if (CIconHandle icon = GetCIcon(SInt16(rec->viewData.powerIcon))) {
      PlotCIcon(&r, icon);
      DisposeCIcon(icon);
    }
}

}  // namespace

void SetCopies(DialogRef dlg, UInt16 copies, UInt8) {
  const Rect r = item_rect(dlg, 9);
  if (r.right <= r.left) return;
  auto draw = [](SInt16 id, SInt16 left, SInt16 top) {
    PicHandle pic = GetPicture(id);
    if (!pic) return SInt16(0);
    Rect frame;
    QDGetPictureBounds(pic, &frame);
    const SInt16 w = SInt16(frame.right - frame.left);
    const Rect to{top, left, SInt16(top + frame.bottom - frame.top), SInt16(left + w)};
    DrawPicture(pic, &to);
    return w;
  };
  SInt16 places[4];
  CopiesPictures(copies, places);
  PicHandle edge = GetPicture(253);
  Rect edgeFrame{};
  if (edge) QDGetPictureBounds(edge, &edgeFrame);
  draw(252, r.left, r.top);
  draw(253, SInt16(r.right - (edgeFrame.right - edgeFrame.left)), r.top);
  SInt16 x = SInt16(r.left + 5);
  for (const SInt16 id : places) x = SInt16(x + draw(id, x, r.top));
}

std::string Resolution_Text(const STATUS_WND_INFO* rec) {
  const VEMOSTATUSSET& v = rec->viewData;
  const std::string res = label("STC_RES=", "Resolution:");
  char text[300];
  if (!Power_Shows_Data(rec->powerCheck))
    std::snprintf(text, sizeof text, "%s ? x ? dpi", res.c_str());
  else if (v.SubDpiX == 330)
    std::snprintf(text, sizeof text, "%s D600 x %d dpi", res.c_str(), v.SubDpiY);
  else
    std::snprintf(text, sizeof text, "%s %d x %d dpi", res.c_str(), v.SubDpiX, v.SubDpiY);
  return text;
}

SInt16 Hold_Gauge_Picture(UInt32 total, UInt32 free) {
  if (total == 0) return 310;
  const double exact = 100.0 - 100.0 * double(free) / double(total);
  const int used = int(exact + 0.5);
  if (used <= 0) return 310;
  if (used > 99) return 320;
  if (used >= 90) return 319;
  if (used % 10 == 0) return SInt16(310 + used / 10);
  return SInt16(310 + used / 10 + 1);
}

void Size_Text(UInt32 megabytes, char* out, std::size_t size) {
  if (megabytes > 1023)
    std::snprintf(out, size, "%u GB", megabytes / 1024);
  else
    std::snprintf(out, size, "%u MB", megabytes);
}

short Page_Button_Check(STATUS_WND_INFO* rec) {
  const bool data = Power_Shows_Data(rec->powerCheck);
  if (rec->activePage == kPageStatus) {
    ControlRef button = nullptr;
    if (GetDialogItemAsControl(rec->dlg, 30, &button) == noErr && button)
      HiliteControl(button, data && rec->info.MainStsErr != 5 ? 0 : 255);
    if (rec->commentData) CTESetTextVScroll(rec->commentData);
  } else if (rec->activePage == kPageDetail) {
    ControlRef button = nullptr;
    if (GetDialogItemAsControl(rec->dlg, 7, &button) == noErr && button) HiliteControl(button, data ? 0 : 255);
    if (rec->infoPopup) HiliteControl(rec->infoPopup, data ? 0 : 255);
    if (data && rec->textData) CTESetTextVScroll(rec->textData);
    if (!data) DispInfoDialog(rec, 1);
  } else if (rec->activePage == kPageFtp) {
    Ftp_Page_Buttons(rec, data);
  }
  Ftp_Sending_Check(rec);
  return data ? 1 : 0;
}

void Load_Page(STATUS_WND_INFO* rec) {
  DialogRef d = rec->dlg;
  auto caption = [&](DialogItemIndex item, const char* key) { Set_String_To_Item(d, item, key, "[BUTTON]", IniFileName); };
  caption(1, "BTN_OPTION=");
  caption(2, "BTN_EXIT=");
  caption(3, "BTN_ICON=");
  if (rec->activePage == kPageStatus) caption(30, "BTN_CONS=");
  if (rec->activePage == kPageDetail) {
    caption(7, "BTN_SAVE=");
    if (rec->activeNum < 1) rec->activeNum = 1;
  }
  Page_Button_Check(rec);
  Invalidate_Page(rec);
}

void Draw_Page(STATUS_WND_INFO* rec) {
  DialogRef d = rec->dlg;
  tb::PortSaver port(GetDialogPort(d));
  Use_Main_Font();
  if (rec->activePage == kPageStatus) {
    Rect ground = item_rect(d, 10);
    RGBColor white{0xFFFF, 0xFFFF, 0xFFFF};
    RGBForeColor(&white);
    PaintRect(&ground);
    ForeColor(blackColor);
    Rect frame = item_rect(d, 11);
    FrameRect(&frame);
    DispStatDialog(rec);
  } else if (rec->activePage == kPageDetail) {
    // The pop-up is the window's control, not one of the page's items.
    if (rec->infoPopup) Draw1Control(rec->infoPopup);
    if (rec->textData) CEUpdate(rec->textData);
  } else if (rec->activePage == kPageFtp) {
    Draw_Ftp_Page(rec);
  }
}

void Draw_Icon_User_Main(STATUS_WND_INFO* rec) {
  if (rec->viewData.IconID > 127) draw_picture_frame(rec);
}

void DispStatDialog(STATUS_WND_INFO* rec) {
  Draw_Icon_User_Main(rec);
  draw_message(rec);
  if (rec->commentData) CEUpdate(rec->commentData);
  draw_power_icon(rec);
  draw_values(rec);
}

void Invalidate_Page(STATUS_WND_INFO* rec) {
  if (!rec->dlg) return;
  WindowRef w = GetDialogWindow(rec->dlg);
  Rect all;
  GetPortBounds(GetWindowPort(w), &all);
  InvalWindowRect(w, &all);
}

void Draw_Main_Animation(STATUS_WND_INFO* rec) {
  const UInt32 now = TickCount();
  bool changed = false;
  if (rec->viewData.IconID != rec->oldIconID) {
    rec->oldIconID = rec->viewData.IconID;
    changed = true;
  } else if (now - rec->animeTick > kAnimationTicks) {
    rec->animeCnt = SInt16(rec->animeCnt + 1 > 3 ? 1 : rec->animeCnt + 1);
    changed = true;
  } else {
    return;
  }
  rec->animeTick = now;
  if (rec->activePage != kPageStatus || frame_count(rec) == 0 || !changed) return;
  if (rec->animeCnt < 1) rec->animeCnt = 1;
  rec->blinkCnt = SInt16((rec->blinkCnt + 1) % 4);
  if (!IsWindowVisible(GetDialogWindow(rec->dlg))) return;
  tb::PortSaver port(GetDialogPort(rec->dlg));
  draw_picture_frame(rec);
  draw_message(rec);
}

void Status_Animate(PSTATUS_WND_INFO* base) {
  auto* rec = static_cast<STATUS_WND_INFO*>(base);
  if (!rec->dlg) return;
  Draw_Main_Animation(rec);
  SoundLoop(&rec->soundData);
}
