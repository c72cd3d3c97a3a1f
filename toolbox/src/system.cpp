// The debugger break and the computer's and owner's names.
#include "toolbox/system.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "utf8_internal.h"

namespace {

std::map<SInt16, std::string>& overrides() {
  static std::map<SInt16, std::string> m;
  return m;
}

// At most 255 bytes, never ending inside a character.
std::string cut255(std::string s) {
  if (s.size() <= 255) return s;
  const auto* t = reinterpret_cast<const unsigned char*>(s.data());
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t len = tb::utf8::Decode(t, s.size(), i).second;
    if (i + len > 255) break;
    i += len;
  }
  s.resize(i);
  return s;
}

std::string hostName() {
  char buf[256] = {};
  if (gethostname(buf, sizeof buf - 1) != 0) return "";
  return buf;
}

std::string ownerName() {
  passwd pw{};
  passwd* found = nullptr;
  std::string buf(16384, '\0');
  if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) != 0 || !found || !pw.pw_gecos) return "";
  std::string gecos = pw.pw_gecos;
  // The comment is "full name,room,work phone,home phone,other".
  return gecos.substr(0, gecos.find(','));
}

}  // namespace

void DebugStr(ConstStr255Param debuggerMsg) {
  std::string line = pstr::str(debuggerMsg);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

std::optional<std::string> tb::SystemString(SInt16 id) {
  if (id != kComputerNameStrID && id != kOwnerNameStrID) return std::nullopt;
  auto it = overrides().find(id);
  if (it != overrides().end()) return cut255(it->second);
  const char* env = std::getenv(id == kComputerNameStrID ? "TOOLBOX_COMPUTER_NAME" : "TOOLBOX_OWNER_NAME");
  if (env) return cut255(env);
  return cut255(id == kComputerNameStrID ? hostName() : ownerName());
}

void tb::SetSystemString(SInt16 id, std::optional<std::string> text) {
  if (text)
    overrides()[id] = std::move(*text);
  else
    overrides().erase(id);
}
