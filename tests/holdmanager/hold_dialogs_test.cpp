// The sub-dialogs end to end with injected input against the emulated box:
// rename, print with options, move, information with thumbnails, the
// choosers, the message box, and the box refusing or dropping a command.
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>

#include "common/GWorldImage.h"
#include "hold_dialog_harness.h"
#include "holdmanager/Thumbnail.h"
#include "toolbox/navigation.h"
#include "toolbox/quickdraw.h"
#include "toolbox/windows.h"

namespace holdtest {
namespace {

std::string PName(const UInt8* p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }

TEST_F(HoldDialogTest, MessageBoxButtonsAndKeysGiveTheirResults) {
  static std::vector<int> results;
  struct Case {
    int type;
    const char* input;  // "3", "4": a click on that button; else a key
    int result;
  } cases[] = {{1, "4", 1}, {1, "Return", 1}, {1, "Escape", 1}, {6, "3", 2},
               {6, "4", 4}, {6, "Enter", 2},  {6, "Escape", 4}};
  for (const Case& c : cases) {
    results.clear();
    ASSERT_EQ(OpenMsgDlg(
                  "Title", "Line one\\nline two", c.type,
                  [](long a, long, long, int r) { results.push_back(int(a) * 10 + r); }, 7, 0, 0),
              1);
    EXPECT_EQ(MessageText(), "Line one\rline two");
    if (c.type == 1) {
      // OK only: button 3 is hidden and dimmed, its place the dialog's
      // background, and a press there answers nothing.
      DialogRef d = FrontSubDlg()->dialog;
      ControlRef three = GetItemControl(d, 3);
      EXPECT_FALSE(IsControlVisible(three));
      EXPECT_FALSE(IsControlActive(three));
      Rect r = ItemRectOf(d, 3);
      if (r.left >= 16384) OffsetRect(&r, -16384, 0);  // where hiding moved it from
      Rect around = r;
      InsetRect(&around, -2, -2);
      EXPECT_EQ(MarkedPixels(GetDialogPort(d), around), 0);
      ASSERT_TRUE(tb::ClickInWindow(GetDialogWindow(d), Point{SInt16((r.top + r.bottom) / 2), SInt16(r.left + 10)}));
      Pass();
      EXPECT_TRUE(results.empty());
      ASSERT_EQ(SubDlgCount(), 1);
    }
    if (c.input[0] == '3' || c.input[0] == '4')
      Click(short(c.input[0] - '0'));
    else
      tb::PressNamedKey(c.input), Pass();
    EXPECT_EQ(results, std::vector<int>{70 + c.result}) << c.type << " " << c.input;
    EXPECT_EQ(SubDlgCount(), 0);
  }
  EXPECT_EQ(OpenMsgDlg("", "text", 1, nullptr, 0, 0, 0), 0);
  EXPECT_EQ(OpenMsgDlg("Title", "", 1, nullptr, 0, 0, 0), 0);
}

TEST_F(HoldDialogTest, RenameRefusesBadInputThenRenamesOnTheBox) {
  StartListedBox();
  held_ = {Listed(jobA_), Listed(jobC_)};
  ASSERT_EQ(hold::OpenRename(), 1);
  EXPECT_EQ(held_.size(), 1u) << "several rows are reduced to the first";
  EXPECT_EQ(FieldText(2), "report.2024.txt");
  EXPECT_EQ(FieldText(4), "alice");
  struct {
    const char* name;
    const char* owner;
    const char* message;
  } bad[] = {{"", "alice", "Enter a job name."},
             {"a/b", "alice", "The name contains a character that cannot be used:\r\\ / : , ; * ? \" < > |"},
             {"a:b", "alice", "The name contains a character that cannot be used:\r\\ / : , ; * ? \" < > |"},
             {"fine", "", "Enter an owner name."}};
  for (auto& b : bad) {
    SubFieldFocus(FrontSubDlg(), 2, true);
    Retype(b.name);
    tb::PressNamedKey("Tab");
    Pass();
    Retype(b.owner);
    Click(5);
    EXPECT_EQ(MessageText(), b.message) << b.name;
    tb::PressNamedKey("Return");
    Pass();
    ASSERT_EQ(FrontSubDlg()->id, kRenDlgID);
  }
  // A Japanese user's long name: 66 characters of two bytes in the
  // Japanese encoding and two letters, sent cut to the whole characters
  // within 128 bytes.
  gHoldHost.encoding = kTextEncodingMacJapanese;
  std::string longName, held;
  for (int i = 0; i < 66; ++i) longName += "名", held += "\x96\xBC";
  longName += "xx";
  SubFieldFocus(FrontSubDlg(), 2, true);
  Retype(longName);
  tb::PressNamedKey("Tab");
  Pass();
  Retype("山田");
  tb::PressNamedKey("Enter");
  ASSERT_TRUE(RunUiIdle());
  EXPECT_EQ(SubDlgCount(), 0);
  EXPECT_GE(dview_.progressOpened, 1);
  auto jobs = emu_.Hold().Jobs(0);
  auto it = std::find_if(jobs.begin(), jobs.end(), [&](auto& j) { return j.id == jobA_; });
  ASSERT_NE(it, jobs.end());
  EXPECT_EQ(it->name, held.substr(0, 128));
  EXPECT_EQ(it->owner, "\x8E\x52\x93\x63");  // 山田
  EXPECT_EQ(LastStatus(), "The job was renamed.");
}

TEST_F(HoldDialogTest, PrintSendsTheChosenOptionsAndRemembersThem) {
  StartListedBox();
  held_ = {Listed(jobA_)};
  config_.usCopies = 3;
  ASSERT_EQ(hold::OpenPrint(), 1);
  DialogRef d = FrontSubDlg()->dialog;
  EXPECT_EQ(SubDlgLabel(FrontSubDlg(), 1), "Print \"report.2024.txt\" with these settings.");
  EXPECT_EQ(FieldText(3), "3");
  // The default options: rotation off, secrecy off, every pop-up on its first entry.
  ControlRef c;
  auto value = [&](short item) { return GetDialogItemAsControl(d, item, &c), GetControlValue(c); };
  auto active = [&](short item) { return GetDialogItemAsControl(d, item, &c), bool(IsControlActive(c)); };
  EXPECT_EQ(value(9), 1);
  EXPECT_EQ(value(12), 1);
  for (short item : {15, 17, 19, 21, 23}) EXPECT_TRUE(value(item) == 1 && active(item)) << item;
  for (const char* copies : {"0", "10000", "", "1x"}) {
    Retype(copies);
    Click(24);
    EXPECT_EQ(MessageText(), "Enter a number of copies from 1 to 9999.") << copies;
    Click(4);
    ASSERT_EQ(FrontSubDlg()->id, kPrnDlgID);
  }
  Retype("11");
  Click(4);  // the spin button's upper half
  EXPECT_EQ(FieldText(3), "12");
  Click(8);   // rotation on
  Click(11);  // secrecy on
  ASSERT_TRUE(tb::ChooseDialogPopupItem(d, 19, 3));
  ASSERT_TRUE(tb::ChooseDialogPopupItem(d, 23, 5));
  Pass();
  Click(24);
  ASSERT_TRUE(RunUiIdle());
  auto requests = emu_.Hold().Requests(0);
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back()[2], 6);
  UInt32 expect = 0;
  SetPrnOpt(&expect, 1, 0);
  SetPrnOpt(&expect, 2, 1);
  SetPrnOpt(&expect, 4, 3);
  EXPECT_EQ(RequestValue(requests.back(), VFMP_TAG_PRINT_OPTS),
            (std::vector<UInt8>{UInt8(expect >> 24), UInt8(expect >> 16), UInt8(expect >> 8), UInt8(expect)}));
  EXPECT_EQ(RequestValue(requests.back(), VFMP_TAG_PAGES), (std::vector<UInt8>{0, 12}));
  EXPECT_EQ(config_.usCopies, 12);
  EXPECT_EQ(config_.ulPrnOpt, expect);
  HOLD_CONFIG saved{};
  GetConfig(&saved);
  EXPECT_EQ(saved.usCopies, 12);
  EXPECT_EQ(saved.ulPrnOpt, expect);
  EXPECT_EQ(LastStatus(), "The print request was sent.");
}

TEST_F(HoldDialogTest, PrintPopupsFollowTheStatusSharingFile) {
  testsupport::ScopedEnv home("HOME", dir_.path().c_str());
  StartListedBox();
  held_ = {Listed(jobA_)};
  char name[40];
  std::snprintf(name, sizeof name, "V%02X%02X%02X%02X%02X%02X.vsf", e_.boxMac[0], e_.boxMac[1], e_.boxMac[2],
                e_.boxMac[3], e_.boxMac[4], e_.boxMac[5]);
  std::filesystem::create_directories(dir_.path() / "MONITOR-STATUS");
  struct {
    const char* file;
    bool active[5];  // items 15, 17, 19, 21, 23
  } cases[] = {{"ID13=20\r\nID14=08\r\nID15=00\r\nID49=20\r\n", {true, false, true, false, true}},
               {"ID38=00\r\nID14=FF\r\nID15=08\r\nID49=00\r\n", {true, true, true, true, false}}};
  config_.ulPrnOpt = 0x100 | (3u << 13) | (2u << 27) | (1u << 24) | (4u << 21);
  for (auto& c : cases) {
    std::ofstream(dir_.path() / "MONITOR-STATUS" / name) << c.file;
    ASSERT_EQ(hold::OpenPrint(), 1);
    DialogRef d = FrontSubDlg()->dialog;
    const short items[] = {15, 17, 19, 21, 23};
    const SInt16 saved[] = {1, 4, 3, 2, 5};
    for (int i = 0; i < 5; ++i) {
      ControlRef ctl;
      GetDialogItemAsControl(d, items[i], &ctl);
      EXPECT_EQ(bool(IsControlActive(ctl)), c.active[i]) << c.file << " item " << items[i];
      EXPECT_EQ(GetControlValue(ctl), c.active[i] ? saved[i] : 1) << items[i];
    }
    tb::PressNamedKey("Escape");
    Pass();
    EXPECT_EQ(SubDlgCount(), 0);
  }
}

TEST_F(HoldDialogTest, MoveOffersOtherFoldersAndMovesEveryChosenJob) {
  StartListedBox();
  held_ = {Listed(jobA_), Listed(jobC_)};  // both in 1_Design
  ASSERT_EQ(hold::OpenMove(), 1);
  DialogRef d = FrontSubDlg()->dialog;
  EXPECT_EQ(SubDlgLabel(FrontSubDlg(), 1), "Move 2 jobs to the folder:");
  ControlRef ok;
  GetDialogItemAsControl(d, 4, &ok);
  EXPECT_FALSE(IsControlActive(ok));
  // Rows in the engine's (sorted) order: 1_Design, 2_..., 3_Sales.
  auto clickRow = [&](int row) {
    Rect r;
    DialogItemType kind;
    Handle h;
    GetDialogItem(d, 3, &kind, &h, &r);
    ASSERT_TRUE(tb::ClickInWindow(GetDialogWindow(d), Point{short(r.top + 18 * row + 9), short(r.left + 20)}));
    Pass();
  };
  clickRow(0);
  EXPECT_FALSE(IsControlActive(ok)) << "the jobs' own folder";
  clickRow(2);
  EXPECT_TRUE(IsControlActive(ok));
  Click(4);
  ASSERT_TRUE(RunUiIdle());
  for (auto& j : emu_.Hold().Jobs(0))
    if (j.id == jobA_ || j.id == jobC_) {
      EXPECT_EQ(j.folder, 3u) << j.name;
    }
  EXPECT_EQ(LastStatus(), "The jobs were moved.");
}

TEST_F(HoldDialogTest, InformationShowsDetailsAndFetchesEachPageOnce) {
  StartListedBox();
  held_ = {Listed(jobA_)};
  ASSERT_EQ(hold::OpenInformation(), 1);
  EXPECT_EQ(hold::OpenInformation(), 0) << "one information dialog at a time";
  ASSERT_TRUE(RunUiIdle());
  ASSERT_EQ(details_.size(), 1u);
  EXPECT_EQ(PName(details_[0].name), "report.2024.txt");
  auto rows = DetailRows(details_[0]);
  EXPECT_EQ(rows[2], (std::pair<std::string, std::string>{"Pages", "1 / 3"}));
  EXPECT_EQ(rows[4].second, "A4");
  EXPECT_EQ(rows[5].second, "1.50 KB");
  auto thumbs = [&] {
    auto c = Codes();
    return std::count(c.begin(), c.end(), 17);
  };
  EXPECT_EQ(thumbs(), 1);
  EXPECT_EQ(gSubDlgBtn[kPageFirst].state, kPageBtnDisabled);
  EXPECT_EQ(gSubDlgBtn[kPageNext].state, kPageBtnNormal);

  // Next: page 2 is fetched; previous: page 1 comes from the cache.
  DialogRef d = FrontSubDlg()->dialog;
  Click(3);  // a disabled button does nothing
  EXPECT_EQ(thumbs(), 1);
  ASSERT_TRUE(tb::ClickDialogItem(d, 4));
  ASSERT_TRUE(RunUiIdle());
  EXPECT_EQ(thumbs(), 2);
  auto last = emu_.Hold().Requests(0).back();
  EXPECT_EQ(RequestValue(last, VFMP_TAG_PAGE), (std::vector<UInt8>{0, 2}));
  ASSERT_TRUE(tb::ClickDialogItem(d, 3));
  ASSERT_TRUE(RunUiIdle());
  EXPECT_EQ(thumbs(), 2);
  // A press released outside the button leaves the page.
  Rect r;
  DialogItemType kind;
  Handle h;
  GetDialogItem(d, 5, &kind, &h, &r);
  Point in{short(r.top + 4), short(r.left + 4)}, out{short(r.top - 60), short(r.left - 100)};
  {
    tb::PortSaver saver(GetDialogPort(d));
    LocalToGlobal(&in);
    LocalToGlobal(&out);
  }
  tb::MouseDownAt(in);
  tb::MoveMouseTo(out);
  tb::MouseUpAt(out);
  ASSERT_TRUE(RunUiIdle());
  EXPECT_EQ(thumbs(), 2);

  // The preview: frame, picture scaled into the area, the button strip.
  // Kept for a person to look at.
  const std::string shots = std::string(std::getenv("VEMO_BUILD_DIR")) + "/test-home";
  std::filesystem::create_directories(shots);
  EXPECT_EQ(tb::SaveWindowPNG(GetDialogWindow(d), (shots + "/hold-information-thumbnail.png").c_str()), noErr);
  GetDialogItem(d, 1, &kind, &h, &r);
  tb::PortSaver saver(GetDialogPort(d));
  auto px = [&](int x, int y) { return tb::PortPixel(GetDialogPort(d), r.left + x, r.top + y); };
  Rect place = hold::ThumbnailPlace(r.right - r.left, r.bottom - r.top, 24, 32);
  EXPECT_EQ(px(0, 0), tb::PackPixel(0, 0, 0)) << "frame";
  EXPECT_EQ(px(place.left - 1, place.top + 5), tb::PackPixel(0, 0, 0)) << "picture frame";
  EXPECT_EQ(px((place.left + place.right) / 2, place.top + 3), tb::PackPixel(0, 0, 0)) << "page edge, scaled";
  EXPECT_EQ(px(place.left - 3, (place.top + place.bottom) / 2), tb::PackPixel(255, 255, 255)) << "white around";
  EXPECT_EQ(px(r.right - r.left - 10, 100), tb::PackPixel(0xEE, 0xEE, 0xEE)) << "button strip in the dialog's colour";
  int green = 0;
  for (int y = place.top; y < place.bottom; ++y)
    green += px((place.left + place.right) / 2, y) == tb::PackPixel(0, 200, 0);
  EXPECT_GE(green, 7) << "the page's band, seven times as high";

  tb::PressNamedKey("Escape");
  Pass();
  EXPECT_FALSE(InfoDialogOpen());
}

TEST_F(HoldDialogTest, DownloadAndUploadGoThroughTheChoosers) {
  StartListedBox();
  held_ = {Listed(jobA_)};
  const std::string target = (dir_.path() / "saved.prn").string();
  PrgRequestPtr req;
  tb::CancelNextChooser();
  EXPECT_EQ(hold::OpenDownload(&req), 0);
  EXPECT_EQ(req, nullptr);
  tb::AnswerNextChooser({target});
  ASSERT_EQ(hold::OpenDownload(&req), 1);
  ASSERT_TRUE(StartProgressCommand(&e_, CMD_DOWNLOAD, std::move(req)));
  ASSERT_TRUE(RunUiIdle());
  EXPECT_EQ(std::filesystem::file_size(target), 1536u);
  EXPECT_EQ(LastStatus(), "The job was downloaded.");

  // Two files chosen for upload into the third folder.
  std::vector<std::string> files = {(dir_.path() / "one.txt").string(), (dir_.path() / "two.txt").string()};
  std::ofstream(files[0]) << "first file";
  std::ofstream(files[1]) << "second file, longer";
  tb::CancelNextChooser();
  EXPECT_TRUE(hold::ChooseUploadFiles().empty());
  tb::AnswerNextChooser(files);
  std::vector<FSSpec> chosen = hold::ChooseUploadFiles();
  ASSERT_EQ(chosen.size(), 2u);
  EXPECT_EQ(pstr::str(chosen[0].name), "one.txt");
  EXPECT_EQ(pstr::str(chosen[1].name), "two.txt");
  ASSERT_TRUE(StartUpload(&e_, chosen, 3));
  ASSERT_TRUE(RunUi([&] { return emu_.Hold().LprSessions(0).size() == 2 && e_.current == 0; }, 20000));
  EXPECT_EQ(emu_.Hold().LprSessions(0)[0].queue, "hold_3");
  int inFolder3 = 0;
  for (auto& j : emu_.Hold().Jobs(0)) inFolder3 += j.folder == 3 && j.name.find(".txt") != std::string::npos;
  EXPECT_EQ(inFolder3, 2);
}

TEST_F(HoldDialogTest, RefusalsAndLostConnectionsShowTheirMessages) {
  StartListedBox();
  held_ = {Listed(jobA_)};
  struct {
    pboxemu::HoldFaultSpec fault;
    const char* message;
    const char* nameAfter;  // a reset after the request: the box may have renamed
  } cases[] = {
      {{pboxemu::HoldFault::Result, 5, 0, 1, 254, 0}, "The print server refused the request.", "report.2024.txt"},
      {{pboxemu::HoldFault::Reset, 5, 0, 1, 2, 0}, "Could not receive the reply of the print server.", nullptr}};
  for (auto& c : cases) {
    emu_.Hold().SetFault(0, c.fault);
    ASSERT_EQ(hold::OpenRename(), 1);
    Retype("renamed");
    Click(5);
    ASSERT_TRUE(RunUi([&] { return !MessageText().empty(); }));
    EXPECT_EQ(MessageText(), c.message);
    EXPECT_EQ(SubDlgCount(), 1);
    Click(4);
    EXPECT_EQ(SubDlgCount(), 0);
    for (auto& j : emu_.Hold().Jobs(0))
      if (j.id == jobA_ && c.nameAfter) {
        EXPECT_EQ(j.name, c.nameAfter);
      }
  }
}

// Every text the progress dialog is given, command by command as the
// dialogs start them, is its format filled with what it names, in order;
// a transfer text reads "done / total (n%)" and ends at 100%.
TEST_F(HoldConfigTest, EveryProgressTextIsItsFormatFilledWithWhatItNames) {
  StartListedBox();
  auto label = [&](const char* key, std::initializer_list<HoldArg> args) {
    return HoldFormat(HoldText(&e_, "LABEL", key), args);
  };
  auto shortOf = [](const std::string& name) {
    char out[40] = {};
    MakeShortJobName(out, reinterpret_cast<const UInt8*>(name.c_str()), false, 32);
    return std::string(out);
  };
  const std::string longName = "a name of more than thirty-two bytes.txt";
  const std::vector<std::string> uploads = {(dir_.path() / longName).string(), (dir_.path() / "two.txt").string()};
  testsupport::WriteFile(uploads[0], std::string(70000, 'u'));
  testsupport::WriteFile(uploads[1], "second");
  const std::string saved = (dir_.path() / "saved job.prn").string();
  auto clickRow = [&](short item, int row) {
    DialogRef d = FrontSubDlg()->dialog;
    Rect r;
    DialogItemType kind;
    Handle h;
    GetDialogItem(d, item, &kind, &h, &r);
    ASSERT_TRUE(tb::ClickInWindow(GetDialogWindow(d), Point{short(r.top + 18 * row + 9), short(r.left + 30)}));
    Pass();
  };
  struct Case {
    UInt16 command;
    std::function<void()> start;
    std::vector<std::string> infos;  // each shown in turn
    bool transfer;
    // Per info, the total its transfer texts give (0 when not checked):
    // a name never comes with another file's size.
    std::vector<UInt64> totals = {};
  } cases[] = {
      {CMD_RENAME,
       [&] {
         held_ = {Listed(jobA_)};
         ASSERT_EQ(hold::OpenRename(), 1);
         Retype("renamed");
         Click(5);
       },
       {label("STC_IC_RENAME=", {"renamed"})},
       false},
      {CMD_PRINT,
       [&] {
         held_ = {Listed(jobC_)};
         ASSERT_EQ(hold::OpenPrint(), 1);
         Click(24);
       },
       {label("STC_IC_PRINT=", {"plan"})},
       false},
      {CMD_DOWNLOAD,
       [&] {
         held_ = {Listed(jobC_)};
         PrgRequestPtr req;
         tb::AnswerNextChooser({saved});
         ASSERT_EQ(hold::OpenDownload(&req), 1);
         ASSERT_TRUE(StartProgressCommand(&e_, CMD_DOWNLOAD, std::move(req)));
       },
       {label("STC_IC_DOWNLOAD=", {"saved job.prn"})},
       true},
      {CMD_FOLDER_RENAME,
       [&] {
         ASSERT_EQ(OpenCfgDlg(&config_, e_.folders), 1);
         ClickTab(2);
         clickRow(6, 2);
         Type(9, "Marketing");
         EXPECT_EQ(Press(2), "");
       },
       {label("STC_IC_RENAME=", {"3_Marketing"})},
       false},
      {CMD_MOVE,
       [&] {
         held_ = {Listed(jobA_), Listed(jobC_)};
         ASSERT_EQ(hold::OpenMove(), 1);
         clickRow(3, 2);
         Click(4);
       },
       {label("STC_IC_MOVE=", {"renamed", "3_Marketing"}), label("STC_IC_MOVE=", {"plan", "3_Marketing"})},
       false},
      {CMD_UPLOAD,
       [&] { ASSERT_TRUE(StartUpload(&e_, Specs(uploads), 3)); },
       {label("STC_IC_UPLOAD=", {shortOf(longName)}), label("STC_IC_UPLOAD=", {"two.txt"}),
        HoldText(&e_, "MESSAGE", "STR313=")},
       true,
       {70000, 6, 6}},
      {CMD_DELETE,
       [&] {
         held_ = {Listed(jobA_), Listed(jobC_)};
         ASSERT_TRUE(StartProgressCommand(&e_, CMD_DELETE, hold::DeleteRequest()));
       },
       {label("STC_IC_DELETE=", {"renamed"}), label("STC_IC_DELETE=", {"plan"})},
       false},
  };
  const std::regex transfer(R"([0-9.]+ (?:Byte|KB|MB) / ([0-9.]+ (?:Byte|KB|MB)) \(([0-9]{1,3})%\))");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    dview_.progress.clear();
    c.start();
    ASSERT_TRUE(RunUiIdle());
    EXPECT_TRUE(dview_.messages.empty()) << dview_.messages.back().text;
    std::vector<std::string> shown;
    for (const ProgressText& p : dview_.progress) {
      EXPECT_EQ(p.command, c.command);
      if (shown.empty() || shown.back() != p.info) shown.push_back(p.info);
      std::smatch m;
      if (c.transfer) {
        ASSERT_TRUE(std::regex_match(p.transfer, m, transfer)) << p.transfer;
        EXPECT_EQ(std::stoi(m[2]), p.percent);
        // Before its file is opened a text gives no total yet.
        const std::size_t at = shown.size() - 1;
        if (at < c.totals.size() && m[1] != "0 Byte") {
          EXPECT_EQ(m[1], DataSizeText(c.totals[at])) << p.info;
        }
      } else {
        EXPECT_EQ(p.transfer, "");
      }
    }
    EXPECT_EQ(shown, c.infos);
    if (c.transfer) {
      EXPECT_EQ(dview_.progress.back().percent, 100);
    }
  }
}

TEST(HoldThumbnail, PlacementAndButtonFaces) {
  struct {
    int W, H, w, h;
    Rect expect;
  } cases[] = {
      {240, 240, 24, 32, {6, 16, 234, 187}},    // small: scaled up to the height
      {240, 240, 768, 96, {108, 6, 132, 198}},  // wide: scaled down to the width
      {240, 240, 0, 32, {0, 0, 0, 0}},          // no width: no picture
      {40, 240, 24, 32, {0, 0, 0, 0}},          // no room left of the strip
  };
  for (auto& c : cases) {
    Rect r = hold::ThumbnailPlace(c.W, c.H, c.w, c.h);
    EXPECT_TRUE(r.top == c.expect.top && r.left == c.expect.left && r.bottom == c.expect.bottom &&
                r.right == c.expect.right)
        << c.w << "x" << c.h << ": " << r.top << "," << r.left << "," << r.bottom << "," << r.right;
  }
}

}  // namespace
}  // namespace holdtest
