// The FTP connections on their own: the control connection against the
// emulated box and against a plain socket, the data connection with the
// test itself calling in as the box.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "ftp_harness.h"

namespace ftptest {
namespace {

// A plain socket on loopback in place of the box.
class RawPeer {
 public:
  ~RawPeer() {
    if (conn_ >= 0) close(conn_);
    if (listen_ >= 0) close(listen_);
  }
  // Listens on 127.0.0.1; returns the port.
  UInt16 Listen() {
    listen_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listen_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    listen(listen_, 4);
    socklen_t len = sizeof sa;
    getsockname(listen_, reinterpret_cast<sockaddr*>(&sa), &len);
    return ntohs(sa.sin_port);
  }
  bool Accept() {
    pollfd p{listen_, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0) return false;
    conn_ = accept(listen_, nullptr, nullptr);
    return conn_ >= 0;
  }
  bool Dial(UInt16 port) {
    conn_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return connect(conn_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  }
  void Send(const std::string& s) { ASSERT_EQ(send(conn_, s.data(), s.size(), MSG_NOSIGNAL), ssize_t(s.size())); }
  // Everything that has arrived until the client closes (or ms pass).
  std::string ReadToEnd(int ms = 5000) {
    std::string all;
    char buf[65536];
    PumpUntil(
        [&] {
          pollfd p{conn_, POLLIN, 0};
          if (poll(&p, 1, 0) <= 0) return false;
          ssize_t n = recv(conn_, buf, sizeof buf, 0);
          if (n <= 0) return true;
          all.append(buf, std::size_t(n));
          return false;
        },
        ms);
    return all;
  }
  int conn() const { return conn_; }
  void Close() {
    close(conn_);
    conn_ = -1;
  }

 private:
  int listen_ = -1;
  int conn_ = -1;
};

TEST(FtpPort, AddressAsPortArgument) {
  char buf[16];
  iptoport(0xC0A8010A, buf);  // 192.168.1.10
  EXPECT_STREQ(buf, "192,168,1,10");
  iptoport(0, buf);
  EXPECT_STREQ(buf, "0,0,0,0");
  iptoport(0xFFFFFFFF, buf);
  EXPECT_STREQ(buf, "255,255,255,255");
}

TEST(FtpContext, UnusableContextsAreRefused) {
  EXPECT_EQ(Ftp_Protocol(nullptr, 0x7F000001, 21, 3000, nullptr, 1), kOTBadDataErr);
  EXPECT_EQ(FtpData_Protocol(nullptr, 0x7F000001, 20, 3000, nullptr, 1), kOTBadDataErr);
  EXPECT_EQ(FTP_Get_Command(nullptr, "X\r\n", 3, nullptr, 0), kOTBadDataErr);
  EXPECT_EQ(FTP_Disconnect(nullptr), 1);
  EPInfo* ep = nullptr;
  TCPEPInfo* tcp = nullptr;
  EXPECT_EQ(GetFtpEPInfo(nullptr, &ep, &tcp), -2);

  auto* ctx = reinterpret_cast<FTPEPInfo*>(NewPtrClear(sizeof(FTPEPInfo)));
  EXPECT_EQ(GetFtpEPInfo(ctx, &ep, &tcp), -1);  // not TCP yet
  EXPECT_EQ(FTP_Get_Command(ctx, "X\r\n", 3, nullptr, 0), kOTBadDataErr);
  // Never opened: closing is done at once.
  FTP_TCP_SetRemote(ctx, 0x7F000001, 21);
  EXPECT_EQ(GetFtpEPInfo(ctx, &ep, &tcp), 0);
  EXPECT_EQ(ep, &ctx->protocol.tcp.epi);
  EXPECT_EQ(FTP_Disconnect(ctx), 1);
  ctx->protocolType = 7;
  EXPECT_EQ(Ftp_Protocol(ctx, 0x7F000001, 21, 3000, nullptr, 1), kOTBadDataErr);
  DisposePtr(reinterpret_cast<Ptr>(ctx));
}

TEST_F(FtpTest, ControlConnectionCollectsTheGreetingAndReplies) {
  StartBox();
  FTPEPInfo* ctx = NewContext();
  ASSERT_EQ(Ftp_Protocol(ctx, box_, 21, 3000, nullptr, 1), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return ctx->isSuccess == 1; }));
  EXPECT_EQ(ctx->ackWait, 1);
  EXPECT_STREQ(reinterpret_cast<char*>(ctx->rcvLargeBuf), "220 Print box ready.\r\n");
  EXPECT_NE(ctx->protocol.tcp.localPort, 0);

  // A command clears what was collected before it.
  ASSERT_EQ(FTP_Get_Command(ctx, "USER user\r\n", 11, nullptr, 0), 11);
  EXPECT_EQ(ctx->rcvLargeBufLen, 0u);
  EXPECT_STREQ(reinterpret_cast<char*>(ctx->cmd), "USER user\r\n");
  ASSERT_TRUE(PumpUntil([&] { return ctx->rcvLargeBufLen > 0 && std::strstr((char*)ctx->rcvLargeBuf, "\r\n"); }));
  EXPECT_STREQ(reinterpret_cast<char*>(ctx->rcvLargeBuf), "331 Password required.\r\n");

  // The close does not wait for the box; its release completes it.
  FTP_Disconnect(ctx);
  EXPECT_TRUE(PumpUntil([&] { return ctx->isComplete == 1; }));
  EXPECT_TRUE(PumpUntil([&] { return emu_.Ftp().OpenConnections(0) == 0; }));
  EXPECT_EQ(emu_.Ftp().Commands(0), std::vector<std::string>{"USER user"});
}

TEST_F(FtpTest, SplitReplyIsCompleteOnlyWithItsLineEnd) {
  pboxemu::FtpFaultSpec split;
  split.mode = pboxemu::FtpFault::SplitReply;
  split.ticks = 30;
  emu_.Ftp().SetFault(-1, split);
  StartBox();
  FTPEPInfo* ctx = NewContext();
  Ftp_Protocol(ctx, box_, 21, 3000, nullptr, 1);
  ASSERT_TRUE(PumpUntil([&] { return ctx->rcvLargeBufLen > 0; }));
  ASSERT_TRUE(Settle());
  EXPECT_EQ(ctx->isSuccess, 0);
  EXPECT_STREQ(reinterpret_cast<char*>(ctx->rcvLargeBuf), "220 Print box ready.");
  tb::AdvanceTicks(30);
  ASSERT_TRUE(PumpUntil([&] { return ctx->isSuccess == 1; }));
  EXPECT_STREQ(reinterpret_cast<char*>(ctx->rcvLargeBuf), "220 Print box ready.\r\n");
}

TEST_F(FtpTest, ReplyWithoutLineEndNeverCompletes) {
  pboxemu::FtpFaultSpec f;
  f.mode = pboxemu::FtpFault::NoLineEnd;
  emu_.Ftp().SetFault(-1, f);
  StartBox();
  FTPEPInfo* ctx = NewContext();
  Ftp_Protocol(ctx, box_, 21, 3000, nullptr, 1);
  ASSERT_TRUE(PumpUntil([&] { return ctx->rcvLargeBufLen > 0; }));
  ASSERT_TRUE(Settle());
  EXPECT_EQ(ctx->isSuccess, 0);
}

TEST_F(FtpTest, RefusedControlConnectionCloses) {
  StartBox(false);  // no FTP on the box
  FTPEPInfo* ctx = NewContext();
  ASSERT_EQ(Ftp_Protocol(ctx, box_, 21, 3000, nullptr, 1), kOTNoError);
  ASSERT_TRUE(PumpUntil([&] { return ctx->isComplete == 1; }));
  EXPECT_EQ(ctx->protocol.tcp.epi.epRef, nullptr);
  EXPECT_EQ(ctx->isSuccess, 0);
}

TEST_F(FtpTest, LineEndAcrossReadsAndOverlongRepliesStayBounded) {
  RawPeer peer;
  UInt16 port = peer.Listen();
  FTPEPInfo* ctx = NewContext();
  Ftp_Protocol(ctx, 0x7F000001, port, 3000, nullptr, 1);
  ASSERT_TRUE(PumpUntil([&] { return peer.Accept(); }));
  ASSERT_TRUE(PumpUntil([&] { return OTGetEndpointState(ctx->protocol.tcp.epi.epRef) == T_DATAXFER; }));

  peer.Send("220 hello\r");
  ASSERT_TRUE(PumpUntil([&] { return ctx->rcvLargeBufLen == 10; }));
  EXPECT_EQ(ctx->isSuccess, 0);
  peer.Send("\n");
  ASSERT_TRUE(PumpUntil([&] { return ctx->isSuccess == 1; }));
  EXPECT_EQ(ctx->rcvLargeBufLen, 11u);

  // Three times the buffer without a line end, then one: the newest text
  // stays, the buffer holds its NUL, and nothing is written past it.
  FTP_Get_Command(ctx, "NOOP\r\n", 6, nullptr, 0);
  ctx->isSuccess = 0;
  std::string flood(3 * kFTPLargeBufSize, 'x');
  peer.Send(flood + "\r\n");
  ASSERT_TRUE(PumpUntil([&] { return ctx->isSuccess == 1; }));
  EXPECT_EQ(ctx->rcvLargeBufLen, kFTPLargeBufSize - 1);
  EXPECT_EQ(ctx->rcvLargeBuf[kFTPLargeBufSize - 1], 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(ctx->rcvLargeBuf) + kFTPLargeBufSize - 3), "\r\n");

  // A line end at the very front of a read longer than the buffer, alone or
  // straddling the read before, counts although the buffer cannot keep it.
  for (const char* front : {"", "\r"}) {
    FTP_Get_Command(ctx, "NOOP\r\n", 6, nullptr, 0);
    ctx->isSuccess = 0;
    std::string before = std::string("226 x") + front;
    peer.Send(before);
    ASSERT_TRUE(PumpUntil([&] { return ctx->rcvLargeBufLen == before.size(); }));
    peer.Send((*front ? "\n" : "\r\n") + std::string(kFTPLargeBufSize, 'y'));
    ASSERT_TRUE(PumpUntil([&] { return ctx->rcvLargeBuf[0] == 'y'; }));
    EXPECT_EQ(ctx->isSuccess, 1) << "front " << int(*front);
  }

  // Replies that arrive before the next command are all kept.
  FTP_Get_Command(ctx, "NOOP\r\n", 6, nullptr, 0);
  peer.Send("226 done\r\n");
  ASSERT_TRUE(PumpUntil([&] { return ctx->rcvLargeBufLen == 10; }));
  peer.Send("200 ok\r\n");
  ASSERT_TRUE(PumpUntil([&] { return ctx->rcvLargeBufLen == 18; }));
  EXPECT_STREQ(reinterpret_cast<char*>(ctx->rcvLargeBuf), "226 done\r\n200 ok\r\n");
}

class FtpDataTest : public FtpTest {
 protected:
  // A listening data connection with the test called in as the box.
  FTPEPInfo* Connected(RawPeer& box, UInt32 timeoutMs = 3000) {
    FTPEPInfo* ctx = NewContext();
    EXPECT_EQ(FtpData_Protocol(ctx, 0x7F000001, 20, timeoutMs, nullptr, 1), kOTNoError);
    EXPECT_TRUE(PumpUntil([&] { return ctx->lportPort != 0; }));
    EXPECT_EQ(ctx->dataConnect, 1);
    EXPECT_EQ(ctx->cmdType, FTP_CMD_DATA);
    EXPECT_TRUE(box.Dial(tb::MapPort(ctx->lportPort)));
    EXPECT_TRUE(PumpUntil([&] { return ctx->isSuccess == 1; }));
    return ctx;
  }
};

TEST_F(FtpDataTest, PiecesResumeWhereThePartialSendStopped) {
  std::string bytes = Bytes(100000, 7);
  FILE_INFO_DATA file{1, 1, MakeFile("job.prn", bytes), UInt32(bytes.size()), 0};
  RawPeer box;
  FTPEPInfo* ctx = Connected(box);

  tb::OTSetSendCap(10000);
  EXPECT_EQ(Start_FTP_Data(ctx, &file), 10000);
  EXPECT_EQ(file.sendSize, 10000u);
  EXPECT_EQ(Start_FTP_Data(ctx, &file), 10000);
  EXPECT_EQ(file.sendSize, 20000u);
  tb::OTSetSendCap(0);
  while (file.sendSize < file.fileSize) {
    OTResult r = Start_FTP_Data(ctx, &file);
    ASSERT_GE(r, 0);
    if (r == 0) tb::Pump(5);
  }
  EXPECT_EQ(Start_FTP_Data(ctx, &file), 0);  // nothing is left
  OT_SndOrderlyDisconnect(&ctx->protocol.tcp.epi);
  EXPECT_EQ(box.ReadToEnd(), bytes);
  box.Close();
  EXPECT_EQ(FTP_Disconnect(ctx), 1);
}

TEST_F(FtpDataTest, FileThatCannotBeReadAsTakenGivesMinusOne) {
  RawPeer box;
  FTPEPInfo* ctx = Connected(box);
  std::string bytes = Bytes(5000, 3);
  FSSpec fss = MakeFile("grows.prn", bytes);

  // A file that grew since it was taken: only the size taken goes.
  FILE_INFO_DATA grown{1, 1, fss, 3000, 0};
  EXPECT_EQ(Start_FTP_Data(ctx, &grown), 3000);
  EXPECT_EQ(Start_FTP_Data(ctx, &grown), 0);

  // A file that became shorter cannot be sent as announced.
  FILE_INFO_DATA shrunk{1, 1, fss, 9000, 5000};
  EXPECT_EQ(Start_FTP_Data(ctx, &shrunk), -1);
  EXPECT_EQ(shrunk.sendSize, 5000u);

  FILE_INFO_DATA gone{1, 1, fss, 5000, 0};
  std::filesystem::remove(dir_ / "grows.prn");
  EXPECT_EQ(Start_FTP_Data(ctx, &gone), -1);
  EXPECT_EQ(gone.sendSize, 0u);

  OT_SndOrderlyDisconnect(&ctx->protocol.tcp.epi);
  EXPECT_EQ(box.ReadToEnd(), bytes.substr(0, 3000));
  box.Close();
  EXPECT_EQ(FTP_Disconnect(ctx), 1);
}

TEST_F(FtpDataTest, BytesTheBoxSendsOnTheDataConnectionAreDropped) {
  RawPeer box;
  FTPEPInfo* ctx = Connected(box);
  box.Send(std::string(40000, 'j'));
  for (int i = 0; i < 30; ++i) tb::Pump(2);
  EXPECT_EQ(ctx->rcvLargeBufLen, 0u);
  EXPECT_EQ(ctx->isSuccess, 1);
}

TEST_F(FtpDataTest, ResetByTheBoxClosesTheConnection) {
  RawPeer box;
  FTPEPInfo* ctx = Connected(box);
  linger l{1, 0};
  setsockopt(box.conn(), SOL_SOCKET, SO_LINGER, &l, sizeof l);
  shutdown(box.conn(), SHUT_RDWR);
  ASSERT_TRUE(PumpUntil([&] { return ctx->isComplete == 1; }));
  FILE_INFO_DATA file{1, 1, MakeFile("late.prn", "abc"), 3, 0};
  EXPECT_LT(Start_FTP_Data(ctx, &file), 0);
}

TEST_F(FtpTest, ListenerNobodyCalledClosesAtOnce) {
  FTPEPInfo* ctx = NewContext();
  FtpData_Protocol(ctx, 0x7F000001, 20, 3000, nullptr, 1);
  ASSERT_TRUE(PumpUntil([&] { return ctx->lportPort != 0; }));
  UInt64 start = tb::MonotonicMicros();
  EXPECT_EQ(FTP_Disconnect(ctx), 1);
  EXPECT_LT(tb::MonotonicMicros() - start, 1000000u);
  EXPECT_EQ(ctx->isComplete, 1);
  // A call the listener has not taken yet is refused; the close does not
  // wait for it.
  FtpData_Protocol(ctx, 0x7F000001, 20, 3000, nullptr, 1);
  ASSERT_TRUE(PumpUntil([&] { return ctx->lportPort != 0; }));
  RawPeer late;
  ASSERT_TRUE(late.Dial(tb::MapPort(ctx->lportPort)));
  start = tb::MonotonicMicros();
  EXPECT_EQ(FTP_Disconnect(ctx), 1);
  EXPECT_LT(tb::MonotonicMicros() - start, 1000000u);
  EXPECT_EQ(ctx->isSuccess, 0);
  EXPECT_EQ(late.ReadToEnd(), "");
  // Opened again, it is a fresh listener with none of the old flags.
  ctx->isSuccess = 1;
  FtpData_Protocol(ctx, 0x7F000001, 20, 3000, nullptr, 1);
  EXPECT_EQ(ctx->isSuccess, 0);
  EXPECT_EQ(ctx->isComplete, 0);
  ASSERT_TRUE(PumpUntil([&] { return ctx->lportPort != 0; }));
}

// The address the kernel has a listening socket on port bound to (host
// order), or 1 when there is none.
UInt32 ListeningHost(UInt16 port) {
  std::ifstream f("/proc/net/tcp");
  std::string line;
  std::getline(f, line);
  while (std::getline(f, line)) {
    unsigned host = 0, lport = 0, state = 0;
    if (std::sscanf(line.c_str(), " %*d: %8X:%4X %*8X:%*4X %2X", &host, &lport, &state) == 3 && lport == port &&
        state == 0x0A)
      return ntohl(host);
  }
  return 1;
}

TEST_F(FtpTest, ListenersUnderTheConfinementAreBoundToLoopback) {
  testsupport::ScopedEnv net("TOOLBOX_NET", "loopback");
  tb::ReloadNetConfig();
  // Asked for no address in particular, or for a loopback one: bound there,
  // and that is the address PORT announces.
  for (UInt32 asked : {0u, 0x7F000003u}) {
    FTPEPInfo* ctx = NewContext();
    ctx->listenIpAddr = asked;
    ASSERT_EQ(FtpData_Protocol(ctx, 0x7F000001, 20, 3000, nullptr, 1), kOTNoError);
    ASSERT_TRUE(PumpUntil([&] { return ctx->lportPort != 0; }));
    UInt32 want = asked ? asked : 0x7F000001;
    EXPECT_EQ(ListeningHost(tb::MapPort(ctx->lportPort)), want) << asked;
    EXPECT_EQ(ctx->protocol.tcp.localIpAddr, want) << asked;
  }
  // Any other local address is refused: the listener closes without a port.
  FTPEPInfo* away = NewContext();
  away->listenIpAddr = 0x0A010203;
  FtpData_Protocol(away, 0x7F000001, 20, 3000, nullptr, 1);
  ASSERT_TRUE(PumpUntil([&] { return away->isComplete == 1; }));
  EXPECT_EQ(away->lportPort, 0);
}

TEST_F(FtpTest, ContextStillOpenIsReleasedOnceClosed) {
  RawPeer peer;
  UInt16 port = peer.Listen();
  auto* ctx = reinterpret_cast<FTPEPInfo*>(NewPtrClear(sizeof(FTPEPInfo)));
  Ftp_Protocol(ctx, 0x7F000001, port, 3000, nullptr, 1);
  ASSERT_TRUE(PumpUntil([&] { return peer.Accept(); }));
  ASSERT_TRUE(PumpUntil([&] { return OTGetEndpointState(ctx->protocol.tcp.epi.epRef) == T_DATAXFER; }));
  FTP_Release_Context(ctx);  // still connected: kept
  EXPECT_EQ(FTP_Reap_Contexts(), 1);
  close(peer.conn());
  // Its notifier still runs: when the peer ends, it closes, and it goes.
  EXPECT_TRUE(PumpUntil([] { return FTP_Reap_Contexts() == 0; }));
}

}  // namespace
}  // namespace ftptest
