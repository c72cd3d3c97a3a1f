// The status and information texts from the monitor's ini files: the
// shipped English and Japanese files, and a small fixture for the rules.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/AppGlobals.h"
#include "common/IniFile.h"
#include "Monitor/ReplyDecode.h"
#include "Monitor/StatusDisplay.h"
#include "Monitor/StatusText.h"
#include "pboxemu/monitor_replies.h"
#include "test_support.h"

namespace {

std::string Text(const UInt8* p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }

class Texts : public ::testing::Test {
 protected:
  void Use(const std::string& path) { std::snprintf(MonFileName, sizeof MonFileName, "%s", path.c_str()); }
  void UseFixture() {
    testsupport::WriteFile(dir_ / "Monitor.ini",
                           "[MAIN]\r\nMESSAGE01=Ready\r\nMESSAGE02=A\\nB\\nC\r\nCOMMENT07=\r\nCOMMENT08=Busy\r\n"
                           "COMMENT01=Fine\r\nLINE01=12\r\nLINE03=7\r\nPROCESSING=Receiving: %s\r\nWARNING=Low\r\n"
                           "[DETAIL]\r\nSIZE004=A4\r\nSIZE005=B4\\nlong\r\n[PAPER]\r\nAUTO=Auto\r\nSIZE000=None\r\n"
                           "SIZE?\?\?=Size \r\n");
    Use((dir_ / "Monitor.ini").string());
  }
  ~Texts() override { MonFileName[0] = 0; }
  testsupport::TempDir dir_;
};

// A decoded state of the emulator's printer.
struct Printer {
  VEMOINFO info{};
  NICINFO nic{};
  explicit Printer(pboxemu::PrinterState state, int icType) {
    std::vector<UInt8> reply = pboxemu::StatusReply(false, pboxemu::StatusForState(state, icType));
    std::vector<UInt8> buf(1024, 0);
    std::copy(reply.begin(), reply.end(), buf.begin());
    std::span<UInt8> data(buf.data() + 13, buf.size() - 13);
    Set_Macintosh_Memory(data);
    StatusMemory saved{};
    GetVemoStatus(data, &info, &saved, &nic);
  }
};

}  // namespace

TEST_F(Texts, MessagesCommentsAndAdditions) {
  UseFixture();
  UInt8 out[256];
  SInt32 line = 0;
  FirstOpenMessage(nullptr, "MESSAGE02", out, &line);
  EXPECT_EQ(Text(out), "A\rB\rC");
  EXPECT_EQ(line, 7);
  ErrorMessage(nullptr, "MESSAGE01", out, &line);
  EXPECT_EQ(Text(out), "Ready");
  EXPECT_EQ(line, 12);
  FirstMessage(nullptr, "MESSAGE99", out, &line);
  EXPECT_EQ(Text(out), "");

  const UInt8 size[] = {7, '1', '.', '4', '3', ' ', 'M', 'B'};
  struct Case {
    const char* key;
    UInt8 warning;
    const char* want;
  };
  const Case cases[] = {
      {"COMMENT07", 0, "Receiving: 1.43 MB"},  // empty text: no leading break
      {"COMMENT08", 0, "Busy\rReceiving: 1.43 MB"},
      {"COMMENT01", 1, "Fine\r\rLow"},
      {"COMMENT99", 1, "Low"},
      {"COMMENT01", 0, "Fine"},
  };
  for (const Case& c : cases) {
    FirstOpenComment(nullptr, c.key, size, out, c.warning);
    EXPECT_EQ(Text(out), c.want) << c.key;
  }
  FirstComment("COMMENT07", out);
  EXPECT_EQ(Text(out), "");

  const std::pair<UInt16, std::array<SInt16, 4>> copies[] = {{65535, {300, 300, 300, 300}},
                                                             {7, {300, 300, 300, 297}},
                                                             {12345, {299, 299, 299, 299}},
                                                             {1020, {291, 290, 292, 290}}};
  for (const auto& [count, want] : copies) {
    SInt16 places[4];
    CopiesPictures(count, places);
    EXPECT_EQ((std::array<SInt16, 4>{places[0], places[1], places[2], places[3]}), want) << count;
  }
}

TEST_F(Texts, PaperTextsAndIcons) {
  UseFixture();
  struct Case {
    const char* name;
    int trays;
    PPRINFO first;
    const char* text;
    UInt32 icon;
  };
  const Case cases[] = {
      {"listed size", 1, {0, 0, 5, 4, 0}, "A4", 511},        {"other size", 1, {0, 0, 5, 5, 0}, "B4\rlong", 510},
      {"typed, listed", 1, {2, 0, 5, 4, 0}, "A4", 513},      {"typed, unknown", 1, {1, 0, 5, 77, 0}, "Size 77", 512},
      {"no tray selected", 2, {0, 1, 5, 4, 0}, "Auto", 510}, {"no trays", 0, {0, 0, 5, 4, 0}, "None", 510},
  };
  for (const Case& c : cases) {
    VEMOINFO v{};
    v.CmPprNum = c.trays;
    v.pPpr[0] = c.first;
    v.pPpr[1] = c.first;
    UInt8 out[32];
    UInt32 icon = 0;
    SInt32 line = -5;
    GetPaperSize(&v, out, &icon, &line);
    EXPECT_EQ(Text(out), c.text) << c.name;
    EXPECT_EQ(icon, c.icon) << c.name;
  }
}

// The shipped language files hold a message and a comment for every state
// the display can choose, in both languages.
TEST_F(Texts, ShippedFilesHoldEveryKey) {
  for (const char* lang : {"English", "Japanese"}) {
    std::string path = std::string(MONITOR_LANG_DIR) + "/" + lang + "/Monitor.ini";
    for (int n = -1; n <= 28; ++n) {
      for (const char* prefix : {"MESSAGE", "COMMENT"}) {
        char key[16], value[512];
        if (n < 0)
          std::snprintf(key, sizeof key, "%s=", prefix);
        else
          std::snprintf(key, sizeof key, "%s%02d=", prefix, n);
        EXPECT_TRUE(Load_File_To_CstringEx("[MAIN]", key, value, sizeof value, path.c_str())) << lang << key;
      }
    }
    char folder[64];
    std::string popmon = std::string(MONITOR_LANG_DIR) + "/" + lang + "/Popmon.ini";
    ASSERT_TRUE(Load_File_To_CstringEx("[MACSTR]", "FOLDER=", folder, sizeof folder, popmon.c_str()));
    EXPECT_STREQ(folder, "MONITOR-STATUS");
  }
}

TEST_F(Texts, DetailTextGolden) {
  Use(std::string(MONITOR_LANG_DIR) + "/English/Monitor.ini");
  Printer ready(pboxemu::PrinterState::Ready, 2);
  NETINFO net{};
  const UInt8 mac[6] = {0, 0x80, 0x92, 1, 2, 3};
  std::memcpy(net.pMac, mac, 6);
  net.pIp[0] = 127, net.pIp[3] = 5;
  net.pSubnet[0] = 255;
  std::strcpy(net.szApple, "Office");
  std::string version = DispInfoStat(4, &ready.info, &ready.nic, &net);
  EXPECT_EQ(version,
            "*****************************\r**** Printer Information ****\r*****************************\r"
            "Version\r Controller       : 2.60\r Print server     : NIC 2.10\r Interface        : 1.20\r"
            " Controller type  : VEMOPLEX-QSV-C\r\r\r");
  std::string network = DispInfoStat(3, &ready.info, &ready.nic, &net);
  EXPECT_EQ(network.substr(network.find("\rNetwork")),
            "\rNetwork\r General\r     -Ethernet address : 00:80:92:01:02:03\r TCP/IP\r"
            "     -IP address       : 127.0.0.5\r     -Subnet mask      : 255.0.0.0\r AppleTalk\r"
            "     -Printer name     : Office\r\r\r");
  std::string printer = DispInfoStat(2, &ready.info, &ready.nic, &net);
  EXPECT_NE(printer.find("\r Density : Standard\r"), std::string::npos) << printer;  // one drum: on the heading
  EXPECT_NE(printer.find(" Memory : 64 MB\r"), std::string::npos);
  EXPECT_NE(printer.find(" Disposal box : 300 sheets\r"), std::string::npos);
  EXPECT_NE(printer.find("     -Paper size : A4\r"), std::string::npos);
  EXPECT_EQ(printer.find("Version"), std::string::npos);
  // No text while the printer sleeps; no controller line for unknown types.
  Printer asleep(pboxemu::PrinterState::Sleeping, 2);
  EXPECT_EQ(DispInfoStat(1, &asleep.info, &asleep.nic, &net), "");
  ready.info.IcType = 8;
  EXPECT_EQ(DispInfoStat(4, &ready.info, &ready.nic, &net).find("Controller type"), std::string::npos);
}

// The display record for printer states decoded from the emulator's replies.
TEST_F(Texts, DisplayFillPerState) {
  Use(std::string(MONITOR_LANG_DIR) + "/English/Monitor.ini");
  struct Case {
    pboxemu::PrinterState state;
    UInt8 nicStat;
    const char* key;
    UInt8 warning;
    UInt16 pop;
    UInt32 power;
    const char* data;
  };
  using S = pboxemu::PrinterState;
  const Case cases[] = {
      {S::Ready, 0, "MESSAGE01", 0, kPopReady, 131, "0.00 Byte"},
      {S::TonerLow, 0, "MESSAGE01", 1, kPopReady, 131, "0.00 Byte"},
      {S::PaperOut, 0, "MESSAGE02", 0, kPopSupply, 131, "0.00 Byte"},
      {S::CoverOpen, 0, "MESSAGE03", 0, kPopError, 131, "0.00 Byte"},
      {S::Printing, 0, "MESSAGE09", 0, kPopBusy, 131, "1.43 MB"},
      {S::Sleeping, 0, "MESSAGE05", 0, kPopSleep, 0, "0.00 Byte"},
      {S::Ready, 255, "MESSAGE22", 0, kPopCommError, 0, "0.00 Byte"},
  };
  for (const Case& c : cases) {
    pboxemu::PrinterStatus st = pboxemu::StatusForState(c.state, 4);
    st.nicStat = c.nicStat;
    std::vector<UInt8> reply = pboxemu::StatusReply(false, st);
    std::vector<UInt8> buf(1024, 0);
    std::copy(reply.begin(), reply.end(), buf.begin());
    std::span<UInt8> data(buf.data() + 13, buf.size() - 13);
    Set_Macintosh_Memory(data);
    VEMOINFO v{};
    NICINFO nic{};
    StatusMemory saved{};
    VEMOSTATUSSET set{};
    int result = GetVemoStatus(data, &v, &saved, &nic);
    Disp_Main_Stat(&v, &nic, &set, result, 0);
    SCOPED_TRACE(c.key);
    EXPECT_EQ(Text(set.mesKey), c.key);
    EXPECT_EQ(set.warning, c.warning);
    EXPECT_EQ(v.PopStat, c.pop);
    EXPECT_EQ(set.powerIcon, c.power);
    EXPECT_EQ(Text(set.szData), c.data);
    if (c.state == S::Ready && c.nicStat == 0) {
      EXPECT_EQ(Text(set.szMemory), "30 %");
      EXPECT_EQ(Text(set.szSize), "A4");
      EXPECT_EQ(set.paper, 511u);
      EXPECT_EQ(set.SubDpiX, 600);
      EXPECT_EQ(set.SubPageNum, 12);
      // The same reply again leaves the view as it stands.
      std::copy(reply.begin(), reply.end(), buf.begin());
      Set_Macintosh_Memory(data);
      set.mesKey[0] = 0;
      result = GetVemoStatus(data, &v, &saved, &nic);
      EXPECT_EQ(result, 0);
      Disp_Main_Stat(&v, &nic, &set, result, 0);
      EXPECT_EQ(set.mesKey[0], 0);
    }
  }
}
