// The installer's own services: its dialog framework's dispatch rules, the
// library routines no page calls yet, and the script font report.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FanctionLib/CEdit.h"
#include "Installer/DebugTrace.h"
#include "Installer/InstApp.h"
#include "Installer/InstLibrary.h"
#include "Installer/InstWindows.h"
#include "OT/PBoxTable.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/files.h"
#include "toolbox/icons.h"
#include "toolbox/loginitems.h"
#include "toolbox/memory.h"
#include "toolbox/resources.h"
#include "toolbox/script.h"
#include "toolbox_fixture.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

TEST(InstallerLibrary, TextsTypesFontsAndViewRectangles) {
  EXPECT_EQ(ResType_CharToBin("TEXT"), OSType('TEXT'));
  EXPECT_EQ(ResType_CharToBin("ab"), OSType('ab  '));
  for (auto [in, out] : {std::pair{"::::TOOL:@LAN", "::::TOOL:%s"}, {"@LAN@LAN:x", "%s%s:x"}, {"plain", "plain"}}) {
    char text[32];
    std::strcpy(text, in);
    SetLanguage(text);
    EXPECT_STREQ(text, out);
  }

  testsupport::TempDir dir;
  const std::string file = (dir / "MESSAGE.INI").string();
  WriteFile(file, "[FONT]\r\nLICENSE=,1,14\r\nLIST=Osaka\r\n[OTHER]\r\nLATE=found\r\n");
  // The reader without a section end finds a key of a later section; the
  // value is cut to the capacity and its length reported.
  char value[4] = "old";
  std::size_t length = sizeof value;
  EXPECT_EQ(Load_File_To_Cstring(value, sizeof value, "LATE=", "[FONT]", file.c_str()), 0);
  EXPECT_EQ(Get_Text_Data(value, &length, "[FONT]", "LATE=", file.c_str()), 1);
  EXPECT_STREQ(value, "fou");
  EXPECT_EQ(length, 3u);
  length = sizeof value;
  EXPECT_EQ(Get_Text_Data(value, &length, "[FONT]", "NONE=", file.c_str()), 0);
  EXPECT_EQ(length, 0u);

  // Absent fields leave their outputs as they were.
  short font = 77, face = 5, size = 9;
  EXPECT_EQ(Get_Font_Data2("LICENSE=", &font, &face, &size, file.c_str()), 1);
  EXPECT_EQ(font, 77);
  EXPECT_EQ(face, 1);
  EXPECT_EQ(size, 14);
  EXPECT_EQ(Get_Font_Data2("LIST=", &font, &face, &size, file.c_str()), 1);
  EXPECT_EQ(face, 1);
  EXPECT_EQ(size, 14);
  EXPECT_EQ(Get_Font_Data2("MISSING=", &font, &face, &size, file.c_str()), 0);

  PBOXinfo boxes[2] = {};
  boxes[1].pbi_inuse = 1;
  boxes[1].pbi_ip_addr = 0x7F000001;
  PBOXinfo got{};
  EXPECT_EQ(Get_Print_Data(boxes, 2, 0, &got), 0);
  EXPECT_EQ(Get_Print_Data(boxes, 2, 2, &got), 0);
  EXPECT_EQ(Get_Print_Data(boxes, 2, 1, &got), 1);
  EXPECT_EQ(got.pbi_ip_addr, 0x7F000001u);

  Rect r{1, 2, 3, 4};
  CEDIT_DATA empty{};
  for (auto* set : {CESetViewRect, CESetDestRect}) {
    EXPECT_EQ(set(nullptr, &r), -1);
    EXPECT_EQ(set(&empty, &r), -2);
  }
  for (auto* get : {CEGetViewRect, CEGetDestRect}) {
    EXPECT_EQ(get(nullptr, &r), -1);
    EXPECT_EQ(get(&empty, &r), -2);
  }
}

TEST(InstallerLibrary, NamedShortcutsNeverReplaceARealItemNorWriteThroughALink) {
  testsupport::TempDir dir;
  const std::string target = (dir / "Prog.app").string(), folder = (dir / "links").string();
  fs::create_directories(target);
  fs::create_directories(dir / "links/Taken");
  struct Case {
    const char* name;
    const char* target;
    OSErr result;
    const char* link;  // the link made, or none
  } cases[] = {
      {"Named", nullptr, 0, "Named"},       {nullptr, nullptr, 0, "Prog.app"},
      {"Named", nullptr, 0, "Named"},  // an earlier shortcut is replaced
      {"Taken", nullptr, -2, nullptr},      {"a/b", nullptr, -2, nullptr},
      {"Gone", "Missing.app", -1, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name ? c.name : "(target's name)");
    const std::string to = c.target ? (dir / c.target).string() : target;
    EXPECT_EQ(CreateAliasEx(to, folder, c.name, false, 0), c.result);
    if (c.link) {
      EXPECT_EQ(fs::read_symlink(dir / "links" / c.link), to);
    }
  }
  EXPECT_TRUE(fs::is_directory(dir / "links/Taken"));
  EXPECT_FALSE(fs::exists(dir / "links/Gone"));

  // A program's icon family file reads whole; anything else is refused.
  const std::string family = std::string("icns") + std::string("\0\0\0\x0c", 4) + "abcd";
  WriteFile(dir / "Prog.app/appli.icns", family);
  WriteFile(dir / "Prog.app/short.icns", family.substr(0, 10));
  struct Icon {
    const char* file;
    OSErr result;
  } icons[] = {{"appli.icns", noErr}, {"short.icns", noSuchIconErr}, {"none.icns", fnfErr}};
  for (const auto& i : icons) {
    FSSpec spec;
    tb::PathToSpec((dir / "Prog.app" / i.file).string(), &spec);
    IconFamilyHandle h = nullptr;
    EXPECT_EQ(ReadIconFile(&spec, &h), i.result) << i.file;
    EXPECT_EQ(h != nullptr, i.result == noErr);
    if (h) {
      EXPECT_EQ(std::string(*h, std::size_t(GetHandleSize(h))), family);
      DisposeHandle(h);
    }
  }

  // Icons go from a resource file into a shortcut that can hold them, as
  // the custom icon; a link is left alone, so its target stays unchanged.
  auto resFile = [&](const char* name) {
    FSSpec spec;
    tb::PathToSpec((dir / name).string(), &spec);
    FSpCreateResFile(&spec, 'VMxi', 'rsrc', 0);
    return spec;
  };
  FSSpec source = resFile("icons.rsrc");
  SInt16 ref = FSpOpenResFile(&source, fsRdWrPerm);
  ASSERT_NE(ref, -1);
  Handle h = NewHandle(4);
  AddResource(h, 'icl8', 128, testsupport::PStr("big"));
  CloseResFile(ref);
  resFile("shortcut");
  EXPECT_EQ(CreateAliasExg(target, (dir / "icons.rsrc").string(), folder, "Linked", true, 0), 0);
  const std::string before = ReadFile(dir / "icons.rsrc");
  SetOtherResData((dir / "icons.rsrc").string(), (dir / "links/Linked").string(), 0);
  SetOtherResData((dir / "icons.rsrc").string(), (dir / "shortcut").string(), 0);
  EXPECT_EQ(ReadFile(dir / "icons.rsrc"), before);
  FSSpec shortcut;
  tb::PathToSpec((dir / "shortcut").string(), &shortcut);
  ref = FSpOpenResFile(&shortcut, fsRdPerm);
  ASSERT_NE(ref, -1);
  Handle copied = Get1Resource('icl8', -16455);
  ASSERT_NE(copied, nullptr);
  SInt16 id;
  ResType type;
  Str255 name;
  GetResInfo(copied, &id, &type, name);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(name + 1), name[0]), "big");
  CloseResFile(ref);
}

TEST(InstallerLibrary, ConfigDataAndTheDefaultLanguageBesideTheProgram) {
  testsupport::TempDir dir;
  fs::create_directories(dir / "MacOS");
  fs::create_directories(dir / "Resources/Deutsch");
  tb::SetApplicationPath((dir / "MacOS/vemoplexinstall").string());
  const char* addresses[] = {"255.255.255.255", "10.1.2.255"};
  ASSERT_EQ(Save_Config_Data(addresses, 2), noErr);
  EXPECT_EQ(ReadFile(dir / "MacOS/ConfigData"), "[SYSTEM]\r\nUDP00=255.255.255.255\r\nUDP01=10.1.2.255\r\n");

  WriteFile(dir / "Resources/COPYFILE.INI", "[FOLDER]\nINSTALL=VP\n");
  WriteFile(dir / "MacOS/Language.INI",
            "[SYSLANG]\nDEFAULT=German\n[Language]\nLang00=English;English\n"
            "Lang01=German;Deutsch\n");
  ASSERT_EQ(Set_Default_Infomation(), 1);
  EXPECT_EQ(instData.messSpec, (dir / "Resources/Deutsch/MESSAGE.INI").string());
  EXPECT_EQ(instData.instFolderSpec(), std::string(std::getenv("HOME")) + "/VP");
  WriteFile(dir / "MacOS/Language.INI", "[SYSLANG]\nDEFAULT=..\n");
  EXPECT_EQ(Set_Default_Infomation(), 0);  // never a folder outside Resources

  // The monitor beside the installer's bundle as a login item, added once
  // and removed by either routine; another program's item stays.
  testsupport::ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").c_str());
  WriteFile(dir / "disc/VEMO-MONITOR.app/Contents/MacOS/VEMO-MONITOR", "");
  WriteFile(dir / "other", "");
  ASSERT_EQ(tb::AddLoginItemPath((dir / "other").string(), false), noErr);
  tb::SetApplicationPath((dir / "disc/vemoplexinstall.app/Contents/MacOS/vemoplexinstall").string());
  auto paths = [] {
    std::vector<LoginItem> items;
    LIAECopyLoginItems(&items);
    std::vector<std::string> out;
    for (const auto& i : items) out.push_back(fs::path(i.path).filename().string());
    return out;
  };
  for (auto* remove : {+[] { return Set_Startup_File(false); }, +[] { return Delete_Startup_Data(); }}) {
    ASSERT_EQ(Set_Startup_File(true), noErr);
    ASSERT_EQ(Set_Startup_File(true), noErr);
    EXPECT_EQ(paths().size(), 2u);
    ASSERT_EQ(remove(), noErr);
    EXPECT_EQ(paths(), std::vector<std::string>{"other"});
  }
  tb::SetApplicationPath({});
}

TEST(InstallerLibrary, ScriptFontsAreReportedInOrderAndAligned) {
  ASSERT_EQ(SetScriptVariable(smSystemScript, smScriptSysFond, 21), noErr);
  ASSERT_EQ(SetScriptVariable(smSystemScript, smScriptAppFond, 22), noErr);
  ASSERT_EQ(SetScriptVariable(smAllScripts, smScriptSysFond, 3), noErr);
  ASSERT_EQ(SetScriptVariable(smAllScripts, smScriptAppFond, 4), noErr);
  testing::internal::CaptureStderr();
  Load_Script("mark");
  const std::string shown = testing::internal::GetCapturedStderr();
  const char* order[] = {"システムフォント : ",
                         "アプリフォント : ",
                         "mark : 0",
                         "smSystemScript, smScriptSysFond : 21",
                         "smCurrentScript, smScriptSysFond : 21",
                         "smAllScripts, smScriptSysFond : 3",
                         "smSystemScript, smScriptAppFond : 22",
                         "smCurrentScript, smScriptAppFond : 22",
                         "smAllScripts, smScriptAppFond : 4",
                         "mark : 0"};
  std::size_t at = 0;
  for (const char* line : order) {
    at = shown.find(line, at);
    ASSERT_NE(at, std::string::npos) << line << "\n" << shown;
    at += std::strlen(line);
  }
  Save_Script();
  EXPECT_EQ(GetScriptVariable(smAllScripts, smScriptSysFond), 21);
  EXPECT_EQ(GetScriptVariable(smAllScripts, smScriptAppFond), 22);
  EXPECT_EQ(GetScriptVariable(smCurrentScript, smScriptAppFond), 22);
}

// The wizard's dialog from the installer's resources, with handlers that
// note what reached them.
struct Seen {
  int keys = 0, updates = 0, items = 0, lastItem = 0;
  Boolean keyAnswer = 0, itemAnswer = 1;
} gSeen;

class InstallerFramework : public testsupport::ToolboxFixture {
 protected:
  InstallerFramework()
      : ToolboxFixture(Clock::kVirtual, std::string(std::getenv("VEMO_BUILD_DIR")) +
                                            "/suite/vemoplexinstall.app/Contents/Resources/vemoplexinstall.rsrc") {}
  static EventRecord event(EventKind what, long message, Point where = {}, EventModifiers modifiers = 0) {
    EventRecord e{};
    e.what = what;
    e.message = message;
    e.where = where;
    e.modifiers = modifiers;
    e.when = TickCount();
    return e;
  }
};

TEST_F(InstallerFramework, DispatchFollowsTheInstallersRules) {
  gSeen = Seen{};
  auto item = [](DialogRef, EventRecord*, DialogItemIndex i) -> Boolean {
    ++gSeen.items;
    gSeen.lastItem = i;
    return gSeen.itemAnswer;
  };
  auto update = [](DialogRef d, EventRecord*) -> short {
    ++gSeen.updates;
    BeginUpdate(GetDialogWindow(d));
    EndUpdate(GetDialogWindow(d));
    return 1;
  };
  auto key = [](DialogRef, EventRecord*) -> Boolean {
    ++gSeen.keys;
    return gSeen.keyAnswer;
  };
  DialogRef d =
      inst::Open_Usr_Dialog(140, testsupport::PStr("Title"), item, nullptr, update, nullptr, nullptr, key, nullptr);
  ASSERT_NE(d, nullptr);
  int record = 0;
  inst::Set_Usr_Window_RefCon(d, &record);
  EXPECT_EQ(inst::Get_Usr_Window_RefCon(d), &record);
  ShowWindow(GetDialogWindow(d));
  SelectWindow(GetDialogWindow(d));
  // A page's list below the buttons, as a page change appends it.
  AppendDITL(d, GetResource('DITL', 141), overlayDITL);
  Drain();

  // A key the handler keeps goes no further; a Command key never reaches it.
  EventRecord k = event(keyDown, 'a' | (0 << 8));
  EXPECT_EQ(inst::Handle_Dialog_Event(&k), 0);
  EventRecord cmd = event(keyDown, 'q', {}, cmdKey);
  EXPECT_EQ(inst::Handle_Dialog_Event(&cmd), 0);
  EXPECT_EQ(gSeen.keys, 1);

  // An update is the update handler's and finishes the event.
  EventRecord u = event(updateEvt, long(GetDialogWindow(d)));
  EXPECT_EQ(inst::Handle_Dialog_Event(&u), 1);
  EXPECT_EQ(gSeen.updates, 1);

  // A click on the list item: the item handler's answer is the dispatch's.
  Rect list;
  DialogItemType type;
  Handle h;
  GetDialogItem(d, 4, &type, &h, &list);
  Point at{SInt16(list.top + 5), SInt16(list.left + 5)};
  {
    tb::PortSaver port(GetWindowPort(GetDialogWindow(d)));
    LocalToGlobal(&at);
  }
  for (Boolean answer : {Boolean(1), Boolean(0)}) {
    gSeen.itemAnswer = answer;
    EventRecord click = event(mouseDown, 0, at);
    EXPECT_EQ(inst::Handle_Dialog_Event(&click), answer);
    EXPECT_EQ(gSeen.lastItem, 4);
  }

  // While a movable modal dialog is open the dialog under it takes no click.
  DialogRef settings = GetNewDialog(602, nullptr, reinterpret_cast<WindowRef>(-1));  // stays hidden
  ASSERT_NE(settings, nullptr);
  inst::Window_Select_Mode(settings);
  const int items = gSeen.items;
  EventRecord refused = event(mouseDown, 0, at);
  EXPECT_EQ(inst::Handle_Dialog_Event(&refused), 1);
  EXPECT_EQ(gSeen.items, items);
  inst::Window_Select_Mode(nullptr);

  // A movable modal dialog refuses every other window.
  WindowRef other = NewTestWindow(Rect{300, 300, 400, 400}, "other");
  EXPECT_EQ(inst::MovableDlg_Is_Open(other), 0);
  inst::Window_Select_Mode(d);
  EXPECT_EQ(inst::MovableDlg_Is_Open(other), 1);
  EXPECT_EQ(inst::MovableDlg_Is_Open(GetDialogWindow(d)), 0);
  inst::Close_Usr_Dialog(d);
  EXPECT_EQ(inst::MovableDlg_Is_Open(other), 0);
  EXPECT_EQ(Win_Que_Base, nullptr);
}

}  // namespace
