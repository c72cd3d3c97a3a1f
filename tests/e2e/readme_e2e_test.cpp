// The README's commands as a newcomer pastes them, read from the README
// itself so that the two cannot drift, and run headless on the tests' own
// build (VEMO_RUN_BUILD: nothing is built twice) into fresh folders: the
// demo of scripts/run, whose tour writes its screenshots and starts the
// status monitor, and the start line of each program, whose short tour
// finds the program's first window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ScopedEnv;

const fs::path kSource = std::getenv("VEMO_SOURCE_DIR") ? std::getenv("VEMO_SOURCE_DIR") : ".";
const fs::path kBuild = std::getenv("VEMO_BUILD_DIR") ? std::getenv("VEMO_BUILD_DIR") : ".";

// The README's command lines (indented by four) that begin with prefix.
std::vector<std::string> readmeCommands(const std::string& prefix) {
  std::vector<std::string> out;
  for (const std::string& line : testsupport::ReadLines(kSource / "README.md"))
    if (line.starts_with("    " + prefix)) out.push_back(line.substr(4));
  return out;
}

// Runs a line as pasted into a shell at the top of the checkout, with the
// scripts' files in a folder of the test's (named by folderVariable); its
// exit status, and what it wrote in *out. It returns once every program the
// line started has ended.
int paste(const std::string& line, const char* folderVariable, const fs::path& folder, std::string* out) {
  ScopedEnv build("VEMO_RUN_BUILD", kBuild.c_str());
  ScopedEnv files(folderVariable, folder.c_str());
  return testsupport::RunProgram({"/bin/bash", "-c", "exec 1>&2\n" + line}, out, kSource);
}

// A window's shot: smaller than the screen, larger than a button.
bool isWindowShot(const fs::path& png) {
  const auto image = testsupport::ReadPNG(png);
  return image && image->width > 200 && image->width < 1024 && image->height > 100 && image->height < 768;
}

TEST(ReadmeCommands, RunShowsTheBoxesAndTheStatusMonitorItStarts) {
  const std::vector<std::string> lines = readmeCommands("scripts/run ");
  ASSERT_EQ(lines.size(), 1u);
  testsupport::TempDir dir;
  std::string out;
  ASSERT_EQ(paste(lines[0], "VEMO_RUN_DIR", dir / "run", &out), 0) << out;
  for (const char* shot : {"1-boxes-found.png", "2-box-selected.png", "3-system-status.png", "4-quit-question.png"}) {
    const auto image = testsupport::ReadPNG(dir / "run" / shot);
    ASSERT_TRUE(image) << shot << "\n" << out;
    EXPECT_EQ(image->width, 1024) << shot;
  }
  // Status > Status Monitor... started the monitor of the demo's own suite,
  // whose window its tour found; the monitor's files stayed out of the
  // build.
  EXPECT_TRUE(isWindowShot(dir / "run/status-monitor.png")) << out;
  EXPECT_NE(
      testsupport::ReadFile(dir / "run/opened.txt").find("launch\t" + (dir / "run/suite/VEMO-MONITOR.app").string()),
      std::string::npos);
  EXPECT_TRUE(fs::exists(dir / "run/suite/MONITOR Data"));
  EXPECT_FALSE(fs::exists(kBuild / "suite/MONITOR Data"));
}

// Each program, and what the README's line for it leaves: the shot of its
// first window, or what it opened or started.
struct Start {
  const char* program;
  bool window;         // a shot of its first window, <program>.png
  const char* opened;  // a line of opened.txt, below the build, if any
};
const Start kStarts[] = {
    {"VEMO-ADMIN", true, nullptr},
    {"VEMO-MONITOR", true, nullptr},
    {"VemoHoldManager", true, nullptr},
    {"upcaster", true, nullptr},
    {"vemoplexinstall", true, nullptr},
    {"setup", true, nullptr},
    {"vemomanual", false, "open\t@BUILD@/disc/Manuals/English/index.html"},
    // No window of its own: the monitor it starts shows its first one.
    {"VEMO-MONITOR Startup", true, "launch\t@TRY@/suite/VEMO-MONITOR.app/Contents/MacOS/VEMO-MONITOR"},
};

void PrintTo(const Start& s, std::ostream* os) { *os << s.program; }

// The start line of a program, its name quoted when it holds a blank.
std::string startLine(const std::string& program) {
  return "scripts/try " + (program.find(' ') == std::string::npos ? program : "\"" + program + "\"");
}

TEST(ReadmeCommands, EveryProgramHasOneStartLine) {
  const std::vector<std::string> lines = readmeCommands("scripts/try ");
  std::multiset<std::string> listed(lines.begin(), lines.end()), expected;
  for (const Start& s : kStarts) expected.insert(startLine(s.program));
  EXPECT_EQ(listed, expected);
}

class ReadmeStart : public ::testing::TestWithParam<Start> {};

TEST_P(ReadmeStart, TheLineStartsTheProgramAgainstTheBoxesAndItsTourFindsTheFirstWindow) {
  const Start& s = GetParam();
  const std::string line = startLine(s.program);
  const std::vector<std::string> lines = readmeCommands("scripts/try ");
  ASSERT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << "no line for " << s.program;
  testsupport::TempDir dir;
  const fs::path tried = dir / "try";
  std::string out;
  ASSERT_EQ(paste(line, "VEMO_TRY_DIR", tried, &out), 0) << out;
  if (s.window) {
    EXPECT_TRUE(isWindowShot(tried / (std::string(s.program) + ".png"))) << out;
  }
  if (s.opened) {
    std::string want = s.opened;
    for (auto [from, to] : {std::pair{"@BUILD@", kBuild.string()}, std::pair{"@TRY@", tried.string()}})
      if (const auto at = want.find(from); at != std::string::npos) want.replace(at, std::string(from).size(), to);
    EXPECT_NE(testsupport::ReadFile(tried / "opened.txt").find(want), std::string::npos) << out;
  }
  // The boxes were up for it, and stopped once it had ended.
  EXPECT_NE(testsupport::ReadFile(tried / "emulator.log").find("TOOLBOX_PORTMAP="), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(EachProgram, ReadmeStart, ::testing::ValuesIn(kStarts),
                         [](const ::testing::TestParamInfo<Start>& info) {
                           std::string name;
                           for (const char* c = info.param.program; *c; ++c)
                             if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                           return name;
                         });

}  // namespace
