// Start-up: the launching Apple event decides the language file and the
// mode, keys before it are dropped, the quit event asks first, and the
// alerts answer their keys.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Admin/AdminApp.h"
#include "admin_harness.h"
#include "test_support.h"
#include "toolbox/appleevents.h"
#include "toolbox/bundle.h"
#include "toolbox/events.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"

namespace {

using admintest::Bundle;

class AdminStartup : public ::testing::Test {
 protected:
  void SetUp() override {
    tb::ResetResources();
    Appl_Rsrc_Fork_No = tb::OpenApplicationResources(Bundle() + "/Contents/Resources/VEMO-ADMIN.rsrc");
    ASSERT_GE(Appl_Rsrc_Fork_No, 0);
    tb::SetMainBundlePath(Bundle());
    tb::SetSystemLanguage("en");
    ASSERT_EQ(Initialize_App(), 1);
  }
  void TearDown() override {
    tb::ResetAppleEvents();
    tb::SetMainBundlePath("");
    tb::SetSystemLanguage("");
    tb::ResetResources();
  }

  // The suite's launch event carrying text under this program's creator.
  static OSErr launch(const char* text) {
    AppleEvent event;
    AEInitializeDesc(&event);
    OSType me = kAdminCreator;
    AEAddressDesc target;
    AECreateDesc(typeApplSignature, &me, 4, &target);
    AECreateAppleEvent('JCev', 'apop', &target, kAutoGenerateReturnID, kAnyTransactionID, &event);
    AEDescList list;
    AECreateList(nullptr, 0, false, &list);
    AEPutPtr(&list, 1, typeChar, text, Size(std::strlen(text)));
    AEPutParamDesc(&event, kAdminCreator, &list);
    OSErr r = AEJCIHandler(&event, nullptr, 0);
    AEDisposeDesc(&list);
    AEDisposeDesc(&target);
    AEDisposeDesc(&event);
    return r;
  }
};

TEST_F(AdminStartup, TheLaunchEventNamesTheLanguageOnce) {
  EXPECT_EQ(launch("Japanese:"), errAEEventNotHandled);
  EXPECT_STREQ(IniFileName, "Japanese:Admin.ini");
  EXPECT_STREQ(languStr, "Japanese:");
  EXPECT_EQ(OpenMode, 0);
  Get_Active_Language();
  EXPECT_STREQ(IniFileName, "::Resources:English:Japanese:Admin.ini");

  // A later launch event (a running program addressed again) changes
  // nothing, and neither does an open-application event.
  EXPECT_EQ(launch("English:"), errAEEventNotHandled);
  EXPECT_EQ(AEOpenHandler(nullptr, nullptr, 0), noErr);
  EXPECT_STREQ(languStr, "Japanese:");
  EXPECT_STREQ(IniFileName, "::Resources:English:Japanese:Admin.ini");
  EXPECT_EQ(OpenMode, 0);
}

TEST_F(AdminStartup, ALaunchTextTooLongIsCut) {
  const std::string text(300, 'L');
  launch(text.c_str());
  EXPECT_EQ(std::strlen(languStr), 255u);
  EXPECT_EQ(std::string(IniFileName), std::string(255, 'L') + "Admin.ini");
}

TEST_F(AdminStartup, KeysBeforeTheOpenEventAreDroppedAndANormalStartIsMode1) {
  OpenMode = 0;
  tb::PressKey('x', 0x07);
  tb::PressKey('y', 0x10);
  InitAEStuff();  // the open-application event is the program's first
  EXPECT_EQ(OpenMode, 1);
  Get_Active_Language();
  EXPECT_STREQ(IniFileName, "::Resources:English:Admin.ini");
  EventRecord e;
  EXPECT_FALSE(EventAvail(keyDownMask, &e));
}

TEST_F(AdminStartup, QuitAsksThroughItsAlertAndEscapeNeverConfirms) {
  std::strcpy(IniFileName, (Bundle() + "/Contents/Resources/English/Admin.ini").c_str());
  tb::PressNamedKey("Escape");
  EXPECT_EQ(AEQuitHandler(nullptr, nullptr, 0), -1);
  EXPECT_EQ(All_Done, 0);
  tb::PressNamedKey("Return");
  EXPECT_EQ(AEQuitHandler(nullptr, nullptr, 0), noErr);
  EXPECT_EQ(All_Done, 1);

  // The reversed alerts: item 1 is the cancelling button, and Escape
  // answers it as Return does.
  Str255 text = {4, 'S', 'u', 'r', 'e'}, empty = {0};
  for (const char* key : {"Escape", "Return"}) {
    tb::PressNamedKey(key);
    EXPECT_EQ(Set_Alert_Dialog_Items(605, 0, text, empty, empty, empty), 1) << key;
  }
  tb::PressNamedKey("Escape");
  EXPECT_EQ(Set_Alert_Dialog_Items_YesNo(602, 0, text, empty, empty, empty), 2);
}

}  // namespace
