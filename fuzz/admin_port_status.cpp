// The administration program's port list and system status text with
// fuzzed replies, as its windows take them: the "GET PORT_NAME" reply in
// the settings window's 320-byte list (its stride, its count of printer
// ports at most 10, each port's name and number), and a port's status reply
// in the system status window's 2048-byte buffer cut into rows.
//
// Input: a selector byte (bit 0: the bytes are a status reply, else a port
// list), then the reply.
#include <cstring>
#include <string>
#include <vector>

#include "Admin/AdminApp.h"
#include "Admin/SetupWindow.h"
#include "Admin/SystemStatus.h"
#include "common/Context.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Cursor in(data, size);
  const std::uint8_t sel = in.U8();
  const std::span<const std::uint8_t> reply = in.Rest();
  if (sel & 1) {
    // What GetPortStatus leaves: at most the buffer less its last byte.
    std::vector<UInt8> status(kSystemStatusSize, 0);
    const std::size_t got = std::min(reply.size(), kSystemStatusSize - 1);
    if (got) std::memcpy(status.data(), reply.data(), got);
    std::vector<std::string> lines;
    Split_System_Status(status.data(), status.size(), lines);
    std::size_t total = 0;
    for (const std::string& l : lines) {
      fuzz::Check(!l.empty() && l.find_first_of(std::string("\r\n\0", 3)) == std::string::npos,
                  "a row is a non-empty line");
      total += l.size();
    }
    fuzz::Check(total + 2 <= std::max<std::size_t>(got, 2), "the rows come from what arrived");
    return 0;
  }
  std::vector<UInt8> list(kPortListSize, 0);
  const long got = long(std::min<std::size_t>(reply.size(), kPortListSize));
  if (got) std::memcpy(list.data(), reply.data(), std::size_t(got));
  const short width =
      got > 1 ? short(GetStringArrayWidth(reinterpret_cast<const char*>(list.data() + 1), 32, std::size_t(got - 1)))
              : 0;
  fuzz::Check(width >= 0 && width <= 32, "the list's stride");
  short max = got > 1 && width > 0 ? GetPortMax(list.data(), width, got) : 0;
  fuzz::Check(max >= 0 && max <= list[0], "the port count");
  if (max > kSetupPortMax) max = kSetupPortMax;
  for (short k = 1; k <= max + 1; ++k) {
    char name[33];
    std::memset(name, 0x7F, sizeof name);
    const short before = GetPortName(list.data(), width, k, name, sizeof name, got);
    fuzz::Check(std::memchr(name, '\0', sizeof name) != nullptr, "a port's name ends in its buffer");
    fuzz::Check(before >= 0 && before < k, "the ports before it");
    if (!name[0]) continue;
    short number = -1;
    const short counted = GetPortNum(list.data(), width, name, &number, got);
    fuzz::Check(counted >= 0 && number >= 0 && number <= list[0] + 1, "a port found by its name");
  }
  return 0;
}
