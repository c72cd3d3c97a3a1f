// pbox-emu: runs simulated print boxes on loopback until interrupted, for
// the demo and for trying the programs by hand. `pbox-emu --help` tells
// every option and the scene format; kHelp below is that text.
#include <arpa/inet.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pboxemu/emulator.h"
#include "toolbox/netconfig.h"

namespace {

constexpr char kUsage[] =
    "usage: pbox-emu [--count N] [--model M] [--old K] [--busy-after-save N] [--scene FILE] [--base ADDRESS]\n"
    "                [--zone NAME] [--ftp DIR] [--hold] [--private-ports]\n";

constexpr char kHelp[] =
    "Runs simulated print boxes on loopback (127.0.0.0/8) until it is interrupted (Ctrl+C or SIGTERM).\n"
    "Each box has an address of its own, answers the search and the commands of the programs, and the\n"
    "status monitor's requests.\n"
    "\n"
    "Options:\n"
    "  --count N            N boxes (1 to 254; default 4), when no scene is given\n"
    "  --model M            their model: A, B, C, D, E or foreign (default C)\n"
    "  --old K              the last K of them are of the old version (search and commands on UDP port 9)\n"
    "  --busy-after-save N  each box answers N polls busy after it saved its settings (-1: for ever)\n"
    "  --scene FILE         the boxes FILE describes (format below), in place of --count, --model, --old\n"
    "  --base ADDRESS       the first box's address (default 127.0.0.10); the others follow it\n"
    "  --zone NAME          the boxes are also AppleTalk nodes in zone NAME (\"*\": the configuration's own)\n"
    "  --ftp DIR            the boxes take files over FTP; at exit each is left in DIR as box<N>-<name>\n"
    "                       (\".part\" when the transfer did not end in order)\n"
    "  --hold               every box holds jobs, as the scene word hold gives one box\n"
    "  --private-ports      take free ports of its own for every service, in place of TOOLBOX_PORTMAP\n"
    "  --help               this text\n"
    "\n"
    "Ports: a box serves the well-known ports (UDP 19541 or 9, FTP 21 and 20, held jobs TCP 2249, line\n"
    "printer TCP 515) through the port map TOOLBOX_PORTMAP (\"9:30009,19541:30041\"), so no root is needed.\n"
    "Once the boxes answer, the last line printed is TOOLBOX_PORTMAP=<map>: start the programs with that\n"
    "map, and with TOOLBOX_NET=loopback, to reach these boxes and nothing else.\n"
    "\n"
    "Scene file: one box a line; \"#\" starts a comment.\n"
    "  box MODEL \"NAME\" [STATUS] [old] [noaddress] [ports=N] [printer=STATE] [hold]\n"
    "  MODEL          A, B, C, D, E or foreign (a make the programs must not list)\n"
    "  NAME           the box's name, at most 31 bytes; quoted when it holds blanks\n"
    "  STATUS         the device status the administration program shows (0 to 30; default 0)\n"
    "  old            the old version: search and commands on UDP port 9\n"
    "  noaddress      the box reports no IP address until one is set\n"
    "  ports=N        printer ports, 1 to 9 (default: the model's)\n"
    "  printer=STATE  what the status monitor sees: ready, printing, paperout, tonerlow, coveropen,\n"
    "                 sleeping or lost (no answer)\n"
    "  hold           the box holds jobs: it tells the held-job manager so (unless of model A or\n"
    "                 foreign), serves its held-job requests on TCP 2249 with the sample folders\n"
    "                 \"1_Design\" and \"2_Sales\" and their jobs (with pages and thumbnails, one named in\n"
    "                 the Japanese system encoding), and takes uploads over the line-printer protocol on\n"
    "                 TCP 515 into a folder (queue hold_N: the N-th folder by name)\n";

volatile sig_atomic_t gStop = 0;
void onSignal(int) { gStop = 1; }

int usage() {
  std::fprintf(stderr, "%spbox-emu --help tells more.\n", kUsage);
  return 2;
}

bool number(const char* s, long lo, long hi, long& out) {
  char* end = nullptr;
  long v = std::strtol(s, &end, 10);
  if (!*s || *end || v < lo || v > hi) return false;
  out = v;
  return true;
}

// Reads one word, or a double-quoted text, from the line.
bool nextWord(std::istringstream& in, std::string& out) {
  in >> std::ws;
  if (in.peek() == '"') {
    in.get();
    std::getline(in, out, '"');
    return true;
  }
  return static_cast<bool>(in >> out);
}

struct SceneBox {
  pboxemu::BoxSpec spec;
  bool hold = false;
};

bool readScene(const char* path, std::vector<SceneBox>& boxes) {
  std::ifstream file(path);
  if (!file) {
    std::fprintf(stderr, "pbox-emu: cannot read %s\n", path);
    return false;
  }
  std::string line;
  int lineNo = 0;
  while (std::getline(file, line)) {
    ++lineNo;
    if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream in(line);
    std::string word;
    if (!nextWord(in, word)) continue;
    SceneBox box;
    pboxemu::BoxSpec& desc = box.spec;
    std::string model;
    if (word != "box" || !nextWord(in, model) || !pboxemu::ParseModel(model, desc.model) ||
        !nextWord(in, desc.name) || desc.name.size() > 31) {
      std::fprintf(stderr,
                   "pbox-emu: %s:%d: expected: box MODEL \"NAME\" [STATUS] [old] [noaddress] [ports=N] "
                   "[printer=STATE] [hold]\n",
                   path, lineNo);
      return false;
    }
    while (nextWord(in, word)) {
      long status;
      if (word == "old") {
        desc.oldVersion = true;
      } else if (word == "noaddress") {
        desc.noAddress = true;
      } else if (word == "hold") {
        box.hold = true;
      } else if (word.rfind("printer=", 0) == 0) {
        if (!pboxemu::ParsePrinterState(word.substr(8), desc.printer)) {
          std::fprintf(stderr, "pbox-emu: %s:%d: unknown printer state %s\n", path, lineNo, word.c_str() + 8);
          return false;
        }
      } else if (word.rfind("ports=", 0) == 0 && number(word.c_str() + 6, 1, 9, status)) {
        desc.ports = int(status);
      } else if (number(word.c_str(), 0, 65535, status)) {
        desc.status = static_cast<UInt16>(status);
      } else {
        std::fprintf(stderr, "pbox-emu: %s:%d: unknown word %s\n", path, lineNo, word.c_str());
        return false;
      }
    }
    boxes.push_back(box);
  }
  if (boxes.empty() || boxes.size() > 254) {
    std::fprintf(stderr, "pbox-emu: %s: 1 to 254 boxes expected\n", path);
    return false;
  }
  return true;
}

// What a box that holds jobs holds when it starts: two folders, and jobs
// as clients of both languages leave them. The Japanese job's name is in
// the system encoding its client used (Shift_JIS "日本語.txt"), with that
// client's language code, 18.
struct SampleJob {
  UInt32 folder;
  const char* name;
  const char* owner;
  UInt8 language;
  UInt16 pages;
  UInt32 size;
  bool thumbnails;
  UInt8 day, hour, minute;
};
constexpr pboxemu::HeldFolder kSampleFolders[] = {{1, "1_Design", 0, 0}, {2, "2_Sales", 0, 0}};
constexpr SampleJob kSampleJobs[] = {
    {1, "plan.pdf", "alice", 1, 3, 48'213, true, 12, 9, 30},
    {1, "\x93\xFA\x96\x7B\x8C\xEA.txt", "tanaka", 18, 2, 12'288, true, 13, 14, 5},
    {1, "notes.txt", "bob", 1, 1, 2'048, false, 14, 8, 45},
    {2, "offer-2026.pdf", "carol", 1, 4, 96'400, true, 15, 16, 20},
};

void holdJobs(pboxemu::HoldServer& hold, int box, pboxemu::BoxSpec& desc) {
  if (!desc.hasMachineType) {
    desc.machineType = pboxemu::ModelMachineType(desc.model);
    desc.hasMachineType = true;
  }
  // The capability byte's bits of a box the held-job manager lists.
  desc.machineType[15] |= 0x23;
  for (const pboxemu::HeldFolder& f : kSampleFolders) hold.AddFolder(box, f);
  for (const SampleJob& s : kSampleJobs) {
    pboxemu::HeldJob j;
    j.folder = s.folder;
    j.name = s.name;
    j.owner = s.owner;
    j.language = s.language;
    j.pages = s.pages;
    j.size = s.size;
    j.thumbnails = s.thumbnails;
    j.day = s.day;
    j.hour = s.hour;
    j.minute = s.minute;
    hold.AddJob(box, j);
  }
}

}  // namespace

int main(int argc, char** argv) {
  long count = 4, old = 0, busy = 0;
  UInt32 base = 0x7F00000Au;  // 127.0.0.10
  pboxemu::Model model = pboxemu::Model::QSV_C;
  std::string zone;  // empty: no AppleTalk
  std::string ftpDir;  // empty: no FTP receive
  bool holdAll = false, privatePorts = false;
  std::vector<SceneBox> scene;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (a == "--hold") {
      holdAll = true;
      continue;
    }
    if (a == "--private-ports") {
      privatePorts = true;
      continue;
    }
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!v) return usage();
    ++i;
    if (a == "--count") {
      if (!number(v, 1, 254, count)) return usage();
    } else if (a == "--old") {
      if (!number(v, 0, 254, old)) return usage();
    } else if (a == "--busy-after-save") {
      if (!number(v, -1, 1000, busy)) return usage();
    } else if (a == "--model") {
      if (!pboxemu::ParseModel(v, model)) return usage();
    } else if (a == "--base") {
      in_addr in{};
      if (inet_pton(AF_INET, v, &in) != 1) return usage();
      base = ntohl(in.s_addr);
      if ((base >> 24) != 127) {
        std::fprintf(stderr, "pbox-emu: boxes live on loopback only (127.0.0.0/8)\n");
        return 2;
      }
    } else if (a == "--scene") {
      if (!readScene(v, scene)) return 2;
    } else if (a == "--ftp") {
      if (!*v) return usage();
      ftpDir = v;
    } else if (a == "--zone") {
      if (!*v || std::strlen(v) > 32) return usage();
      zone = v;
    } else {
      return usage();
    }
  }
  if (old > count) old = count;
  if (scene.empty())
    for (long i = 0; i < count; ++i) {
      SceneBox box;
      box.spec.model = model;
      box.spec.oldVersion = i >= count - old;
      scene.push_back(box);
    }
  if (privatePorts) {
    // Ports of a block locked for this process while it runs: no test or
    // other emulator of this user is given them.
    const std::string map = pboxemu::PrivatePortMap() + "," + pboxemu::FtpPortMap() + "," + pboxemu::HoldPortMap();
    setenv("TOOLBOX_PORTMAP", map.c_str(), 1);
    tb::ReloadNetConfig();
  }

  pboxemu::Emulator emu(base);
  bool holds = false;
  for (std::size_t i = 0; i < scene.size(); ++i) {
    pboxemu::BoxSpec desc = scene[i].spec;
    desc.appleTalk = !zone.empty();
    if (zone != "*") desc.zone = zone;
    if (scene[i].hold || holdAll) {
      holdJobs(emu.Hold(), int(i), desc);
      holds = true;
    }
    emu.AddBox(desc);
  }
  emu.SetBusyAfterSave(-1, int(busy));
  if (!ftpDir.empty()) emu.Ftp().Enable();
  if (holds) emu.Hold().Enable();
  // From here an interrupt ends the run in order (the FTP files are
  // kept), however early it comes.
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  // Held back until the wait below (the emulator's thread inherits the
  // mask), so that none comes between the test of gStop and the wait.
  sigset_t stopSignals, others;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stopSignals, &others);
  std::string error;
  if (!emu.Start(&error)) {
    std::fprintf(stderr, "pbox-emu: %s\n", error.c_str());
    return 1;
  }
  for (int i = 0; i < emu.BoxCount(); ++i) {
    UInt32 a = emu.BoxAddress(i);
    UInt16 p = emu.BoxPort(i);
    auto mac = emu.BoxMac(i);
    std::printf("box %d: %u.%u.%u.%u port %u (real %u) mac %02X:%02X:%02X:%02X:%02X:%02X model %s%s\n", i + 1, a >> 24,
                (a >> 16) & 255, (a >> 8) & 255, a & 255, p, tb::MapPort(p), mac[0], mac[1], mac[2], mac[3], mac[4],
                mac[5], pboxemu::ModelName(scene[std::size_t(i)].spec.model),
                scene[std::size_t(i)].hold || holdAll ? " holds jobs" : "");
    if (emu.BoxNode(i))
      std::printf("  AppleTalk network %u node %u socket %u\n", emu.BoxNetwork(i), emu.BoxNode(i), emu.BoxDdpSocket(i));
  }
  const char* map = std::getenv("TOOLBOX_PORTMAP");
  std::printf("TOOLBOX_PORTMAP=%s\n", map ? map : "");
  std::fflush(stdout);

  while (!gStop) sigsuspend(&others);
  // The files the boxes took over FTP, as box<N>-<name> (".part" when the
  // client did not end the data connection in order).
  for (int i = 0; !ftpDir.empty() && i < emu.BoxCount(); ++i)
    for (const pboxemu::FtpReceivedFile& f : emu.Ftp().Files(i)) {
      std::string name = f.name;
      for (char& c : name)
        if (c == '/') c = '_';
      std::string path = ftpDir + "/box" + std::to_string(i + 1) + "-" + name + (f.complete ? "" : ".part");
      if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(f.data.data(), 1, f.data.size(), out);
        std::fclose(out);
      }
    }
  emu.Stop();
  return 0;
}
