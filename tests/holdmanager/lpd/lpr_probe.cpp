// Uploads files with the held-job manager's LPR client to 127.0.0.1 (the
// line-printer daemon of the namespace it runs in) and prints each code, the
// local port, and the time taken. With --occupy it first takes every
// reserved port 721-731 it can (the rest are someone else's), so the client
// has to fall back to any port.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "holdmanager/LPR.h"
#include "toolbox/files.h"
#include "toolbox/pump.h"

int main(int argc, char** argv) {
  bool occupy = false;
  int queue = 1;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--occupy"))
      occupy = true;
    else if (!std::strncmp(argv[i], "--queue=", 8))
      queue = std::atoi(argv[i] + 8);
    else
      files.push_back(argv[i]);
  }
  std::vector<int> held;
  std::size_t takenByOthers = 0;
  if (occupy) {
    for (int p = kLPRFirstLocalPort; p <= kLPRLastLocalPort; ++p) {
      int s = socket(AF_INET, SOCK_STREAM, 0);
      // Ports an ended upload left waiting are taken too.
      int one = 1;
      setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(UInt16(p));
      if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(s, 1) == 0) {
        held.push_back(s);
        continue;
      }
      if (errno == EADDRINUSE) ++takenByOthers;  // the daemon's own connections use these ports too
      close(s);
    }
  }
  if (occupy) std::printf("HELD %zu\n", held.size() + takenByOthers);
  if (OT_Init() != kOTNoError) return 2;
  std::vector<FSSpec> specs;
  for (const std::string& f : files) {
    FSSpec fss{};
    if (tb::PathToSpec(f, &fss) != noErr) return 2;
    specs.push_back(fss);
  }
  LPRJobPtr job = LPRMakeJob(specs, queue, 0x7F000001, 60, "probehost", "prober");
  if (!job) return 2;
  auto start = std::chrono::steady_clock::now();
  SInt16 code = 1;
  for (;;) {
    UInt16 before = gLocalPort;
    LPRPrint(job.get(), &code);
    if (gLocalPort != before && job->ep) std::printf("PORT %u\n", unsigned(job->ep->localPort));
    if (code != 1) std::printf("CODE %d\n", code);
    if (code != 1 && code != LPR_NEXT_FILE) break;
    // A step ends when it waits for the network, or at its time.
    tb::Pump(1);
  }
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("TIME %.3f\n", ms);
  job.reset();
  OT_Deinit();
  for (int s : held) close(s);
  return code == LPR_ALL_SENT ? 0 : 1;
}
