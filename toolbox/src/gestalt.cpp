// Gestalt answers: defaults, then TOOLBOX_GESTALT, then what tests set.
#include "toolbox/gestalt.h"

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace {

using Table = std::map<OSType, std::optional<SInt32>>;

Table defaults() {
  Table t;
  t[gestaltSystemVersion] = 0x1049;
  t[gestaltNativeCPUtype] = 0x10C;
  t[gestaltAppleEventsAttr] = 1;
  t[gestaltQuickTime] = 0x07608000;
  return t;
}

// Malformed items are skipped; the rest still apply.
void applyEnvironment(Table& t) {
  const char* env = std::getenv("TOOLBOX_GESTALT");
  if (!env) return;
  std::string_view rest(env);
  while (!rest.empty()) {
    auto comma = rest.find(',');
    std::string_view item = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    auto eq = item.find('=');
    if (eq != 4) continue;
    OSType sel = (OSType(UInt8(item[0])) << 24) | (OSType(UInt8(item[1])) << 16) | (OSType(UInt8(item[2])) << 8) |
                 OSType(UInt8(item[3]));
    std::string value(item.substr(5));
    if (value == "-") {
      t[sel] = std::nullopt;
      continue;
    }
    if (value.empty()) continue;
    char* end = nullptr;
    long long v = std::strtoll(value.c_str(), &end, 0);
    if (*end != '\0' || v < INT32_MIN || v > UINT32_MAX) continue;
    t[sel] = static_cast<SInt32>(static_cast<UInt32>(v));
  }
}

Table& table() {
  static Table t = [] {
    Table d = defaults();
    applyEnvironment(d);
    return d;
  }();
  return t;
}

}  // namespace

OSErr Gestalt(OSType selector, SInt32* response) {
  if (!response) return paramErr;
  auto it = table().find(selector);
  if (it == table().end() || !it->second) return gestaltUndefSelectorErr;
  *response = *it->second;
  return noErr;
}

void tb::SetGestalt(OSType selector, SInt32 value) { table()[selector] = value; }
void tb::RemoveGestalt(OSType selector) { table()[selector] = std::nullopt; }
void tb::ResetGestalt() {
  table() = defaults();
  applyEnvironment(table());
}
