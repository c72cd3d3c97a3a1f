// Navigation Services: the file, folder and save choosers as a modal window
// with its own event loop, their folder listing and filtering, and the
// reply's selection.
#include "toolbox/navigation.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <system_error>

#include "events_internal.h"
#include "screen_internal.h"
#include "toolbox/carbonevents.h"
#include "toolbox/controls.h"
#include "toolbox/drawntext.h"
#include "toolbox/fonts.h"
#include "toolbox/memory.h"
#include "toolbox/quickdraw.h"
#include "toolbox/testdriver.h"

namespace fs = std::filesystem;

namespace {

enum class Kind { kGetFile, kChooseFile, kChooseFolder, kPutFile };

}  // namespace

struct NavDialogRecord {
  Kind kind = Kind::kGetFile;
  NavDialogOptionFlags flags = 0;
  Point location{-1, -1};
  std::string title, message, actionLabel, cancelLabel, saveName;
  OSType fileType = 0, fileCreator = 0;
  std::vector<OSType> types;
  NavEventUPP eventProc = nullptr;
  NavObjectFilterUPP filterProc = nullptr;
  void* userData = nullptr;
  std::string defaultLocation;  // a path, or empty
  // The outcome of the last run.
  NavUserAction userAction = kNavUserActionNone;
  std::vector<std::string> chosen;
  bool replacing = false;
  // A dialog disposed from its own event procedure waits for the run's end.
  bool running = false;
  bool disposeLater = false;
  // Made by a classic call, which disposes it itself.
  bool classic = false;
  WindowRef window = nullptr;
};

namespace {

// The longest name an FSSpec holds.
constexpr std::size_t kMaxName = 63;

struct Answer {
  bool cancel = false;
  std::vector<std::string> paths;
};

struct Chooser;

struct NavState {
  std::deque<Answer> answers;
  std::vector<Chooser*> onScreen;  // innermost last
  std::string lastFolder;
  int runs = 0;
};

NavState& ns() {
  static NavState s;
  return s;
}

std::string fromPascal(const unsigned char* p) { return p ? pstr::str(p) : std::string(); }
std::string fromCF(CFStringRef s) { return s ? tb::CFStringText(s) : std::string(); }

bool nameFits(const std::string& name) {
  return !name.empty() && name.size() <= kMaxName && name.find(':') == std::string::npos;
}

bool isDir(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}
bool exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec)) || fs::exists(path, ec);
}

std::string parentOf(const std::string& path) {
  fs::path p(path);
  if (p.has_relative_path() && p.filename().empty()) p = p.parent_path();
  fs::path parent = p.parent_path();
  return parent.empty() ? std::string("/") : parent.string();
}

std::string leafOf(const std::string& path) {
  fs::path p(path);
  if (p.filename().empty()) p = p.parent_path();
  return p.filename().string();
}

std::string joinPath(const std::string& folder, const std::string& name) {
  return (fs::path(folder) / name).string();
}

std::string absolute(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  if (ec) return path;
  return p.lexically_normal().string();
}

// Where a chooser starts when the program names no place.
std::string startFolder() {
  if (!ns().lastFolder.empty() && isDir(ns().lastFolder)) return ns().lastFolder;
  if (const char* home = std::getenv("HOME"); home && *home && isDir(home)) return home;
  return "/";
}

std::string pathOfLocation(const AEDesc* desc) {
  if (!desc || desc->descriptorType != typeFSS || !desc->dataHandle) return {};
  FSSpec fss;
  if (AEGetDescDataSize(desc) != Size(sizeof fss)) return {};
  if (AEGetDescData(desc, &fss, sizeof fss) != noErr || fss.name[0] > kMaxName) return {};
  std::string path;
  if (tb::SpecToPath(fss, path) != noErr) return {};
  return path;
}

OSErr specOf(const std::string& path, FSSpec* fss) {
  if (!nameFits(leafOf(path)) && path != "/") return bdNamErr;
  return tb::PathToSpec(path, fss);
}

void tell(NavDialogRecord* d, NavEventCallbackMessage what, WindowRef window, EventRecord* event = nullptr) {
  if (!d->eventProc) return;
  NavCBRec cb{};
  cb.context = d;
  cb.window = window;
  cb.eventData.eventDataParms.event = event;
  cb.userAction = d->userAction;
  d->eventProc(what, &cb, d->userData);
}

// --- the answer a test gave -----------------------------------------------------

void applyAnswer(NavDialogRecord* d, const Answer& a) {
  d->chosen.clear();
  d->replacing = false;
  if (!a.cancel) {
    for (const std::string& given : a.paths) {
      const std::string path = absolute(given);
      FSSpec fss;
      const OSErr err = specOf(path, &fss);
      bool keep = false;
      switch (d->kind) {
        case Kind::kGetFile:
        case Kind::kChooseFile:
          keep = err == noErr && !isDir(path);
          break;
        case Kind::kChooseFolder:
          keep = err == noErr && isDir(path);
          break;
        case Kind::kPutFile:
          keep = (err == noErr || err == fnfErr) && !isDir(path);
          break;
      }
      if (!keep) continue;
      d->chosen.push_back(path);
      const bool several = d->kind == Kind::kGetFile && (d->flags & kNavAllowMultipleFiles);
      if (!several) break;
    }
  }
  if (d->chosen.empty()) {
    d->userAction = kNavUserActionCancel;
    return;
  }
  switch (d->kind) {
    case Kind::kGetFile:
    case Kind::kChooseFile:
      d->userAction = kNavUserActionOpen;
      break;
    case Kind::kChooseFolder:
      d->userAction = kNavUserActionChoose;
      break;
    case Kind::kPutFile:
      d->userAction = kNavUserActionSaveAs;
      d->replacing = exists(d->chosen[0]);
      d->saveName = leafOf(d->chosen[0]);
      break;
  }
  ns().lastFolder = parentOf(d->chosen[0]);
}

// --- the chooser on screen ---------------------------------------------------------

RGBColor rgb(UInt8 r, UInt8 g, UInt8 b) { return RGBColor{UInt16(r * 257), UInt16(g * 257), UInt16(b * 257)}; }
const RGBColor kInk = rgb(0x20, 0x20, 0x20);
const RGBColor kDimInk = rgb(0xA0, 0xA0, 0xA0);
const RGBColor kFrame = rgb(0x60, 0x60, 0x60);
const RGBColor kWhite = rgb(0xFF, 0xFF, 0xFF);
const RGBColor kSelection = rgb(0x3A, 0x6E, 0xC8);
const RGBColor kFolder = rgb(0xE8, 0xC0, 0x50);
const RGBColor kWarn = rgb(0xB0, 0x20, 0x20);

constexpr short kWidth = 460;
constexpr short kRow = 18;
constexpr short kListTop = 60, kListLeft = 10, kListRight = 434, kListBottom = 240;
constexpr int kVisibleRows = (kListBottom - kListTop) / kRow;

struct Entry {
  std::string name;
  bool folder = false;
};

struct Chooser {
  NavDialogRecord* d = nullptr;
  WindowRef w = nullptr;
  ControlRef up = nullptr, cancel = nullptr, action = nullptr, bar = nullptr;
  std::string folder;
  std::vector<Entry> entries;
  std::vector<bool> selected;
  int anchor = -1;
  std::string name;          // the save chooser's name field
  bool confirming = false;   // the save chooser asked about replacing
  std::string note;          // a line shown above the list
  bool done = false;
  UInt32 lastClickWhen = 0;
  int lastClickRow = -1;
  short height = 0;
};

bool savePanel(const Chooser& c) { return c.d->kind == Kind::kPutFile; }
bool listsFiles(const Chooser& c) { return c.d->kind != Kind::kChooseFolder; }
bool several(const Chooser& c) { return c.d->kind == Kind::kGetFile && (c.d->flags & kNavAllowMultipleFiles); }

Rect listRect() { return Rect{kListTop, kListLeft, kListBottom, kListRight}; }
Rect nameField() { return Rect{250, 80, 270, 450}; }

int firstRow(const Chooser& c) { return c.bar ? GetControlValue(c.bar) : 0; }

bool typeAllowed(const NavDialogRecord* d, const std::string& path) {
  if (d->types.empty()) return true;
  FSSpec fss;
  FInfo info{};
  if (specOf(path, &fss) != noErr || FSpGetFInfo(&fss, &info) != noErr) return true;
  // Most files here carry no type at all; only a known, different type is
  // kept out.
  if (info.fdType == 0) return true;
  return std::find(d->types.begin(), d->types.end(), info.fdType) != d->types.end();
}

bool filterAllows(NavDialogRecord* d, const std::string& path, bool folder, bool visible) {
  if (!d->filterProc) return true;
  FSSpec fss;
  if (specOf(path, &fss) != noErr) return false;
  AEDesc item;
  AEInitializeDesc(&item);
  if (AECreateDesc(typeFSS, &fss, sizeof fss, &item) != noErr) return false;
  NavFileOrFolderInfo info{};
  info.isFolder = folder;
  info.visible = visible;
  if (!folder) {
    FInfo fi{};
    if (FSpGetFInfo(&fss, &fi) == noErr) {
      info.fileType = fi.fdType;
      info.fileCreator = fi.fdCreator;
    }
  }
  const bool ok = d->filterProc(&item, &info, d->userData, kNavFilteringBrowserList);
  AEDisposeDesc(&item);
  return ok;
}

void load(Chooser& c) {
  c.entries.clear();
  std::error_code ec;
  for (fs::directory_iterator it(c.folder, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!nameFits(name)) continue;
    const bool visible = name[0] != '.';
    if (!visible && !(c.d->flags & kNavAllowInvisibleFiles)) continue;
    std::error_code e2;
    const bool folder = it->is_directory(e2);
    if (!folder && !listsFiles(c)) continue;
    const std::string path = joinPath(c.folder, name);
    if (!folder && c.d->kind != Kind::kPutFile && !typeAllowed(c.d, path)) continue;
    if (!filterAllows(c.d, path, folder, visible)) continue;
    c.entries.push_back(Entry{name, folder});
  }
  auto lower = [](const std::string& s) {
    std::string out = s;
    for (char& ch : out) ch = char(std::tolower(UInt8(ch)));
    return out;
  };
  std::stable_sort(c.entries.begin(), c.entries.end(), [&](const Entry& a, const Entry& b) {
    if (a.folder != b.folder) return a.folder;
    const std::string la = lower(a.name), lb = lower(b.name);
    return la != lb ? la < lb : a.name < b.name;
  });
  c.selected.assign(c.entries.size(), false);
  c.anchor = -1;
  if (c.bar) {
    SetControlMaximum(c.bar, SInt16(std::clamp<int>(int(c.entries.size()) - kVisibleRows, 0, 32767)));
    SetControlValue(c.bar, 0);
    SetControlViewSize(c.bar, kVisibleRows);
  }
}

int selectedCount(const Chooser& c) { return int(std::count(c.selected.begin(), c.selected.end(), true)); }

int firstSelected(const Chooser& c) {
  for (std::size_t i = 0; i < c.selected.size(); ++i)
    if (c.selected[i]) return int(i);
  return -1;
}

bool actionEnabled(const Chooser& c) {
  switch (c.d->kind) {
    case Kind::kGetFile:
    case Kind::kChooseFile:
      return selectedCount(c) > 0;
    case Kind::kChooseFolder:
      return true;
    case Kind::kPutFile:
      return !c.name.empty() || (firstSelected(c) >= 0 && c.entries[std::size_t(firstSelected(c))].folder);
  }
  return false;
}

void drawText(const std::string& s, short h, short baseline, const RGBColor& color, short maxWidth) {
  Str255 t;
  pstr::set(t, sizeof t, s);
  if (StringWidth(t) > maxWidth) TruncString(maxWidth, t, smTruncEnd);
  RGBForeColor(&color);
  MoveTo(h, baseline);
  tb::DrawnTextScope tag(tb::TextSource::kChooser);
  DrawString(t);
}

// A small folder or page in front of a row's name.
void drawGlyph(short left, short top, bool folder, bool onSelection) {
  if (folder) {
    Rect tab{SInt16(top + 3), left, SInt16(top + 5), SInt16(left + 6)};
    Rect body{SInt16(top + 4), left, SInt16(top + 14), SInt16(left + 14)};
    RGBForeColor(&kFolder);
    PaintRect(&tab);
    PaintRect(&body);
    RGBForeColor(onSelection ? &kWhite : &kFrame);
    FrameRect(&body);
  } else {
    Rect page{SInt16(top + 2), SInt16(left + 2), SInt16(top + 16), SInt16(left + 12)};
    RGBForeColor(&kWhite);
    PaintRect(&page);
    RGBForeColor(&kFrame);
    FrameRect(&page);
  }
}

struct PortState {
  tb::PortSaver saved;
  explicit PortState(WindowRef w) : saved(GetWindowPort(w)) {
    TextFont(systemFont);
    TextFace(normal);
    TextSize(12);
    PenNormal();
  }
};

void drawList(Chooser& c) {
  PortState ps(c.w);
  const Rect list = listRect();
  RGBForeColor(&kWhite);
  PaintRect(&list);
  Rect frame = list;
  InsetRect(&frame, -1, -1);
  RGBForeColor(&kFrame);
  FrameRect(&frame);
  FontInfo fi;
  GetFontInfo(&fi);
  const int first = firstRow(c);
  for (int i = 0; i < kVisibleRows; ++i) {
    const int e = first + i;
    if (e < 0 || e >= int(c.entries.size())) break;
    const short top = SInt16(kListTop + i * kRow);
    Rect row{top, kListLeft, SInt16(top + kRow), kListRight};
    const bool sel = c.selected[std::size_t(e)];
    if (sel) {
      RGBForeColor(&kSelection);
      PaintRect(&row);
    }
    drawGlyph(SInt16(kListLeft + 4), top, c.entries[std::size_t(e)].folder, sel);
    const bool dim = savePanel(c) && !c.entries[std::size_t(e)].folder;
    const short base = SInt16(top + (kRow - (fi.ascent + fi.descent)) / 2 + fi.ascent);
    drawText(c.entries[std::size_t(e)].name, SInt16(kListLeft + 24), base, sel ? kWhite : dim ? kDimInk : kInk,
             SInt16(kListRight - kListLeft - 30));
  }
}

void drawNameField(Chooser& c) {
  if (!savePanel(c)) return;
  PortState ps(c.w);
  FontInfo fi;
  GetFontInfo(&fi);
  const Rect f = nameField();
  drawText("Save As:", 10, SInt16(f.top + 14), kInk, 68);
  RGBForeColor(&kWhite);
  PaintRect(&f);
  RGBForeColor(&kFrame);
  FrameRect(&f);
  Str255 t;
  pstr::set(t, sizeof t, c.name);
  const short room = SInt16(f.right - f.left - 10);
  // The end of a long name stays in view, where the typing goes on.
  std::size_t from = 0;
  while (from < c.name.size() && TextWidth(c.name.data(), short(from), short(c.name.size() - from)) > room) {
    ++from;
    while (from < c.name.size() && (UInt8(c.name[from]) & 0xC0) == 0x80) ++from;
  }
  const std::string shown = c.name.substr(from);
  drawText(shown, SInt16(f.left + 4), SInt16(f.top + 15), kInk, room);
  const short caret = SInt16(f.left + 4 + TextWidth(shown.data(), 0, short(shown.size())));
  RGBForeColor(&kInk);
  MoveTo(caret, SInt16(f.top + 3));
  LineTo(caret, SInt16(f.bottom - 4));
}

void updateButtons(Chooser& c) {
  HiliteControl(c.action, actionEnabled(c) ? 0 : kControlInactivePart);
  HiliteControl(c.up, c.folder == "/" ? kControlInactivePart : 0);
}

void drawAll(Chooser& c) {
  updateButtons(c);
  {
    PortState ps(c.w);
    Rect all;
    GetWindowPortBounds(c.w, &all);
    RGBForeColor(&kWhite);
    PaintRect(&all);
    const std::string prompt = !c.note.empty() ? c.note : c.d->message;
    drawText(prompt, 10, 22, c.note.empty() ? kInk : kWarn, kWidth - 20);
    TextFace(bold);
    drawText(c.folder == "/" ? std::string("/") : leafOf(c.folder), 10, 47, kInk, 350);
    TextFace(normal);
  }
  drawList(c);
  drawNameField(c);
  DrawControls(c.w);
  // The default button's ring.
  PortState ps(c.w);
  Rect ring;
  GetControlBounds(c.action, &ring);
  InsetRect(&ring, -3, -3);
  PenSize(2, 2);
  RGBForeColor(IsControlActive(c.action) ? &kFrame : &kDimInk);
  FrameRoundRect(&ring, 14, 14);
  PenNormal();
}

void enter(Chooser& c, const std::string& folder) {
  c.folder = folder;
  c.note.clear();
  c.confirming = false;
  load(c);
  drawAll(c);
}

void scrollIntoView(Chooser& c, int e) {
  if (!c.bar || e < 0) return;
  const int first = firstRow(c);
  if (e < first)
    SetControlValue(c.bar, SInt16(e));
  else if (e >= first + kVisibleRows)
    SetControlValue(c.bar, SInt16(e - kVisibleRows + 1));
}

void selectOnly(Chooser& c, int e) {
  c.selected.assign(c.entries.size(), false);
  if (e >= 0 && e < int(c.entries.size())) {
    c.selected[std::size_t(e)] = true;
    if (savePanel(c) && !c.entries[std::size_t(e)].folder) {
      c.name = c.entries[std::size_t(e)].name;
      c.confirming = false;
      c.note.clear();
    }
  }
  c.anchor = e;
}

void finish(Chooser& c, NavUserAction action, std::vector<std::string> chosen) {
  c.d->userAction = action;
  c.d->chosen = std::move(chosen);
  c.done = true;
  if (action != kNavUserActionCancel) ns().lastFolder = c.folder;
}

void cancel(Chooser& c) { finish(c, kNavUserActionCancel, {}); }

void defaultAction(Chooser& c) {
  if (!actionEnabled(c)) {
    SysBeep(1);
    return;
  }
  const int sel = firstSelected(c);
  switch (c.d->kind) {
    case Kind::kGetFile:
    case Kind::kChooseFile: {
      std::vector<std::string> files;
      bool folderOnly = selectedCount(c) == 1 && c.entries[std::size_t(sel)].folder;
      if (folderOnly) return enter(c, joinPath(c.folder, c.entries[std::size_t(sel)].name));
      for (std::size_t i = 0; i < c.entries.size(); ++i)
        if (c.selected[i] && !c.entries[i].folder) files.push_back(joinPath(c.folder, c.entries[i].name));
      if (files.empty()) return;
      return finish(c, kNavUserActionOpen, files);
    }
    case Kind::kChooseFolder: {
      const std::string chosen = sel >= 0 ? joinPath(c.folder, c.entries[std::size_t(sel)].name) : c.folder;
      return finish(c, kNavUserActionChoose, {chosen});
    }
    case Kind::kPutFile: {
      if (sel >= 0 && c.entries[std::size_t(sel)].folder)
        return enter(c, joinPath(c.folder, c.entries[std::size_t(sel)].name));
      const std::string path = joinPath(c.folder, c.name);
      if (isDir(path)) {
        c.note = "\xE2\x80\x9C" + c.name + "\xE2\x80\x9D is a folder. Choose another name.";
        SysBeep(1);
        return drawAll(c);
      }
      const bool there = exists(path);
      if (there && !(c.d->flags & kNavDontConfirmReplacement) && !c.confirming) {
        c.confirming = true;
        c.note = "\xE2\x80\x9C" + c.name + "\xE2\x80\x9D already exists. Save again to replace it.";
        return drawAll(c);
      }
      c.d->replacing = there;
      c.d->saveName = c.name;
      return finish(c, kNavUserActionSaveAs, {path});
    }
  }
}

void goUp(Chooser& c) {
  if (c.folder == "/") return;
  const std::string from = leafOf(c.folder);
  enter(c, parentOf(c.folder));
  for (std::size_t i = 0; i < c.entries.size(); ++i)
    if (c.entries[i].name == from) {
      selectOnly(c, int(i));
      scrollIntoView(c, int(i));
      drawAll(c);
      break;
    }
}

void scrollAction(ControlRef bar, ControlPartCode part);

OSStatus wheelOverList(EventHandlerCallRef, EventRef e, void* data) {
  auto* c = static_cast<Chooser*>(data);
  Rect area = listRect();
  area.right = SInt16(area.right + 16);  // and the bar
  int lines = 0;
  bool horizontal = false;
  if (!tb::WheelOverArea(e, c->w, area, &lines, &horizontal)) return eventNotHandledErr;
  if (!horizontal) tb::ScrollBarByLines(c->bar, lines, scrollAction);
  return noErr;
}

void scrollAction(ControlRef bar, ControlPartCode part) {
  auto* c = reinterpret_cast<Chooser*>(GetControlReference(bar));
  if (!c) return;
  int step = 0;
  switch (part) {
    case kControlUpButtonPart:
      step = -1;
      break;
    case kControlDownButtonPart:
      step = 1;
      break;
    case kControlPageUpPart:
      step = -(kVisibleRows - 1);
      break;
    case kControlPageDownPart:
      step = kVisibleRows - 1;
      break;
    default:
      break;
  }
  if (step) SetControlValue(bar, SInt16(GetControlValue(bar) + step));
  drawList(*c);
}

void clickList(Chooser& c, Point local, const EventRecord& ev) {
  const int e = firstRow(c) + (local.v - kListTop) / kRow;
  if (e < 0 || e >= int(c.entries.size())) {
    selectOnly(c, -1);
    drawAll(c);
    return;
  }
  const bool doubleClick = e == c.lastClickRow && ev.when - c.lastClickWhen <= GetDblTime();
  c.lastClickRow = e;
  c.lastClickWhen = ev.when;
  if (several(c) && (ev.modifiers & shiftKey) && c.anchor >= 0) {
    c.selected.assign(c.entries.size(), false);
    for (int i = std::min(c.anchor, e); i <= std::max(c.anchor, e); ++i)
      if (!c.entries[std::size_t(i)].folder) c.selected[std::size_t(i)] = true;
    c.selected[std::size_t(e)] = true;
  } else if (several(c) && (ev.modifiers & cmdKey)) {
    c.selected[std::size_t(e)] = !c.selected[std::size_t(e)];
    // Several entries: files only.
    if (selectedCount(c) > 1)
      for (std::size_t i = 0; i < c.entries.size(); ++i)
        if (c.entries[i].folder) c.selected[i] = false;
    c.anchor = e;
  } else {
    selectOnly(c, e);
  }
  drawAll(c);
  if (doubleClick) {
    c.lastClickRow = -1;
    if (c.entries[std::size_t(e)].folder)
      enter(c, joinPath(c.folder, c.entries[std::size_t(e)].name));
    else if (c.d->kind != Kind::kChooseFolder)
      defaultAction(c);
  }
}

void clickContent(Chooser& c, Point local, const EventRecord& ev) {
  ControlRef ctl = nullptr;
  if (FindControl(local, c.w, &ctl) != kControlNoPart && ctl) {
    if (ctl == c.bar) {
      TrackControl(ctl, local, &scrollAction);
      drawList(c);
      return;
    }
    if (TrackControl(ctl, local, nullptr) == kControlNoPart) return;
    if (ctl == c.cancel) return cancel(c);
    if (ctl == c.action) return defaultAction(c);
    if (ctl == c.up) return goUp(c);
    return;
  }
  const Rect list = listRect();
  if (PtInRect(local, &list)) clickList(c, local, ev);
}

bool utf8Continuation(char ch) { return (UInt8(ch) & 0xC0) == 0x80; }

void typeKey(Chooser& c, const EventRecord& ev) {
  const UInt8 ch = UInt8(ev.message & charCodeMask);
  const UInt8 code = UInt8((ev.message & keyCodeMask) >> 8);
  if (ch == kEscapeCharCode || code == kVK_Escape || ((ev.modifiers & cmdKey) && ch == '.')) return cancel(c);
  if (ch == kReturnCharCode || ch == kEnterCharCode) return defaultAction(c);
  if (ch == kUpArrowCharCode || ch == kDownArrowCharCode) {
    if (c.entries.empty()) return;
    int e = firstSelected(c);
    if (e < 0)
      e = ch == kDownArrowCharCode ? 0 : int(c.entries.size()) - 1;
    else
      e = std::clamp(e + (ch == kDownArrowCharCode ? 1 : -1), 0, int(c.entries.size()) - 1);
    selectOnly(c, e);
    scrollIntoView(c, e);
    return drawAll(c);
  }
  if (!savePanel(c) || (ev.modifiers & cmdKey)) return;
  if (ch == kBackspaceCharCode) {
    if (c.name.empty()) return;
    std::size_t n = c.name.size() - 1;
    while (n > 0 && utf8Continuation(c.name[n])) --n;
    c.name.erase(n);
  } else if (ch >= 0x20 && ch != kDeleteCharCode && ch != ':' && ch != '/') {
    // An FSSpec holds 63 bytes of name.
    if (c.name.size() >= kMaxName) return SysBeep(1);
    c.name.push_back(char(ch));
  } else {
    return;
  }
  c.confirming = false;
  c.note.clear();
  selectOnly(c, -1);
  drawAll(c);
}

ControlRef button(WindowRef w, short top, short left, short right, const char* title) {
  Rect r{top, left, SInt16(top + 20), right};
  Str255 t;
  pstr::set(t, sizeof t, title);
  return NewControl(w, &r, t, true, 0, 0, 1, pushButProc, 0);
}

std::string defaultTitle(Kind k) {
  switch (k) {
    case Kind::kGetFile:
    case Kind::kChooseFile:
      return "Open";
    case Kind::kChooseFolder:
      return "Choose a Folder";
    case Kind::kPutFile:
      return "Save";
  }
  return "";
}

std::string actionTitle(Kind k) {
  switch (k) {
    case Kind::kGetFile:
    case Kind::kChooseFile:
      return "Open";
    case Kind::kChooseFolder:
      return "Choose";
    case Kind::kPutFile:
      return "Save";
  }
  return "";
}

// Passes an event of one of the program's windows to the event procedure,
// and makes sure an update it left alone does not come back for ever.
void passOn(Chooser& c, EventRecord& ev) {
  tell(c.d, kNavCBEvent, c.w, &ev);
  if (ev.what == updateEvt) {
    auto pw = reinterpret_cast<WindowRef>(ev.message);
    if (IsWindowUpdatePending(pw)) {
      BeginUpdate(pw);
      EndUpdate(pw);
    }
  }
}

void runOnScreen(NavDialogRecord* d) {
  Chooser c;
  c.d = d;
  c.height = savePanel(c) ? 310 : 280;
  // Where it goes: where asked, else centred a little above the middle.
  BitMap screen;
  GetQDGlobalsScreenBits(&screen);
  const Rect& sb = screen.bounds;
  short left = SInt16(sb.left + (sb.right - sb.left - kWidth) / 2);
  short top = SInt16(sb.top + std::max(40, (sb.bottom - sb.top - c.height) / 3));
  if (d->location.h >= 0 && d->location.v >= 0) {
    left = d->location.h;
    top = d->location.v;
  }
  Rect bounds{top, left, SInt16(top + c.height), SInt16(left + kWidth)};
  Str255 title;
  pstr::set(title, sizeof title, d->title.empty() ? defaultTitle(d->kind) : d->title);
  c.w = NewCWindow(nullptr, &bounds, title, true, movableDBoxProc, kFirstWindowOfClass, false, 0);
  if (!c.w) {
    d->userAction = kNavUserActionCancel;
    return;
  }
  d->window = c.w;
  const short by = SInt16(c.height - 30);
  c.up = button(c.w, 30, 370, 450, "Up");
  c.cancel = button(c.w, by, 270, 350, d->cancelLabel.empty() ? "Cancel" : d->cancelLabel.c_str());
  const std::string act = d->actionLabel.empty() ? actionTitle(d->kind) : d->actionLabel;
  c.action = button(c.w, by, 370, 450, act.c_str());
  Rect barRect{kListTop, kListRight, kListBottom, SInt16(kListRight + 16)};
  c.bar = NewControl(c.w, &barRect, reinterpret_cast<const unsigned char*>("\x01v"), true, 0, 0, 0, scrollBarProc,
                     reinterpret_cast<long>(&c));
  // The wheel over the list scrolls it as the bar's arrows do (the handler
  // goes with the window).
  static const EventTypeSpec kWheel{kEventClassMouse, kEventMouseWheelMoved};
  InstallWindowEventHandler(c.w, wheelOverList, 1, &kWheel, &c, nullptr);
  c.name = d->saveName;

  // The starting folder, and the entry to select in it.
  std::string folder = d->defaultLocation.empty() ? startFolder() : d->defaultLocation;
  std::string select;
  if (!d->defaultLocation.empty() && ((d->flags & kNavSelectDefaultLocation) || !isDir(folder))) {
    select = leafOf(folder);
    folder = parentOf(folder);
  }
  if (!isDir(folder)) folder = startFolder();
  c.folder = folder;
  load(c);
  for (std::size_t i = 0; i < c.entries.size() && !select.empty(); ++i)
    if (c.entries[i].name == select) {
      selectOnly(c, int(i));
      scrollIntoView(c, int(i));
    }
  drawAll(c);
  ns().onScreen.push_back(&c);
  tell(d, kNavCBStart, c.w);

  tb::detail::ModalScope modal;
  int quiet = 0;
  while (!c.done) {
    EventRecord ev;
    const bool got = WaitNextEvent(EventMask(everyEvent & ~highLevelEventMask), &ev, 2, nullptr);
    if (!got || ev.what == nullEvent) {
      // Headless, with nobody to answer: the chooser would wait for ever.
      const bool nobody = !tb::detail::DisplayHasLiveInput() && !tb::ScriptRunning() && tb::QueuedEventCount() == 0;
      if (nobody && ++quiet >= 3) {
        std::fprintf(stderr, "chooser: no answer and no input; cancelled\n");
        cancel(c);
      }
      continue;
    }
    quiet = 0;
    switch (ev.what) {
      case mouseDown: {
        WindowRef hit = nullptr;
        const WindowPartCode part = FindWindow(ev.where, &hit);
        if (hit == c.w && part == inDrag) {
          Rect limit = sb;
          DragWindow(c.w, ev.where, &limit);
        } else if (hit == c.w && part == inContent) {
          Point local = ev.where;
          {
            tb::PortSaver saved(GetWindowPort(c.w));
            GlobalToLocal(&local);
          }
          clickContent(c, local, ev);
        } else {
          SysBeep(1);
        }
        break;
      }
      case keyDown:
      case autoKey:
        typeKey(c, ev);
        break;
      case updateEvt:
        if (reinterpret_cast<WindowRef>(ev.message) == c.w) {
          BeginUpdate(c.w);
          drawAll(c);
          EndUpdate(c.w);
        } else {
          passOn(c, ev);
        }
        break;
      case activateEvt:
        if (reinterpret_cast<WindowRef>(ev.message) != c.w) passOn(c, ev);
        break;
      default:
        break;
    }
  }
  ns().onScreen.pop_back();
  d->window = nullptr;
  DisposeWindow(c.w);
}

void run(NavDialogRecord* d) {
  d->running = true;
  d->userAction = kNavUserActionNone;
  d->chosen.clear();
  d->replacing = false;
  ++ns().runs;
  if (!ns().answers.empty()) {
    const Answer a = ns().answers.front();
    ns().answers.pop_front();
    tell(d, kNavCBStart, nullptr);
    applyAnswer(d, a);
  } else {
    runOnScreen(d);
  }
  tell(d, kNavCBUserAction, nullptr);
  tell(d, kNavCBTerminate, nullptr);
  d->running = false;
  if (d->disposeLater) delete d;
}

bool chosen(NavUserAction a) {
  return a == kNavUserActionOpen || a == kNavUserActionSaveAs || a == kNavUserActionChoose;
}

OSStatus fillReply(NavDialogRecord* d, NavReplyRecord* reply) {
  if (!reply) return paramErr;
  *reply = NavReplyRecord{};
  AEInitializeDesc(&reply->selection);
  OSErr err = AECreateList(nullptr, 0, false, &reply->selection);
  if (err != noErr) return err;
  if (!chosen(d->userAction)) return userCanceledErr;
  for (const std::string& path : d->chosen) {
    FSSpec fss;
    const OSErr e = specOf(path, &fss);
    if (e != noErr && !(e == fnfErr && d->kind == Kind::kPutFile)) continue;
    AEPutPtr(&reply->selection, 0, typeFSS, &fss, sizeof fss);
  }
  long n = 0;
  AECountItems(&reply->selection, &n);
  if (n == 0) return userCanceledErr;
  reply->validRecord = true;
  reply->replacing = d->replacing;
  reply->keyScript = 0;
  if (d->kind == Kind::kPutFile)
    reply->saveFileName = CFStringCreateWithCString(nullptr, d->saveName.c_str(), kCFStringEncodingUTF8);
  return noErr;
}

std::vector<OSType> typesOf(NavTypeListHandle list) {
  std::vector<OSType> out;
  if (!list || !*list) return out;
  const Size size = GetHandleSize(reinterpret_cast<Handle>(list));
  constexpr Size kHeader = offsetof(NavTypeList, osType);
  if (size < kHeader) return out;
  const NavTypeList* t = *list;
  const Size room = (size - kHeader) / Size(sizeof(OSType));
  const Size n = std::clamp<Size>(t->osTypeCount, 0, room);
  for (Size i = 0; i < n; ++i) out.push_back(t->osType[i]);
  return out;
}

NavDialogRecord* fromClassic(Kind kind, AEDesc* location, const NavDialogOptions* o, NavEventUPP eventProc,
                             void* userData) {
  auto* d = new NavDialogRecord;
  d->kind = kind;
  d->classic = true;
  d->eventProc = eventProc;
  d->userData = userData;
  d->defaultLocation = pathOfLocation(location);
  if (o) {
    d->flags = o->dialogOptionFlags;
    d->location = o->location;
    d->title = fromPascal(o->windowTitle);
    d->actionLabel = fromPascal(o->actionButtonLabel);
    d->cancelLabel = fromPascal(o->cancelButtonLabel);
    d->message = fromPascal(o->message);
    d->saveName = fromPascal(o->savedFileName);
  } else {
    d->flags = kNavDefaultNavDlogOptions;
  }
  if (d->saveName.size() > kMaxName) d->saveName.resize(tb::Utf8BoundaryPrefix(
      reinterpret_cast<const unsigned char*>(d->saveName.data()), kMaxName));
  return d;
}

NavDialogRecord* fromCreation(Kind kind, const NavDialogCreationOptions* o, NavEventUPP eventProc, void* userData) {
  auto* d = new NavDialogRecord;
  d->kind = kind;
  d->eventProc = eventProc;
  d->userData = userData;
  if (o) {
    d->flags = o->optionFlags;
    d->location = o->location;
    d->title = fromCF(o->windowTitle);
    d->actionLabel = fromCF(o->actionButtonLabel);
    d->cancelLabel = fromCF(o->cancelButtonLabel);
    d->message = fromCF(o->message);
    d->saveName = fromCF(o->saveFileName);
  } else {
    d->flags = kNavDefaultNavDlogOptions;
  }
  if (d->saveName.size() > kMaxName) d->saveName.resize(tb::Utf8BoundaryPrefix(
      reinterpret_cast<const unsigned char*>(d->saveName.data()), kMaxName));
  return d;
}

OSErr runClassic(NavDialogRecord* d, NavReplyRecord* reply) {
  if (!reply) {
    delete d;
    return paramErr;
  }
  run(d);
  const OSStatus st = fillReply(d, reply);
  delete d;
  return st == noErr ? noErr : userCanceledErr;
}

// Script commands, so whole-program scripts can answer choosers too.
const bool kScriptCommands = [] {
  tb::RegisterScriptCommand("chooser-answer", [](const std::vector<std::string>& words, std::string* error) {
    if (words.size() < 2) {
      if (error) *error = "chooser-answer needs at least one path";
      return tb::ScriptResult::kFailed;
    }
    tb::AnswerNextChooser(std::vector<std::string>(words.begin() + 1, words.end()));
    return tb::ScriptResult::kDone;
  });
  tb::RegisterScriptCommand("chooser-cancel", [](const std::vector<std::string>&, std::string*) {
    tb::CancelNextChooser();
    return tb::ScriptResult::kDone;
  });
  return true;
}();

}  // namespace

// ---------------------------------------------------------------------------

OSErr NavGetDefaultDialogOptions(NavDialogOptions* o) {
  if (!o) return paramErr;
  *o = NavDialogOptions{};
  o->dialogOptionFlags = kNavDefaultNavDlogOptions;
  o->location = Point{-1, -1};
  return noErr;
}

OSStatus NavGetDefaultDialogCreationOptions(NavDialogCreationOptions* o) {
  if (!o) return paramErr;
  *o = NavDialogCreationOptions{};
  o->optionFlags = kNavDefaultNavDlogOptions;
  o->location = Point{-1, -1};
  o->modality = kWindowModalityAppModal;
  return noErr;
}

OSErr NavGetFile(AEDesc* defaultLocation, NavReplyRecord* reply, NavDialogOptions* options, NavEventUPP eventProc,
                 NavPreviewUPP, NavObjectFilterUPP filterProc, NavTypeListHandle typeList, void* callBackUD) {
  NavDialogRecord* d = fromClassic(Kind::kGetFile, defaultLocation, options, eventProc, callBackUD);
  d->filterProc = filterProc;
  d->types = typesOf(typeList);
  return runClassic(d, reply);
}

OSErr NavChooseFile(AEDesc* defaultLocation, NavReplyRecord* reply, NavDialogOptions* options,
                    NavEventUPP eventProc, NavPreviewUPP, NavObjectFilterUPP filterProc, NavTypeListHandle typeList,
                    void* callBackUD) {
  NavDialogRecord* d = fromClassic(Kind::kChooseFile, defaultLocation, options, eventProc, callBackUD);
  d->filterProc = filterProc;
  d->types = typesOf(typeList);
  return runClassic(d, reply);
}

OSErr NavChooseFolder(AEDesc* defaultLocation, NavReplyRecord* reply, NavDialogOptions* options,
                      NavEventUPP eventProc, NavObjectFilterUPP filterProc, void* callBackUD) {
  NavDialogRecord* d = fromClassic(Kind::kChooseFolder, defaultLocation, options, eventProc, callBackUD);
  d->filterProc = filterProc;
  return runClassic(d, reply);
}

OSErr NavPutFile(AEDesc* defaultLocation, NavReplyRecord* reply, NavDialogOptions* options, NavEventUPP eventProc,
                 OSType fileType, OSType fileCreator, void* callBackUD) {
  NavDialogRecord* d = fromClassic(Kind::kPutFile, defaultLocation, options, eventProc, callBackUD);
  d->fileType = fileType;
  d->fileCreator = fileCreator;
  if (d->saveName.empty()) d->saveName = "untitled";
  return runClassic(d, reply);
}

OSErr NavDisposeReply(NavReplyRecord* reply) {
  if (!reply) return paramErr;
  AEDisposeDesc(&reply->selection);
  if (reply->saveFileName) CFRelease(reply->saveFileName);
  reply->saveFileName = nullptr;
  reply->validRecord = false;
  return noErr;
}

OSStatus NavCreateGetFileDialog(const NavDialogCreationOptions* inOptions, NavTypeListHandle inTypeList,
                                NavEventUPP inEventProc, NavPreviewUPP, NavObjectFilterUPP inFilterProc,
                                void* inClientData, NavDialogRef* outDialog) {
  if (!outDialog) return paramErr;
  NavDialogRecord* d = fromCreation(Kind::kGetFile, inOptions, inEventProc, inClientData);
  d->filterProc = inFilterProc;
  d->types = typesOf(inTypeList);
  *outDialog = d;
  return noErr;
}

OSStatus NavCreatePutFileDialog(const NavDialogCreationOptions* inOptions, OSType inFileType, OSType inFileCreator,
                                NavEventUPP inEventProc, void* inClientData, NavDialogRef* outDialog) {
  if (!outDialog) return paramErr;
  NavDialogRecord* d = fromCreation(Kind::kPutFile, inOptions, inEventProc, inClientData);
  d->fileType = inFileType;
  d->fileCreator = inFileCreator;
  if (d->saveName.empty()) d->saveName = "untitled";
  *outDialog = d;
  return noErr;
}

OSStatus NavCreateChooseFolderDialog(const NavDialogCreationOptions* inOptions, NavEventUPP inEventProc,
                                     NavObjectFilterUPP inFilterProc, void* inClientData, NavDialogRef* outDialog) {
  if (!outDialog) return paramErr;
  NavDialogRecord* d = fromCreation(Kind::kChooseFolder, inOptions, inEventProc, inClientData);
  d->filterProc = inFilterProc;
  *outDialog = d;
  return noErr;
}

OSStatus NavDialogRun(NavDialogRef d) {
  if (!d || d->running) return paramErr;
  run(d);
  return noErr;
}

OSStatus NavDialogGetReply(NavDialogRef d, NavReplyRecord* reply) {
  if (!d) return paramErr;
  return fillReply(d, reply);
}

NavUserAction NavDialogGetUserAction(NavDialogRef d) { return d ? d->userAction : kNavUserActionNone; }
WindowRef NavDialogGetWindow(NavDialogRef d) { return d ? d->window : nullptr; }

void NavDialogDispose(NavDialogRef d) {
  if (!d || d->classic) return;
  if (d->running) {
    d->disposeLater = true;
    return;
  }
  delete d;
}

// ---------------------------------------------------------------------------

void tb::AnswerNextChooser(std::vector<std::string> paths) {
  (void)kScriptCommands;
  ns().answers.push_back(Answer{false, std::move(paths)});
}
void tb::CancelNextChooser() { ns().answers.push_back(Answer{true, {}}); }
int tb::PendingChooserAnswers() { return int(ns().answers.size()); }
void tb::ClearChooserAnswers() { ns().answers.clear(); }

WindowRef tb::ChooserWindow() { return ns().onScreen.empty() ? nullptr : ns().onScreen.back()->w; }

namespace {

bool toGlobal(WindowRef w, Rect* r) {
  Rect content, port;
  if (GetWindowBounds(w, kWindowContentRgn, &content) != noErr) return false;
  GetWindowPortBounds(w, &port);
  OffsetRect(r, short(content.left - port.left), short(content.top - port.top));
  return true;
}

}  // namespace

bool tb::ChooserEntryRect(std::string_view name, Rect* r) {
  if (ns().onScreen.empty() || !r) return false;
  Chooser& c = *ns().onScreen.back();
  for (std::size_t i = 0; i < c.entries.size(); ++i) {
    if (c.entries[i].name != name) continue;
    if (int(i) < firstRow(c) || int(i) >= firstRow(c) + kVisibleRows) {
      scrollIntoView(c, int(i));
      drawList(c);
    }
    const short top = SInt16(kListTop + (int(i) - firstRow(c)) * kRow);
    *r = Rect{top, kListLeft, SInt16(top + kRow), kListRight};
    return toGlobal(c.w, r);
  }
  return false;
}

bool tb::ChooserPartRect(ChooserPart part, Rect* r) {
  if (ns().onScreen.empty() || !r) return false;
  Chooser& c = *ns().onScreen.back();
  switch (part) {
    case ChooserPart::kDefaultButton:
      GetControlBounds(c.action, r);
      break;
    case ChooserPart::kCancelButton:
      GetControlBounds(c.cancel, r);
      break;
    case ChooserPart::kUpButton:
      GetControlBounds(c.up, r);
      break;
    case ChooserPart::kNameField:
      if (!savePanel(c)) return false;
      *r = nameField();
      break;
  }
  return toGlobal(c.w, r);
}

std::string tb::ChooserFolder() { return ns().onScreen.empty() ? std::string() : ns().onScreen.back()->folder; }
std::string tb::ChooserSaveName() { return ns().onScreen.empty() ? std::string() : ns().onScreen.back()->name; }
int tb::ChoosersRun() { return ns().runs; }
