// The configuration dialog with injected input: the checks of both pages,
// the address list's limits, the values kept across page changes, the save
// and reload of the preference file, and a folder renamed on the box.
#include <filesystem>
#include <fstream>

#include "drawn_text.h"
#include "hold_dialog_harness.h"

namespace holdtest {
namespace {

TEST(HoldConfigParse, DottedAddresses) {
  struct {
    const char* text;
    int ok;
    UInt32 addr;
  } cases[] = {{"010.1.2.3", 1, 0x0A010203},
               {"1..2.3", 1, 0x01000203},
               {".1.2.3", 1, 0x00010203},
               {"1.2.3.255", 1, 0x010203FF},
               {"1.2.3.256", 0, 0},
               {"1.2.3.65791", 0, 0},
               {"1.2.3", 0, 0},
               {"1.2.3.4.5", 0, 0},
               {"1.2.3.4 ", 0, 0},
               {"", 0, 0},
               {"a.1.2.3", 0, 0},
               {"1.2.3.4x", 0, 0}};
  for (auto& c : cases) {
    UInt32 a = 7;
    EXPECT_EQ(hold::StrToIPAddr(c.text, &a), c.ok) << c.text;
    EXPECT_EQ(a, c.addr) << c.text;
  }
}

TEST_F(HoldConfigTest, FirstPageChecksKeepsTextsAcrossPagesAndSaves) {
  testsupport::DrawnTextReport report;
  StartListedBox();
  ASSERT_EQ(OpenCfgDlg(&config_, e_.folders), 1);
  EXPECT_EQ(OpenCfgDlg(&config_, e_.folders), 0) << "one at a time";
  EXPECT_EQ(FieldText(12), "180");
  EXPECT_EQ(FieldText(18), "3");
  struct {
    short item;
    const char* text;
    const char* message;
  } checks[] = {
      {12, "3601", "Enter a time-out from 0 to 3600 seconds."},  {12, "", "Enter a time-out from 0 to 3600 seconds."},
      {12, "12a", "Enter a time-out from 0 to 3600 seconds."},   {12, "3600", ""},
      {18, "6", "Enter a search interval from 0 to 5 minutes."}, {18, "5", ""}};
  for (auto& c : checks) {
    Type(c.item, c.text);
    if (*c.message) {
      EXPECT_EQ(Press(2), c.message) << c.text;
      EXPECT_EQ(GetActiveMLTE(ConfigDialog()), c.item == 12 ? 1 : 2) << "the offending field";
    }
  }
  // Both spins clamp: the time-out at 3600, the re-search at the 5 its check takes.
  Type(12, "3599");
  Click(13);
  Click(13);
  EXPECT_EQ(FieldText(12), "3600");
  Type(18, "4");
  Click(19);
  Click(19);
  EXPECT_EQ(FieldText(18), "5");
  Click(20);
  EXPECT_EQ(FieldText(18), "4");

  // Addresses: normalised, refused when bad, doubled, the broadcast or a 17th.
  struct {
    const char* text;
    const char* message;
  } adds[] = {{"010.1.2.3", ""},
              {"10.1.2.3", "The address 10.1.2.3 is already in the list."},
              {"1.2.3.65791", "Enter a valid IP address."},
              {"", "Enter a valid IP address."},
              {"255.255.255.255", "The broadcast address 255.255.255.255 cannot be added."}};
  for (auto& a : adds) {
    Type(6, a.text);
    EXPECT_EQ(Press(7), a.message) << a.text;
  }
  // Each added address is scrolled into the list's view, drawn whole.
  auto shownWhole = [&](const std::string& text) {
    for (const tb::DrawnText& t : tb::DrawnTexts(GetDialogWindow(ConfigDialog()->dialog)))
      if (t.source == tb::TextSource::kListCell && t.text == text && !EmptyRect(&t.shown) &&
          EqualRect(&t.shown, &t.ink))
        return true;
    return false;
  };
  for (int i = 2; i <= 16; ++i) {
    Type(6, "192.168.0." + std::to_string(i));
    ASSERT_EQ(Press(7), "") << i;
    EXPECT_TRUE(shownWhole("192.168.0." + std::to_string(i))) << i;
  }
  Type(6, "192.168.1.1");
  EXPECT_EQ(Press(7), "No more than 16 addresses can be added.");
  // The last row is selected: deleting it selects the one before.
  Click(9);
  Click(9);

  // Kept for a person to look at.
  const std::string shots = std::string(std::getenv("VEMO_BUILD_DIR")) + "/test-home";
  std::filesystem::create_directories(shots);
  EXPECT_EQ(tb::SaveWindowPNG(GetDialogWindow(ConfigDialog()->dialog), (shots + "/hold-options.png").c_str()), noErr);

  // Page 2 and back: the typed texts stay, and each page is drawn whole and
  // alone (nothing of the other page's labels, frames, spins or fields).
  CGrafPtr port = GetDialogPort(ConfigDialog()->dialog);
  ClickTab(2);
  ASSERT_EQ(CfgDlgPage(ConfigDialog()), 2);
  EXPECT_EQ(FieldText(9), "Design") << "the first folder is selected";
  EXPECT_EQ(MarkedPixels(port, Rect{217, 292, 237, 400}), 0) << "the re-search spin, field frame and unit";
  EXPECT_EQ(MarkedPixels(port, Rect{203, 300, 208, 400}), 0) << "the re-search group's frame";
  ClickTab(1);
  ASSERT_EQ(CfgDlgPage(ConfigDialog()), 1);
  EXPECT_EQ(FieldText(12), "3600");
  EXPECT_EQ(FieldText(18), "4");
  EXPECT_TRUE(testsupport::DarkInkIn(port, Rect{217, 25, 237, 95})) << "the time-out field shows its text";
  EXPECT_EQ(MarkedPixels(port, Rect{88, 280, 174, 396}), 0) << "the folder name's label, field and limit";

  EXPECT_EQ(Press(2), "");
  EXPECT_EQ(ConfigDialog(), nullptr);
  EXPECT_EQ(config_.ulTimeOut, 3600u);
  EXPECT_EQ(config_.ulReSearch, 4u);
  ASSERT_EQ(config_.usAddrCount, 15);
  EXPECT_EQ(Addresses().front(), "10.1.2.3");
  EXPECT_EQ(Addresses().back(), "192.168.0.14");
  HOLD_CONFIG loaded{};
  GetConfig(&loaded);
  EXPECT_EQ(loaded.ulTimeOut, 3600u);
  EXPECT_EQ(loaded.ulReSearch, 4u);
  EXPECT_EQ(loaded.usAddrCount, 15);
  EXPECT_EQ(std::memcmp(loaded.ulAddr, config_.ulAddr, sizeof loaded.ulAddr), 0);

  // Reopened, the dialog shows what was saved; Cancel keeps it.
  config_ = loaded;
  ASSERT_EQ(OpenCfgDlg(&config_, e_.folders), 1);
  EXPECT_EQ(FieldText(12), "3600");
  Type(12, "10");
  tb::PressNamedKey("Escape");
  Pass();
  EXPECT_EQ(ConfigDialog(), nullptr);
  EXPECT_EQ(config_.ulTimeOut, 3600u);
}

// Each page lies whole inside the frame of the tab control, its text
// fields' edges included, and shows them when it first appears.
TEST_F(HoldConfigTest, EachPageLiesWholeInsideItsFrame) {
  StartListedBox();
  ASSERT_EQ(OpenCfgDlg(&config_, e_.folders), 1);
  for (int page : {1, 2}) {
    SCOPED_TRACE(page);
    if (page == 2) ClickTab(2);
    ASSERT_EQ(CfgDlgPage(ConfigDialog()), page);
    Pass();
    DialogRef d = ConfigDialog()->dialog;
    const Rect inner = FrameInside(CfgDlgTabs(ConfigDialog()));
    for (DialogItemIndex i = 5; i <= CountDITL(d); ++i) {
      Rect r = ItemRectOf(d, i);
      if (EmptyRect(&r)) continue;
      if (SubDlgField(ConfigDialog(), i)) InsetRect(&r, -1, -1);
      EXPECT_TRUE(Within(r, inner)) << "item " << i;
    }
    for (const SUB_FIELD& f : ConfigDialog()->fields) {
      const Rect r = ItemRectOf(d, f.item);
      EXPECT_TRUE(testsupport::DarkInkIn(
          GetDialogPort(d), Rect{SInt16(r.top + 2), r.right, SInt16(r.bottom - 2), SInt16(r.right + 1)}, 0xB0))
          << "the right edge of field " << f.item;
    }
  }
  Click(3);
}

TEST_F(HoldConfigTest, SecondPageRenamesAFolderOnTheBox) {
  StartListedBox();
  ASSERT_EQ(OpenCfgDlg(&config_, e_.folders), 1);
  ClickTab(2);
  ASSERT_EQ(CfgDlgPage(ConfigDialog()), 2);
  DialogRef d = ConfigDialog()->dialog;
  Rect rect;
  DialogItemType kind;
  Handle h;
  GetDialogItem(d, 6, &kind, &h, &rect);
  ASSERT_TRUE(tb::ClickInWindow(GetDialogWindow(d), Point{short(rect.top + 18 * 2 + 9), short(rect.left + 30)}));
  Pass();
  EXPECT_EQ(FieldText(9), "Sales");
  for (auto& [text, message] : std::vector<std::pair<const char*, const char*>>{
           {"", "Enter a folder name."}, {"Mar:keting", "The folder name contains a character that cannot be used."}}) {
    Type(9, text);
    EXPECT_EQ(Press(2), message);
  }
  ControlRef apply;
  GetDialogItemAsControl(d, 4, &apply);
  // The new name goes out in the folder's own language (the program's here
  // is English), and the box lists it with that language's code.
  struct {
    short row;
    const char* shown;
    const char* typed;
    UInt32 id;
    std::string held;
    UInt8 language;
  } renames[] = {
      {2, "Sales", "Marketing and Sales 2026", 3, "3_Marketing and Sa", 1},  // 24 bytes: sent cut to 16
      {1, "管理部", "経理部", 2, "2_\x8C\x6F\x97\x9D\x95\x94", 18},
  };
  for (const auto& r : renames) {
    SCOPED_TRACE(r.typed);
    ASSERT_TRUE(tb::ClickInWindow(GetDialogWindow(d), Point{short(rect.top + 18 * r.row + 9), short(rect.left + 30)}));
    Pass();
    EXPECT_EQ(FieldText(9), r.shown);
    Type(9, r.typed);
    ASSERT_TRUE(RunUi([&] { return IsControlActive(apply); })) << "typing enables Apply";
    EXPECT_EQ(Press(4), "");
    ASSERT_TRUE(RunUiIdle());
    bool found = false;
    for (auto& f : emu_.Hold().Folders(0))
      found = found || (f.id == r.id && f.name == r.held && f.language == r.language);
    EXPECT_TRUE(found);
    EXPECT_EQ(LastStatus(), "The folder was renamed.");
    // The refreshed folders reach the open dialog, its selection kept.
    ASSERT_TRUE(ConfigDialog());
    EXPECT_EQ(GetRenFolderName(ConfigDialog()), r.held);
  }
  Click(3);
  EXPECT_EQ(ConfigDialog(), nullptr);
}

}  // namespace
}  // namespace holdtest

namespace holdtest {
namespace {

std::vector<tb::ResourceEntry> ReadPrefs(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<UInt8> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<tb::ResourceEntry> out;
  EXPECT_EQ(tb::ParseResourceFile(bytes, out), noErr);
  return out;
}

TEST(HoldConfigFile, FirstRunMakesAnEmptyFileAnotherVersionIsRead) {
  testsupport::TempDir dir;
  testsupport::ScopedEnv config("XDG_CONFIG_HOME", dir.path().c_str());
  const auto file = dir.path() / "vemo/Preferences" / kHoldPrefsName;
  // The program's own version record.
  testsupport::OpenResourcesAsApplication(dir.path() / "app.rsrc",
                                          {testsupport::Resource('PVER', 128, std::vector<UInt8>(256, 0))});
  InitConfig();
  HOLD_CONFIG c{};
  GetConfig(&c);
  EXPECT_EQ(c.ulTimeOut, 180u);
  EXPECT_EQ(c.ulPrnOpt, 0x100u);
  ASSERT_TRUE(std::filesystem::exists(file)) << "a first run leaves an empty file";
  EXPECT_TRUE(ReadPrefs(file).empty());

  c.ulReSearch = 5;
  ASSERT_EQ(SetConfig(c), noErr);
  auto entries = ReadPrefs(file);
  ASSERT_EQ(entries.size(), 2u);
  for (auto& e : entries) EXPECT_EQ(e.data.size(), e.type == 'PVER' ? 256u : 152u);

  // A file of another version, its records named: read all the same, and
  // a save keeps their ids and names.
  std::array<UInt8, kHoldConfigImageSize> image{};
  c.ulReSearch = 2;
  HoldConfigToImage(c, image);
  std::vector<UInt8> version(256, 0);
  version[1] = 9;
  testsupport::WriteResourceFile(file, {testsupport::Resource('PVER', 128, version, "Version"),
                                        testsupport::Resource('CNFG', 128, {image.begin(), image.end()}, "Settings")});
  HOLD_CONFIG back{};
  GetConfig(&back);
  EXPECT_EQ(back.ulReSearch, 2u);
  ASSERT_EQ(SetConfig(back), noErr);
  for (auto& e : ReadPrefs(file)) EXPECT_EQ(e.name, e.type == 'PVER' ? "Version" : "Settings");
  tb::ResetResources();
  InitConfig();
}

}  // namespace
}  // namespace holdtest
