// The data layer: pointer lists, download names, checks and short names,
// print options and the settings image, size texts, the status-sharing
// file and the registration of found boxes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include <filesystem>

#include "506Q_Lib/AppLocation.h"
#include "holdmanager/HoldData.h"
#include "holdmanager/HoldLists.h"
#include "OT/JCPPacket.h"
#include "test_support.h"
#include "toolbox/files.h"
#include "toolbox/recorder.h"
#include "toolbox/resources.h"

namespace {

std::string Proposed(const std::string& job, TextEncoding encoding) {
  UInt8 in[258] = {UInt8(job.size())};
  std::memcpy(in + 1, job.data(), job.size());
  UInt8 out[258];
  Get_Download_FileName(in, out, encoding);
  EXPECT_EQ(out[out[0] + 1], 0);
  return std::string(reinterpret_cast<char*>(out + 1), out[0]);
}

TEST(HoldData, DownloadNames) {
  // Names as the box holds them, in the encoding of their entry: the cut
  // at 28 bytes falls on a character of that encoding.
  const std::string sjis = "\x93\xFA\x96\x7B\x8C\xEA";  // 日本語
  std::string sjis30;
  for (int i = 0; i < 5; ++i) sjis30 += sjis;
  struct {
    std::string job, want;
    TextEncoding encoding = kCFStringEncodingUTF8;
  } cases[] = {
      {"report.2024.txt", "report_2024_txt.prn"},
      {"scan.prn", "scan.prn"},
      {"SCAN.PRN", "SCAN.PRN"},
      {"mixed.Prn", "mixed_Prn.prn"},
      {"..a..b.", "a_b.prn"},
      {std::string(40, 'x'), std::string(28, 'x') + ".prn"},
      {std::string(35, 'y') + ".prn", std::string(28, 'y') + ".prn"},
      // A three-byte character over bytes 26-28 is not split.
      {std::string(26, 'a') + "日本語", std::string(26, 'a') + ".prn"},
      {"../etc/passwd", "_etc_passwd.prn"},
      {"a:b/c", "a_b_c.prn"},
      // 14 two-byte characters of the Japanese encoding, not the 9 of UTF-8.
      {sjis30, "日本語日本語日本語日本語日本.prn", kTextEncodingMacJapanese},
      // After one byte the 28th is the first of a character: 27 bytes kept.
      {"a" + sjis30, "a日本語日本語日本語日本語日.prn", kTextEncodingMacJapanese},
      {sjis + ".a/b." + sjis + ".prn", "日本語.a_b.日本語.prn", kTextEncodingMacJapanese},
      {"Caf\x8E.2026", "Café_2026.prn", kTextEncodingMacRoman},
      // UTF-8 reads as it stands in any language.
      {std::string(26, 'a') + "日本語", std::string(26, 'a') + ".prn", kTextEncodingMacJapanese},
  };
  for (auto& c : cases) EXPECT_EQ(Proposed(c.job, c.encoding), c.want) << c.job;
}

// A rename goes out in one language, whose code tags both texts: the job's
// own, else the program's; a text left as it was keeps the box's bytes.
// (The names table runs each name through the program; these are the
// mixes of a kept and a typed text, and the cut.)
TEST(HoldData, RenameTextsAndTheirLanguageAgree) {
  const std::string sjisName = "\x93\xFA\x96\x7B\x8C\xEA", sjisOwner = "\x8E\x52\x93\x63";  // 日本語, 山田
  struct {
    const char* what;
    UInt8 jobLang;
    std::string heldName, heldOwner;
    UInt8 running;  // the program's language code (1 English, 18 Japanese)
    std::string name, owner;
    RenameRefusal refused;
    std::string sentName = {}, sentOwner = {};
    UInt8 sentLang = 0;
    std::size_t limit = 128;
  } cases[] = {
      {"an owner neither language holds with the name", 18, sjisName, sjisOwner, 1, "日本語", "Müller",
       RenameRefusal::Owner},
      {"Japanese typed in Japanese, for a Western job: the program's language", 4, "Caf\x8E", "bob", 18, "日本語",
       "bob", RenameRefusal::None, sjisName, "bob", 18},
      {"a Western name kept in Japanese, Japanese typed", 4, "Caf\x8E", "bob", 18, "Café", "田中",
       RenameRefusal::Owner},
      {"cut on a character of the language sent", 18, sjisName, sjisOwner, 1, "日本語日本語", "山田",
       RenameRefusal::None, "\x93\xFA", "\x8E\x52", 18, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    JOB_ENTRY job{};
    job.lang = c.jobLang;
    pstr::set(job.name, sizeof job.name, c.heldName);
    pstr::set(job.owner, sizeof job.owner, c.heldOwner);
    RenameTexts sent;
    sent.name = "untouched";
    EXPECT_EQ(RenameJobTexts(c.name, c.owner, job, c.running, LangCodeEncoding(c.running, 0), c.limit, &sent),
              c.refused);
    if (c.refused != RenameRefusal::None) {
      EXPECT_EQ(sent.name, "untouched");
      continue;
    }
    EXPECT_EQ(sent.name, c.sentName);
    EXPECT_EQ(sent.owner, c.sentOwner);
    EXPECT_EQ(sent.langCode, c.sentLang);
  }
}

TEST(HoldData, PointerListsOwnTheirCopiesAndShareThemWithHolders) {
  PtrListHead head = nullptr;
  JOB_ENTRY j{};
  for (int i = 0; i < 4; ++i) {
    j.folderId[3] = UInt8(i % 2 + 1);
    j.size = UInt32(i);
    EXPECT_EQ(AddPtrList(&head, &j, sizeof j), i + 1);
  }
  EXPECT_EQ(AddPtrList(&head, nullptr, 4), 0);
  EXPECT_EQ(static_cast<JOB_ENTRY*>(GetPtrList(head, 1))->size, 1u);
  EXPECT_EQ(static_cast<JOB_ENTRY*>(GetNextPtrList())->size, 2u);
  EXPECT_EQ(GetPtrList(head, 4), nullptr);
  EXPECT_EQ(GetNextPtrList(), nullptr) << "the cursor was cleared";
  auto held = GetSharedPtrList(head, 0);
  DelPtrList(&head, 0);
  DelPtrList(&head, 10);
  EXPECT_EQ(GetCountPtrList(head), 3);
  EXPECT_EQ(reinterpret_cast<JOB_ENTRY*>(held.get())->size, 0u) << "a row's entry outlives its node";
  const UInt8 folder2[4] = {0, 0, 0, 2};
  ClearPtrListFromFolder(&head, folder2);
  ASSERT_EQ(GetCountPtrList(head), 1);
  EXPECT_EQ(static_cast<JOB_ENTRY*>(GetPtrList(head, 0))->size, 2u);
  const UInt8 folder1[4] = {0, 0, 0, 1};
  ClearPtrListFromFolder(&head, folder1);
  EXPECT_EQ(head, nullptr);
  AddPtrList(&head, &j, sizeof j);
  ClearPtrList(&head);
  EXPECT_EQ(GetCountPtrList(head), 0);
}

TEST(HoldData, ChecksAndShortNames) {
  EXPECT_EQ(CheckDigit("1", 1, 1, 9999), 1);
  EXPECT_EQ(CheckDigit("9999", 4, 1, 9999), 1);
  EXPECT_EQ(CheckDigit("10000", 5, 1, 9999), 0);
  EXPECT_EQ(CheckDigit("0", 1, 1, 9999), 0);
  EXPECT_EQ(CheckDigit("1a", 2, 1, 9999), 0);
  EXPECT_EQ(CheckDigit("", 0, 1, 9999), 0);
  EXPECT_EQ(CheckDigit("99999999999999999999999", 23, 1, 9999), 0) << "no overflow";
  EXPECT_EQ(CheckProhibitionStr("", 0), 1);
  EXPECT_EQ(CheckProhibitionStr("good name", 9), 0);
  for (char c : std::string("\\/:,;*?\"<>|")) EXPECT_EQ(CheckProhibitionStr(&c, 1), 2) << c;
  EXPECT_EQ(CheckProhibitionStr("名前", 6), 0);
  char out[64];
  EXPECT_EQ(MakeShortJobName(out, reinterpret_cast<const UInt8*>("short"), false, 32), 5);
  EXPECT_STREQ(out, "short");
  std::string longName = std::string(30, 'a') + "日本";
  EXPECT_EQ(MakeShortJobName(out, reinterpret_cast<const UInt8*>(longName.c_str()), false, 32), 32);
  EXPECT_EQ(std::string(out), std::string(29, 'a') + "...");
  std::string jp = "日本語のとても長いジョブの名前です";  // 3 bytes a character
  MakeShortJobName(out, reinterpret_cast<const UInt8*>(jp.c_str()), false, 20);
  EXPECT_EQ(std::string(out), "日本語のと...");
  std::string prefix, rest;
  DivideFolderName("01_営業部", &prefix, &rest);
  EXPECT_EQ(prefix, "01_");
  EXPECT_EQ(rest, "営業部");
  DivideFolderName("nounderscore", &prefix, &rest);
  EXPECT_TRUE(prefix.empty() && rest.empty());
  EXPECT_EQ(MakeRenFolderName("01_", "あいうえおか"), "01_あいうえお") << "16 bytes on a character boundary";
  // Length-prefixed copies stop before a character the limit would split,
  // and never pass 255 bytes.
  const struct {
    std::string text;
    std::size_t limit, want;
  } cuts[] = {{"abc", 255, 3},
              {"日本語", 7, 6},
              {"日本語", 6, 6},
              {std::string(254, 'a') + "日", 300, 254},
              {std::string(300, 'a'), 300, 255},
              {"", 5, 0}};
  for (const auto& c : cuts) {
    Str255 p;
    SetPStrCut(p, c.text, c.limit);
    EXPECT_EQ(p[0], c.want) << c.text.size() << " bytes, limit " << c.limit;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(p + 1), p[0]), c.text.substr(0, c.want));
  }
}

TEST(HoldData, PrintOptionsAndTheSettingsImage) {
  UInt32 opt = 0;
  SetPrnOpt(&opt, 1, 0);
  SetPrnOpt(&opt, 4, 1);
  SetPrnOpt(&opt, 7, 2);
  SetPrnOpt(&opt, 2, 5);
  SetPrnOpt(&opt, 1, 6);
  SetPrnOpt(&opt, 1, 7);
  SetPrnOpt(nullptr, 1, 0);
  EXPECT_EQ(opt, 0x80000000u | (4u << 27) | (7u << 24) | (2u << 13) | 0x100u);
  EXPECT_EQ(GetPrnOpt(opt, 1), 4u);
  EXPECT_EQ(GetPrnOpt(opt, 6), 1u);
  EXPECT_EQ(GetPrnOpt(opt, 9), 0u);

  HOLD_CONFIG c;
  HoldConfigDefaults(&c, 1280, 800, 22);
  EXPECT_EQ(c.sWinLeft, (1280 - 585) / 2);
  EXPECT_EQ(c.sWinTop, (800 - 439) / 2 + 22);
  c.ulAddr[1] = 0x7F000001;
  c.usAddrCount = 2;
  std::array<UInt8, kHoldConfigImageSize> img{};
  HoldConfigToImage(c, img);
  EXPECT_EQ(img[3], 180);
  EXPECT_EQ(img[68], 1);
  EXPECT_EQ(img[72], 0x00);
  EXPECT_EQ(img[74], 0x01);
  EXPECT_EQ(img[82], 0x7F);
  HOLD_CONFIG back{};
  ASSERT_TRUE(HoldConfigFromImage(img, &back));
  EXPECT_EQ(std::memcmp(&back, &c, sizeof c), 0);
  EXPECT_FALSE(HoldConfigFromImage(std::span<const UInt8>(img.data(), 100), &back));
  img[77] = 200;  // an address count past the table
  ASSERT_TRUE(HoldConfigFromImage(img, &back));
  EXPECT_EQ(back.usAddrCount, 17);
}

TEST(HoldData, SettingsAreSavedOverADamagedOrLockedFile) {
  testsupport::TempDir dir;
  testsupport::ScopedEnv config("XDG_CONFIG_HOME", dir.path().c_str());
  const auto file = dir.path() / "vemo/Preferences" / kHoldPrefsName;
  std::filesystem::create_directories(file.parent_path());
  HOLD_CONFIG saved;
  HoldConfigDefaults(&saved, 1024, 768, 20);
  saved.usCopies = 7;
  std::array<UInt8, kHoldConfigImageSize> old{};
  HoldConfigToImage(saved, old);
  struct {
    const char* what;
    std::function<void()> lay;
  } cases[] = {
      {"none yet", [&] { std::filesystem::remove(file); }},
      {"not a resource file", [&] { testsupport::WriteFile(file, "junk"); }},
      // A protected settings resource cannot be replaced (nor may its
      // handle be disposed while the file holds it).
      {"protected settings",
       [&] {
         auto r = testsupport::Resource('CNFG', 128, std::vector<UInt8>(old.begin(), old.end()));
         r.attrs = resProtected;
         testsupport::WriteResourceFile(file, {r});
       }},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.lay();
    saved.usCopies = UInt16(saved.usCopies + 1);
    EXPECT_EQ(SetConfig(saved), noErr);
    HOLD_CONFIG back;
    GetConfig(&back);
    EXPECT_EQ(back.usCopies, saved.usCopies);
  }
}

TEST(HoldData, SizeAndDateTexts) {
  EXPECT_EQ(DataSizeText(1048576), "1 MB");
  EXPECT_EQ(DataSizeText(1536), "1.50 KB");
  EXPECT_EQ(DataSizeText(512), "512 Byte");
  EXPECT_EQ(DataSizeText(1023), "1023 Byte");
  EXPECT_EQ(DataSizeText(5ull << 30), "5120 MB");
  EXPECT_EQ(DateText({2026, 1, 2, 3, 4, 0}), "2026/01/02, 03:04");
}

TEST(HoldData, StatusSharingValues) {
  struct {
    const char* text;
    UInt8 values[5];
  } cases[] = {
      {"[STATUS]\r\nID13=0A\r\nID38=0a\r\nID14=x8\r\nID15=8G\r\n", {0x0A, 0x0A, 0xF8, 0xFF, 0}},
      {"ID49=\r\nID13=20\nID13=FF\n", {0x20, 0, 0, 0, 0}},
      {"ID15=08", {0, 0, 0, 0x08, 0}},
  };
  for (auto& c : cases) {
    PrinterCaps caps;
    ParsePrinterInfo(c.text, std::strlen(c.text), &caps);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(caps[std::size_t(i)].value, c.values[i]) << c.text << " #" << i;
    EXPECT_STREQ(caps[0].key, "ID13");
    EXPECT_STREQ(caps[4].key, "ID49");
  }
}

// The status-sharing file is read from the folder the string file names,
// else from the program's own default (not the monitor's); the string
// files the program ships name the folder the monitor's ini files name.
TEST(HoldData, StatusSharingFolderOfTheStringFileOrTheProgramsOwn) {
  testsupport::TempDir dir;
  testsupport::ScopedEnv home("HOME", dir.path().c_str());
  const UInt8 mac[6] = {0, 1, 2, 3, 4, 0xAB};
  const std::pair<const char*, const char*> folders[] = {
      {"VEMO-HoldManager", "ID13=11"}, {"MONITOR-STATUS", "ID13=22"}, {"SHARED", "ID13=33"}};
  for (auto& [folder, text] : folders) {
    std::filesystem::create_directories(dir.path() / folder);
    testsupport::WriteFile(dir.path() / folder / "V0001020304AB.vsf", text);
  }
  const std::string built = std::string(std::getenv("VEMO_BUILD_DIR")) + "/resources/";
  testsupport::WriteFile(dir.path() / "none.ini", "[MACSTR]\nOTHER=x\n");
  testsupport::WriteFile(dir.path() / "shared.ini", "[MACSTR]\nFOLDER=SHARED\n");
  const std::pair<std::string, UInt8> cases[] = {
      {"", 0x11},
      {(dir.path() / "none.ini").string(), 0x11},
      {(dir.path() / "shared.ini").string(), 0x33},
      {built + "VemoHoldManager/English/Hmgstr.ini", 0x22},
      {built + "VemoHoldManager/Japanese/Hmgstr.ini", 0x22},
  };
  for (auto& [ini, id13] : cases) {
    PrinterCaps caps{};
    EXPECT_EQ(Get_Printer_Info(mac, &caps, ini.empty() ? nullptr : ini.c_str()), noErr) << ini;
    EXPECT_EQ(caps[0].value, id13) << ini;
  }
  for (const char* lang : {"English", "Japanese"}) {
    const std::string ours =
        HoldIniString((built + "VemoHoldManager/" + lang + "/Hmgstr.ini").c_str(), "MACSTR", "FOLDER=");
    EXPECT_FALSE(ours.empty()) << lang;
    EXPECT_EQ(ours, HoldIniString((built + "VEMO-MONITOR/" + lang + "/Popmon.ini").c_str(), "MACSTR", "FOLDER="))
        << lang;
  }
}

TEST(HoldData, RegistrationKeepsOneEntryPerBox) {
  PBOXinfo table[3] = {};
  jcp_reply r{};
  std::memcpy(r.jcpr_machine_type, "ANY-MODEL", 9);
  const UInt8 mac[6] = {0, 1, 2, 3, 4, 5};
  std::memcpy(r.jcpr_nodeaddr, mac, 6);
  r.jcpr_ip_addr = 0x7F000001;
  EXPECT_EQ(hold::RegisterPBOX(table, 3, &r, nullptr, {}, 1), 1);
  EXPECT_EQ(hold::RegisterPBOX(table, 3, &r, nullptr, {}, 1), 0) << "the same box again";
  // Equal hash, another Ethernet address: a second box.
  jcp_reply s = r;
  s.jcpr_nodeaddr[0] = 1;
  s.jcpr_nodeaddr[1] = 0;
  EXPECT_EQ(hold::RegisterPBOX(table, 3, &s, nullptr, {}, 1), 1);
  EXPECT_EQ(table[0].pbi_hash, table[1].pbi_hash);
  s.jcpr_nodeaddr[5] = 9;
  EXPECT_EQ(hold::RegisterPBOX(table, 3, &s, nullptr, {}, 1), 1);
  s.jcpr_nodeaddr[5] = 10;
  EXPECT_EQ(hold::RegisterPBOX(table, 3, &s, nullptr, {}, 1), 0) << "full";
  EXPECT_EQ(table[0].pbi_ip_addr, 0x7F000001u);
}

TEST(HoldData, HelpOpensTheDocumentTheIniNamesBesideTheProgram) {
  testsupport::TempDir dir;
  FSSpec app{};
  ASSERT_EQ(GetAppLocation(&app), noErr);
  std::string appPath;
  ASSERT_EQ(tb::SpecToPath(app, appPath), noErr);
  auto help = std::filesystem::path(appPath).parent_path() / "hold_help_test.html";
  testsupport::WriteFile(help, "<html></html>");
  auto ini = dir / "Holdmng.ini";
  testsupport::WriteFile(ini, "[LINK]\nHELP=:hold_help_test.html\n");
  tb::ClearRecords();
  EXPECT_EQ(Open_Help(ini.c_str()), 1);
  auto opened = tb::RecordedOpenedDocuments();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], help.string());
  std::filesystem::remove(help);
  EXPECT_EQ(Open_Help(ini.c_str()), 0) << "no such document";
  testsupport::WriteFile(ini, "[LINK]\nOTHER=x\n");
  EXPECT_EQ(Open_Help(ini.c_str()), 0) << "no key";
}

}  // namespace
