// The real VemoHoldManager driven by a script against two emulated boxes in
// this process: the boxes are found, a box is chosen from the device
// pop-up a person opened before it opens by itself, its jobs are listed and shown, the window answers a click, a menu
// command and a key, and quitting saves the window's frame in the
// preference file.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "pboxemu/emulator.h"
#include "test_support.h"
#include "toolbox/pictures.h"

namespace {

namespace fs = std::filesystem;

TEST(HoldEndToEnd, TheProgramListsTheChosenBoxsJobsAndSavesItsFrameAtQuit) {
  testsupport::TempDir dir;
  testsupport::ScopedEnv ports("TOOLBOX_PORTMAP", (pboxemu::PrivatePortMap() + "," + pboxemu::HoldPortMap()).c_str());
  testsupport::ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").c_str());
  testsupport::ScopedEnv cache("XDG_CACHE_HOME", (dir / "cache").c_str());
  pboxemu::Emulator emu;
  for (int i = 0; i < 2; ++i) {
    pboxemu::BoxSpec spec;
    spec.name = i == 0 ? "Office" : "Studio";
    spec.hasMachineType = true;
    std::memcpy(spec.machineType.data(), "VEMOPLEX[C]", 11);
    spec.machineType[15] = 0x23;
    emu.AddBox(spec);
  }
  auto& h = emu.Hold();
  h.Enable();
  for (int box = 0; box < 2; ++box) h.AddFolder(box, {1, "1_Design", 0, 0});
  for (const char* name : {"plan.txt", "見積書.pdf", "zeta"}) {
    pboxemu::HeldJob j;
    j.folder = 1;
    j.name = name;
    j.owner = "alice";
    h.AddJob(0, j);
  }
  std::string err;
  ASSERT_TRUE(emu.Start(&err)) << err;

  const fs::path shot = dir / "window.png";
  testsupport::WriteFile(dir / "tour.txt",
                         "wait-window VemoHoldManager\n"
                         // The device pop-up opened by a click as soon as a
                         // box is found, left open past the moment it would
                         // open by itself, then the box chosen by Return:
                         // it is not opened a second time over the first.
                         "wait-item VemoHoldManager 3 20000\n"
                         "click-item VemoHoldManager 3\n"
                         "sleep 2500\n"
                         "key Return\n"
                         "sleep 1500\n"
                         "window-shot VemoHoldManager " +
                             shot.string() +
                             "\n"
                             // The window answers a click (Options opens the
                             // settings, Cancel closes them), a menu command
                             // (About, closed by Return), a click again after
                             // it (the settings closed by Escape), and a key
                             // (Command-Q quits).
                             "click-item VemoHoldManager 6\n"
                             "wait-window Options\n"
                             "click-item Options 3\n"
                             "menu 1000 1\n"
                             "wait-window \"About VemoHoldManager\"\n"
                             "key Return\n"
                             "click-item VemoHoldManager 6\n"
                             "wait-window Options\n"
                             "key Escape\n"
                             "key q cmd\n");
  testsupport::ScopedEnv script("TOOLBOX_SCRIPT", (dir / "tour.txt").c_str());
  const std::string program =
      std::string(std::getenv("VEMO_BUILD_DIR")) + "/suite/VemoHoldManager.app/Contents/MacOS/VemoHoldManager";
  std::string errors;
  ASSERT_EQ(testsupport::RunProgram({program}, &errors), 0) << errors;
  emu.Stop();

  // Three rows of dark names in the job list (at 20..306 of the content,
  // rows of 18 pixels under an 18-pixel header from 100), none on a fourth.
  const std::string png = testsupport::ReadFile(shot);
  auto image = tb::DecodePNG(std::span<const UInt8>(reinterpret_cast<const UInt8*>(png.data()), png.size()));
  ASSERT_TRUE(image);
  const int top = image->height - 440, left = image->width - 586;  // the frame above and left of the content
  auto rowHasInk = [&](int row) {
    const int y0 = top + 118 + 18 * row;
    for (int y = y0 + 2; y < y0 + 16; ++y)
      for (int x = left + 45; x < left + 120; ++x) {
        const UInt8* p = reinterpret_cast<const UInt8*>(&image->pixels[std::size_t(y * image->width + x)]);
        if (p[1] < 0x70 && p[2] < 0x70 && p[3] < 0x70) return true;
      }
    return false;
  };
  EXPECT_TRUE(rowHasInk(0));
  EXPECT_TRUE(rowHasInk(1));
  EXPECT_TRUE(rowHasInk(2));
  EXPECT_FALSE(rowHasInk(3));
  // The box answered a change-number and list request, and the preference
  // file holds the frame the window had.
  EXPECT_GE(emu.Hold().Requests(0).size(), 2u);
  EXPECT_TRUE(emu.Hold().Requests(1).empty());
  EXPECT_TRUE(fs::exists(dir / "config/vemo/Preferences/VemoHoldManagerPrefs"));
}

}  // namespace
