// The held-job manager's transfers as a person runs them, for hold_bench:
// the real program (its window, its idle timer under its event loop)
// against an emulated box on loopback whose line-printer port is left to a
// real daemon. Rounds alternate ours with the reference tool:
//   download: the click on Download, the Save chooser answered, timed to
//     the last byte written (the file in its place), against a plain socket
//     client that sends the same request and writes what comes to a file;
//   upload: the click on Yes of the upload question, timed to the
//     daemon's acknowledgement of the last byte, against Debian's lpr to
//     the same daemon, timed as its whole process.
// Every byte of every file is compared: the downloads with the job's data,
// the files the daemon spooled with their source.
//
//   hold_window_probe ROUNDS DOWNLOAD_BYTES [SPOOL_DIR FILE...]
//
// Prints "DL ours|plain <ms>" and "UP <file> ours|lpr <ms>" per run and
// "LOAD <load average>" before each part; exits 0 when every run was whole.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench_util.h"
#include "FanctionLib/CList.h"
#include "hold_program.h"
#include "holdmanager/HoldApp.h"
#include "holdmanager/HoldControls.h"
#include "holdmanager/HoldDialogs.h"
#include "holdmanager/HoldMainWnd.h"
#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/carbonevents.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"
#include "toolbox/navigation.h"
#include "toolbox/testdriver.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// The program's own loop runs until done() holds (looked at after every
// pass, as the loop takes its events and timers), or seconds went by.
std::function<bool()> gDone;
bool runUntil(std::function<bool()> done, double seconds = 60) {
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  gDone = [done = std::move(done), end] { return done() || Clock::now() > end; };
  tb::SetIdleEventSource(+[] {
    if (gDone()) QuitApplicationEventLoop();
    return false;
  });
  RunApplicationEventLoop();
  tb::SetIdleEventSource(nullptr);
  return Clock::now() <= end;
}

MAIN_DLG_DATA* M() { return GetMainDlgData(); }
bool idle() { return M()->eng.current == 0 && !GetPrgDlgPtr(); }

UInt8 jobByte(UInt32 job, std::size_t i) { return UInt8((i * 7 + job) & 0xFF); }

bool sameAsJob(const std::string& path, UInt32 job, std::size_t size) {
  const std::string got = testsupport::ReadFile(path);
  if (got.size() != size) return false;
  for (std::size_t i = 0; i < size; ++i)
    if (UInt8(got[i]) != jobByte(job, i)) return false;
  return true;
}

// The plain client: one download request, then the reply as it comes,
// written to the file; then its frames' data checked against the job.
double plainDownload(UInt32 box, UInt32 job, std::size_t size, const std::string& path) {
  VFMP_PARAM p{};
  for (int i = 0; i < 4; ++i) p.jobId[i] = UInt8(job >> (24 - 8 * i));
  p.folderId[3] = 1;
  std::vector<UInt8> req(64);
  req.resize(std::size_t(VFMPBuildRequest(VFMP_DOWNLOAD, p, req)));
  const std::size_t chunk = 16376 - 4;
  const std::size_t replyBytes = size + (size + chunk - 1) / chunk * 8;
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(tb::MapPort(kVFMPPort));
  a.sin_addr.s_addr = htonl(box);
  static std::vector<char> buf(1 << 20);
  const auto t0 = Clock::now();
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      send(s, req.data(), req.size(), 0) != ssize_t(req.size())) {
    close(s);
    return -1;
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::size_t got = 0;
  while (f && got < replyBytes) {
    ssize_t n = recv(s, buf.data(), buf.size(), 0);
    if (n <= 0) break;
    std::fwrite(buf.data(), 1, std::size_t(n), f);
    got += std::size_t(n);
  }
  const bool closed = f && std::fclose(f) == 0;
  const double ms = msSince(t0);
  close(s);
  if (!closed || got != replyBytes) return -1;
  // The frames' data, every byte.
  const std::string r = testsupport::ReadFile(path);
  std::size_t at = 0, data = 0;
  while (at + 8 <= r.size()) {
    const std::size_t n = std::size_t(UInt8(r[at + 6]) << 8 | UInt8(r[at + 7]));
    for (std::size_t i = 0; i < n; ++i)
      if (at + 8 + i >= r.size() || UInt8(r[at + 8 + i]) != jobByte(job, data + i)) return -1;
    data += n;
    at += 8 + n;
  }
  return data == size ? ms : -1;
}

// The one file the daemon spooled into the queue's folder (looked for a
// while: the daemon files it as the client ends): whether it holds the
// source byte for byte; the queue is emptied.
bool spooledWhole(const fs::path& spool, const std::string& source) {
  int files = 0;
  bool same = false;
  std::error_code ec;
  const std::string want = testsupport::ReadFile(source);
  for (int tries = 0; tries < 200 && !(files == 1 && same); ++tries) {
    if (tries) usleep(10000);
    files = 0;
    for (const auto& e : fs::directory_iterator(spool, ec)) {
      const std::string name = e.path().filename().string();
      if (name.rfind("df", 0) == 0) {
        ++files;
        same = testsupport::ReadFile(e.path()) == want;
      }
    }
  }
  for (const auto& e : fs::directory_iterator(spool, ec)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("df", 0) == 0 || name.rfind("cf", 0) == 0 || name.rfind("hf", 0) == 0) fs::remove(e.path(), ec);
  }
  return files == 1 && same;
}

void clickRow(DialogItemIndex list, int row) {
  const Rect r = ItemRectOf(M()->dialog, list);
  tb::ClickInWindow(GetDialogWindow(M()->dialog), Point{SInt16(r.top + 18 + 18 * row + 9), SInt16(r.left + 40)});
}

double failed(const char* why) {
  std::fprintf(stderr, "%s\n", why);
  return -1;
}

// Ours: the file chosen into the local list, Upload, and the click on Yes
// timed to the end of the upload. The wait for the box to file the job
// that follows (this box files nothing: its daemon is elsewhere) is then
// cancelled, which leaves the lists to the next Renew.

double windowUpload(const std::string& file) {
  tb::AnswerNextChooser({file});
  tb::ClickDialogItem(M()->dialog, kT1Select);
  if (!runUntil([] { return CLGetCount(M()->tab1PCFile) == 1; })) return failed("the file was not listed");
  tb::ClickDialogItem(M()->dialog, kT1Upload);
  if (!runUntil([] { return FrontSubDlg() && FrontSubDlg()->id == kMsgDlgID; })) return failed("Upload asked nothing");
  const auto t0 = Clock::now();
  tb::ClickDialogItem(FrontSubDlg()->dialog, 3);
  // Timed to the daemon's acknowledgement of the last byte (the job
  // whole), looked at after every pass of the loop; the connection's
  // release and the end of the command follow.
  double ms = -1;
  if (!runUntil(
          [&] {
            const LPR_JOB* j = M()->eng.upload.get();
            if (ms < 0 && j && j->fileComplete && j->currentFile + 1 == j->fileCount) ms = msSince(t0);
            const bool ended = !FrontSubDlg() && M()->eng.current != CMD_UPLOAD;
            // An acknowledgement and the release seen in one pass of the
            // loop end the upload together.
            if (ms < 0 && ended && M()->eng.current == CMD_REFRESH) ms = msSince(t0);
            return ended;
          },
          120))
    return failed("the upload did not end");
  if (M()->eng.current != CMD_REFRESH || M()->eng.previous != CMD_UPLOAD) return failed("the upload failed");
  tb::PressNamedKey("Escape");
  if (!runUntil(idle)) return failed("the wait after the upload did not end");
  tb::ClickDialogItem(M()->dialog, kT1Renew);
  if (!runUntil([] { return idle() && M()->eng.folders; })) return failed("Renew did not list the box");
  if (CLGetCount(M()->tab1PCFile) != 0) return failed("the file sent is still listed");
  return ms < 0 ? failed("the last acknowledgement was not seen") : ms;
}

double windowDownload(const std::string& dest, UInt32 job, std::size_t size) {
  fs::remove(dest);
  tb::AnswerNextChooser({dest});
  const auto t0 = Clock::now();
  tb::ClickDialogItem(M()->dialog, kT0Download);
  if (!runUntil([&] { return fs::exists(dest) && idle(); }, 120)) return -1;
  const double ms = msSince(t0);
  return sameAsJob(dest, job, size) ? ms : -1;
}

}  // namespace

int main(int argc, char** argv) {
  bench::Args args(argc, argv, "rounds download-bytes [spool-dir file...]");
  const int rounds = int(args.Number(1, 5, 1, 1000));
  const std::size_t downloadBytes = std::size_t(args.Number(2, 64 << 20, 1, 1L << 31));
  const std::string spool = args.Text(3, "");
  std::vector<std::string> uploads(argv + std::min(argc, 4), argv + argc);

  testsupport::TempDir dir;
  // Held-job requests go to the emulated box (on a port of this run's
  // own); the line-printer port is left alone, for the real daemon.
  if (!bench::OpenHoldProgram(dir.path(), pboxemu::PrivatePortMap() + "," + std::to_string(kVFMPPort) + ":" +
                                              std::to_string(pboxemu::PrivatePort(4))))
    return 2;
  pboxemu::Emulator emu(0x7F000001);
  pboxemu::HoldServer& h = bench::AddHoldBox(emu, "1_Bench", false);
  pboxemu::HeldJob big;
  big.folder = 1;
  big.name = "big.prn";
  big.owner = "bench";
  big.size = UInt32(downloadBytes);
  big.thumbnails = false;
  const UInt32 job = h.AddJob(0, big);
  std::string err;
  if (!emu.Start(&err)) {
    std::fprintf(stderr, "emulator: %s\n", err.c_str());
    return 2;
  }

  // The program as it runs: its window, its idle timer; the box chosen in
  // the pop-up that opens by itself, its job selected.
  if (HoldStartup() != 1 || HoldInstallIdleTimer() != 1) return 2;
  ControlRef pop = GetItemControl(M()->dialog, kItemDevice);
  if (!runUntil([&] { return CountMenuItems(GetControlPopupMenuHandle(pop)) == 1; })) return 2;
  Rect item;
  tb::PopupItemRect(pop, 1, &item);
  tb::MouseUpAt(Point{SInt16((item.top + item.bottom) / 2), SInt16((item.left + item.right) / 2)});
  if (!runUntil([] { return M()->deviceAddr && idle() && CLGetCount(M()->tab0File) == 1; })) return 2;
  clickRow(kT0List, 0);
  if (!runUntil([] { return idle() && IsControlActive(GetItemControl(M()->dialog, kT0Download)); })) return 2;

  bool whole = true;
  const std::string ours = (dir.path() / "download.prn").string(), plain = (dir.path() / "plain.bin").string();
  // One untimed run of each first: the box builds its reply once, and the
  // file system has seen both files.
  whole =
      windowDownload(ours, job, downloadBytes) >= 0 && plainDownload(emu.BoxAddress(0), job, downloadBytes, plain) >= 0;
  std::printf("LOAD %s\n", bench::LoadAverage().c_str());
  for (int r = 0; r < rounds; ++r) {
    std::vector<double> o, p;
    whole = bench::AlternateRound(
                r, "download", "the plain read", [&] { return windowDownload(ours, job, downloadBytes); },
                [&] {
                  fs::remove(plain);
                  return plainDownload(emu.BoxAddress(0), job, downloadBytes, plain);
                },
                o, p) &&
            whole;
    if (!o.empty()) std::printf("DL ours %.3f\n", o.back());
    if (!p.empty()) std::printf("DL plain %.3f\n", p.back());
    std::fflush(stdout);
  }

  if (!uploads.empty()) {
    ChangeTabPage(M()->dialog, 1, 2);
    if (!runUntil(idle)) return 2;
    std::printf("LOAD %s\n", bench::LoadAverage().c_str());
  }
  for (const std::string& file : uploads) {
    const std::string tag = fs::path(file).filename().string();
    whole = windowUpload(file) >= 0 && spooledWhole(spool, file) && whole;
    for (int r = 0; r < rounds; ++r) {
      std::vector<double> o, l;
      whole = bench::AlternateRound(
                  r, "upload " + tag, "lpr",
                  [&] {
                    const double ms = windowUpload(file);
                    return ms >= 0 && spooledWhole(spool, file) ? ms : -1;
                  },
                  [&] {
                    const double s = bench::SpawnTimed({"lpr", "-Phold_1@127.0.0.1", file});
                    return s >= 0 && spooledWhole(spool, file) ? s * 1000 : -1;
                  },
                  o, l) &&
              whole;
      if (!o.empty()) std::printf("UP %s ours %.3f\n", tag.c_str(), o.back());
      if (!l.empty()) std::printf("UP %s lpr %.3f\n", tag.c_str(), l.back());
      std::fflush(stdout);
    }
  }
  QuitHoldManager();
  HoldShutdown();
  emu.Stop();
  return whole ? 0 : 1;
}
