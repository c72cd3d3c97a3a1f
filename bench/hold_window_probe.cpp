// The held-job manager's transfers as a person runs them, for hold_bench,
// inside the namespace where a real line-printer daemon listens: the real
// VemoHoldManager in its own process (driven by a script that
// clicks the drawn buttons), the emulated box in a process of its own, and
// the reference tools beside them. Rounds alternate ours with the reference
// tool, first on the machine as it is, then with busy processes of the
// probe's own beside it:
//   download: the click on Download (the Save chooser answered), timed to
//     the engine's end of the command (the file in its place), against a
//     plain socket client that sends the same request and writes what comes
//     to a file;
//   upload: the click on Yes of the upload question, timed to the
//     daemon's acknowledgement of the file's end (the program's note of
//     it), against Debian's lpr to the same daemon, timed as its whole
//     process; each upload must then end in the wait for the box to file
//     the job.
// Each load is measured without a display and under an X server of the
// probe's own (Xvfb), as a person's desktop draws the windows; and each of
// those twice, side by side: with the box (the emulated box and the daemon)
// sharing the CPUs as the scheduler places it, and with the box on a CPU of
// its own and everything of the computer (the program, the reference tools,
// the X server, the busy processes) kept off it, as a real box never shares
// the computer's processor.
// The program's moves are read from its "hold" trace and the script's log
// lines, each stamped as it arrives. Every byte of every file is compared:
// the downloads with the job's data, the files the daemon spooled with
// their source.
//
//   hold_window_probe ROUNDS DOWNLOAD_BYTES BURNERS DAEMON_PID SPOOL_DIR FILE...
//
// DAEMON_PID: the line-printer daemon's process (0: it is left where it
// runs). Prints the figures of each condition (median, spread, ratio, load
// average), then all of them in one summary; exits 0 when every run was
// whole.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "hold_program.h"
#include "holdmanager/HoldMainWnd.h"
#include "holdmanager/VFMP.h"
#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/netconfig.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

UInt8 jobByte(UInt32 job, std::size_t i) { return UInt8((i * 7 + job) & 0xFF); }

bool sameAsJob(const std::string& path, UInt32 job, std::size_t size) {
  const std::string got = testsupport::ReadFile(path);
  if (got.size() != size) return false;
  for (std::size_t i = 0; i < size; ++i)
    if (UInt8(got[i]) != jobByte(job, i)) return false;
  return true;
}

// ---- the box, in a process of its own ----------------------------------------

struct Box {
  pid_t pid = -1;
  int control = -1;  // closed: the box stops
  UInt32 addr = 0;
  UInt32 job = 0;
};

// Forked before this process starts a thread: the child runs the emulated
// box until the control pipe closes.
Box startBox(std::size_t downloadBytes) {
  Box b;
  int ready[2], control[2];
  // Closed on exec: the programs started later must not hold the box open.
  if (pipe2(ready, O_CLOEXEC) != 0 || pipe2(control, O_CLOEXEC) != 0) return b;
  b.pid = fork();
  if (b.pid == 0) {
    close(ready[0]);
    close(control[1]);
    // 127.0.0.1: where the line-printer daemon listens, so the program's
    // uploads to the box reach it.
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
      _exit(2);
    }
    const UInt32 said[2] = {emu.BoxAddress(0), job};
    if (write(ready[1], said, sizeof said) != ssize_t(sizeof said)) _exit(2);
    char c;
    while (read(control[0], &c, 1) > 0) {
    }
    emu.Stop();
    _exit(0);
  }
  close(ready[1]);
  close(control[0]);
  UInt32 said[2] = {};
  if (b.pid < 0 || read(ready[0], said, sizeof said) != ssize_t(sizeof said)) b.pid = -1;
  close(ready[0]);
  b.control = control[1];
  b.addr = said[0];
  b.job = said[1];
  return b;
}

// ---- busy processes: the load ----------------------------------------------

std::vector<pid_t> startBurners(int n) {
  std::vector<pid_t> out;
  for (int i = 0; i < n; ++i) {
    pid_t p = fork();
    if (p == 0) {
      volatile unsigned long x = 0;
      for (;;) x = x + 1;
    }
    if (p > 0) out.push_back(p);
  }
  return out;
}

void stopBurners(std::vector<pid_t>& pids) {
  for (pid_t p : pids) kill(p, SIGKILL);
  for (pid_t p : pids) waitpid(p, nullptr, 0);
  pids.clear();
}

// ---- where the processes run -------------------------------------------------

// The CPUs the box may run on (the emulated box, and the line-printer
// daemon that stands in for its own) and those of everything of the
// computer (this probe, so the program and the reference tools it starts,
// the X server and the busy processes).
struct Placement {
  std::string name;
  cpu_set_t box, computer;
};

// Measured side by side: the box sharing the CPUs this probe was given, as
// the scheduler places it; and the box on the last of them alone, everything
// else on the rest, as a real box has a processor of its own and never takes
// the computer's (left out, and said so, with fewer than two CPUs). None,
// said on standard error, when the CPUs cannot be read.
std::vector<Placement> placements() {
  cpu_set_t all;
  CPU_ZERO(&all);
  if (sched_getaffinity(0, sizeof all, &all) != 0) {
    std::fprintf(stderr, "the CPUs this probe may run on are unknown: %s\n", std::strerror(errno));
    return {};
  }
  std::vector<Placement> out{{"box sharing the CPUs", all, all}};
  int last = -1;
  for (int c = 0; c < CPU_SETSIZE; ++c)
    if (CPU_ISSET(c, &all)) last = c;
  if (CPU_COUNT(&all) < 2) {
    std::printf("one CPU only: the box cannot have a CPU of its own, that condition is left out\n");
    return out;
  }
  Placement own{"box on a CPU of its own (CPU " + std::to_string(last) + ")", {}, all};
  CPU_ZERO(&own.box);
  CPU_SET(last, &own.box);
  CPU_CLR(last, &own.computer);
  out.push_back(own);
  return out;
}

// The process and every process descended from it, from /proc.
std::vector<pid_t> withDescendants(pid_t root) {
  std::vector<std::pair<pid_t, pid_t>> parents;  // (process, its parent)
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/proc", ec)) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string stat;
    std::getline(std::ifstream(e.path() / "stat"), stat);
    // The parent follows the state, after the name's closing parenthesis
    // (a name may hold one).
    const std::size_t named = stat.rfind(')');
    int parent = 0;
    if (named != std::string::npos && std::sscanf(stat.c_str() + named + 1, " %*c %d", &parent) == 1)
      parents.push_back({pid_t(std::stoi(name)), pid_t(parent)});
  }
  std::vector<pid_t> tree{root};
  for (std::size_t i = 0; i < tree.size(); ++i)
    for (const auto& [child, parent] : parents)
      if (parent == tree[i]) tree.push_back(child);
  return tree;
}

// Every thread of root and of its descendants onto cpus; threads and
// processes made later take it from the thread that makes them. False, said
// on standard error, when one refused (one that ended meanwhile is no fault).
bool place(pid_t root, const cpu_set_t& cpus) {
  for (pid_t p : withDescendants(root)) {
    std::error_code ec;
    for (const auto& t : fs::directory_iterator("/proc/" + std::to_string(p) + "/task", ec)) {
      const pid_t tid = pid_t(std::stoi(t.path().filename().string()));
      if (sched_setaffinity(tid, sizeof cpus, &cpus) != 0 && errno != ESRCH) {
        std::fprintf(stderr, "thread %d of process %d stays where it was: %s\n", int(tid), int(p),
                     std::strerror(errno));
        return false;
      }
    }
  }
  return true;
}

// ---- the program, in its own process ----------------------------------------

// The program's standard error, line by line, each stamped as it came.
class Program {
 public:
  Program(const fs::path& dir, const std::string& script, const std::string& portMap, const bench::Condition& display)
      : dir_(dir) {
    const std::string scriptPath = (dir / "script.txt").string();
    std::ofstream(scriptPath) << script;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    const std::string exe = std::string(VEMO_SUITE_DEFAULT) + "/VemoHoldManager.app/Contents/MacOS/VemoHoldManager";
    std::vector<std::string> env = {"TOOLBOX_NET=loopback",
                                    "TOOLBOX_TRACE=hold",
                                    "TOOLBOX_PORTMAP=" + portMap,
                                    "TOOLBOX_SCRIPT=" + scriptPath,
                                    "XDG_CONFIG_HOME=" + (dir / "config").string(),
                                    "XDG_CACHE_HOME=" + dir.string(),
                                    "XDG_RUNTIME_DIR=" + (dir / "run").string(),
                                    "HOME=" + dir.string()};
    env.insert(env.end(), display.env.begin(), display.env.end());
    pid_ = bench::SpawnWithEnv(exe, env, fds[1]);
    close(fds[1]);
    reader_ = std::thread([this, fd = fds[0]] {
      std::FILE* in = fdopen(fd, "r");
      char buf[4096];
      while (in && std::fgets(buf, sizeof buf, in)) {
        const auto at = Clock::now();
        std::lock_guard<std::mutex> lock(mu_);
        lines_.push_back({at, buf});
        cv_.notify_all();
      }
      if (in) std::fclose(in);
      std::lock_guard<std::mutex> lock(mu_);
      ended_ = true;
      cv_.notify_all();
    });
  }
  ~Program() {
    if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (reader_.joinable()) reader_.join();
  }
  bool Running() const { return pid_ > 0; }

  // The first line from line number from on that holds text: its stamp
  // and its number (-1 when the program ended or seconds went by first).
  int WaitFor(const std::string& text, int from, Clock::time_point* at, double seconds = 120) {
    std::unique_lock<std::mutex> lock(mu_);
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    for (int i = from;; ++i) {
      while (std::size_t(i) >= lines_.size()) {
        if (ended_ || cv_.wait_until(lock, end) == std::cv_status::timeout) {
          std::fprintf(stderr, "the program never said \"%s\"%s; its last words:\n", text.c_str(),
                       ended_ ? " (it has ended)" : "");
          for (std::size_t k = lines_.size() > 12 ? lines_.size() - 12 : 0; k < lines_.size(); ++k)
            std::fprintf(stderr, "  %s", lines_[k].text.c_str());
          return -1;
        }
      }
      if (lines_[std::size_t(i)].text.find(text) != std::string::npos) {
        if (at) *at = lines_[std::size_t(i)].at;
        return i;
      }
    }
  }
  int Lines() {
    std::lock_guard<std::mutex> lock(mu_);
    return int(lines_.size());
  }
  std::string Text(int from) {
    std::lock_guard<std::mutex> lock(mu_);
    std::string out;
    for (std::size_t i = std::size_t(std::max(from, 0)); i < lines_.size(); ++i) out += lines_[i].text;
    return out;
  }
  // The script's next step may come.
  void Go(const std::string& name) { std::ofstream((dir_ / name).string()) << "go\n"; }
  // Quits by the script's last line; its exit status.
  int Quit() {
    Go("quit");
    int status = -1;
    if (pid_ > 0) waitpid(pid_, &status, 0);
    pid_ = -1;
    if (reader_.joinable()) reader_.join();
    return status;
  }

 private:
  struct Line {
    Clock::time_point at;
    std::string text;
  };
  fs::path dir_;
  pid_t pid_ = -1;
  std::thread reader_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<Line> lines_;
  bool ended_ = false;
};

// The first lines of every script: the window, the box chosen in the
// device pop-up once the search has found it, the list read.
std::string openingLines(const fs::path& dir) {
  const std::string device = std::to_string(kItemDevice);
  // The pop-up is enabled once the search has found the box; it opens by
  // itself 1.5 s after the search began and closes unchosen (nobody
  // presses); the choice is made by mouse after that.
  return "wait-window VemoHoldManager 60000\nwait-item VemoHoldManager " + device +
         " 60000\nsleep 2500\npopup-item VemoHoldManager " + device + " 1\nwait-file " + (dir / "listed").string() +
         " 120000\n";
}

// Waits until the program's engine stands idle after line from: its last
// move (if any) is to "idle" and nothing has moved for a moment.
bool settle(Program& p, int from) {
  const auto end = Clock::now() + std::chrono::seconds(60);
  for (int seen = -1; Clock::now() < end;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string said = p.Text(from);
    const std::size_t last = said.rfind("[hold] command@");
    const int lines = p.Lines();
    if (lines == seen && (last == std::string::npos || said.find("-> idle", last) != std::string::npos)) return true;
    seen = lines;
  }
  std::fprintf(stderr, "the program did not come to rest:\n%s", p.Text(from).c_str());
  return false;
}

// ---- the reference tools -----------------------------------------------------

// One download request, then the reply as it comes, written to the file;
// then its frames' data checked against the job.
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
  const double ms = msBetween(t0, Clock::now());
  close(s);
  if (!closed || got != replyBytes) return -1;
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
  for (int tries = 0; tries < 300 && !(files == 1 && same); ++tries) {
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

// ---- the cases ---------------------------------------------------------------

struct Figures {
  std::vector<double> ours, theirs;
};

// The download: one program for every round; round 0 is untimed (the box
// builds its reply once, the file system has seen both files).
bool downloads(const fs::path& dir, const Box& box, std::size_t size, int rounds, const std::string& portMap,
               const bench::Condition& display, Figures* out) {
  fs::create_directories(dir);
  const std::string dest = (dir / "download.prn").string(), plain = (dir / "plain.bin").string();
  std::string script = openingLines(dir);
  // The job's row (the list's header is 18 pixels high), then each round.
  script += "click-item VemoHoldManager " + std::to_string(kT0List) + " 40 27\nlog SELECTED\n";
  for (int r = 0; r <= rounds; ++r)
    script += "wait-file " + (dir / ("go-" + std::to_string(r))).string() + " 600000\nchooser-answer " + dest +
              "\nlog GO " + std::to_string(r) + "\nclick-item VemoHoldManager " + std::to_string(kT0Download) + "\n";
  script += "wait-file " + (dir / "quit").string() + " 600000\nkey q cmd\n";
  Program p(dir, script, portMap, display);
  if (!p.Running() || p.WaitFor(": refresh -> idle", 0, nullptr) < 0 || !settle(p, 0)) return false;
  p.Go("listed");
  int at = p.WaitFor("script: SELECTED", 0, nullptr);
  if (at < 0 || !settle(p, at)) return false;
  bool whole = true;
  auto ours = [&](int r) {
    fs::remove(dest);
    const int from = p.Lines();
    p.Go("go-" + std::to_string(r));
    Clock::time_point t0, t1;
    const int go = p.WaitFor("script: GO " + std::to_string(r), from, &t0);
    const int end = go < 0 ? -1 : p.WaitFor(": download -> idle", go, &t1);
    if (end < 0 || p.Text(end).find("(ended)") == std::string::npos) return -1.0;
    return sameAsJob(dest, box.job, size) ? msBetween(t0, t1) : -1.0;
  };
  auto theirs = [&] {
    fs::remove(plain);
    return plainDownload(box.addr, box.job, size, plain);
  };
  whole = ours(0) >= 0 && theirs() >= 0;
  for (int r = 1; whole && r <= rounds; ++r)
    whole = bench::AlternateRound(
        r, "download", "the plain read", [&] { return ours(r); }, theirs, out->ours, out->theirs);
  return p.Quit() == 0 && whole;
}

// The upload of one file: one program for every round, round 0 untimed.
bool uploads(const fs::path& dir, const std::string& file, const fs::path& spool, int rounds,
             const std::string& portMap, const bench::Condition& display, Figures* out) {
  fs::create_directories(dir);
  const std::string title = "Upload";  // the upload question's title ([LABEL] STC_UPLOAD_TITLE=)
  std::string script = openingLines(dir);
  // The second tab ("Edit / Upload") by a click on its title in the strip.
  script += "click-window VemoHoldManager 172 48\nlog ON-THE-SECOND-TAB\n";
  for (int r = 0; r <= rounds; ++r) {
    const std::string n = std::to_string(r);
    script += "wait-file " + (dir / ("go-" + n)).string() + " 600000\nchooser-answer " + file +
              "\nclick-item VemoHoldManager " + std::to_string(kT1Select) + "\nclick-item VemoHoldManager " +
              std::to_string(kT1Upload) + "\nwait-window " + title + " 10000\nlog GO " + n + "\nclick-item " + title +
              " 3\n"
              // The wait for the box to file the job is left (this box's
              // daemon is elsewhere: it never files it), which empties the
              // lists until Renew reads them again.
              "wait-file " +
              (dir / ("sent-" + n)).string() + " 600000\nkey Escape\nclick-item VemoHoldManager " +
              std::to_string(kT1Renew) + "\nlog CANCELLED " + n + "\n";
  }
  script += "wait-file " + (dir / "quit").string() + " 600000\nkey q cmd\n";
  Program p(dir, script, portMap, display);
  if (!p.Running() || p.WaitFor(": refresh -> idle", 0, nullptr) < 0 || !settle(p, 0)) return false;
  p.Go("listed");
  const int at = p.WaitFor("script: ON-THE-SECOND-TAB", 0, nullptr);
  if (at < 0 || !settle(p, at)) return false;
  auto ours = [&](int r) {
    const std::string n = std::to_string(r);
    const int from = p.Lines();
    p.Go("go-" + n);
    Clock::time_point t0, t1;
    const int go = p.WaitFor("script: GO " + n, from, &t0);
    // Timed to the daemon's acknowledgement of the file's end, as lpr's
    // own wait ends; the release of the connection follows.
    const int whole = go < 0 ? -1 : p.WaitFor("upload: the daemon has ", go, &t1);
    const int end = whole < 0 ? -1 : p.WaitFor(": upload -> ", whole, nullptr);
    const bool sent = end >= 0 && p.Text(end).find(": upload -> wait") != std::string::npos;
    if (!sent) std::fprintf(stderr, "%s", p.Text(from).c_str());
    p.Go("sent-" + n);
    const int cancelled = p.WaitFor("script: CANCELLED " + n, from, nullptr);
    if (!sent || cancelled < 0 || !settle(p, cancelled)) return -1.0;
    return spooledWhole(spool, file) ? msBetween(t0, t1) : -1.0;
  };
  auto theirs = [&] {
    const double s = bench::SpawnTimed({"lpr", "-Phold_1@127.0.0.1", file});
    return s >= 0 && spooledWhole(spool, file) ? s * 1000 : -1;
  };
  bool whole = ours(0) >= 0 && theirs() >= 0;
  for (int r = 1; whole && r <= rounds; ++r)
    whole = bench::AlternateRound(
        r, "upload " + fs::path(file).filename().string(), "lpr", [&] { return ours(r); }, theirs, out->ours,
        out->theirs);
  return p.Quit() == 0 && whole;
}

// One case's figures under its condition's heading, and its line in the
// summary that closes the run.
void report(const std::string& condition, const std::string& load, const std::string& what, const Figures& f,
            const char* ours, const char* theirs, const char* theirShort, double mib,
            std::vector<std::string>* summary) {
  if (f.ours.empty() || f.theirs.empty()) return;
  const bench::Stats o = bench::StatsOf(f.ours), t = bench::StatsOf(f.theirs);
  for (const auto& [name, s] : {std::pair{ours, o}, std::pair{theirs, t}})
    std::printf("    %-40s median %9.2f ms  spread %9.2f - %9.2f ms  %7.1f MiB/s\n", name, s.median, s.min, s.max,
                mib / (s.median / 1000));
  std::printf("    ratio %s/ours (median): %.2f\n", theirShort, t.median / o.median);
  char line[512];
  std::snprintf(line, sizeof line, "  %-62s %-14s %8.2f (%8.2f - %8.2f)  %-10s %8.2f (%8.2f - %8.2f)  %5.2f  %s",
                condition.c_str(), what.c_str(), o.median, o.min, o.max, theirShort, t.median, t.min, t.max,
                t.median / o.median, load.c_str());
  summary->push_back(line);
}

}  // namespace

int main(int argc, char** argv) {
  bench::Args args(argc, argv, "rounds download-bytes burners daemon-pid spool-dir file...");
  const int rounds = int(args.Number(1, 5, 1, 1000));
  const std::size_t downloadBytes = std::size_t(args.Number(2, 64 << 20, 1, 1L << 31));
  const int burners = int(args.Number(3, 4, 0, 256));
  const pid_t daemon = pid_t(args.Number(4, 0, 0, 1L << 22));
  const fs::path spool = args.Text(5, "");
  const std::vector<std::string> files(argv + std::min(argc, 6), argv + argc);

  testsupport::TempDir dir;
  // Held-job requests go to the emulated box (on a port of this run's
  // own); the line-printer port is left to the real daemon.
  const std::string portMap =
      pboxemu::PrivatePortMap() + "," + std::to_string(kVFMPPort) + ":" + std::to_string(pboxemu::PrivatePort(4));
  setenv("TOOLBOX_NET", "loopback", 1);
  setenv("TOOLBOX_PORTMAP", portMap.c_str(), 1);
  tb::ReloadNetConfig();
  Box box = startBox(downloadBytes);
  if (box.pid < 0) return 2;

  // A person's display (an X server of the benchmark's own) and none.
  bench::Displays displays;
  const std::vector<Placement> where = placements();
  if (where.empty()) return 2;
  std::vector<std::string> summary;
  bool whole = true;
  for (int phase = 0; phase < 2; ++phase) {
    std::vector<pid_t> load;
    if (phase == 1) {
      if (burners == 0) break;
      load = startBurners(burners);
      // The busy processes are running before the first round.
      std::this_thread::sleep_for(std::chrono::seconds(2));
    }
    for (const bench::Condition& display : displays.conditions()) {
      for (const Placement& at : where) {
        // The probe's own descendants first: the box is one of them.
        if (!place(getpid(), at.computer) || !place(box.pid, at.box) || (daemon > 0 && !place(daemon, at.box))) {
          whole = false;
          continue;
        }
        const std::string load0 = bench::LoadAverage();
        const fs::path here = dir.path() / (std::string(phase ? "loaded-" : "quiet-") + display.name + "-" +
                                            std::to_string(&at - where.data()));
        Figures dl;
        std::vector<Figures> up(files.size());
        bool ok = downloads(here / "download", box, downloadBytes, rounds, portMap, display, &dl);
        for (std::size_t i = 0; i < files.size(); ++i)
          ok = uploads(here / ("upload" + std::to_string(i)), files[i], spool, rounds, portMap, display, &up[i]) && ok;
        const std::string load1 = bench::LoadAverage();
        whole = ok && whole;

        const std::string condition =
            std::string(phase ? "under load" : "as is") + ", " + display.name + ", " + at.name;
        std::printf("%s, %s, %s: %s\n", phase ? "UNDER LOAD" : "AS THE MACHINE IS", display.name, at.name.c_str(),
                    phase ? (std::to_string(burners) + " busy processes of the benchmark's own beside it").c_str()
                          : "nothing added");
        std::printf("  load average at the start: %s\n  load average at the end:   %s\n", load0.c_str(), load1.c_str());
        const double dlMiB = double(downloadBytes) / (1 << 20);
        std::printf("  %.0f MiB download (target: ours >= 0.9x the plain read):\n", dlMiB);
        report(condition, load0, std::to_string(int(dlMiB)) + " MiB down", dl, "program: Download clicked to the file",
               "plain socket read written to a file", "plain", dlMiB, &summary);
        for (std::size_t i = 0; i < files.size(); ++i) {
          const double mib = double(fs::file_size(files[i])) / (1 << 20);
          std::printf("  %g MiB upload (target: ours >= 1.0x lpr):\n", mib);
          char what[32];
          std::snprintf(what, sizeof what, "%g MiB up", mib);
          report(condition, load0, what, up[i], "program: Yes clicked to the last ack", "lpr, whole process", "lpr",
                 mib, &summary);
        }
        std::fflush(stdout);
      }
    }
    stopBurners(load);
  }
  close(box.control);
  waitpid(box.pid, nullptr, 0);
  std::printf("SUMMARY: median ms (spread) of ours and of the reference, reference/ours, load average at the start\n");
  for (const std::string& line : summary) std::printf("%s\n", line.c_str());
  std::printf("every byte of every file compared: %s\n", whole ? "all whole" : "A RUN FAILED (see above)");
  return whole ? 0 : 1;
}
