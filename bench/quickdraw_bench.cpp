// Drawing speed: text in glyphs per second, CopyBits of a 1024 x 768 world.
#include <benchmark/benchmark.h>

#include "toolbox/quickdraw.h"

namespace {

// A current 1024 x 768 world for one benchmark.
struct Screen {
  GWorldPtr world = nullptr;
  CGrafPtr saved = nullptr;
  GDHandle dev = nullptr;
  Screen() {
    GetGWorld(&saved, &dev);
    Rect r{0, 0, 768, 1024};
    NewGWorld(&world, 32, &r, nullptr, nullptr, 0);
    SetGWorld(world, nullptr);
  }
  ~Screen() {
    SetGWorld(saved, dev);
    DisposeGWorld(world);
  }
};

void DrawLines(benchmark::State& state, short font, const char* text, Style face) {
  Screen s;
  TextFont(font);
  TextFace(face);
  TextSize(12);
  Str255 line;
  pstr::set(line, sizeof line, text);
  // Characters, not bytes: every glyph is one item.
  std::size_t glyphs = 0;
  for (std::size_t i = 0; i < line[0]; ++i) glyphs += (line[1 + i] & 0xC0) != 0x80;
  int y = 14;
  for (auto _ : state) {
    MoveTo(4, SInt16(y));
    DrawString(line);
    y = y >= 750 ? 14 : y + 16;
  }
  state.SetItemsProcessed(std::int64_t(state.iterations() * glyphs));
  state.counters["glyphs/s"] = benchmark::Counter(double(state.iterations() * glyphs), benchmark::Counter::kIsRate);
}

void BM_DrawStringLatin(benchmark::State& state) {
  DrawLines(state, 3, "The print box on the second floor is ready (IP 192.168.1.20)", normal);
}
void BM_DrawStringLatinBold(benchmark::State& state) {
  DrawLines(state, 3, "The print box on the second floor is ready (IP 192.168.1.20)", bold);
}
void BM_DrawStringJapanese(benchmark::State& state) {
  DrawLines(state, 16384, "プリントボックスの準備ができました。用紙を補給してください。", normal);
}
BENCHMARK(BM_DrawStringLatin);
BENCHMARK(BM_DrawStringLatinBold);
BENCHMARK(BM_DrawStringJapanese);

void BM_StringWidth(benchmark::State& state) {
  Screen s;
  Str255 line;
  pstr::set(line, sizeof line, "The print box on the second floor is ready (IP 192.168.1.20)");
  for (auto _ : state) benchmark::DoNotOptimize(StringWidth(line));
  state.SetItemsProcessed(std::int64_t(state.iterations() * line[0]));
}
BENCHMARK(BM_StringWidth);

// CopyBits of a whole 1024 x 768 world into another: mode, and whether the
// destination is scaled (to 800 x 600).
void BM_CopyBits(benchmark::State& state) {
  const short mode = short(state.range(0));
  const bool scaled = state.range(1) != 0;
  Screen dst;
  GWorldPtr src = nullptr;
  Rect r{0, 0, 768, 1024};
  NewGWorld(&src, 32, &r, nullptr, nullptr, 0);
  {
    CGrafPtr p;
    GDHandle d;
    GetGWorld(&p, &d);
    SetGWorld(src, nullptr);
    RGBColor blue{0, 0, 0xFFFF};
    RGBForeColor(&blue);
    Rect half{0, 0, 768, 512};
    PaintRect(&half);
    SetGWorld(p, d);
  }
  Rect dr = scaled ? Rect{0, 0, 600, 800} : r;
  const BitMap* s = GetPortBitMapForCopyBits(src);
  const BitMap* d = GetPortBitMapForCopyBits(dst.world);
  for (auto _ : state) CopyBits(s, d, &r, &dr, mode, nullptr);
  state.SetItemsProcessed(std::int64_t(state.iterations()) * (dr.right - dr.left) * (dr.bottom - dr.top));
  state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  DisposeGWorld(src);
}
BENCHMARK(BM_CopyBits)
    ->ArgNames({"mode", "scaled"})
    ->Args({srcCopy, 0})
    ->Args({transparent, 0})
    ->Args({srcCopy, 1});

// CopyBits through a mask region with 200 holes (a clipped window).
void BM_CopyBitsMasked(benchmark::State& state) {
  Screen dst;
  GWorldPtr src = nullptr;
  Rect r{0, 0, 768, 1024};
  NewGWorld(&src, 32, &r, nullptr, nullptr, 0);
  RgnHandle mask = NewRgn();
  RgnHandle hole = NewRgn();
  RectRgn(mask, &r);
  for (int i = 0; i < 200; ++i) {
    SetRectRgn(hole, SInt16((i * 37) % 1000), SInt16((i * 53) % 740), SInt16((i * 37) % 1000 + 20),
               SInt16((i * 53) % 740 + 20));
    DiffRgn(mask, hole, mask);
  }
  const BitMap* s = GetPortBitMapForCopyBits(src);
  const BitMap* d = GetPortBitMapForCopyBits(dst.world);
  for (auto _ : state) CopyBits(s, d, &r, &r, srcCopy, mask);
  state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  DisposeRgn(hole);
  DisposeRgn(mask);
  DisposeGWorld(src);
}
BENCHMARK(BM_CopyBitsMasked);

void BM_PaintRectFullWorld(benchmark::State& state) {
  Screen s;
  Rect r{0, 0, 768, 1024};
  for (auto _ : state) PaintRect(&r);
  state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PaintRectFullWorld);

}  // namespace
