// Pieces every benchmark program shares: the figures' summary and the
// starting of other programs (the reference tools, our own executables).
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "load_average.h"

extern char** environ;

namespace bench {

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

// Starts path with this environment plus extra ("NAME=value"), its
// standard error on errFd when that is not -1; its pid (-1 on failure).
inline pid_t SpawnWithEnv(const std::string& path, const std::vector<std::string>& extra, int errFd) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
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

}  // namespace bench
