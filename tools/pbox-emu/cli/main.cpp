// pbox-emu: runs simulated print boxes on loopback until interrupted.
//
//   pbox-emu [--count N] [--base 127.0.0.10] [--model A|B|C|D|E|foreign]
//            [--old K] [--busy-after-save N] [--zone NAME]
//   pbox-emu --scene FILE [--base 127.0.0.10] [--zone NAME]
//   (either form) [--ftp DIR]: the boxes take files over FTP and leave them in DIR at exit
//
// A scene file describes the boxes one a line ("#" starts a comment):
//   box MODEL "NAME" [STATUS] [old] [noaddress] [ports=N] [printer=STATE]
// MODEL is A, B, C, E or foreign; STATUS the device status (0-30); STATE
// what the status monitor sees: ready, printing, paperout, tonerlow,
// coveropen, sleeping or lost.
//
// The last K boxes are of the old version (JCP on port 9). Ports follow
// TOOLBOX_PORTMAP, so the demo runs without root. With --zone the boxes are
// also AppleTalk nodes in that zone ("*": the configuration's own zone) on
// the network of the toolbox's AppleTalk configuration.
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

volatile sig_atomic_t gStop = 0;
void onSignal(int) { gStop = 1; }

int usage() {
  std::fprintf(stderr,
               "usage: pbox-emu [--count N] [--base 127.x.y.z] [--model A|B|C|D|E|foreign] [--old K] "
               "[--busy-after-save N] [--zone NAME] [--scene FILE] [--ftp DIR]\n");
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

bool readScene(const char* path, std::vector<pboxemu::BoxSpec>& boxes) {
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
    pboxemu::BoxSpec desc;
    std::string model;
    if (word != "box" || !nextWord(in, model) || !pboxemu::ParseModel(model, desc.model) ||
        !nextWord(in, desc.name) || desc.name.size() > 31) {
      std::fprintf(stderr, "pbox-emu: %s:%d: expected: box MODEL \"NAME\" [STATUS] [old] [noaddress] [ports=N]\n", path,
                   lineNo);
      return false;
    }
    while (nextWord(in, word)) {
      long status;
      if (word == "old") {
        desc.oldVersion = true;
      } else if (word == "noaddress") {
        desc.noAddress = true;
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
    boxes.push_back(desc);
  }
  if (boxes.empty() || boxes.size() > 254) {
    std::fprintf(stderr, "pbox-emu: %s: 1 to 254 boxes expected\n", path);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  long count = 4, old = 0, busy = 0;
  UInt32 base = 0x7F00000Au;  // 127.0.0.10
  pboxemu::Model model = pboxemu::Model::QSV_C;
  std::string zone;  // empty: no AppleTalk
  std::string ftpDir;  // empty: no FTP receive
  std::vector<pboxemu::BoxSpec> scene;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
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

  pboxemu::Emulator emu(base);
  for (pboxemu::BoxSpec desc : scene) {
    desc.appleTalk = !zone.empty();
    if (zone != "*") desc.zone = zone;
    emu.AddBox(desc);
  }
  for (long i = 0; scene.empty() && i < count; ++i) {
    pboxemu::BoxSpec desc;
    desc.model = model;
    desc.oldVersion = i >= count - old;
    desc.appleTalk = !zone.empty();
    if (zone != "*") desc.zone = zone;
    emu.AddBox(desc);
  }
  emu.SetBusyAfterSave(-1, int(busy));
  if (!ftpDir.empty()) emu.Ftp().Enable();
  std::string error;
  if (!emu.Start(&error)) {
    std::fprintf(stderr, "pbox-emu: %s\n", error.c_str());
    return 1;
  }
  for (int i = 0; i < emu.BoxCount(); ++i) {
    UInt32 a = emu.BoxAddress(i);
    UInt16 p = emu.BoxPort(i);
    auto mac = emu.BoxMac(i);
    std::printf("box %d: %u.%u.%u.%u port %u (real %u) mac %02X:%02X:%02X:%02X:%02X:%02X model %s\n", i + 1,
                a >> 24, (a >> 16) & 255, (a >> 8) & 255, a & 255, p, tb::MapPort(p), mac[0], mac[1], mac[2],
                mac[3], mac[4], mac[5], pboxemu::ModelName(scene.empty() ? model : scene[std::size_t(i)].model));
    if (emu.BoxNode(i))
      std::printf("  AppleTalk network %u node %u socket %u\n", emu.BoxNetwork(i), emu.BoxNode(i), emu.BoxDdpSocket(i));
  }
  std::fflush(stdout);

  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  while (!gStop) pause();
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
