// Writes the seed corpus of every fuzz target from the fixtures the tests
// use: the ini files of the reader tests, the print-box emulator's settings
// tables and search replies, resource files laid out like the programs',
// the preference files, the loader tests' BMP files, name lookup replies
// and the FTP dialogue of the send tests' box. Usage: fuzz_make_seeds <corpus folder>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Monitor/MonitorConfig.h"
#include "OT/JCPPacket.h"
#include "holdmanager/HoldData.h"
#include "OT/PBoxTable.h"
#include "pboxemu/monitor_replies.h"
#include "pboxemu/settings.h"
#include "toolbox/pictures.h"
#include "toolbox/resources.h"

#include <png.h>

namespace fs = std::filesystem;
using Bytes = std::vector<UInt8>;

namespace {

fs::path root;

void Put(const char* target, const std::string& name, const Bytes& bytes) {
  fs::create_directories(root / target);
  std::ofstream(root / target / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes Of(const std::string& s) { return Bytes(s.begin(), s.end()); }

void U16(Bytes& b, std::size_t v) {
  b.push_back(UInt8(v >> 8));
  b.push_back(UInt8(v));
}

// ---- ini files (the reader tests' fixtures) ----------------------------

void Ini() {
  struct Seed {
    const char* name;
    UInt8 selector;  // output size, and which lookup reads the file
    std::string file;
  };
  auto withEnds = [](const std::string& eol, bool finalEol) {
    std::string s = "[BUTTON]" + eol + "OK=Okay" + eol + "CANCEL=Stop" + eol + "[TITLE]" + eol + "MAIN=Main window";
    return finalEol ? s + eol : s;
  };
  std::vector<Seed> seeds = {
      {"eol-lf", 0x0B, withEnds("\n", true)},
      {"eol-cr", 0x1B, withEnds("\r", true)},
      {"eol-crlf", 0x2B, withEnds("\r\n", false)},
      {"eol-lfcr", 0x3B, withEnds("\n\r", true)},
      {"lookup-rules", 11,
       "[MAIN]\nNOTE=see [BUTTON] below\n"
       "[BUTTON]\r\n\r\nOK=Okay\r\nTAB04=Fourth\r\nTAB=Tab\r\n\r\n[LABEL]\r\nLATE=Later\r\nxOK=wrong\n"},
      {"value-sizes", 0x35, "[S]\nK=12345\nU=ab\xC3\xA9\xC3\xA9\nL=" + std::string(300, 'z') + "\n"},
      {"long-line", 0x3A, "[S]\nX=" + std::string(1100, 'y') + "K=tail\nK=real\n"},
      {"hostile", 6, std::string("\x00\xFF[S]\xFE\nK=\x7F\x80\n[S]\0\nK=v", 20)},
      {"messages", 0x7A, "[MESSAGE]\r\nMSG01=First line\\nSecond line\\n\r\nMSG02=\\n\r\n[S]\r\nK=\r\n"},
      {"empty", 0, ""},
  };
  for (const Seed& s : seeds) {
    Bytes b{s.selector};
    b.insert(b.end(), s.file.begin(), s.file.end());
    Put("ini_reader_a", s.name, b);
    Put("ini_reader_b", s.name, b);
  }
}

// ---- settings tables (the emulator's models) ----------------------------

Bytes Settings(const pboxemu::SettingsBlocks& blocks, UInt8 sel, const std::string& texts) {
  Bytes b{sel};
  U16(b, blocks.context.size());
  U16(b, blocks.enums.size());
  U16(b, blocks.image.size());
  b.insert(b.end(), blocks.context.begin(), blocks.context.end());
  b.insert(b.end(), blocks.enums.begin(), blocks.enums.end());
  b.insert(b.end(), blocks.image.begin(), blocks.image.end());
  b.insert(b.end(), texts.begin(), texts.end());
  return b;
}

void SettingsTables() {
  using pboxemu::Model;
  const std::string texts =
      "127.0.0.5\nENABLE\n\"box name\"\n0x10\n-5\n99999999999\n\\x4\n$FF\nDISABLE\n\"\\\"quoted\\\\\"\n1.2.3\n";
  // The administration program's bindings read the same blocks.
  for (const char* target : {"settings_tables", "admin_setup_values"})
    for (Model m : {Model::QSV_A, Model::QSV_B, Model::QSV_C, Model::QSV_E})
      Put(target, std::string("model-") + pboxemu::ModelName(m),
          Settings(pboxemu::ModelSettings(m, 0x7F000005), 0x3F, texts));
  // One of each kind, with names that fill their stride.
  pboxemu::SettingsBuilder sb;
  sb.Number('B', 0x0101, 7, 0, 300, "BYTE");
  sb.Number('W', 0x0102, 515, 1, 1000, "WORD");
  sb.Number('L', 0x0103, 70000, 0, 65535, "LONG");
  sb.Ip(0x0104, 0x7F000001, "ADDR");
  sb.Enum(0x0105, {"FIFTEEN_CHARS_X", "SHORT", "A"}, 1, "ENUM");
  sb.String('E', 0x0106, 8, "seven77", "EEEE");
  sb.String('X', 0x0107, 4, "pwd", "XXXX");
  sb.PString(0x0108, 6, "pstr", "PPPP");
  const Bytes everyKind =
      Settings(sb.Build(), 0x11, "3\n1000\n70000\n127.0.0.1\nSHORT\nlonger than the field\nx\n\"\\x41\\n\"\n");
  Put("settings_tables", "every-kind", everyKind);
  Put("admin_setup_values", "every-kind", everyKind);
  // The settings pages: each part over a box of one of the models with its
  // offers (the part's byte before the settings-table layout).
  const Model models[] = {Model::QSV_A, Model::QSV_B, Model::QSV_C, Model::QSV_E};
  const UInt8 offers[] = {0x01, 0x07, 0x9D, 0x11};
  for (UInt8 part = 0; part < 13; ++part) {
    Bytes b{part};
    const Bytes rest = Settings(pboxemu::ModelSettings(models[part % 4], 0x7F000005, 2), offers[part % 4], "");
    b.insert(b.end(), rest.begin(), rest.end());
    Put("admin_setup_pages", "part-" + std::to_string(part) + "-model-" + pboxemu::ModelName(models[part % 4]), b);
  }
}

// ---- resource and preference files -------------------------------------

std::string StrList(std::initializer_list<std::string> items) {
  std::string s(2, '\0');
  s[1] = static_cast<char>(items.size());
  for (const auto& i : items) s += static_cast<char>(i.size()) + i;
  return s;
}

tb::ResourceEntry Entry(ResType type, SInt16 id, const std::string& data, const char* name = nullptr,
                        UInt8 attrs = 0) {
  tb::ResourceEntry e;
  e.type = type;
  e.id = id;
  e.data = Of(data);
  if (name) {
    e.hasName = true;
    e.name = name;
  }
  e.attrs = attrs;
  return e;
}

void ResourceFiles() {
  struct Seed {
    const char* name;
    UInt8 mode;
    std::vector<tb::ResourceEntry> entries;
  };
  std::string lying = StrList({"one"});
  lying[1] = 3;
  std::string cut = StrList({"abcdef"});
  cut.resize(cut.size() - 2);
  std::vector<Seed> seeds = {
      {"empty", 0, {}},
      {"program", 0,
       {Entry('STR#', 132, StrList({"VEMOPLEX", "Second"})), Entry('SPPT', 128, std::string("\x01\x00\x00\x01\x00\x84", 6)),
        Entry('STR ', 128, "\x05Hello"), Entry('STR#', 136, StrList({"Main Prefs", "Second Prefs"}), "Prefs")}},
      {"preferences", 3,
       {Entry('CNFG', 128, std::string("\x01\x02\x00\x04", 4), "Config"),
        Entry('PVER', 128, std::string(16, '\0'), nullptr, resPurgeable), Entry('TMPL', 128, "tmpl", "CNFG"),
        Entry('TMPL', 130, "", std::string(40, 'n').c_str(), resLocked | resPreload),
        Entry('STR#', -4000, StrList({"a", "bc"}), "negative")}},
      {"lying-lists", 0, {Entry('STR#', 1, lying), Entry('STR#', 2, cut), Entry('STR#', 3, "")}},
      {"protected", 3, {Entry('PREF', 128, "keep", nullptr, resProtected)}},
  };
  for (const Seed& s : seeds) {
    Bytes image;
    if (tb::BuildResourceFile(s.entries, image) != noErr) {
      std::fprintf(stderr, "cannot lay out %s\n", s.name);
      std::exit(1);
    }
    Bytes b{s.mode};
    b.insert(b.end(), image.begin(), image.end());
    Put("resource_file", s.name, b);
  }
}

// ---- search replies ------------------------------------------------------

Bytes Reply(const std::array<UInt8, 16>& type, UInt8 mac, UInt32 ip) {
  jcp_reply r{};
  r.jcpr_chk = 2;
  r.jcpr_rule = JCP_SEARCH_RULE;
  std::memcpy(r.jcpr_machine_name, "BOX", 3);
  std::memcpy(r.jcpr_machine_type, type.data(), 16);
  r.jcpr_netno = 0x00120034;
  const UInt8 node[6] = {0x00, 0x80, 0x92, 0x01, 0x02, mac};
  std::memcpy(r.jcpr_nodeaddr, node, 6);
  r.jcpr_socket = JCP_UDP_PORT;
  r.jcpr_ip_addr = ip;
  Bytes b(kJcpReplySize);
  PackJcpReply(r, std::span<UInt8, kJcpReplySize>(b.data(), kJcpReplySize));
  return b;
}

void SearchReplies() {
  using pboxemu::Model;
  const Bytes filterOn = {1, 0, 0, 1, 0, 0x84};
  const Bytes filterOff = {0, 0, 0, 0, 0, 0};
  auto add = [](Bytes& b, const Bytes& reply, bool appleTalk) {
    b.push_back(UInt8(reply.size() | (appleTalk ? 0x80 : 0)));
    b.insert(b.end(), reply.begin(), reply.end());
    if (appleTalk) {
      for (const char* n : {"BOX", "VEMOPLEX", "*"}) {
        UInt8 f[34] = {UInt8(std::strlen(n))};
        std::memcpy(f + 1, n, std::strlen(n));
        b.insert(b.end(), f, f + 34);
      }
      b.insert(b.end(), {0x00, 0x12, 0x34, 0x81});
    }
  };
  Bytes all = filterOn;
  UInt8 mac = 1;
  for (Model m : {Model::QSV_A, Model::QSV_B, Model::QSV_C, Model::QSV_E, Model::Foreign}) {
    add(all, Reply(pboxemu::ModelMachineType(m), mac, 0x7F000000u + mac), false);
    ++mac;
  }
  Put("pbox_search_reply", "models-filtered", all);
  all[0] = 0;
  Put("pbox_search_reply", "models-unfiltered", all);

  Bytes again = filterOff;
  const Bytes r = Reply(pboxemu::ModelMachineType(Model::QSV_C), 9, 0x7F000009);
  add(again, r, true);   // found over AppleTalk first
  add(again, r, false);  // then over TCP/IP
  add(again, r, true);   // and a TCP/IP entry stays
  Bytes shortReply(r.begin(), r.begin() + 20);
  add(again, shortReply, false);
  Put("pbox_search_reply", "same-box-twice", again);

  Bytes full = filterOff;
  for (UInt8 k = 0; k < 8; ++k) add(full, Reply(pboxemu::ModelMachineType(Model::QSV_B), k, 0x7F000100u + k), false);
  Put("pbox_search_reply", "table-full", full);
}

// ---- pictures and colour icons -------------------------------------------

// A w x h PNG of the given libpng format from pixels of that format.
Bytes Png(png_uint_32 format, int w, int h, const void* pixels, const void* colormap = nullptr, int colors = 0) {
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = png_uint_32(w);
  img.height = png_uint_32(h);
  img.format = format;
  img.colormap_entries = png_uint_32(colors);
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&img, nullptr, &size, 0, pixels, 0, colormap);
  Bytes out(size);
  if (!png_image_write_to_memory(&img, out.data(), &size, 0, pixels, 0, colormap)) {
    std::fprintf(stderr, "cannot write a PNG\n");
    std::exit(1);
  }
  out.resize(size);
  return out;
}

void Pictures() {
  const UInt8 rgb[4 * 2 * 3] = {255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255,
                                255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255};
  const UInt8 rgba[2 * 4] = {0, 255, 0, 255, 0, 0, 0, 0};
  const UInt8 ga[3 * 3 * 2] = {0, 255, 128, 128, 255, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};
  const UInt8 map[2 * 3] = {255, 255, 255, 0, 0, 0};
  const UInt8 indexed[5 * 2] = {0, 1, 0, 1, 0, 1, 0, 1, 0, 1};
  struct {
    const char* name;
    Bytes png;
  } pngs[] = {
      {"rgb", Png(PNG_FORMAT_RGB, 4, 2, rgb)},
      {"rgba", Png(PNG_FORMAT_RGBA, 2, 1, rgba)},
      {"gray-alpha", Png(PNG_FORMAT_GA, 3, 3, ga)},
      {"palette", Png(PNG_FORMAT_RGB_COLORMAP, 5, 2, indexed, map, 2)},
  };
  // flag byte, then the destination rectangle
  const Bytes head = {0x05, 2, 3, 30, 40};
  auto put = [&](const std::string& name, const Bytes& body, UInt8 flags) {
    Bytes b = head;
    b[0] = flags;
    b.insert(b.end(), body.begin(), body.end());
    Put("pict_cicn", name, b);
  };
  for (const auto& p : pngs) {
    put(std::string("pict-") + p.name, *tb::MakePictData(p.png), 0x05);
    put(std::string("cicn-") + p.name, *tb::MakeCIconData(p.png), 0x3A);
  }
  // A frame turned into the host's order in place, and a cut body.
  Bytes swapped = *tb::MakePictData(pngs[0].png);
  for (std::size_t i = 2; i < 10; i += 2) std::swap(swapped[i], swapped[i + 1]);
  put("pict-host-order-frame", swapped, 0);
  Bytes cut = *tb::MakeCIconData(pngs[1].png);
  cut.resize(cut.size() - 20);
  put("cicn-cut", cut, 0x15);
}

// ---- BMP files (the loader tests' fixtures) -------------------------------

void Le(Bytes& b, std::size_t at, UInt32 v, int n) {
  for (int i = 0; i < n; ++i) b[at + std::size_t(i)] = UInt8(v >> (8 * i));
}

// A bottom-up BMP file; pixels top row first, 0xRRGGBB (24-bit) or palette
// indexes (8-bit, palette entries 0xRRGGBB).
Bytes Bmp(int width, int height, int bits, const std::vector<UInt32>& pixels, const std::vector<UInt32>& palette = {},
          UInt32 coloursUsed = 0) {
  const std::size_t entries = bits == 8 ? (coloursUsed ? coloursUsed : 256) : 0;
  const std::size_t rowBytes = (std::size_t(width) * std::size_t(bits) + 31) / 32 * 4;
  const std::size_t offset = 14 + 40 + 4 * entries;
  Bytes b(offset + rowBytes * std::size_t(height), 0);
  b[0] = 'B';
  b[1] = 'M';
  Le(b, 2, UInt32(b.size()), 4);
  Le(b, 10, UInt32(offset), 4);
  Le(b, 14, 40, 4);
  Le(b, 18, UInt32(width), 4);
  Le(b, 22, UInt32(height), 4);
  Le(b, 26, 1, 2);
  Le(b, 28, UInt32(bits), 2);
  Le(b, 46, coloursUsed, 4);
  for (std::size_t i = 0; i < palette.size() && i < entries; ++i) Le(b, 54 + 4 * i, palette[i], 3);
  for (int y = 0; y < height; ++y) {
    const std::size_t row = offset + rowBytes * std::size_t(height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const UInt32 p = pixels[std::size_t(y * width + x)];
      if (bits == 24)
        Le(b, row + 3 * std::size_t(x), p, 3);
      else
        b[row + std::size_t(x)] = UInt8(p);
    }
  }
  return b;
}

void BmpFiles() {
  // depth selector, then the pixel read (x, y)
  auto put = [](const char* name, UInt8 depth, UInt8 x, UInt8 y, const Bytes& file) {
    Bytes b{depth, x, y};
    b.insert(b.end(), file.begin(), file.end());
    Put("bmp_loader", name, b);
  };
  put("24-bit-padded-rows", 2, 1, 1, Bmp(3, 2, 24, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x123456}));
  std::vector<UInt32> palette(256);
  for (UInt32 i = 0; i < 256; ++i) palette[i] = (i << 16) | ((255 - i) << 8) | (i / 2);
  put("8-bit-full-palette", 0, 4, 1, Bmp(5, 2, 8, {0, 255, 7, 128, 1, 2, 3, 4, 5, 6}, palette, 0));
  put("8-bit-two-colours", 1, 2, 0, Bmp(3, 1, 8, {1, 0, 9}, {0xABCDEF, 0x102030}, 2));
  put("8-bit-four-colours", 3, 9, 9,
      Bmp(5, 3, 8, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2}, {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF}, 4));
  Bytes unclaimed = Bmp(4, 3, 8, std::vector<UInt32>(12, 1), {0x111111, 0x222222}, 2);
  Le(unclaimed, 2, 0, 4);  // a file size of 0 is no claim
  unclaimed.insert(unclaimed.end(), {'t', 'a', 'i', 'l'});
  put("size-unclaimed-trailing-bytes", 2, 0, 2, unclaimed);
  Bytes cut = Bmp(2, 2, 24, {1, 2, 3, 4});
  cut.pop_back();
  put("24-bit-cut-short", 2, 0, 0, cut);
  Bytes topDown = Bmp(2, 2, 24, {1, 2, 3, 4});
  Le(topDown, 22, UInt32(-2), 4);
  put("top-down", 2, 0, 0, topDown);
}

// ---- JCP exchanges ---------------------------------------------------------

// One datagram of a sequence: flags (1 late, 2 lost), length, bytes.
void Datagram(Bytes& b, const Bytes& d, UInt8 flags = 0) {
  b.push_back(flags);
  U16(b, d.size());
  b.insert(b.end(), d.begin(), d.end());
}

// A command reply as the emulator sends it.
Bytes ServerReply(UInt16 chk, UInt16 cond, UInt16 offset, const Bytes& data = {}) {
  Bytes r(kJcpServerHeadSize);
  jcp_server h{chk, cond, offset, UInt16(data.size())};
  PackJcpServer(h, std::span<UInt8, kJcpServerHeadSize>(r.data(), kJcpServerHeadSize));
  r.insert(r.end(), data.begin(), data.end());
  return r;
}

void JcpExchanges() {
  using pboxemu::Model;
  // Search: the models' replies, one cut short, one that is no reply, and
  // the quiet time running out.
  Bytes search = {1, 0, 0, 1, 0, 0x84};
  UInt8 mac = 1;
  for (Model m : {Model::QSV_A, Model::QSV_B, Model::QSV_C, Model::QSV_E, Model::Foreign}) {
    Datagram(search, Reply(pboxemu::ModelMachineType(m), mac, 0x7F000000u + mac));
    ++mac;
  }
  Bytes cut = Reply(pboxemu::ModelMachineType(Model::QSV_C), 7, 0x7F000007);
  cut.resize(30);
  Datagram(search, cut);
  Datagram(search, Bytes{0, 2, 0x95, 7, 1, 2});
  Datagram(search, Reply(pboxemu::ModelMachineType(Model::QSV_C), 8, 0x7F000008), 1);
  Put("jcp_search_reply", "models", search);
  Bytes lost = {0, 0, 0, 0, 0, 0};
  Datagram(lost, Reply(pboxemu::ModelMachineType(Model::QSV_B), 1, 0x7F000001), 2);
  Datagram(lost, Reply(pboxemu::ModelMachineType(Model::QSV_B), 1, 0x7F000001));
  Datagram(lost, Reply(pboxemu::ModelMachineType(Model::QSV_B), 1, 0x7F000001));
  Put("jcp_search_reply", "same-box-lost-and-repeated", lost);

  // Commands: a GET in 512-byte blocks and its end, the poll, a SET of the
  // settings image, the address broadcast with its own echo, time-outs.
  const Bytes context = pboxemu::ModelSettings(Model::QSV_B, 0x7F000005).context;
  Bytes get = {0};
  UInt16 off = 0;
  while (off < context.size()) {
    std::size_t n = std::min<std::size_t>(512, context.size() - off);
    Bytes block(context.begin() + off, context.begin() + off + std::ptrdiff_t(n));
    Datagram(get, ServerReply(1, off + n < context.size() ? 1 : 0, off, block));
    off = UInt16(off + n);
  }
  Datagram(get, ServerReply(JCP_COND_END, 0, 0));
  Put("jcp_command_reply", "get-context", get);

  Bytes late = {0};
  Datagram(late, ServerReply(1, 1, 0, Bytes(512, 0x41)), 1);
  Datagram(late, ServerReply(1, 1, 0, Bytes(512, 0x41)));
  Datagram(late, ServerReply(1, 0, 512, Bytes(100, 0x42)), 3);
  Datagram(late, ServerReply(1, 0, 512, Bytes(100, 0x42)));
  Datagram(late, Bytes{0, 3, 0});
  Datagram(late, ServerReply(1, 0, 512, Bytes(600, 0x43)));
  Datagram(late, ServerReply(JCP_COND_END, 0, 0));
  Put("jcp_command_reply", "get-resent-cut-and-oversized", late);

  Bytes poll = {1};
  Datagram(poll, ServerReply(1, 0, 0));
  Datagram(poll, ServerReply(JCP_COND_END, 1, 0));
  Put("jcp_command_reply", "polling-busy", poll);

  Bytes set = {UInt8(2 | (4 << 2))};  // 1080 bytes of data
  Datagram(set, ServerReply(1, 1, 422));
  Datagram(set, ServerReply(2, 1, 844));
  Datagram(set, ServerReply(2, 0, 1080, Bytes{0, 0}));
  Datagram(set, ServerReply(JCP_COND_END, 0, 0));
  Put("jcp_command_reply", "save-image", set);

  Bytes ip = {3};
  Bytes echo(4, 0);
  echo.insert(echo.end(), {'S', 'E', 'T', ' ', 'I', 'P', '_', 'A', 'D', 'D', 'R', ':'});
  Datagram(ip, echo);
  Datagram(ip, ServerReply(1, 0, 0));
  Datagram(ip, ServerReply(JCP_COND_END, 0, 0));
  Put("jcp_command_reply", "set-address", ip);
}

// ---- NBP lookup replies (the lookup tests' cases) ------------------------

struct Tuple {
  UInt16 net;
  UInt8 node, socket;
  std::string object, type, zone;
};

// Function 3 (or another), the tuple count, the id, then the tuples.
Bytes LookupReply(const std::vector<Tuple>& tuples, UInt8 function = 3) {
  Bytes r{UInt8(function << 4 | tuples.size()), 41};
  for (const Tuple& t : tuples) {
    U16(r, t.net);
    r.insert(r.end(), {t.node, t.socket, 0});
    for (const std::string* n : {&t.object, &t.type, &t.zone}) {
      r.push_back(UInt8(n->size()));
      r.insert(r.end(), n->begin(), n->end());
    }
  }
  return r;
}

// One datagram: flags (1 raw, 2 padded to the receive buffer, 4 one byte
// past it), length, bytes.
void NbpDatagram(Bytes& b, const Bytes& d, UInt8 flags = 0) {
  b.push_back(flags);
  U16(b, d.size());
  b.insert(b.end(), d.begin(), d.end());
}

void NbpReplies() {
  const std::string n32(32, 'n'), n33(33, 'x');
  Bytes cut = LookupReply({{1, 2, 3, "obj", "CTRLJCP1", "Sales"}});
  cut.resize(cut.size() - 2);
  const Bytes cases[] = {
      LookupReply({{0x1234, 77, 129, "Box A", "CTRLJCP1", "Sales"},
                   {0x1234, 78, 129, "Box B", "CTRLJCP1", "Sales"},
                   {0x1234, 79, 129, "Box C", "CTRLJCP1", "Sales"}}),
      LookupReply({{1, 2, 3, "x", "y", "z"}}, 2),
      Bytes{0x30, 41},
      LookupReply({{1, 2, 3, n33, "CTRLJCP1", "Sales"}}),
      LookupReply({{1, 2, 3, "o", "CTRLJCP1", n33}}),
      LookupReply({{0x0102, 9, 10, n32, n32, n32}}),
      cut,
      Bytes{0x31, 41, 0, 1, 2},
  };
  for (UInt8 mode : {0, 1}) {
    Bytes b{mode};
    for (const Bytes& c : cases) {
      NbpDatagram(b, c);
      NbpDatagram(b, LookupReply({{7, 7, 7, "mark", "m", "m"}}));
    }
    Put("nbp_reply", mode ? "sync-cases" : "async-cases", b);
  }
  Bytes grow{0};
  for (UInt8 i = 1; i <= 17; ++i) NbpDatagram(grow, LookupReply({{0x0102, UInt8(100 + i), 129, "Box", "CTRLJCP1", "*"}}));
  Put("nbp_reply", "table-grows", grow);
  const Bytes one = LookupReply({{0x0102, 9, 129, "Box", "CTRLJCP1", "*"}});
  Bytes wire{0xDD, 2};
  wire.insert(wire.end(), one.begin(), one.end());
  Bytes other = wire;
  other[1] = 4;
  Bytes edges{1};
  NbpDatagram(edges, wire, 1);   // raw with the right header: a row
  NbpDatagram(edges, other, 1);  // another DDP type: not for the lookup
  NbpDatagram(edges, one, 1);    // no header at all
  NbpDatagram(edges, one, 2);    // exactly the receive buffer
  NbpDatagram(edges, one, 4);    // one byte more
  Put("nbp_reply", "headers-and-sizes", edges);
}

// ---- FTP replies (the send tests' box) -----------------------------------

// One reply: flags (see ftp_reply.cpp), length, text.
void FtpReply(Bytes& b, const std::string& text, UInt8 flags = 0) {
  b.push_back(flags);
  U16(b, text.size());
  b.insert(b.end(), text.begin(), text.end());
}

void FtpReplies() {
  static constexpr UInt8 kAfterData = 0x80, kNoDial = 0x40, kStall = 0x20, kHangUp = 0x10, kFlood = 0x08;
  const std::string login[] = {"220 Print box ready.\r\n", "331 Password required.\r\n", "230 Logged in.\r\n",
                               "250 Folder changed.\r\n"};
  const std::string file[] = {"200 Type set.\r\n", "200 PORT taken.\r\n", "150 Ready for data.\r\n"};
  const std::string done = "226 Transfer complete.\r\n";
  auto job = [&](std::size_t files, auto&& change) {
    Bytes b{UInt8(files - 1)};
    std::vector<std::pair<std::string, UInt8>> replies;
    for (const std::string& r : login) replies.emplace_back(r, 0);
    for (std::size_t i = 0; i < files; ++i) {
      for (const std::string& r : file) replies.emplace_back(r, 0);
      replies.emplace_back(done, kAfterData);
    }
    change(replies);
    for (const auto& [text, flags] : replies) FtpReply(b, text, flags);
    return b;
  };
  auto same = [](auto&) {};
  Put("ftp_reply", "one-file", job(1, same));
  Put("ftp_reply", "two-files", job(2, same));
  Put("ftp_reply", "split-greeting", job(1, [](auto& r) { r[0].second = 3; }));
  Put("ftp_reply", "multi-line-greeting", job(1, [](auto& r) {
        r[0].first = "220-Welcome\r\n500 pages printed today\r\n220 Ready.\r\n";
      }));
  Put("ftp_reply", "cwd-other-code", job(1, [](auto& r) { r[3].first = "257 Now in lp, 250 jobs waiting.\r\n"; }));
  Put("ftp_reply", "password-refused", job(1, [](auto& r) { r[2].first = "530 Login incorrect.\r\n"; }));
  Put("ftp_reply", "no-line-end", job(1, [](auto& r) { r[1].first = "331 Password required."; }));
  Put("ftp_reply", "box-never-dials", job(1, [](auto& r) { r[6].second = kNoDial; }));
  Put("ftp_reply", "data-reset", job(1, [](auto& r) {
        r[7].first = "426 Connection reset; transfer aborted.\r\n";
      }));
  Put("ftp_reply", "hang-up-after-login", job(1, [](auto& r) { r[2].second = kHangUp; }));
  Put("ftp_reply", "stall-before-type", job(1, [](auto& r) { r[4].second = kStall; }));
  Put("ftp_reply", "stops-answering", job(1, [](auto& r) { r.resize(5); }));
  // A line end whose carriage return ends one read and whose line feed
  // begins a read longer than the receive buffer.
  Put("ftp_reply", "line-end-across-a-flood", job(1, [](auto& r) {
        r[0] = {"220 Ready\r\n220 Again", 1 | kFlood};
        r.insert(r.begin() + 1, {"\r\n", kAfterData});
      }));
}

}  // namespace

// ---- the status monitor's replies (the emulator's, as the decoder tests use them)

// A selector byte, then each reply as a u16 length and its bytes.
void MonitorReplies() {
  using pboxemu::PrinterState;
  using pboxemu::StatusFault;
  auto add = [](Bytes& b, const Bytes& reply) {
    U16(b, reply.size());
    b.insert(b.end(), reply.begin(), reply.end());
  };
  const struct {
    const char* name;
    int icType;
    bool plum7;
  } kinds[] = {{"plum7-old", 0, true}, {"plum7-type2", 2, true}, {"qsvd-type5", 5, false}, {"qsvd-type7", 7, false}};
  for (const auto& k : kinds) {
    Bytes b{0};
    for (PrinterState st : {PrinterState::Ready, PrinterState::Printing, PrinterState::PaperOut,
                            PrinterState::CoverOpen})
      add(b, pboxemu::StatusReply(k.plum7, pboxemu::StatusForState(st, k.icType)));
    Put("monitor_reply", std::string("status-") + k.name, b);
  }
  Bytes lying{2};
  add(lying, pboxemu::StatusReply(true, pboxemu::StatusForState(PrinterState::TonerLow, 1),
                                  {StatusFault::LyingLength, 0}));
  add(lying, pboxemu::StatusReply(false, pboxemu::StatusForState(PrinterState::Sleeping, 6)));
  Put("monitor_reply", "status-lying-length", lying);

  pboxemu::NetDescription net;
  auto type = [&](const char* t) {
    net.type = {};
    std::memcpy(net.type.data(), t, std::strlen(t));
  };
  net.mac = {0x00, 0x80, 0x92, 0x0A, 0x0B, 0x0C};
  net.ip = 0x7F000105;
  net.subnet = 0xFF000000;
  net.apple = "Box";
  net.zone = "Sales";
  net.machine = "PBOX-1";
  net.comment = "second floor";
  net.contact = "admin";
  net.ssid = "office";
  net.scope = "scope";
  net.svNameM = "mail.example";
  const struct {
    const char* name;
    const char* type;
    bool iris;
    StatusFault fault;
  } infos[] = {{"info-plum7", "VEMOPLEX[B]", false, StatusFault::None},
               {"info-iris-d", "VEMOPLEX[D]", true, StatusFault::None},
               {"info-iris-dii", "VEMOPLEX[DII]", true, StatusFault::None},
               {"info-iris-cut", "VEMOPLEX[DII]", true, StatusFault::TruncatedIris},
               {"info-unterminated", "VEMOPLEX[D]", true, StatusFault::Unterminated}};
  for (const auto& i : infos) {
    type(i.type);
    Bytes b{UInt8(1 | 2)};
    const pboxemu::StatusFaultSpec fault{i.fault, 0};
    add(b, i.iris ? pboxemu::IrisInfoReply(net, fault) : pboxemu::Plum7InfoReply(net, fault));
    Put("monitor_reply", i.name, b);
  }
}

// ---- the monitor's data files (the file tests' layouts) ----------------

// A selector byte (the file), then its bytes.
void MonitorFiles() {
  auto put = [](const char* name, UInt8 which, const Bytes& file) {
    Bytes b{which};
    b.insert(b.end(), file.begin(), file.end());
    Put("monitor_files", name, b);
  };
  PBOXinfo box{};
  box.pbi_inuse = 1;
  box.pbi_hash = 0x1234;
  std::memcpy(box.pbi_machine_name, "PBOX-1", 6);
  std::memcpy(box.pbi_machine_type, "VEMOPLEX[C]", 11);
  const UInt8 mac[6] = {0x00, 0x80, 0x92, 0x0A, 0x0B, 0x0C};
  std::memcpy(box.pbi_nodeaddr, mac, 6);
  box.pbi_socket = 9;
  box.pbi_ip_addr = 0x7F000105;
  box.protocol_Type_Num = 2;
  Bytes record(kPBOXRecordFileSize);
  PackPBOXRecord(box, std::span<UInt8, kPBOXRecordFileSize>(record.data(), kPBOXRecordFileSize));
  put("status-data", 0, record);
  put("alias-data", 1,
      Of("[ALIAS]\r\nALIAS00=VEMOMON-00;80;92;0A;0B;01\r\nALIAS01=VEMOMON-00;80;92;0A;0B;0C\r\n"
         "ALIAS03=skipped\r\n"));
  put("brdadr", 2, Of("[SYSTEM]\r\nUDP00=127.0.0.255\r\nUDP01=127.255.255.255\r\nUDP02=1234567890123456789\r\n"));
  Bytes config(kConfigurationSize);
  PackConfiguration(Default_Configuration(), std::span<UInt8, kConfigurationSize>(config.data(), kConfigurationSize));
  put("settings-record", 3, config);
  put("language-ini", 4, Of("[MACSTR]\r\nFOLDER=SHARED-STATUS\r\n[MACSTR2]\r\nSDATANAME=MONITOR Data\r\n"));
}

// ---- the administration program's search settings (its file tests') -----

void AdminConfig() {
  Bytes list{0};
  const Bytes text = Of("[SYSTEM]\r\nUDP00=10.0.0.255\r\nUDP01=10.0.1.255\r\nUDP02=10.0.2.255\r\n"
                        "UDP03=10.0.3.255\r\nUDP05=10.0.5.255\r\n");
  list.insert(list.end(), text.begin(), text.end());
  Put("admin_config", "broadcast-list", list);
  // 'CNFG' 128: wait, resends, search interval, broadcast address, the
  // four switches, the zone.
  Bytes record{1};
  U16(record, 3000);
  U16(record, 2);
  U16(record, 60);
  record.insert(record.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0, 1, 1, 1, 'S', 'a', 'l', 'e', 's'});
  record.resize(1 + 52, 0);
  Put("admin_config", "search-record", record);
}

// ---- the installer's socket JCP client (its tests' exchanges) ------------

Bytes CommandReply(UInt16 chk, UInt16 cond, UInt16 offset, UInt16 size, std::size_t dataBytes) {
  Bytes r;
  for (UInt16 f : {chk, cond, offset, size}) U16(r, f);
  r.insert(r.end(), dataBytes, 0xEE);
  return r;
}

// A byte choosing the command, then datagrams: a flag byte (1 from a
// stranger), a u16 length and the bytes.
void JcpSocketReplies() {
  auto add = [](Bytes& b, const Bytes& d, UInt8 flags = 0) {
    b.push_back(flags);
    U16(b, d.size());
    b.insert(b.end(), d.begin(), d.end());
  };
  Bytes get{8 << 1};  // a GET into 4 KB
  add(get, CommandReply(1, 1, 0, 512, 512));
  add(get, CommandReply(1, 1, 512, 512, 512));
  add(get, CommandReply(1, 0, 1024, 100, 100));
  Put("jcp_socket_reply", "get-blocks", get);
  Bytes hostile{1 << 1};  // the hostile-peer case: a stranger's end, a short head, a lying size
  add(hostile, CommandReply(3, 0, 0, 0, 0), 1);
  add(hostile, Bytes{0, 1, 0});
  add(hostile, CommandReply(1, 1, 0, 2000, 10));
  add(hostile, CommandReply(1, 0, 10, 5, 5));
  Put("jcp_socket_reply", "get-stranger-short-lying", hostile);
  Bytes set{1 | (3 << 1)};  // a SET of 1530 bytes, acknowledged by offset
  add(set, CommandReply(1, 1, 510, 0, 0));
  add(set, CommandReply(2, 1, 1020, 0, 0));
  add(set, CommandReply(2, 0, 1530, 2, 2));
  Put("jcp_socket_reply", "set-acks", set);
}

// ---- the disc menu's ini files (its model test's) -------------------------

void DiscMenuFiles() {
  const std::string menu =
      "[SYSTEM]\nEXITMESS=\nERRORMES2=Cannot open.\n"
      "[FONT]\nSUP_ADD=Geneva,12,NORMAL,1,1,WHITE,BLACK\n"
      "[MAIN_MENU_0]\nENABLE=TRUE\nPOS=10,10\nSTR1=Install\nOBJ=:::::vemoplexinstall.app\nLANG=-l\n"
      "EXVER=1080\nEXOBJ=:::::new.app\n"
      "[MAIN_MENU_1]\nENABLE=TRUE\nPOS=10,80\nSTR1=Manuals\nOBJ=GO_3\nBUTTON_N=::Resources:pictures:NONE.BMP\n"
      "[MAIN_MENU_2]\nENABLE=FALSE\nPOS=10,150\nOBJ=GO_1\n"
      "[MAIN_MENU_3]\nENABLE=TRUE\nPOS=10,220\nSTR1=Bare\nOBJ=readme.txt\n"
      "[MAIN_MENU_4]\nENABLE=TRUE\nPOS=10,290\nOBJ=GO_4\n"
      "[MENU3]\nMENU_S_COLOR=1,2\nMENU_NAME=Manuals\nITEM0=\nITEM1=A\nITEM3=C\n"
      "[MENU4]\nITEM0=A\nITEM1=A\nITEM2=A\nITEM3=A\nITEM4=A\nITEM5=A\nITEM6=A\nITEM7=A\nITEM8=A\nITEM9=A\n"
      "ITEM10=A\nITEM11=B\n"
      "[ITEMS]\nA_STR=Doc\nA_OBJ=::::doc.txt\nA_POS=100,100\nA_ICO=::Resources:pictures:doc.bmp\n"
      "A_ICOP=50,100\nB_STR=More\nB_OBJ=GO_3\nB_LANG=-l\n";
  auto langu = [](const std::string& type, const std::string& langAuto) {
    return "[SYSTEM]\nTYPE=" + type +
           "\nBASEBMP=::Resources:pictures:base.bmp\nCONTBMP=::Resources:pictures:cont.bmp\n"
           "EXITBMP=::Resources:pictures:exit.bmp\nEXITPOS=500,400\nBACKBMP=::Resources:pictures:back.bmp\n"
           "BACKPOS=10,400\n[LANG_AUTO]\n" +
           langAuto +
           "\n[LANG_MENU]\nMENU=English,Deutsch\n"
           "[English]\nINI=::Resources:English:MENU.INI\nBMP=::Resources:pictures:button.bmp\nPOS=10,10\n"
           "[Deutsch]\nINI=::Resources:Deutsch:MENU.INI\nPOS=10,100\n"
           "[MAIN_MENU]\nBUTTON0=::Resources:pictures:button.bmp\nICON0=::Resources:pictures:icon.bmp\n";
  };
  const std::string listed =
      "LANG_00=::Resources:English:MENU.INI;English\nLANG_14=::Resources:Deutsch:MENU.INI;Deutsch\n"
      "LANG_16=::Resources:English:MENU.INI;Malti\nDEFAULT=::Resources:English:MENU.INI;English";
  const struct {
    const char* name;
    UInt8 language;
    const char* type;
    std::string langAuto;
  } cases[] = {{"type-a-listed", 3, "A", listed},
               {"type-a-default", 2, "A", "DEFAULT=::Resources:English:MENU.INI;English"},
               {"type-l", 0, "L", listed},
               {"type-x", 0, "X", ""}};
  for (const auto& c : cases) {
    const std::string u = langu(c.type, c.langAuto);
    Bytes b{c.language};
    U16(b, u.size());
    b.insert(b.end(), u.begin(), u.end());
    b.insert(b.end(), menu.begin(), menu.end());
    Put("disc_menu_ini", c.name, b);
  }
}

// ---- the administration program's port list and status text -----------

void AdminPortStatus() {
  using pboxemu::Model;
  for (Model m : {Model::QSV_A, Model::QSV_C}) {
    Bytes b{0};
    const Bytes list = pboxemu::ModelPortList(m, 3);
    b.insert(b.end(), list.begin(), list.end());
    Put("admin_port_status", std::string("port-list-") + pboxemu::ModelName(m), b);
  }
  const std::string status("\1\0\0Printer: ready\r\n\r\nJobs: 2\nLast error: none\rPaper: A4\0rest", 57);
  Bytes b{1};
  b.insert(b.end(), status.begin(), status.end());
  Put("admin_port_status", "status-text", b);
}

// ---- the held-job manager's files (its data tests') ------------------------

void HoldFiles() {
  const std::string vsf = "[STATUS]\r\nID13=0A\r\nID38=0a\r\nID14=x8\r\nID15=8G\r\nID49=\r\n";
  Bytes b{0};
  b.insert(b.end(), vsf.begin(), vsf.end());
  Put("hold_files", "status-sharing", b);
  HOLD_CONFIG c;
  HoldConfigDefaults(&c, 1024, 768, 22);
  c.usAddrCount = 2;
  c.ulAddr[0] = 0x7F0000FF;
  c.ulAddr[1] = 0x7F0001FF;
  Bytes image{1};
  image.resize(1 + kHoldConfigImageSize);
  HoldConfigToImage(c, std::span<UInt8, kHoldConfigImageSize>(image.data() + 1, kHoldConfigImageSize));
  Put("hold_files", "settings-image", image);
}

// ---- the held-job manager's reply stream (the engine tests' frames) ----

Bytes VfmpFrame(UInt8 code, UInt8 result, const Bytes& records) {
  Bytes f;
  U16(f, records.size() + 2);
  f.push_back(code);
  f.push_back(result);
  f.insert(f.end(), records.begin(), records.end());
  return f;
}

// A selector byte, then reads, each a u16 length and its bytes.
void VfmpStreams() {
  const Bytes list = VfmpFrame(1, 1, {0, 1, 0, 4, 1, 2, 3, 4, 0, 3, 0, 5, 'h', 'e', 'l', 'l', 'o', 0, 0x32, 0, 0});
  const Bytes last = VfmpFrame(1, 0, {0, 8, 0, 4, 0, 0, 0x10, 0, 0, 0x32, 0, 0});
  const Bytes info = VfmpFrame(3, 0, {0, 7, 0, 2, 0, 9});
  Bytes all = list;
  all.insert(all.end(), last.begin(), last.end());
  all.insert(all.end(), info.begin(), info.end());
  for (std::size_t cut : {std::size_t(0), std::size_t(1), std::size_t(3), std::size_t(13), std::size_t(26)}) {
    Bytes b{0};
    U16(b, cut);
    b.insert(b.end(), all.begin(), all.begin() + std::ptrdiff_t(cut));
    U16(b, all.size() - cut);
    b.insert(b.end(), all.begin() + std::ptrdiff_t(cut), all.end());
    Put("vfmp_stream", "cut-at-" + std::to_string(cut), b);
  }
  // A record's value spread over three frames, and a frame too long.
  Bytes spread{0};
  for (const Bytes& f : {VfmpFrame(1, 1, {0, 3, 0, 5, 'h'}), VfmpFrame(1, 1, {'e', 'l'}),
                         VfmpFrame(1, 0, {'l', 'o', 0, 0x32, 0, 0})}) {
    U16(spread, f.size());
    spread.insert(spread.end(), f.begin(), f.end());
  }
  Put("vfmp_stream", "value-over-three-frames", spread);
  Bytes tooLong{0, 0, 4, 0xFF, 0xF0, 1, 1};
  U16(tooLong, info.size());
  tooLong.insert(tooLong.end(), info.begin(), info.end());
  Put("vfmp_stream", "frame-too-long", tooLong);
}

// ---- the held-job engine's records (the engine tests' replies) ------------

Bytes Record(UInt16 tag, const Bytes& value) {
  Bytes r;
  U16(r, tag);
  U16(r, value.size());
  r.insert(r.end(), value.begin(), value.end());
  return r;
}

// A selector byte (kind, short-name limit), then frames with u16 lengths.
void HoldRecords() {
  auto frames = [](UInt8 sel, const std::vector<Bytes>& fs) {
    Bytes b{sel};
    for (const Bytes& f : fs) {
      U16(b, f.size());
      b.insert(b.end(), f.begin(), f.end());
    }
    return b;
  };
  auto cat = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  const Bytes job1 = cat({Record(2, {0, 0, 0, 7}), Record(3, Of("report.2024.txt")), Record(4, Of("alice")),
                          Record(6, {0x07, 0xE8, 3, 14, 9, 30}), Record(8, {0, 0, 6, 0}), Record(0x28, {0, 0, 0, 1}),
                          Record(0x32, {})});
  const Bytes job2 = cat({Record(2, {0, 0, 0, 8}), Record(3, Of("見積書.pdf")), Record(4, Of("山田")),
                          Record(8, {0, 0x20, 0, 0}), Record(0x32, {})});
  const Bytes both = cat({job1, job2});
  // Two jobs, the second cut across two frames.
  Put("hold_records", "held-jobs",
      frames(2 | (20 << 2), {VfmpFrame(1, 1, Bytes(both.begin(), both.end() - 9)),
                             VfmpFrame(1, 0, Bytes(both.end() - 9, both.end()))}));
  const Bytes folders =
      cat({Record(0x28, {0, 0, 0, 1}), Record(0x29, Of("1_Design")), Record(0x2A, {1}), Record(0x2B, {0, 2}),
           Record(0x32, {}), Record(0x28, {0, 0, 0, 2}), Record(0x29, Of("2_管理部")), Record(0x32, {})});
  Put("hold_records", "folders", frames(3 | (16 << 2), {VfmpFrame(1, 0, folders)}));
  const Bytes info = cat({Record(2, {0, 0, 0, 7}), Record(3, Of("plan.prn")), Record(7, {0, 3}), Record(9, {0, 4}),
                          Record(10, {2, 0x58}), Record(14, {1})});
  Put("hold_records", "job-information", frames(0 | (31 << 2), {VfmpFrame(3, 0, info)}));
}

// The preference file: laid out from the settings image (with the version
// resource), and the same file whole.
void HoldPrefs() {
  HOLD_CONFIG c;
  HoldConfigDefaults(&c, 1024, 768, 22);
  Bytes image(kHoldConfigImageSize);
  HoldConfigToImage(c, std::span<UInt8, kHoldConfigImageSize>(image.data(), kHoldConfigImageSize));
  Bytes laid{2};
  U16(laid, image.size());
  laid.insert(laid.end(), image.begin(), image.end());
  laid.push_back(0);
  laid.push_back(3);
  Put("hold_prefs", "laid-out", laid);
  tb::ResourceEntry cnfg, pver;
  cnfg.type = 'CNFG';
  cnfg.id = 128;
  cnfg.data = image;
  pver.type = 'PVER';
  pver.id = 128;
  pver.data = Bytes(256, 0);
  pver.data[1] = 3;
  Bytes file;
  tb::BuildResourceFile({pver, cnfg}, file);
  file.insert(file.begin(), 1);
  Put("hold_prefs", "whole-file", file);
}

// The upload: a selector byte (sizes), then the daemon's actions.
void LprSessions() {
  auto acks = [](Bytes b, int n, UInt8 value = 0) {
    for (int i = 0; i < n; ++i) {
      b.push_back(0);  // send
      b.push_back(1);
      b.push_back(value);
    }
    return b;
  };
  Put("lpr_ack", "one-file", acks({2}, 5));
  Put("lpr_ack", "two-files", acks({3 | 4}, 16));  // the daemon answers each block too
  Bytes refused = acks({1}, 2);
  refused = acks(refused, 1, 1);
  Put("lpr_ack", "refused-data-file", refused);
  Bytes hangUp = acks({2}, 4);
  hangUp.push_back(2);  // reset
  Put("lpr_ack", "reset-before-the-last", hangUp);
  Bytes many = acks({2}, 1);
  many.insert(many.end(), {0, 6, 0, 0, 0, 0, 0, 0, 3});  // six at once, then an orderly close
  Put("lpr_ack", "acks-at-once", many);
}

// The installer's language and message files, from its bundle.
void InstallerMessages() {
  auto read = [](const char* leaf) {
    std::ifstream in(std::string(VEMO_RESOURCES) + "/vemoplexinstall/" + leaf, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
  };
  const Bytes lang = read("Language.INI");
  for (const char* l : {"English", "Japanese"}) {
    Bytes b{UInt8(l[0] == 'J' ? 1 : 0)};
    U16(b, lang.size());
    b.insert(b.end(), lang.begin(), lang.end());
    const std::string option = std::string("-l") + l;
    b.push_back(UInt8(option.size()));
    b.insert(b.end(), option.begin(), option.end());
    const Bytes mess = read((std::string(l) + "/MESSAGE.INI").c_str());
    b.insert(b.end(), mess.begin(), mess.end());
    Put("inst_messages", l, b);
  }
}

// The socket client's search: replies of two boxes, a short one, one of
// another rule, from the box and from a stranger.
void JcpSocketSearch() {
  auto add = [](Bytes& b, const Bytes& d, UInt8 flags = 0) {
    b.push_back(flags);
    U16(b, d.size());
    b.insert(b.end(), d.begin(), d.end());
  };
  auto reply = [](UInt16 rule, std::size_t n) {
    Bytes r(n, 0x41);
    r[0] = 0, r[1] = 2, r[2] = UInt8(rule >> 8), r[3] = UInt8(rule);
    return r;
  };
  Bytes b;
  add(b, reply(38150, 72));
  add(b, reply(38150, 400), 1);
  add(b, reply(38150, 71));
  add(b, reply(1234, 72));
  add(b, Bytes{0, 2});
  Put("jcp_socket_search", "replies", b);
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  root = argv[1];
  Ini();
  SettingsTables();
  ResourceFiles();
  SearchReplies();
  Pictures();
  JcpExchanges();
  BmpFiles();
  NbpReplies();
  FtpReplies();
  AdminConfig();
  AdminPortStatus();
  MonitorReplies();
  MonitorFiles();
  JcpSocketReplies();
  DiscMenuFiles();
  VfmpStreams();
  HoldFiles();
  HoldRecords();
  HoldPrefs();
  LprSessions();
  InstallerMessages();
  JcpSocketSearch();
  return 0;
}
