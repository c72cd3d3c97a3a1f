// Typing 10,000 characters into a multi-line text-engine field that wraps
// (target: under 1 ms per keystroke, redraw included, at 10,000
// characters), against the classic TextEdit record typing the same text in
// the same view, alternating round by round. Prints the load average with
// the figures; checks that both hold exactly the text typed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench_util.h"
#include "toolbox/display.h"
#include "toolbox/events.h"
#include "toolbox/textedit.h"
#include "toolbox/textengine.h"
#include "toolbox/windows.h"

namespace {

constexpr int kChars = 10000;
constexpr int kTail = 1000;  // keystrokes timed at the end: 9,000 to 10,000 characters
constexpr int kRounds = 5;
// Also timed: keystrokes 1,000 to 2,000, to show the cost does not grow
// with the text.
constexpr int kEarlyFrom = 1000;

// The text: words of Latin and now and then Japanese, as characters.
std::vector<std::string> textToType() {
  const char* words[] = {"print ", "box ", "held ", "jobs ", "queue ", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E ",
                         "administrator ", "mail ", "\xE5\x8D\xB0\xE5\x88\xB7", "form "};
  std::vector<std::string> chars;
  for (int w = 0; int(chars.size()) < kChars; ++w) {
    std::string word = words[(w * 7) % std::size(words)];
    for (std::size_t i = 0; i < word.size() && int(chars.size()) < kChars;) {
      const unsigned char c = static_cast<unsigned char>(word[i]);
      const std::size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
      chars.push_back(word.substr(i, n));
      i += n;
    }
  }
  return chars;
}

using Clock = std::chrono::steady_clock;

double micros(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::micro>(b - a).count();
}

// Per-keystroke times (µs) of the last kTail characters; the text typed.
std::vector<double> typeEngine(WindowRef w, const std::vector<std::string>& chars, std::string* out,
                               std::vector<double>* early) {
  Rect frame{10, 10, 410, 426};
  TXNObject o = nullptr;
  TXNNewObject(nullptr, w, &frame, kTXNWantVScrollBarMask | kTXNWantHScrollBarMask, kTXNTextEditStyleFrameType,
               kTXNTextensionFile, kTXNSystemDefaultEncoding, &o, nullptr, nullptr);
  TXNActivate(o, 0, kScrollBarsAlwaysActive);
  TXNFocus(o, true);
  std::vector<double> times;
  for (int i = 0; i < kChars; ++i) {
    const auto t0 = Clock::now();
    for (char c : chars[std::size_t(i)]) {
      EventRecord e{keyDown, static_cast<unsigned char>(c), 0, {0, 0}, 0};
      TXNKeyDown(o, &e);
    }
    const auto t1 = Clock::now();
    if (i >= kChars - kTail) times.push_back(micros(t0, t1));
    if (i >= kEarlyFrom && i < kEarlyFrom + kTail) early->push_back(micros(t0, t1));
  }
  *out = tb::TXNText(o);
  TXNDeleteObject(o);
  return times;
}

std::vector<double> typeTextEdit(WindowRef w, const std::vector<std::string>& chars, std::string* out,
                                 std::vector<double>* early) {
  SetPortWindowPort(w);
  Rect view{10, 10, 410, 410};
  TEHandle te = TENew(&view, &view);
  TEFeatureFlag(teFAutoScroll, teBitSet, te);
  TEActivate(te);
  std::vector<double> times;
  for (int i = 0; i < kChars; ++i) {
    const auto t0 = Clock::now();
    for (char c : chars[std::size_t(i)]) TEKey(static_cast<unsigned char>(c), te);
    const auto t1 = Clock::now();
    if (i >= kChars - kTail) times.push_back(micros(t0, t1));
    if (i >= kEarlyFrom && i < kEarlyFrom + kTail) early->push_back(micros(t0, t1));
  }
  out->assign(*(**te).hText, std::size_t((**te).teLength));
  TEDispose(te);
  return times;
}

double quantile(std::vector<double> v, double q) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, std::size_t(q * double(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  bench::Args(argc, argv, "(no arguments)").End(0);
  setenv("TOOLBOX_HEADLESS", "1", 1);
  tb::InitDisplay();
  Rect bounds{60, 60, 500, 500};
  WindowRef w = NewCWindow(nullptr, &bounds, reinterpret_cast<const unsigned char*>("\x05" "Bench"), true,
                           documentProc, kFirstWindowOfClass, false, 0);
  const std::vector<std::string> chars = textToType();
  std::string expected;
  for (const auto& c : chars) expected += c;

  std::printf("load average before: %s\n", bench::LoadAverage().c_str());
  std::vector<double> engine, textedit, engineMedians, teMedians, engineEarly, teEarly;
  for (int round = 0; round < kRounds; ++round) {
    std::string a, b;
    auto e = typeEngine(w, chars, &a, &engineEarly);
    auto t = typeTextEdit(w, chars, &b, &teEarly);
    if (a != expected || b != expected) {
      std::fprintf(stderr, "round %d: text typed differs (engine %zu bytes, TextEdit %zu, expected %zu)\n", round,
                   a.size(), b.size(), expected.size());
      return 1;
    }
    engineMedians.push_back(quantile(e, 0.5));
    teMedians.push_back(quantile(t, 0.5));
    engine.insert(engine.end(), e.begin(), e.end());
    textedit.insert(textedit.end(), t.begin(), t.end());
    std::printf("round %d: engine median %.1f us, TextEdit median %.1f us per keystroke\n", round,
                engineMedians.back(), teMedians.back());
  }
  auto report = [](const char* name, const std::vector<double>& all, const std::vector<double>& medians) {
    std::printf("%-9s per keystroke at 9,000-10,000 characters: median %.1f us, p10 %.1f, p90 %.1f, p99 %.1f us; "
                "round medians %.1f-%.1f us\n",
                name, quantile(all, 0.5), quantile(all, 0.1), quantile(all, 0.9), quantile(all, 0.99),
                *std::min_element(medians.begin(), medians.end()), *std::max_element(medians.begin(), medians.end()));
  };
  report("engine", engine, engineMedians);
  report("TextEdit", textedit, teMedians);
  std::printf("at 1,000-2,000 characters: engine median %.1f us, TextEdit median %.1f us\n", quantile(engineEarly, 0.5),
              quantile(teEarly, 0.5));
  std::printf("text typed: %d characters, %zu bytes, read back byte for byte each round\n", kChars, expected.size());
  std::printf("load average after: %s\n", bench::LoadAverage().c_str());
  DisposeWindow(w);
  return 0;
}
