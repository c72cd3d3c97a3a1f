// The main window and the command engine together, driven by clicks and
// keys through the program's own loop against the emulated box: what the
// window shows after a failed refresh, an upload asked for while a refresh
// runs, and the folders of a newer box listed one at a time.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "FanctionLib/CList.h"
#include "hold_program_fixture.h"
#include "toolbox/dialogs.h"
#include "toolbox/navigation.h"
#include "toolbox/testdriver.h"

namespace {

class HoldWindow : public holdtest::LiveProgramTest {
 protected:
  // A click on an item of the main window, the loop run until it did what
  // it should.
  void Click(DialogItemIndex item, const std::function<bool()>& until) {
    ASSERT_TRUE(tb::ClickDialogItem(M()->dialog, item));
    ASSERT_TRUE(Loop(until, 5000)) << "item " << item;
  }
  bool MessageShown() { return GetFrontDialog() != M()->dialog; }
  // The message box in front answered with Return; its text.
  std::string AnswerMessage() {
    DialogRef box = GetFrontDialog();
    if (!MessageShown()) return "";
    std::string text = tb::DialogItemText(box, 2);
    tb::PressNamedKey("Return");
    Loop([&] { return GetFrontDialog() != box; }, 2000);
    return text;
  }
  // The request codes the box received from index from on, with the list
  // kind for codes 1 and 2 (12: code 1 of kind 2).
  std::vector<int> Requests(std::size_t from) {
    std::vector<int> out;
    const auto all = emu_.Hold().Requests(0);
    for (std::size_t i = from; i < all.size(); ++i) {
      const auto& r = all[i];
      out.push_back(r.size() < 3 ? -1 : r[2] == 1 || r[2] == 2 ? r[2] * 10 + r.back() : r[2]);
    }
    return out;
  }
  std::size_t RequestCount() { return emu_.Hold().Requests(0).size(); }
  bool Idle() { return M()->eng.current == 0; }
};

TEST_F(HoldWindow, AFailedRefreshLeavesNoJobOrFolderOfTheBoxInTheWindow) {
  StartBoxes();
  StartAndChooseFirstBox();
  struct {
    const char* what;
    pboxemu::HoldFaultSpec fault;
    const char* key;
  } cases[] = {
      {"refused", {pboxemu::HoldFault::Result, 2, 0, 1, 254, 0}, "STR254="},
      {"cut off in the list", {pboxemu::HoldFault::Reset, 1, 0, 1, 0, 20}, "STR004="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(CLGetCount(M()->tab0File), 2);
    ASSERT_EQ(PopupCount(kT0Folder), 2);
    emu_.Hold().Touch(0);  // the lists are read again, not only their change numbers
    emu_.Hold().SetFault(0, c.fault);
    Click(kT0Renew, [&] { return Idle() && MessageShown(); });
    EXPECT_EQ(AnswerMessage(), HoldText(&M()->eng, "MESSAGE", c.key));
    EXPECT_EQ(M()->eng.busy, 2);
    EXPECT_EQ(CLGetCount(M()->tab0File), 0);
    EXPECT_EQ(CLGetCount(M()->tab0Info), 0);
    EXPECT_EQ(PopupCount(kT0Folder), 0);
    EXPECT_EQ(GetControl32BitValue(Item(kT0Folder)), 0);
    // Renew lists everything again.
    Click(kT0Renew, [&] { return Idle() && CLGetCount(M()->tab0File) == 2; });
    EXPECT_FALSE(MessageShown());
    EXPECT_EQ(PopupCount(kT0Folder), 2);
  }
}

TEST_F(HoldWindow, AnUploadAskedForDuringARefreshEndsTheRefreshThenWaitsForTheBox) {
  StartBoxes();
  StartAndChooseFirstBox();
  ChangeTabPage(M()->dialog, 1, 2);
  ASSERT_TRUE(Loop([&] { return Idle() && CLGetCount(M()->tab1HMFile) == 2; }));
  const auto file = dir_.path() / "upload.prn";
  testsupport::WriteFile(file, std::string(50000, 'x'));
  tb::AnswerNextChooser({file.string()});
  Click(kT1Select, [&] { return CLGetCount(M()->tab1PCFile) == 1; });

  // The box takes the next request and never answers it: the refresh runs on.
  pboxemu::HoldFaultSpec silent;
  silent.mode = pboxemu::HoldFault::Silent;
  silent.count = 1;
  emu_.Hold().SetFault(0, silent);
  emu_.Hold().Touch(0);
  const std::size_t before = RequestCount();
  Click(kT1Renew, [&] { return RequestCount() > before; });
  ASSERT_EQ(M()->eng.current, CMD_REFRESH);

  // Upload, Yes: the refresh ends first; the upload has the command.
  Click(kT1Upload, [&] { return MessageShown(); });
  EXPECT_EQ(AnswerMessage(), HoldFormat(HoldText(&M()->eng, "LABEL", "STC_UPLOAD_CHK1="), {"upload.prn"}));
  EXPECT_EQ(M()->eng.list, nullptr);
  EXPECT_NE(GetPrgDlgPtr(), nullptr);
  const std::size_t atUpload = RequestCount();

  // The file goes whole; the box's own list is asked for once the wait's
  // three seconds have passed, then the lists are read again.
  ASSERT_TRUE(Loop([&] { return M()->eng.current == CMD_REFRESH; }));
  const UInt32 sent = TickCount();
  ASSERT_TRUE(Loop([&] { return RequestCount() > atUpload; }));
  EXPECT_GT(TickCount() - sent, 180u);
  ASSERT_TRUE(Loop([&] { return Idle() && CLGetCount(M()->tab1HMFile) == 3; }));
  EXPECT_EQ(Requests(atUpload), (std::vector<int>{21, 11, 23, 13, 22, 12}));
  EXPECT_FALSE(MessageShown());
  EXPECT_NE(M()->eng.busy, 2);
  const auto sessions = emu_.Hold().LprSessions(0);
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_TRUE(sessions[0].complete);
  EXPECT_EQ(sessions[0].data.size(), 50000u);
  EXPECT_EQ(CLGetCount(M()->tab1PCFile), 0);

  // A box slow to file the job: the progress dialog says so while the
  // program waits, and Escape ends the wait.
  emu_.Hold().SetFilingDelay(0, 100000);
  tb::AnswerNextChooser({file.string()});
  Click(kT1Select, [&] { return CLGetCount(M()->tab1PCFile) == 1; });
  Click(kT1Upload, [&] { return MessageShown(); });
  AnswerMessage();
  ASSERT_TRUE(Loop([&] { return M()->eng.current == CMD_REFRESH && M()->eng.list; }));
  ASSERT_NE(GetPrgDlgPtr(), nullptr);
  Str255 title;
  GetWTitle(GetDialogWindow(GetPrgDlgPtr()), title);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(title + 1), title[0]),
            HoldFormat(HoldText(&M()->eng, "TITLE", "UPLOAD="), {100}));
  tb::PressNamedKey("Escape");
  ASSERT_TRUE(Loop([&] { return GetPrgDlgPtr() == nullptr; }, 2000));
  EXPECT_TRUE(Idle());
  EXPECT_EQ(M()->eng.list, nullptr);
  EXPECT_EQ(M()->statusText, HoldText(&M()->eng, "MESSAGE", "STR007="));
}

TEST_F(HoldWindow, EachFolderOfANewerBoxListsItsOwnJobsWhateverItsId) {
  StartBoxes(0, /*newer=*/true, /*designId=*/100, /*salesId=*/200);
  StartAndChooseFirstBox();
  EXPECT_EQ(CLGetCount(M()->tab0File), 2);
  struct {
    MenuItemIndex folder;
    int rows;
    std::vector<int> requests;
  } steps[] = {
      // The folders' change number, then the folder's: "2_Sales" is not
      // listed yet; "1_Design" and then "2_Sales" are unchanged.
      {2, 1, {23, 22, 12}},
      {1, 2, {23, 22}},
      {2, 1, {23, 22}},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.folder);
    const std::size_t before = RequestCount();
    ASSERT_TRUE(tb::ChooseDialogPopupItem(M()->dialog, kT0Folder, s.folder));
    ASSERT_TRUE(Loop([&] { return M()->folderValue[0] == s.folder && RequestCount() > before && Idle(); }));
    EXPECT_EQ(Requests(before), s.requests);
    EXPECT_EQ(CLGetCount(M()->tab0File), s.rows);
  }
}

}  // namespace
