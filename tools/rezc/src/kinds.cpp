// The resource kinds the compiler knows. A new kind is one function here and
// one row in the table at the end; every type without a row takes typed
// fields (CompileFields).
#include <cstdint>
#include <string>

#include "body.h"
#include "toolbox/pictures.h"

namespace rezc {

namespace {

void putText(std::vector<UInt8>& out, const std::string& s) {
  out.insert(out.end(), s.begin(), s.end());
}

// 'STR#': a count, then each string with its length byte.
//   resource 'STR#' 136 { "Main Prefs" "Second Prefs" }
void compileStringList(Body& body, std::vector<UInt8>& out) {
  std::vector<std::string> items;
  while (!body.atEnd()) {
    auto s = body.string("a list item");
    if (!s) return;
    if (s->size() > 255) return body.error("a list item holds at most 255 bytes");
    if (items.size() == 65535) return body.error("a list holds at most 65535 items");
    items.push_back(*s);
  }
  PutU16(out, static_cast<std::uint16_t>(items.size()));
  for (const auto& s : items) {
    out.push_back(static_cast<UInt8>(s.size()));
    putText(out, s);
  }
}

// 'PVER': the settings version, u16, then 254 reserved bytes.
//   resource 'PVER' 128 { version 3 }
void compileVersion(Body& body, std::vector<UInt8>& out) {
  if (!body.accept("version")) return body.error("expected 'version <number>'");
  auto v = body.number(0, 65535, "version");
  if (!v) return;
  PutU16(out, static_cast<std::uint16_t>(*v));
  out.resize(out.size() + 254, 0);
}

// 'TMPL': a resource template, pairs of a label and a field type.
//   resource 'TMPL' 128 "CNFG" { "rcvWait" DWRD  "brAddr" HLNG }
void compileTemplate(Body& body, std::vector<UInt8>& out) {
  while (!body.atEnd()) {
    auto label = body.string("a field label");
    if (!label) return;
    if (label->size() > 255) return body.error("a label holds at most 255 bytes");
    auto type = body.type("a field type");
    if (!type) return;
    out.push_back(static_cast<UInt8>(label->size()));
    putText(out, *label);
    PutU32(out, *type);
  }
}

// 'SPPT': the model filter: on/off u8, a reserved byte, the number of model
// names i16, and the id of the 'STR#' list that holds them u16.
//   resource 'SPPT' 128 { filter on  count 3  strings 140 }
void compileModelFilter(Body& body, std::vector<UInt8>& out) {
  std::int64_t filter = 0, count = 0, strings = 0;
  while (!body.atEnd()) {
    if (body.accept("filter")) {
      if (body.accept("on"))
        filter = 1;
      else if (body.accept("off"))
        filter = 0;
      else if (auto v = body.number(0, 1, "filter"))
        filter = *v;
    } else if (body.accept("count")) {
      if (auto v = body.number(0, 32767, "count")) count = *v;
    } else if (body.accept("strings")) {
      if (auto v = body.number(0, 65535, "strings")) strings = *v;
    } else {
      return body.error("expected 'filter', 'count' or 'strings'");
    }
    if (body.failed()) return;
  }
  out.push_back(static_cast<UInt8>(filter));
  out.push_back(0);
  PutU16(out, static_cast<std::uint16_t>(count));
  PutU16(out, static_cast<std::uint16_t>(strings));
}

// 'PICT' and 'cicn': a PNG image behind the small header that
// toolbox/pictures.h describes (the frame or bounds come from the image).
//   resource 'PICT' 129 { png "pictures/header.png" }
//   resource 'cicn' 128 { png "icons/app.png" }
void compilePng(Body& body, std::vector<UInt8>& out, bool icon) {
  if (!body.accept("png")) return body.error("expected 'png \"file\"'");
  auto name = body.string("a PNG file name");
  if (!name) return;
  auto bytes = body.file(*name);
  if (!bytes) return;
  auto data = icon ? tb::MakeCIconData(*bytes) : tb::MakePictData(*bytes);
  if (!data) return body.error("\"" + *name + "\" is not a readable PNG image (at most 32767 pixels a side)");
  if (!body.atEnd()) return body.error("one PNG file per resource");
  out.insert(out.end(), data->begin(), data->end());
}
void compilePicture(Body& body, std::vector<UInt8>& out) { compilePng(body, out, false); }
void compileColourIcon(Body& body, std::vector<UInt8>& out) { compilePng(body, out, true); }

// 'CURS' and 'ICN#': black-and-white images with a mask, drawn as rows of
// characters: 'X' black, 'o' white (both in the mask), '.' outside the
// mask. A cursor is 16 rows of 16 with its hot spot (v h), laid out as the
// image (16 x u16), the mask (16 x u16) and the hot spot (2 x i16); an icon
// list is 32 rows of 32, laid out as the image and the mask (32 x u32 each).
//   resource 'CURS' 161 { hotspot 7 7  rows "....XX...." ... }
void compileBitImage(Body& body, std::vector<UInt8>& out, int side, bool cursor) {
  std::vector<std::uint32_t> image, mask;
  std::int64_t hot[2] = {0, 0};
  bool haveRows = false;
  while (!body.atEnd()) {
    if (cursor && body.accept("hotspot")) {
      for (auto& v : hot)
        if (auto n = body.number(0, side - 1, "a hot spot coordinate")) v = *n;
    } else if (body.accept("rows")) {
      if (haveRows) return body.error("one set of rows per resource");
      haveRows = true;
      for (int r = 0; r < side && !body.failed(); ++r) {
        auto row = body.string("a row of the image");
        if (!row) return;
        if (static_cast<int>(row->size()) != side)
          return body.error("row " + std::to_string(r + 1) + " has " + std::to_string(row->size()) +
                            " characters, not " + std::to_string(side));
        std::uint32_t bits = 0, m = 0;
        for (int c = 0; c < side; ++c) {
          std::uint32_t bit = 1u << (side - 1 - c);
          char ch = (*row)[static_cast<std::size_t>(c)];
          if (ch == 'X')
            bits |= bit, m |= bit;
          else if (ch == 'o')
            m |= bit;
          else if (ch != '.')
            return body.error(std::string("'") + ch + "' in a row: use 'X' (black), 'o' (white) or '.' (clear)");
        }
        image.push_back(bits);
        mask.push_back(m);
      }
    } else {
      return body.error(cursor ? "expected 'hotspot' or 'rows'" : "expected 'rows'");
    }
    if (body.failed()) return;
  }
  if (!haveRows) return body.error("the image's rows are missing");
  for (const auto* part : {&image, &mask})
    for (std::uint32_t v : *part) {
      if (side == 16)
        PutU16(out, static_cast<std::uint16_t>(v));
      else
        PutU32(out, v);
    }
  if (cursor) {
    PutU16(out, static_cast<std::uint16_t>(hot[0]));
    PutU16(out, static_cast<std::uint16_t>(hot[1]));
  }
}
void compileCursor(Body& body, std::vector<UInt8>& out) { compileBitImage(body, out, 16, true); }
void compileIconList(Body& body, std::vector<UInt8>& out) { compileBitImage(body, out, 32, false); }

// The fields a window and a dialog share. accept() takes one of them when
// it is next (false when another keyword is); check() the rules after the
// last field.
struct WindowFields {
  std::int64_t box[4] = {0, 0, 0, 0};
  std::int64_t proc = 0, visible = 0, goAway = 0, refCon = 0, position = 0;
  std::string title;
  bool haveBounds = false;

  bool accept(Body& body) {
    if (body.accept("bounds")) {
      for (auto& v : box)
        if (auto n = body.number(-32768, 32767, "a bounds coordinate")) v = *n;
      haveBounds = true;
    } else if (body.accept("proc")) {
      if (auto n = body.number(-32768, 32767, "proc")) proc = *n;
    } else if (body.accept("visible")) {
      visible = 1;
    } else if (body.accept("hidden")) {
      visible = 0;
    } else if (body.accept("goaway")) {
      goAway = 1;
    } else if (body.accept("refcon")) {
      if (auto n = body.number(INT32_MIN, UINT32_MAX, "refcon")) refCon = *n;
    } else if (body.accept("title")) {
      if (auto t = body.string("the title")) title = *t;
      if (title.size() > 255) body.error("a title holds at most 255 bytes");
    } else if (body.accept("position")) {
      if (body.accept("center"))
        position = 0x280A;
      else if (body.accept("alert"))
        position = 0x300A;
      else if (body.accept("none"))
        position = 0;
      else if (auto n = body.number(0, 65535, "position"))
        position = *n;
    } else {
      return false;
    }
    return true;
  }

  bool check(Body& body, const char* what) {
    if (!haveBounds) {
      body.error(std::string("a ") + what + " needs 'bounds top left bottom right'");
      return false;
    }
    if (box[2] <= box[0] || box[3] <= box[1]) {
      body.error("the bounds are empty");
      return false;
    }
    return true;
  }

  // The title with its length byte, a pad byte to an even length, the
  // position code.
  void putTail(std::vector<UInt8>& out) const {
    out.push_back(static_cast<UInt8>(title.size()));
    putText(out, title);
    if (out.size() % 2) out.push_back(0);
    PutU16(out, static_cast<std::uint16_t>(position));
  }
};

// 'WIND': a window: content bounds (top, left, bottom, right), window
// definition, visible, close box, reference value, title, then the
// position code (0 as given, 0x280A centred, 0x300A alert position).
//   resource 'WIND' 128 { bounds 40 40 340 540  proc 8  visible  goaway
//                         refcon 0  title "Main"  position center }
void compileWindow(Body& body, std::vector<UInt8>& out) {
  WindowFields w;
  while (!body.atEnd()) {
    if (!w.accept(body))
      return body.error("expected 'bounds', 'proc', 'visible', 'hidden', 'goaway', 'refcon', 'title' or 'position'");
    if (body.failed()) return;
  }
  if (!w.check(body, "window")) return;
  for (auto v : w.box) PutU16(out, static_cast<std::uint16_t>(v));
  PutU16(out, static_cast<std::uint16_t>(w.proc));
  PutU16(out, static_cast<std::uint16_t>(w.visible));
  PutU16(out, static_cast<std::uint16_t>(w.goAway));
  PutU32(out, static_cast<std::uint32_t>(w.refCon));
  w.putTail(out);
}

// 'MENU': a menu (its id is the resource id): the title, then the items
// in order, each with its optional Command key, mark, style and icon, or
// disabled. A title starting with '-' is a divider.
//   resource 'MENU' 129 { title "File"
//     item "New" key 'N'   item "-"   item "Close" key 'W' disabled
//     item "Window 1" mark check   item "Bold" style bold }
void compileMenu(Body& body, std::vector<UInt8>& out) {
  struct Item {
    std::string text;
    std::int64_t icon = 0, key = 0, mark = 0, style = 0;
    bool enabled = true;
  };
  std::string title;
  bool enabled = true;
  std::vector<Item> items;
  while (!body.atEnd()) {
    if (body.accept("title")) {
      if (auto t = body.string("the title")) title = *t;
      if (title.size() > 255) return body.error("a title holds at most 255 bytes");
    } else if (body.accept("item")) {
      Item it;
      if (auto t = body.string("the item text")) it.text = *t;
      if (it.text.size() > 255) return body.error("an item text holds at most 255 bytes");
      if (!it.text.empty() && it.text[0] == '-') it.enabled = false;
      items.push_back(it);
    } else if (body.accept("disabled")) {
      if (items.empty())
        enabled = false;
      else
        items.back().enabled = false;
    } else if (!items.empty() && body.accept("key")) {
      if (auto n = body.number(0, 255, "the Command key")) items.back().key = *n;
    } else if (!items.empty() && body.accept("icon")) {
      if (auto n = body.number(0, 255, "the icon number")) items.back().icon = *n;
    } else if (!items.empty() && body.accept("mark")) {
      if (body.accept("check"))
        items.back().mark = 0x12;
      else if (body.accept("diamond"))
        items.back().mark = 0x13;
      else if (auto n = body.number(0, 255, "the mark"))
        items.back().mark = *n;
    } else if (!items.empty() && body.accept("style")) {
      static const char* const kStyles[] = {"bold", "italic", "underline", "outline", "shadow"};
      bool found = false;
      for (int i = 0; i < 5 && !found; ++i)
        if (body.accept(kStyles[i])) {
          items.back().style |= 1 << i;
          found = true;
        }
      if (!found) return body.error("expected a style: bold, italic, underline, outline or shadow");
    } else {
      return body.error(items.empty() ? "expected 'title', 'disabled' or 'item'"
                                      : "expected 'item', 'key', 'mark', 'style', 'icon' or 'disabled'");
    }
    if (body.failed()) return;
  }
  std::uint32_t flags = enabled ? 1 : 0;
  for (std::size_t i = 0; i < items.size(); ++i)
    if (i < 31 && items[i].enabled) flags |= 1u << (i + 1);
  if (items.size() > 31) flags |= 0x80000000u;  // items past 31 are always enabled
  PutU16(out, 0);  // the id: the resource's own
  PutU16(out, 0);  // width and height: worked out when shown
  PutU16(out, 0);
  PutU16(out, 0);  // standard definition
  PutU16(out, 0);
  PutU32(out, flags);
  out.push_back(static_cast<UInt8>(title.size()));
  putText(out, title);
  for (const Item& it : items) {
    out.push_back(static_cast<UInt8>(it.text.size()));
    putText(out, it.text);
    out.push_back(static_cast<UInt8>(it.icon));
    out.push_back(static_cast<UInt8>(it.key));
    out.push_back(static_cast<UInt8>(it.mark));
    out.push_back(static_cast<UInt8>(it.style));
  }
  out.push_back(0);
}

// 'MBAR': the ids of the menus of a menu bar, left to right.
//   resource 'MBAR' 128 { 128 129 130 }
void compileMenuBar(Body& body, std::vector<UInt8>& out) {
  std::vector<std::int64_t> ids;
  while (!body.atEnd()) {
    auto id = body.number(-32768, 32767, "a menu id");
    if (!id) return;
    ids.push_back(*id);
  }
  PutU16(out, static_cast<std::uint16_t>(ids.size()));
  for (auto id : ids) PutU16(out, static_cast<std::uint16_t>(id));
}

// 'CNTL': a control: bounds (top, left, bottom, right), value, visible,
// maximum, minimum, definition (procID), reference value, title. A pop-up
// menu button takes its menu id as the minimum ('menu' says the same) and
// the width of its title's label as the maximum.
//   resource 'CNTL' 160 { bounds 10 10 30 200  proc 1008  menu 160  visible }
void compileControl(Body& body, std::vector<UInt8>& out) {
  std::int64_t box[4] = {0, 0, 0, 0};
  std::int64_t value = 0, visible = 1, max = 0, min = 0, proc = 0, refCon = 0;
  std::string title;
  bool haveBounds = false;
  while (!body.atEnd()) {
    if (body.accept("bounds")) {
      for (auto& v : box)
        if (auto n = body.number(-32768, 32767, "a bounds coordinate")) v = *n;
      haveBounds = true;
    } else if (body.accept("value")) {
      if (auto n = body.number(-32768, 32767, "value")) value = *n;
    } else if (body.accept("min") || body.accept("menu")) {
      if (auto n = body.number(-32768, 32767, "min")) min = *n;
    } else if (body.accept("max")) {
      if (auto n = body.number(-32768, 32767, "max")) max = *n;
    } else if (body.accept("proc")) {
      if (auto n = body.number(-32768, 32767, "proc")) proc = *n;
    } else if (body.accept("visible")) {
      visible = 1;
    } else if (body.accept("hidden")) {
      visible = 0;
    } else if (body.accept("refcon")) {
      if (auto n = body.number(INT32_MIN, UINT32_MAX, "refcon")) refCon = *n;
    } else if (body.accept("title")) {
      if (auto t = body.string("the title")) title = *t;
      if (title.size() > 255) return body.error("a title holds at most 255 bytes");
    } else {
      return body.error("expected 'bounds', 'value', 'min', 'menu', 'max', 'proc', 'visible', 'hidden', 'refcon' or 'title'");
    }
    if (body.failed()) return;
  }
  if (!haveBounds) return body.error("a control needs 'bounds top left bottom right'");
  for (auto v : box) PutU16(out, static_cast<std::uint16_t>(v));
  PutU16(out, static_cast<std::uint16_t>(value));
  out.push_back(static_cast<UInt8>(visible));
  out.push_back(0);
  PutU16(out, static_cast<std::uint16_t>(max));
  PutU16(out, static_cast<std::uint16_t>(min));
  PutU16(out, static_cast<std::uint16_t>(proc));
  PutU32(out, static_cast<std::uint32_t>(refCon));
  out.push_back(static_cast<UInt8>(title.size()));
  putText(out, title);
}

// 'DLOG': a dialog: content bounds (top, left, bottom, right), window
// definition, visible and close-box bytes (each with a filler byte), the
// reference value, the id of its 'DITL', the title with its length byte, a
// pad byte to an even length, and the position code (0 as given, 0x280A
// centred, 0x300A alert position).
//   resource 'DLOG' 603 { bounds 80 100 200 460  proc 1  visible  items 603
//                         title "Alert"  position alert }
void compileDialog(Body& body, std::vector<UInt8>& out) {
  WindowFields w;
  std::int64_t items = 0;
  bool haveItems = false;
  while (!body.atEnd()) {
    if (body.accept("items")) {
      if (auto n = body.number(-32768, 32767, "the item list id")) items = *n;
      haveItems = true;
    } else if (!w.accept(body)) {
      return body.error(
          "expected 'bounds', 'proc', 'visible', 'hidden', 'goaway', 'refcon', 'items', 'title' or "
          "'position'");
    }
    if (body.failed()) return;
  }
  if (!w.check(body, "dialog")) return;
  if (!haveItems) return body.error("a dialog needs 'items <id of its DITL>'");
  for (auto v : w.box) PutU16(out, static_cast<std::uint16_t>(v));
  PutU16(out, static_cast<std::uint16_t>(w.proc));
  out.push_back(static_cast<UInt8>(w.visible));
  out.push_back(0);
  out.push_back(static_cast<UInt8>(w.goAway));
  out.push_back(0);
  PutU32(out, static_cast<std::uint32_t>(w.refCon));
  PutU16(out, static_cast<std::uint16_t>(items));
  w.putTail(out);
}

// 'DITL': a dialog's items in order (item 1 first). Each is a kind, its
// rectangle (top, left, bottom, right) and what the kind carries: a text
// for buttons, check boxes, radio buttons, static and edit text; a 'CNTL'
// id for a control; a 'cicn' or 'PICT' id for an icon or a picture; nothing
// for a user item. `disabled` after an item adds 128 to its kind.
// Laid out as the count less one (u16), then per item a zero placeholder
// (u32), the rectangle (4 x i16), the kind byte, the data length byte and
// the data, padded to an even length.
//   resource 'DITL' 603 { button 90 280 110 350 "OK"
//                         static 10 60 80 350 "^0" disabled
//                         control 40 60 60 200 130   user 10 10 42 42 }
void compileItemList(Body& body, std::vector<UInt8>& out) {
  struct ItemKind {
    const char* word;
    UInt8 kind;
    enum { Text, Id, Nothing } data;
  };
  static const ItemKind kItemKinds[] = {
      {"user", 0, ItemKind::Nothing},  {"button", 4, ItemKind::Text}, {"checkbox", 5, ItemKind::Text},
      {"radio", 6, ItemKind::Text},    {"control", 7, ItemKind::Id},  {"static", 8, ItemKind::Text},
      {"edit", 16, ItemKind::Text},    {"icon", 32, ItemKind::Id},    {"picture", 64, ItemKind::Id},
  };
  std::vector<UInt8> items;
  std::size_t count = 0;
  std::size_t lastKind = 0;  // offset of the last item's kind byte, 0 before the first
  while (!body.atEnd()) {
    if (body.accept("disabled")) {
      if (!lastKind) return body.error("'disabled' follows an item");
      items[lastKind] |= 0x80;
      continue;
    }
    if (body.accept("enabled")) {
      if (!lastKind) return body.error("'enabled' follows an item");
      continue;
    }
    const ItemKind* k = nullptr;
    for (const auto& c : kItemKinds)
      if (body.accept(c.word)) {
        k = &c;
        break;
      }
    if (!k)
      return body.error(
          "expected an item: button, checkbox, radio, control, static, edit, icon, picture or user");
    std::int64_t r[4] = {0, 0, 0, 0};
    for (auto& v : r)
      if (auto n = body.number(-32768, 32767, "a rectangle coordinate")) v = *n;
    if (body.failed()) return;
    if (r[2] < r[0] || r[3] < r[1]) return body.error("the item's bottom or right lies before its top or left");
    std::vector<UInt8> data;
    if (k->data == ItemKind::Text) {
      auto t = body.string("the item's text");
      if (!t) return;
      if (t->size() > 255) return body.error("an item's text holds at most 255 bytes");
      data.assign(t->begin(), t->end());
    } else if (k->data == ItemKind::Id) {
      auto id = body.number(-32768, 32767, k->kind == 7 ? "the 'CNTL' id" : "the resource id");
      if (!id) return;
      data = {static_cast<UInt8>(*id >> 8), static_cast<UInt8>(*id)};
    }
    if (count == 32767) return body.error("an item list holds at most 32767 items");
    PutU32(items, 0);
    for (auto v : r) PutU16(items, static_cast<std::uint16_t>(v));
    lastKind = items.size();
    items.push_back(k->kind);
    items.push_back(static_cast<UInt8>(data.size()));
    items.insert(items.end(), data.begin(), data.end());
    if (items.size() % 2) items.push_back(0);
    ++count;
  }
  PutU16(out, static_cast<std::uint16_t>(count - 1));  // an empty list stores 0xFFFF
  out.insert(out.end(), items.begin(), items.end());
}

const Kind kKinds[] = {
    {'STR#', compileStringList},
    {'PVER', compileVersion},
    {'TMPL', compileTemplate},
    {'SPPT', compileModelFilter},
    {'PICT', compilePicture},
    {'cicn', compileColourIcon},
    {'CURS', compileCursor},
    {'ICN#', compileIconList},
    {'WIND', compileWindow},
    {'MENU', compileMenu},
    {'MBAR', compileMenuBar},
    {'CNTL', compileControl},
    {'DLOG', compileDialog},
    {'DITL', compileItemList},
};

}  // namespace

std::span<const Kind> Kinds() { return kKinds; }

// Typed fields, in order, big-endian:
//   u8 u16 u32 i8 i16 i32 <number or 'char constant'>
//   string "text" [width]     the bytes, zero-padded to width when given
//   pstring "text" [width]    length byte and bytes, zero-padded to width
//   hex "00 01 ff"            bytes in hexadecimal, spaces ignored
//   zero <count>              that many zero bytes
//   file "name"               a file's bytes (relative to the description)
void CompileFields(Body& body, std::vector<UInt8>& out) {
  struct Int {
    const char* name;
    int bytes;
    std::int64_t min, max;
  };
  static const Int ints[] = {
      {"u8", 1, 0, 0xFF},     {"u16", 2, 0, 0xFFFF},       {"u32", 4, 0, 0xFFFFFFFF},
      {"i8", 1, -0x80, 0x7F}, {"i16", 2, -0x8000, 0x7FFF}, {"i32", 4, -0x80000000LL, 0x7FFFFFFF},
  };
  auto width = [&](std::int64_t min) -> std::optional<std::int64_t> {
    if (body.peek().kind != Token::Number) return std::nullopt;
    return body.number(min, 0xFFFFFF, "width");
  };
  while (!body.atEnd()) {
    auto w = body.word("a field (u8, u16, u32, i8, i16, i32, string, pstring, hex, zero, file)");
    if (!w) return;
    const Int* in = nullptr;
    for (const auto& i : ints)
      if (*w == i.name) in = &i;
    if (in) {
      auto v = body.number(in->min, in->max, in->name);
      if (!v) return;
      for (int b = in->bytes - 1; b >= 0; --b) out.push_back(static_cast<UInt8>(*v >> (8 * b)));
    } else if (*w == "string") {
      auto s = body.string("the text");
      if (!s) return;
      auto n = width(1);
      if (body.failed()) return;
      if (n && static_cast<std::int64_t>(s->size()) > *n)
        return body.error("the text is " + std::to_string(s->size()) + " bytes, wider than " +
                          std::to_string(*n));
      putText(out, *s);
      if (n) out.resize(out.size() + static_cast<std::size_t>(*n) - s->size(), 0);
    } else if (*w == "pstring") {
      auto s = body.string("the text");
      if (!s) return;
      auto n = width(1);
      if (body.failed()) return;
      std::size_t max = n ? std::min<std::size_t>(static_cast<std::size_t>(*n) - 1, 255) : 255;
      if (s->size() > max)
        return body.error("the text is " + std::to_string(s->size()) + " bytes; at most " +
                          std::to_string(max) + " fit");
      out.push_back(static_cast<UInt8>(s->size()));
      putText(out, *s);
      if (n) out.resize(out.size() + static_cast<std::size_t>(*n) - 1 - s->size(), 0);
    } else if (*w == "hex") {
      auto s = body.string("hex digits");
      if (!s) return;
      int hi = -1;
      for (char c : *s) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
        int d = (c >= '0' && c <= '9')   ? c - '0'
                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                         : -1;
        if (d < 0) return body.error(std::string("'") + c + "' is not a hex digit");
        if (hi < 0) {
          hi = d;
        } else {
          out.push_back(static_cast<UInt8>(hi * 16 + d));
          hi = -1;
        }
      }
      if (hi >= 0) return body.error("hex digits come in pairs");
    } else if (*w == "zero") {
      auto n = body.number(0, 0xFFFFFF, "count");
      if (!n) return;
      out.resize(out.size() + static_cast<std::size_t>(*n), 0);
    } else if (*w == "file") {
      auto name = body.string("a file name");
      if (!name) return;
      auto bytes = body.file(*name);
      if (!bytes) return;
      out.insert(out.end(), bytes->begin(), bytes->end());
    } else {
      return body.error("unknown field '" + *w + "'");
    }
  }
}

}  // namespace rezc
