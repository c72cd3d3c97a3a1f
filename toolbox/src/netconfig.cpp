// The loopback confinement and the port map, read from the environment.
#include "toolbox/netconfig.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

namespace {

struct NetConfig {
  bool loaded = false;
  bool loopbackOnly = false;
  std::map<UInt16, UInt16> toReal;
  std::map<UInt16, UInt16> toNamed;
};

std::mutex gMutex;
NetConfig gConfig;

void load(NetConfig& c) {
  c = NetConfig{};
  c.loaded = true;
  const char* net = std::getenv("TOOLBOX_NET");
  c.loopbackOnly = net && std::string(net) == "loopback";
  const char* map = std::getenv("TOOLBOX_PORTMAP");
  if (!map) return;
  std::string s(map);
  std::size_t pos = 0;
  while (pos < s.size()) {
    std::size_t comma = s.find(',', pos);
    std::string item = s.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    pos = comma == std::string::npos ? s.size() : comma + 1;
    std::size_t colon = item.find(':');
    if (colon == std::string::npos) continue;
    char* end1 = nullptr;
    char* end2 = nullptr;
    unsigned long from = std::strtoul(item.c_str(), &end1, 10);
    unsigned long to = std::strtoul(item.c_str() + colon + 1, &end2, 10);
    if (end1 != item.c_str() + colon || *end2 != '\0' || from == 0 || to == 0 || from > 65535 || to > 65535)
      continue;
    c.toReal[UInt16(from)] = UInt16(to);
    c.toNamed[UInt16(to)] = UInt16(from);
  }
}

const NetConfig& config() {
  if (!gConfig.loaded) load(gConfig);
  return gConfig;
}

}  // namespace

bool tb::NetLoopbackOnly() {
  std::lock_guard<std::mutex> lock(gMutex);
  return config().loopbackOnly;
}

bool tb::ConfineDestination(UInt32& hostAddr) {
  std::lock_guard<std::mutex> lock(gMutex);
  if (!config().loopbackOnly) return true;
  if (hostAddr == 0xFFFFFFFFu) {
    hostAddr = 0x7FFFFFFFu;
    return true;
  }
  return (hostAddr >> 24) == 127;
}

UInt16 tb::MapPort(UInt16 port) {
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = config().toReal.find(port);
  return it == config().toReal.end() ? port : it->second;
}

UInt16 tb::UnmapPort(UInt16 realPort) {
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = config().toNamed.find(realPort);
  return it == config().toNamed.end() ? realPort : it->second;
}

void tb::ReloadNetConfig() {
  std::lock_guard<std::mutex> lock(gMutex);
  load(gConfig);
}
