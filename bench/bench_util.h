// Pieces every benchmark program shares: the figures' summary, the
// starting of other programs (the reference tools, our own executables),
// test data and the alternation of ours with a reference tool.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "load_average.h"

extern char** environ;

namespace bench {

// The positional arguments of a timing program, each optional from the
// right. Whatever is not what its place takes (a word where a number goes,
// a number out of its range, one argument too many, "--help") prints the
// usage line and ends the program with status 2 before anything is run: a
// run that measured nothing must never read as a result.
class Args {
 public:
  // usage: the arguments as the usage line names them ("[rounds] [disc]").
  Args(int argc, char** argv, std::string usage) : argc_(argc), argv_(argv), usage_(std::move(usage)) {}

  // Argument i (from 1): a whole number in [lo, hi], or fallback when absent.
  long Number(int i, long fallback, long lo, long hi) {
    const char* text = at(i);
    if (!text) return fallback;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end || errno || v < lo || v > hi) Fail(text, lo, hi);
    return v;
  }
  // Argument i: a number in [lo, hi], or fallback when absent.
  double Real(int i, double fallback, double lo, double hi) {
    const char* text = at(i);
    if (!text) return fallback;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end || !(v >= lo && v <= hi)) Fail(text, lo, hi);
    return v;
  }
  // Argument i as it stands (a path), or fallback when absent.
  std::string Text(int i, std::string fallback) {
    const char* text = at(i);
    return text ? std::string(text) : fallback;
  }
  // After the last argument read: any further one is refused.
  void End(int count) {
    if (argc_ > count + 1) Usage(std::string("one argument too many: \"") + argv_[count + 1] + "\"");
  }

  [[noreturn]] void Usage(const std::string& why) const {
    std::fprintf(stderr, "%s: %s; nothing was measured\nusage: %s %s\n", name(), why.c_str(), name(), usage_.c_str());
    std::exit(2);
  }

 private:
  const char* at(int i) const {
    if (i >= argc_) return nullptr;
    const std::string a = argv_[i];
    if (a == "--help" || a == "-h") Usage("asked for help");
    return argv_[i];
  }
  static std::string shown(long v) { return std::to_string(v); }
  static std::string shown(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", v);
    return b;
  }
  template <class T>
  [[noreturn]] void Fail(const char* text, T lo, T hi) const {
    Usage(std::string("\"") + text + "\" is not a number from " + shown(lo) + " to " + shown(hi));
  }
  const char* name() const { return argc_ > 0 ? argv_[0] : "benchmark"; }

  int argc_;
  char** argv_;
  std::string usage_;
};

struct Stats {
  double median, min, max;
};

// Median (the mean of the middle two for an even count) and spread.
inline Stats StatsOf(std::vector<double> v) {
  if (v.empty()) return {0, 0, 0};
  std::sort(v.begin(), v.end());
  std::size_t n = v.size();
  double med = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  return Stats{med, v.front(), v.back()};
}

// Runs args (found on PATH) to its end with its output discarded: the
// seconds it took, or -1 when it could not start or did not succeed.
inline double SpawnTimed(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  int status = -1;
  bool ok = posix_spawnp(&pid, argv[0], &quiet, nullptr, argv.data(), environ) == 0 &&
            waitpid(pid, &status, 0) == pid && status == 0;
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  posix_spawn_file_actions_destroy(&quiet);
  return ok ? secs : -1;
}

// Starts path with this environment and extra ("NAME=value", each in place
// of a variable of that name), its standard error on errFd when that is
// not -1; its pid (-1 on failure).
inline pid_t SpawnWithEnv(const std::string& path, const std::vector<std::string>& extra, int errFd) {
  std::vector<std::string> env;
  const auto named = [&](const std::string& e) {
    const std::string name = e.substr(0, e.find('=') + 1);
    for (const auto& x : extra)
      if (x.compare(0, name.size(), name) == 0) return true;
    return false;
  };
  for (char** e = environ; *e; ++e)
    if (!named(*e)) env.emplace_back(*e);
  for (const auto& x : extra) env.push_back(x);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (errFd >= 0) posix_spawn_file_actions_adddup2(&fa, errFd, 2);
  char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, path.c_str(), &fa, nullptr, argv, envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  return pid;
}

// n bytes of the pseudo-random sequence of the seed: the same bytes every
// run.
inline std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = char(rng());
  return s;
}

// One round of a case: ours and the reference tool once each, their
// seconds appended to their lists. The order swaps every round, so neither
// always runs on a cache the other warmed. False, with the case on
// standard error, when one failed (a negative time).
template <class Ours, class Theirs>
bool AlternateRound(int round, const std::string& title, const std::string& theirName, Ours&& ours, Theirs&& theirs,
                    std::vector<double>& oursTimes, std::vector<double>& theirTimes) {
  for (int k = 0; k < 2; ++k) {
    const bool oursNow = (k == 0) == (round % 2 == 0);
    const double t = oursNow ? ours() : theirs();
    if (t < 0) {
      std::fprintf(stderr, "%s: %s failed or delivered different bytes\n", title.c_str(),
                   oursNow ? "ours" : theirName.c_str());
      return false;
    }
    (oursNow ? oursTimes : theirTimes).push_back(t);
  }
  return true;
}

// The displays an idle benchmark runs its programs under: headless, and an
// Xvfb of its own on a display it chooses, when one starts (it is stopped
// with this).
struct Condition {
  const char* name;
  std::vector<std::string> env;  // "NAME=value" added to the program's
};
class Displays {
 public:
  Displays() {
    conditions_.push_back({"headless", {"TOOLBOX_HEADLESS=1", "DISPLAY="}});
    int fds[2];
    if (pipe(fds) != 0) return;
    std::vector<std::string> xa{"Xvfb",      "-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24",
                                "-nolisten", "tcp"};
    std::vector<char*> av;
    for (auto& a : xa) av.push_back(a.data());
    av.push_back(nullptr);
    if (posix_spawnp(&xvfb_, "Xvfb", nullptr, nullptr, av.data(), environ) != 0) xvfb_ = -1;
    close(fds[1]);
    char num[32] = {0};
    if (xvfb_ > 0 && read(fds[0], num, sizeof num - 1) > 0)
      conditions_.push_back({"Xvfb", {"TOOLBOX_HEADLESS=", "DISPLAY=:" + std::string(num, std::strcspn(num, "\n"))}});
    close(fds[0]);
    if (conditions_.size() == 1) std::printf("Xvfb could not be started: the X11 runs are left out\n");
  }
  ~Displays() {
    if (xvfb_ <= 0) return;
    kill(xvfb_, SIGTERM);
    waitpid(xvfb_, nullptr, 0);
  }
  Displays(const Displays&) = delete;
  Displays& operator=(const Displays&) = delete;
  const std::vector<Condition>& conditions() const { return conditions_; }

 private:
  pid_t xvfb_ = -1;
  std::vector<Condition> conditions_;
};

}  // namespace bench
