// Writes the start menu's pictures (Windows BMP files, 8-bit with a palette
// and 24-bit, bottom-up) into the Resources folder given as the argument:
// the backgrounds, the fixed, main-menu and sub-menu buttons, and each
// language's button in its language folder. A button's corner pixel is the
// colour left out when it is drawn. The pictures are the only thing that
// says what some buttons do, so those carry their words, drawn with the
// toolbox's own fonts.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "toolbox/fonts.h"
#include "toolbox/quickdraw.h"

namespace {

struct RGB {
  std::uint8_t r, g, b;
};
using Painter = std::function<RGB(int x, int y)>;

void put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
  v.push_back(std::uint8_t(x));
  v.push_back(std::uint8_t(x >> 8));
}
void put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
  put16(v, x & 0xFFFF);
  put16(v, x >> 16);
}

// 8-bit files take the painter's colours into a palette of at most 256.
bool writeBMP(const std::filesystem::path& path, int w, int h, int depth, const Painter& paint) {
  std::vector<RGB> palette;
  std::vector<std::uint8_t> index;
  if (depth == 8) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const RGB c = paint(x, y);
        std::size_t i = 0;
        while (i < palette.size() && (palette[i].r != c.r || palette[i].g != c.g || palette[i].b != c.b)) ++i;
        if (i == palette.size()) {
          if (palette.size() == 256) return false;
          palette.push_back(c);
        }
        index.push_back(std::uint8_t(i));
      }
  }
  const int rowBytes = ((w * depth / 8) + 3) & ~3;
  const std::uint32_t paletteBytes = std::uint32_t(palette.size() * 4);
  const std::uint32_t offset = 14 + 40 + paletteBytes;
  std::vector<std::uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  put32(out, offset + std::uint32_t(rowBytes * h));
  put32(out, 0);
  put32(out, offset);
  put32(out, 40);
  put32(out, std::uint32_t(w));
  put32(out, std::uint32_t(h));
  put16(out, 1);
  put16(out, std::uint16_t(depth));
  put32(out, 0);
  put32(out, std::uint32_t(rowBytes * h));
  put32(out, 2835);
  put32(out, 2835);
  put32(out, std::uint32_t(palette.size()));
  put32(out, 0);
  for (const RGB& c : palette) {
    out.push_back(c.b);
    out.push_back(c.g);
    out.push_back(c.r);
    out.push_back(0);
  }
  for (int y = h - 1; y >= 0; --y) {
    std::size_t start = out.size();
    for (int x = 0; x < w; ++x) {
      if (depth == 8) {
        out.push_back(index[std::size_t(y * w + x)]);
      } else {
        const RGB c = paint(x, y);
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
      }
    }
    while (out.size() - start < std::size_t(rowBytes)) out.push_back(0);
  }
  std::filesystem::create_directories(path.parent_path());
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
  return bool(f);
}

Painter gradient(RGB top, RGB bottom, int h) {
  return [=](int, int y) {
    auto mix = [&](std::uint8_t a, std::uint8_t b) { return std::uint8_t(a + (b - a) * y / (h - 1)); };
    return RGB{mix(top.r, bottom.r), mix(top.g, bottom.g), mix(top.b, bottom.b)};
  };
}

// A button: a rounded box of one colour with a lighter rim, on the key colour.
Painter button(int w, int h, RGB fill) {
  const RGB key{255, 0, 255};
  return [=](int x, int y) {
    const int r = 6;
    auto corner = [&](int cx, int cy) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) > r * r; };
    if ((x < r && y < r && corner(r, r)) || (x >= w - r && y < r && corner(w - r - 1, r)) ||
        (x < r && y >= h - r && corner(r, h - r - 1)) || (x >= w - r && y >= h - r && corner(w - r - 1, h - r - 1)))
      return key;
    if (x < 2 || y < 2 || x >= w - 2 || y >= h - 2)
      return RGB{std::uint8_t(std::min(255, fill.r + 60)), std::uint8_t(std::min(255, fill.g + 60)),
                 std::uint8_t(std::min(255, fill.b + 60))};
    return fill;
  };
}

// A white sign in the middle of a fixed button, so each says what it does
// in any language: a cross (quit), an arrow to the left (back).
enum class Sign { kCross, kBack };
Painter withSign(int w, int h, Painter under, Sign sign) {
  return [=](int x, int y) {
    const int dx = x - w / 2, dy = y - h / 2;
    const bool on = sign == Sign::kCross
                        ? std::abs(dx) <= 7 && std::abs(dy) <= 7 && (std::abs(dx - dy) <= 1 || std::abs(dx + dy) <= 1)
                        : dx >= -7 && dx <= 7 && std::abs(dy) <= (dx + 8) / 2 && std::abs(dy) <= 7;
    return on ? RGB{255, 255, 255} : under(x, y);
  };
}

// Words in the middle of a picture, one line each, in bold Geneva of the
// size given (Japanese from the font the toolbox falls back on): their
// coverage, drawn black on white in an offscreen world, blends the colour
// over what lies under, in `levels` steps (so that an 8-bit file keeps to
// its palette).
Painter withWords(int w, int h, Painter under, const std::vector<std::string>& lines, short size, RGB colour,
                  int levels = 256) {
  std::vector<std::uint8_t> cover(std::size_t(w * h), 0);
  tb::OwnedGWorld world(w, h);
  if (world.get()) {
    tb::PortSaver saved(world.get());
    short geneva = 0;
    const unsigned char name[] = "\x06Geneva";
    GetFNum(name, &geneva);
    TextFont(geneva);
    TextFace(bold);
    TextSize(size);
    FontInfo fi;
    GetFontInfo(&fi);
    const int line = fi.ascent + fi.descent;
    int baseline = (h - line * int(lines.size())) / 2 + fi.ascent;
    for (const std::string& text : lines) {
      const short width = TextWidth(text.data(), 0, short(text.size()));
      MoveTo(short((w - width) / 2), short(baseline));
      DrawText(text.data(), 0, short(text.size()));
      baseline += line;
    }
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        std::uint8_t r, g, b;
        tb::UnpackPixel(tb::PortPixel(world.get(), x, y), r, g, b);
        cover[std::size_t(y * w + x)] = std::uint8_t(255 - r);
      }
  }
  return [=](int x, int y) {
    const int step = 255 / std::max(levels - 1, 1);
    const int a = std::min(255, (cover[std::size_t(y * w + x)] + step / 2) / step * step);
    const RGB u = under(x, y);
    auto mix = [&](std::uint8_t from, std::uint8_t to) { return std::uint8_t((from * (255 - a) + to * a) / 255); };
    return RGB{mix(u.r, colour.r), mix(u.g, colour.g), mix(u.b, colour.b)};
  };
}

// A document: a page with its corner folded and lines of text, in the
// colour given, on the key colour.
Painter documentIcon(int w, int h, RGB ink) {
  const RGB key{255, 0, 255}, paper{255, 255, 255};
  return [=](int x, int y) {
    const int left = 5, right = w - 6, top = 2, bottom = h - 3, fold = 8;
    if (x < left || x > right || y < top || y > bottom || x - (right - fold) > y - top) return key;
    const bool edge = x == left || x == right || y == top || y == bottom || x - (right - fold) == y - top ||
                      (x == right - fold && y - top <= fold) || (y == top + fold && x >= right - fold);
    const bool text = x >= left + 4 && x <= right - 4 && y >= top + 12 && y <= bottom - 4 && (y - top) % 4 == 0;
    return edge || text ? ink : paper;
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-menu-pictures RESOURCES-FOLDER\n");
    return 2;
  }
  // Pictures are drawn offscreen: no display is needed or opened.
  setenv("TOOLBOX_HEADLESS", "1", 1);
  const std::filesystem::path res = argv[1];
  const std::filesystem::path pic = res / "pictures";
  const RGB kWhite{255, 255, 255};
  const std::vector<std::string> kEnglish{"English"}, kJapanese{"日本語"}, kLanguages{"English・日本語"};
  struct Item {
    std::filesystem::path path;
    int w, h, depth;
    Painter paint;
  };
  const std::vector<Item> items = {
      {pic / "base.bmp", 640, 440, 24, gradient({10, 30, 90}, {40, 90, 170}, 440)},
      {pic / "cont.bmp", 640, 440, 24, gradient({0, 70, 80}, {20, 140, 140}, 440)},
      {pic / "cont2.bmp", 640, 440, 8, gradient({200, 210, 230}, {240, 240, 250}, 440)},
      {pic / "exit.bmp", 96, 32, 8, withSign(96, 32, button(96, 32, {160, 0, 0}), Sign::kCross)},
      {pic / "exit_s.bmp", 96, 32, 8, withSign(96, 32, button(96, 32, {255, 64, 64}), Sign::kCross)},
      {pic / "back.bmp", 96, 32, 8, withSign(96, 32, button(96, 32, {0, 120, 0}), Sign::kBack)},
      {pic / "back_s.bmp", 96, 32, 8, withSign(96, 32, button(96, 32, {60, 200, 60}), Sign::kBack)},
      // Back to the languages: their names.
      {pic / "lang.bmp", 128, 32, 8, withWords(128, 32, button(128, 32, {170, 90, 0}), kLanguages, 12, kWhite, 16)},
      {pic / "lang_s.bmp", 128, 32, 8,
       withWords(128, 32, button(128, 32, {255, 180, 40}), kLanguages, 12, {60, 30, 0}, 16)},
      {pic / "button.bmp", 220, 48, 24, button(220, 48, {30, 50, 140})},
      // Lit under the mouse, dark enough for the label's yellow.
      {pic / "button_s.bmp", 220, 48, 24, button(220, 48, {30, 90, 210})},
      {pic / "icon.bmp", 32, 32, 8, button(32, 32, {120, 40, 160})},
      {pic / "doc.bmp", 32, 32, 8, documentIcon(32, 32, {90, 90, 90})},
      {pic / "doc_s.bmp", 32, 32, 8, documentIcon(32, 32, {0, 90, 220})},
      // Each language's button names its language, light on dark, and
      // dark on light while the mouse is over it.
      {res / "English/lang_en.bmp", 160, 60, 24,
       withWords(160, 60, button(160, 60, {20, 60, 200}), kEnglish, 20, kWhite)},
      {res / "English/lang_en_s.bmp", 160, 60, 24,
       withWords(160, 60, button(160, 60, {80, 200, 255}), kEnglish, 20, {0, 30, 90})},
      {res / "Japanese/lang_ja.bmp", 160, 60, 24,
       withWords(160, 60, button(160, 60, {190, 20, 40}), kJapanese, 20, kWhite)},
      {res / "Japanese/lang_ja_s.bmp", 160, 60, 24,
       withWords(160, 60, button(160, 60, {255, 130, 160}), kJapanese, 20, {90, 0, 20})},
  };
  for (const Item& item : items)
    if (!writeBMP(item.path, item.w, item.h, item.depth, item.paint)) {
      std::fprintf(stderr, "make-menu-pictures: cannot write %s\n", item.path.c_str());
      return 1;
    }
  return 0;
}
