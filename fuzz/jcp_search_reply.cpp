// The JCP search receive path with fuzzed replies: a search over UDP probes
// a box on loopback whose answers are the fuzzed datagrams; the program's
// search notifier registers every hit in the table of found print boxes,
// and the table is then checked as the status monitor would use it.
//
// Input: the 6-byte model filter record ('SPPT' 128), then the datagrams
// (see JcpDatagrams).
#include <cstring>
#include <memory>

#include "OT/PBoxTable.h"
#include "jcp_box.h"
#include "pbox_checks.h"

namespace {

constexpr short kTableSize = 6;
PBOXinfo table[kTableSize];
bool searchEnded = false;

// The programs' search notifier: hits of a UDP search go into the table.
void SearchNotifier(JCPEPInfo* ctx, void* data, void* extra, short status) {
  fuzz::Check(ctx != nullptr, "the notifier gets its context");
  if (status == JCP_NOTIFY_FOUND) {
    fuzz::Check(data != nullptr && extra == nullptr, "a UDP hit hands over the reply alone");
    const short added = UDPRegisterPBOX(table, kTableSize, static_cast<const jcp_reply*>(data), PBOX_PROTO_TCPIP);
    fuzz::Check(added == 0 || added == 1, "register result");
    return;
  }
  fuzz::Check(!searchEnded, "a search ends once");
  searchEnded = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::JcpInit();
  static fuzz::FakeBox box;
  box.Receive();
  fuzz::Cursor in(data, size);
  UnpackNameCheck(in.Bytes(kNameCheckSize), NameChkData);
  const std::vector<fuzz::JcpDatagram> replies = fuzz::JcpDatagrams(in);

  std::memset(table, 0xA5, sizeof table);  // as uncleared memory
  InitPBOXtable(table, kTableSize);
  searchEnded = false;
  auto ctx = std::make_unique<JCPEPInfo>();
  const UInt32 target = box.address();
  JCP_UDP_SetSearch(ctx.get(), &target, 1, box.port());
  if (JCP_Search(ctx.get(), 4, 1000, SearchNotifier, true) == kOTNoError && box.AwaitRequest(ctx.get())) {
    for (const fuzz::JcpDatagram& d : replies) {
      if (searchEnded || JCP_IsTerminated(ctx.get())) break;
      if (d.late) tb::AdvanceTicks(61);
      if (!d.lost) box.Send(d.bytes, d.stranger);
      for (int k = 0; k < 3; ++k) fuzz::JcpStep(ctx.get());
    }
  }
  fuzz::JcpEnd(ctx.get());
  fuzz::CheckPBoxTable(table, kTableSize);
  NameChkData = {};
  return 0;
}
