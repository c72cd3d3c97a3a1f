// Movable alerts, the confirmation alerts' filter, the about box, and ini
// texts put into dialog items.
#include "common/AppAlerts.h"
#include "FrameworkFixture.h"
#include "common/IniFile.h"
#include "test_support.h"

using namespace fwtest;

namespace {

class Alerts : public Framework {
 protected:
  testsupport::TempDir dir;
  std::string Ini(const std::string& body) {
    const auto path = dir.path() / "Alert.ini";
    testsupport::WriteFile(path, body);
    return path.string();
  }
  static short Open(ALERT_WND_INFO* info, SInt16 id, short type, short messageType = 0,
                    const char* ini = nullptr) {
    return Open_Alert_Dialog_Movable(info, id, type, messageType, ini, PStr("Alert"), PStr("a"), PStr("b"),
                                     PStr("c"), PStr("d"));
  }
  static bool Hidden(DialogRef d, DialogItemIndex item) {
    Rect r;
    DialogItemType kind;
    Handle h;
    GetDialogItem(d, item, &kind, &h, &r);
    return r.left >= 16384;
  }
};

EventRecord Key(UInt8 code, char c = 0) {
  EventRecord e{};
  e.what = keyDown;
  e.message = (UInt32(code) << 8) | UInt8(c);
  return e;
}

TEST_F(Alerts, OnlyTheEightMovableAlertIdsOpen) {
  ALERT_WND_INFO info{};
  for (SInt16 id : {609, 618, 200, 603}) EXPECT_EQ(Open(&info, id, 0), 0) << id;
  EXPECT_EQ(tb::DialogCount(), 0);
  EXPECT_EQ(info.using_, 0);
  EXPECT_EQ(tb::Beeps(), 0);
  EXPECT_EQ(Open(&info, 611, 0), 1);
  EXPECT_EQ(tb::DialogCount(), 1);
  Exit_Alert_Dialog(info.dlg);
}

TEST_F(Alerts, CaptionsComeFromTheButtonSectionWithFallbacks) {
  struct {
    short messageType;
    const char* ini;
    const char* first;
    const char* second;
  } cases[] = {
      {2, "[BUTTON]\nOK=Fine\nCANCEL=Stop\nNO=Nope\n", "OK", "Nope"},  // no "YES=": "OK"
      {2, "[BUTTON]\nYES=Yes\nNO=No\n", "Yes", "No"},
      {0, "[BUTTON]\nOK=Fine\nCANCEL=Stop\nYES=Yes\n", "Fine", "Stop"},
      {1, "[BUTTON]\nOK=\nCANCEL=Stop\n", "OK", "Stop"},                 // empty: "OK"
      {0, nullptr, "OK", "Cancel"},                                        // no file
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ini ? c.ini : "no file");
    const std::string ini = c.ini ? Ini(c.ini) : (dir.path() / "missing.ini").string();
    ALERT_WND_INFO info{};
    ASSERT_EQ(Open(&info, 610, 0, c.messageType, ini.c_str()), 1);
    EXPECT_EQ(tb::DialogItemText(info.dlg, 1), c.first);
    EXPECT_EQ(tb::DialogItemText(info.dlg, 2), c.second);
    Exit_Alert_Dialog(info.dlg);
  }
}

TEST_F(Alerts, AnOpenAlertIsAMovableModalFrameworkDialog) {
  ALERT_WND_INFO info{};
  ASSERT_EQ(Open(&info, 610, 0), 1);
  DialogRef d = info.dlg;
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(info.using_, 1);
  EXPECT_EQ(OpenMovableDlg, d);
  EXPECT_EQ(Get_Usr_Window_RefCon(d), &info);
  EXPECT_EQ(tb::Beeps(), 1);
  EXPECT_EQ(GetDialogDefaultItem(d), 1);
  EXPECT_FALSE(Hidden(d, 2));
  EXPECT_TRUE(ShowsText(d, 610, 3, "a|b|c|d"));
  // Its buttons follow its window's highlight.
  const USR_DIALOG& h = Search_Window_Data(d, nullptr)->usrWin.usrDialog;
  ASSERT_NE(h.Handle_Window_Active, nullptr);
  ControlRef button = nullptr;
  ASSERT_EQ(GetDialogItemAsControl(d, 1, &button), noErr);
  HiliteWindow(GetDialogWindow(d), false);
  h.Handle_Window_Active(d, nullptr);
  EXPECT_FALSE(IsControlActive(button));
  HiliteWindow(GetDialogWindow(d), true);
  h.Handle_Window_Active(d, nullptr);
  EXPECT_TRUE(IsControlActive(button));
  // Updates are drawn and done.
  Run();
  Rect all;
  GetWindowPortBounds(GetDialogWindow(d), &all);
  InvalWindowRect(GetDialogWindow(d), &all);
  EXPECT_LT(Run(), 5);
  EXPECT_FALSE(IsWindowUpdatePending(GetDialogWindow(d)));
  // A click on the message does nothing; one on the second button closes.
  Later();
  tb::ClickDialogItem(d, 3);
  Run();
  EXPECT_EQ(info.dlg, d);
  Later();
  ASSERT_TRUE(tb::ClickDialogItem(d, 2));
  Run();
  EXPECT_EQ(info.dlg, nullptr);
  EXPECT_EQ(info.using_, 0);
  EXPECT_EQ(OpenMovableDlg, nullptr);
  EXPECT_EQ(tb::DialogCount(), 0);
}

TEST_F(Alerts, ReturnAndEnterPressTheFirstButtonEscapeTheSecondOfTwo) {
  struct {
    short dialogType;
    const char* key;
    bool closes;
  } cases[] = {
      {0, "Return", true}, {0, "Enter", true}, {0, "Escape", true},
      {1, "Return", true}, {1, "Enter", true}, {1, "Escape", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.dialogType) + " " + c.key);
    ALERT_WND_INFO info{};
    ASSERT_EQ(Open(&info, 610, c.dialogType), 1);
    EXPECT_EQ(Hidden(info.dlg, 2), c.dialogType == 1);
    Run();
    const UInt32 before = TickCount();
    ASSERT_TRUE(tb::PressNamedKey(c.key));
    Run();
    EXPECT_EQ(info.dlg == nullptr, c.closes);
    EXPECT_EQ(tb::DialogCount(), c.closes ? 0 : 1);
    // The button was shown pressed before the alert went.
    EXPECT_EQ(TickCount() - before >= 10, c.closes);
    if (info.dlg) Exit_Alert_Dialog(info.dlg);
  }
}

TEST_F(Alerts, ASecondAlertOnTheSameRecordReplacesTheFirst) {
  ALERT_WND_INFO info{};
  ASSERT_EQ(Open(&info, 610, 0), 1);
  DialogRef first = info.dlg;
  ASSERT_EQ(Open(&info, 611, 1), 1);
  EXPECT_NE(info.dlg, nullptr);
  EXPECT_EQ(Search_Window_Data(first, nullptr), nullptr);
  EXPECT_EQ(tb::DialogCount(), 1);
  EXPECT_EQ(info.dlgID, 611);
  EXPECT_TRUE(Hidden(info.dlg, 2));
  EXPECT_EQ(OpenMovableDlg, info.dlg);
  EXPECT_EQ(Get_Alert_Table(&info, 612, 0, 1, 2), 0);  // claimed: unchanged
  EXPECT_EQ(info.dlgID, 611);
  Exit_Alert_Dialog(info.dlg);
  EXPECT_EQ(Get_Alert_Table(&info, 612, 0, 1, 2), 1);
}

TEST_F(Alerts, TheConfirmationFilterAnswersReturnAndEnterAndServesUpdates) {
  DialogRef d = GetNewDialog(620, nullptr, kFirstWindowOfClass);
  ASSERT_NE(d, nullptr);
  struct {
    UInt8 code;
    Boolean answered;
  } keys[] = {{kVK_Return, true}, {kVK_ANSI_KeypadEnter, true}, {kVK_Escape, false}, {0x00, false}};
  for (const auto& k : keys) {
    EventRecord e = Key(k.code, 'a');
    DialogItemIndex item = 0;
    EXPECT_EQ(Handle_CancelAlert_Filter(d, &e, &item), k.answered) << int(k.code);
    EXPECT_EQ(item, k.answered ? 1 : 0);
  }
  // An update of the alert redraws it; one of a framework dialog behind
  // goes to that dialog's handler.
  DialogRef behind = Open_Usr_Dialog(300, nullptr, nullptr, DialogUpdate, nullptr, nullptr, nullptr, nullptr);
  SelectWindow(GetDialogWindow(d));
  Rect all{0, 0, 50, 50};
  for (DialogRef x : {d, behind}) InvalWindowRect(GetDialogWindow(x), &all);
  Taken();
  EventRecord e;
  DialogItemIndex item = 0;
  while (GetNextEvent(updateMask, &e)) EXPECT_FALSE(Handle_CancelAlert_Filter(d, &e, &item));
  EXPECT_EQ(Taken(), Strings{"update"});
  EXPECT_FALSE(IsWindowUpdatePending(GetDialogWindow(d)));
  EXPECT_EQ(GetDialogDefaultItem(d), 1);
  // In the modal loop.
  tb::PressNamedKey("Enter");
  ModalDialog(Handle_CancelAlert_Filter, &item);
  EXPECT_EQ(item, 1);
  DisposeDialog(d);
}

// ---- The about box ---------------------------------------------------------------

TEST_F(Alerts, TheAboutBoxEndsOnReturnOrEnter) {
  for (const char* key : {"Return", "Enter"}) {
    tb::ResetEventState();
    tb::PressNamedKey(key);
    Open_About_Dialog();
    EXPECT_EQ(tb::DialogCount(), 0) << key;
    EXPECT_EQ(tb::QueuedEventCount(), 0) << key;
  }
  DialogRef d = GetNewDialog(kAboutDialogID, nullptr, kFirstWindowOfClass);
  EventRecord escape = Key(kVK_Escape);
  DialogItemIndex item = 0;
  EXPECT_FALSE(Handle_About_Filter(d, &escape, &item));
  DisposeDialog(d);
}

TEST_F(Alerts, TheAboutBoxIsFilledFromTheIniFileAndResources) {
  std::snprintf(IniFileName, sizeof IniFileName, "%s", Ini("[TITLE]\nABOUT=About Framework\n").c_str());
  DialogRef d = GetNewDialog(kAboutDialogID, nullptr, kFirstWindowOfClass);
  ASSERT_NE(d, nullptr);
  GrafPtr before;
  GetPort(&before);
  Load_Value_About_Setup(d, IniFileName);
  GrafPtr after;
  GetPort(&after);
  EXPECT_EQ(before, after);
  Str255 title;
  GetWTitle(GetDialogWindow(d), title);
  EXPECT_EQ(pstr::str(title), "About Framework");
  EXPECT_EQ(tb::DialogItemText(d, 1), "OK");
  EXPECT_EQ(GetDialogDefaultItem(d), 1);
  short arial = 0;
  GetFNum(PStr("Arial"), &arial);
  EXPECT_EQ(GetPortTextFont(GetDialogPort(d)), arial);
  EXPECT_EQ(GetPortTextSize(GetDialogPort(d)), 13);
  // The application icon, centred in item 2 (20, 126, 52, 174).
  EXPECT_EQ(tb::PortPixel(GetDialogPort(d), 150, 36), tb::PackPixel(0, 200, 0));
  EXPECT_NE(tb::PortPixel(GetDialogPort(d), 127, 21), tb::PackPixel(0, 200, 0));
  DisposeDialog(d);
}

TEST_F(Alerts, TheAboutBoxMovesAndOtherWindowsBeep) {
  Rect r{620, 700, 700, 900};  // clear of the about box
  WindowRef other = NewCWindow(nullptr, &r, PStr("Other"), true, documentProc, kFirstWindowOfClass, false, 0);
  // In the modal loop: a drag on the other window beeps, Return ends.
  ASSERT_TRUE(tb::DragWindowBy(other, 10, 0));
  tb::PressNamedKey("Return");
  Open_About_Dialog();
  EXPECT_EQ(tb::Beeps(), 1);
  EXPECT_EQ(tb::DialogCount(), 0);
  Rect now;
  GetWindowBounds(other, kWindowContentRgn, &now);
  EXPECT_EQ(now.left, r.left);

  // A drag on the about box moves it.
  DialogRef d = GetNewDialog(kAboutDialogID, nullptr, kFirstWindowOfClass);
  WindowRef about = GetDialogWindow(d);
  ShowWindow(about);
  Rect was;
  GetWindowBounds(about, kWindowContentRgn, &was);
  ASSERT_TRUE(tb::DragWindowBy(about, 30, 20));
  EventRecord e;
  ASSERT_TRUE(GetNextEvent(mDownMask, &e));
  DialogItemIndex item = 0;
  EXPECT_FALSE(Handle_About_Filter(d, &e, &item));
  GetWindowBounds(about, kWindowContentRgn, &now);
  EXPECT_EQ(now.left - was.left, 30);
  EXPECT_EQ(now.top - was.top, 20);
  EXPECT_EQ(tb::Beeps(), 1);
  DisposeDialog(d);
  DisposeWindow(other);
}

// ---- Ini texts in dialog items ------------------------------------------------------

TEST_F(Alerts, IniTextsBecomeTitlesOrItemTextsByItemKind) {
  const std::string ini = Ini("[LABEL]\nNAME=Printer\n");
  DialogRef d = OpenDialog();
  ASSERT_NE(d, nullptr);
  struct {
    DialogItemIndex item;
    short result;
    const char* text;
  } cases[] = {
      {1, 1, "Printer"},   // button
      {5, 1, "Printer"},   // check box
      {6, 1, "Printer"},   // radio button
      {3, 1, "Printer"},   // edit text
      {4, 1, "Printer"},   // static text
      {9, 1, "Printer"},   // disabled button (132)
      {10, 1, "Printer"},  // disabled check box (133)
      {11, 1, "Printer"},  // disabled radio button (134)
      {12, 1, "Printer"},  // disabled static text (136)
      {7, 0, ""},          // disabled user item
      {13, 0, ""},         // picture
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Set_String_To_Item(d, c.item, "NAME=", "[LABEL]", ini.c_str()), c.result) << c.item;
    if (c.result) {
      EXPECT_EQ(tb::DialogItemText(d, c.item), c.text) << c.item;
    }
  }
  EXPECT_EQ(Set_String_To_Item(d, 2, "MISSING=", "[LABEL]", ini.c_str()), 1);
  EXPECT_EQ(tb::DialogItemText(d, 2), "???");
  EXPECT_EQ(Set_String_To_Item(nullptr, 1, "NAME=", "[LABEL]", ini.c_str()), 0);
}

}  // namespace
