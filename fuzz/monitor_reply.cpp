// The status monitor's reply decoding with fuzzed replies, as the poll hands
// them over: a reply copied into the buffer of its request (1024 bytes for
// status, 8000 for information, the rest zero), decoded by its kind into the
// window's record (the status published to the status-sharing file first),
// then, after the last reply, shown: the display record and the detail
// page's text, whose texts come from the program's English message file.
//
// Input: a selector byte (bit 0 the information buffer, bits 1-2 the detail
// text's section), then replies, each a u16 length (big-endian) and its
// bytes; the record is kept from one reply to the next so that change
// detection runs on hostile history too.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Monitor/StatusDisplay.h"
#include "Monitor/StatusPoll.h"
#include "Monitor/StatusText.h"
#include "common/AppGlobals.h"
#include "fuzz_support.h"

namespace {

constexpr int kMaxReplies = 4;

// Bounded texts of the decoded state end inside their fields.
template <std::size_t N>
void Terminated(const char (&field)[N], const char* what) {
  fuzz::Check(std::memchr(field, '\0', N) != nullptr, what);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The status-sharing folder goes into a home of this run's own.
  static fuzz::ScratchFile home("home");
  std::filesystem::create_directories(home.path());
  ::setenv("HOME", home.path().c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
  std::snprintf(MonFileName, sizeof MonFileName, "%s", VEMO_MONITOR_LANG_DIR "/English/Monitor.ini");
  std::snprintf(IniFileName, sizeof IniFileName, "%s", VEMO_MONITOR_LANG_DIR "/English/Popmon.ini");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Cursor in(data, size);
  const std::uint8_t sel = in.U8();
  const std::size_t room = (sel & 1) ? kInfoReplyBuffer : kStatusReplyBuffer;

  PSTATUS_WND_INFO rec;
  rec.pbox.pbi_inuse = 1;
  rec.pbox.pbi_hash = 0x1234;
  std::memcpy(rec.pbox.pbi_machine_type, "VEMOPLEX[D]", 11);
  const UInt8 mac[6] = {0x00, 0x80, 0x92, 0x0A, 0x0B, 0x0C};
  std::memcpy(rec.pbox.pbi_nodeaddr, mac, 6);

  for (int n = 0; n < kMaxReplies && in.left(); ++n) {
    const std::size_t len = in.U16();
    const std::span<const std::uint8_t> reply = in.Bytes(len);
    // What GetStatusReceveData leaves in the request's buffer.
    std::vector<UInt8> buf(room, 0);
    const std::size_t got = std::min(reply.size(), room);
    if (got) std::memcpy(buf.data(), reply.data(), got);
    GetStatusInfo(&rec, buf.data(), got, buf.size());

    Terminated(rec.info.VerCon, "the controller version ends in its field");
    Terminated(rec.info.VerIF, "the interface version ends in its field");
    const NETINFO& net = rec.netInfo;
    Terminated(net.szType, "network texts end in their fields");
    Terminated(net.szScopeId, "network texts end in their fields");
    Terminated(net.szApple, "network texts end in their fields");
    Terminated(net.szZone, "network texts end in their fields");
    Terminated(net.szMachine, "network texts end in their fields");
    Terminated(net.szGroup, "network texts end in their fields");
    Terminated(net.szComment, "network texts end in their fields");
    Terminated(net.szTrap, "network texts end in their fields");
    Terminated(net.szContact, "network texts end in their fields");
    Terminated(net.szName, "network texts end in their fields");
    Terminated(net.szLocation, "network texts end in their fields");
    Terminated(net.szSsid, "network texts end in their fields");
    Terminated(net.szSmtpSvNameM, "network texts end in their fields");
    Terminated(net.szToAddr2S, "network texts end in their fields");

  }
  // Shown as the window shows the state the replies left (only at the end:
  // the texts come from the message file a key at a time, which is slow).
  VEMOSTATUSSET set{};
  Disp_Main_Stat(&rec.info, &rec.nic, &set, rec.decodeResult, 0);
  const std::string text = DispInfoStat(((sel >> 1) & 3) + 1, &rec.info, &rec.nic, &rec.netInfo);
  fuzz::Check(text.size() < kDetailTextSize, "the detail text is cut to its buffer");
  return 0;
}
