// A real line-printer daemon for the upload tests and benchmark: LPRng's
// lpd from Debian's packages, run in a private mount and network namespace
// of its own (its loopback only), with queues hold_1..hold_N that keep the
// jobs they receive (printing stopped) so the files can be compared. The
// configuration, spool and run folders are mounted over the system's inside
// the namespace only; nothing of the machine's set-up is read or changed.
#pragma once

#include <string>

namespace holdtest {

struct LpdRun {
  bool ran = false;
  std::string why;     // when it could not run
  std::string output;  // what the commands printed
};

// Runs shell commands next to the daemon (inside the namespace, where the
// daemon listens on 127.0.0.1:515; $LPD holds its process id), then prints every spooled file of each
// queue as "FILE <queue> <name> <size>" and, for control files, their lines
// as "LINE <queue> <text>". dir: an empty folder of the caller's.
LpdRun RunWithLpd(const std::string& dir, int queues, const std::string& commands, int timeoutSeconds = 120);

}  // namespace holdtest
