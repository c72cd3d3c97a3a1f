// What the framework's tests share: the compiled test resources, a clean
// screen, event queue and window table per test, the program's event loop,
// and handlers that note every call.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/AppWindows.h"
#include "stub_host.h"
#include "test_support.h"
#include "toolbox/clock.h"
#include "toolbox/dialogs.h"
#include "toolbox/menus.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "toolbox_fixture.h"

namespace fwtest {

using testsupport::PStr;

// Every handler call, as "<handler> <item or part>".
inline std::vector<std::string>& Calls() {
  static std::vector<std::string> calls;
  return calls;
}

// What the handlers answer.
struct Answers {
  Boolean itemSelect = true;
  Boolean keyInput = true;
  Boolean content = true;
  // Close the dialog from inside the key handler.
  bool closeOnKey = false;
};
inline Answers& Answer() {
  static Answers a;
  return a;
}

inline Boolean ItemSelect(DialogRef, EventRecord*, DialogItemIndex item) {
  Calls().push_back("item " + std::to_string(item));
  return Answer().itemSelect;
}
inline short DialogUpdate(DialogRef dialog, EventRecord*) {
  Calls().push_back("update");
  WindowRef w = GetDialogWindow(dialog);
  BeginUpdate(w);
  DrawDialog(dialog);
  EndUpdate(w);
  return 1;
}
inline short DialogActive(DialogRef, EventRecord* e) {
  Calls().push_back(std::string("active ") + ((e->modifiers & activeFlag) ? "on" : "off"));
  return 1;
}
inline short DialogOther(DialogRef, EventRecord*) {
  Calls().push_back("other");
  return 1;
}
inline Boolean KeyInput(DialogRef dialog, EventRecord* e) {
  Calls().push_back("key " + std::string(1, char(e->message & charCodeMask)));
  if (Answer().closeOnKey) Close_Usr_Dialog(dialog);
  return Answer().keyInput;
}

inline short WindowUpdate(WindowRef w, EventRecord*) {
  Calls().push_back("wupdate");
  BeginUpdate(w);
  EndUpdate(w);
  return 1;
}
inline short WindowActive(WindowRef, EventRecord* e) {
  Calls().push_back(std::string("wactive ") + ((e->modifiers & activeFlag) ? "on" : "off"));
  return 1;
}
inline short WindowClose(WindowRef, EventRecord*) {
  Calls().push_back("wclose");
  return 1;
}
inline Boolean WindowKey(WindowRef, EventRecord* e) {
  Calls().push_back("wkey " + std::string(1, char(e->message & charCodeMask)));
  return true;
}
inline Boolean WindowContent(WindowRef, EventRecord*) {
  Calls().push_back("wcontent");
  return Answer().content;
}
inline short WindowResize(WindowRef, EventRecord*) {
  Calls().push_back("wresize");
  return 1;
}
inline short WindowZoom(WindowRef, EventRecord*, WindowPartCode part) {
  Calls().push_back("wzoom " + std::to_string(part));
  return 1;
}

// Whether static item `item` of d looks as that item of a fresh copy of
// dialog `id` looks when it holds `text` itself (so ^0 to ^3 in d show the
// texts given to ParamText).
inline bool ShowsText(DialogRef d, SInt16 id, DialogItemIndex item, std::string_view text) {
  DialogRef ref = GetNewDialog(id, nullptr, nullptr);
  if (!d || !ref) return false;
  DialogItemType kind;
  Handle h;
  Rect r;
  GetDialogItem(ref, item, &kind, &h, &r);
  SetDialogItemText(h, PStr(text));
  {
    tb::PortSaver saved;
    for (DialogRef x : {d, ref}) {
      SetPortDialogPort(x);
      BackColor(whiteColor);
      EraseRect(&r);
      DrawDialog(x);
    }
  }
  bool same = true, inked = false;
  const UInt32 white = tb::PackPixel(255, 255, 255);
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) {
      const UInt32 want = tb::PortPixel(GetDialogPort(ref), x, y);
      same = same && tb::PortPixel(GetDialogPort(d), x, y) == want;
      inked = inked || want != white;
    }
  DisposeDialog(ref);
  return same && inked;
}

class Framework : public testsupport::ToolboxFixture {
 protected:
  Framework() : ToolboxFixture(Clock::kVirtual, FRAMEWORK_TEST_RSRC) {}
  void SetUp() override {
    testhost::Reset();
    ToolboxFixture::SetUp();
    Calls().clear();
    Answer() = Answers{};
  }
  void TearDown() override {
    while (Win_Que_Base) Close_Usr_Window(static_cast<USR_WINDOW_QUEUE*>(Win_Que_Base->q_body)->wndPtr);
    EXPECT_EQ(OpenMovableDlg, nullptr);
    OpenMovableDlg = nullptr;
    ToolboxFixture::TearDown();
  }

  // The program's loop over every queued event: the dialog stage, then
  // the window stage unless the first finished the event. Returns the
  // number of events taken.
  static int Run(int most = 100) {
    int n = 0;
    EventRecord e;
    while (n < most && GetNextEvent(everyEvent, &e)) {
      ++n;
      if (Handle_Dialog_Event(&e) != 1) Handle_Window_Event(&e);
    }
    return n;
  }
  // Separate clicks: far enough apart not to make a double click.
  static void Later() { tb::AdvanceClock(GetDblTime() + 1); }

  static DialogRef OpenDialog(UsrItemSelectProc select = ItemSelect, UsrDialogProc update = DialogUpdate,
                              UsrDialogProc active = DialogActive, UsrKeyInputProc key = KeyInput) {
    return Open_Usr_Dialog(300, PStr("Registry"), select, update, DialogOther, active, DialogOther, key);
  }
  static WindowRef OpenWindow() {
    return Open_Usr_Window(400, PStr("Plain"), WindowUpdate, WindowActive, WindowClose, WindowKey,
                           WindowContent, WindowResize, WindowZoom);
  }
  static std::vector<std::string> Taken() {
    std::vector<std::string> out;
    out.swap(Calls());
    return out;
  }
};

using Strings = std::vector<std::string>;

}  // namespace fwtest
