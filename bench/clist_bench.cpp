// The list control at its limit of 910 rows: filling it, sorting it by
// each column kind, and redrawing it whole (header, rows with icons, bars).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "FanctionLib/CList.h"
#include "toolbox/memory.h"
#include "toolbox/pictures.h"
#include "toolbox/resources.h"

namespace {

std::vector<UInt8> SolidPng(int w, int h, UInt32 px) {
  std::vector<UInt32> pixels(std::size_t(w * h), px);
  return tb::EncodePNG(pixels.data(), w * 4, w, h);
}

// Header pictures 128-134 and icons 200-201 as the program's resources.
void InstallResources() {
  static bool done = false;
  if (done) return;
  done = true;
  std::vector<tb::ResourceEntry> e;
  auto add = [&](ResType type, SInt16 id, std::optional<std::vector<UInt8>> data) {
    tb::ResourceEntry r;
    r.type = type;
    r.id = id;
    r.data = *data;
    e.push_back(r);
  };
  for (SInt16 id = 128; id <= 130; ++id) add('PICT', id, tb::MakePictData(SolidPng(14, 16, tb::PackPixel(0xD0, 0xD0, UInt8(id)))));
  for (SInt16 id = 131; id <= 134; ++id) add('PICT', id, tb::MakePictData(SolidPng(9, 7, tb::PackPixel(0xC0, 0x20, 0x20))));
  add('cicn', 200, tb::MakeCIconData(SolidPng(16, 16, tb::PackPixel(0xE0, 0x10, 0x10))));
  add('cicn', 201, tb::MakeCIconData(SolidPng(16, 16, tb::PackPixel(0x10, 0xB0, 0x10))));
  std::vector<UInt8> image;
  tb::BuildResourceFile(e, image);
  const auto path = std::filesystem::temp_directory_path() / ("clist_bench_" + std::to_string(getpid()) + ".rsrc");
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(image.data(), 1, image.size(), f);
    std::fclose(f);
  }
  tb::OpenApplicationResources(path.string());
  std::filesystem::remove(path);  // the file stays open
}

const unsigned char* P(const std::string& s, Str255 buf) {
  pstr::set(buf, 256, s);
  return buf;
}

// The texts of one row in each column kind.
std::vector<std::string> RowTexts(int i) {
  const char* units[] = {" Byte", " KB", " MB", " GB"};
  char size[32], date[40];
  std::snprintf(size, sizeof size, "%d.%d%s", (i * 37) % 1000, i % 10, units[i % 4]);
  std::snprintf(date, sizeof date, "%d/%d/%d %d:%02d %s", 1 + i % 12, 1 + (i * 7) % 28, 1998 + i % 10, 1 + i % 12,
                (i * 13) % 60, i % 2 ? "PM" : "AM");
  return {"Print box " + std::to_string((i * 7919) % 10007), std::to_string((i * 104729) % 65536), size, date};
}

// A dialog-sized window with a full list in it.
struct FullList {
  WindowRef window = nullptr;
  CLIST_DATA* list = nullptr;
  std::vector<int> order;

  FullList() {
    InstallResources();
    Rect bounds{60, 60, 560, 760};
    window = NewCWindow(nullptr, &bounds, reinterpret_cast<const unsigned char*>("\x05" "Bench"), true, documentProc,
                        kFirstWindowOfClass, true, 0);
    Rect r{20, 20, 420, 660};
    list = CLNew(window, &r, Point{18, 640}, true, true, false);
    CLSetHeaderPictID(list, 128, 129, 130);
    CLSetHeaderSortPictID(list, 131, 132, 133, 134);
    Str255 b;
    CLAddColumn(list, P("Name", b), 200, kCLSortText);
    CLAddColumn(list, P("Number", b), 100, SInt16(kCLSortInteger | kCLAlignRight));
    CLAddColumn(list, P("Size", b), 120, kCLSortFileSize);
    CLAddColumn(list, P("Date", b), 200, kCLSortDate);
    for (int i = 0; i < 910; ++i) order.push_back(i);
    fill();
  }
  ~FullList() {
    CLDispose(list);
    DisposeWindow(window);
  }
  // Every row set from order; the icons alternate.
  void fill() {
    Str255 b;
    for (int r = 0; r < 910; ++r) {
      const auto texts = RowTexts(order[std::size_t(r)]);
      for (int c = 0; c < 4; ++c) CLSetCellOne(list, Cell{SInt16(r), SInt16(c)}, P(texts[std::size_t(c)], b));
      CLSetCIconData(list, SInt16(200 + r % 2), SInt16(r), 16, 16);
    }
  }
};

void BM_FillToTheLimit(benchmark::State& state) {
  FullList f;
  for (auto _ : state) {
    CLDelRow(f.list, 0, 0);
    f.fill();
  }
  if (CLGetCount(f.list) != 910) state.SkipWithError("the list is not full");
  state.SetItemsProcessed(std::int64_t(state.iterations()) * 910);
}
BENCHMARK(BM_FillToTheLimit)->Unit(benchmark::kMillisecond);

// Sorts the full list by one column from a shuffled order each time.
void BM_Sort(benchmark::State& state) {
  FullList f;
  const SInt16 column = SInt16(state.range(0));
  std::mt19937 rng(42);
  for (auto _ : state) {
    state.PauseTiming();
    std::shuffle(f.order.begin(), f.order.end(), rng);
    f.fill();
    state.ResumeTiming();
    CLSort(f.list, column, 0);
  }
  state.SetLabel(column == 0 ? "text" : column == 1 ? "integer" : column == 2 ? "file size" : "date");
}
BENCHMARK(BM_Sort)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

// A whole redraw: header, the rows in view with icons and a selection, the
// bars and the frame.
void BM_FullRedraw(benchmark::State& state) {
  FullList f;
  CLSort(f.list, 3, 0);
  CLSetSelect(f.list, Cell{3, 0}, true, false);
  CLSetScrollValue(f.list, 0, SInt16(state.range(0)));
  for (auto _ : state) CLUpdate(f.list, nullptr, 1);
}
BENCHMARK(BM_FullRedraw)->Arg(0)->Arg(450)->Unit(benchmark::kMillisecond);

}  // namespace
