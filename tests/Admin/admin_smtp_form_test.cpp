// The mail forms: the line-end conversions, a form read from and written to
// the settings tables with the subject translation, and the dialog driven
// by queued keys and clicks (typing Japanese, selection, clipboard, undo,
// the field cycle, Standard and Cancel), the texts in the language's
// encoding.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Admin/AdminApp.h"
#include "Admin/SetupBind.h"
#include "Admin/SmtpForm.h"
#include "admin_harness.h"
#include "common/Context.h"
#include "pboxemu/settings.h"
#include "test_support.h"
#include "toolbox/events.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"
#include "toolbox/textengine.h"

namespace {

std::string P(ConstStr255Param p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }
void SetP(Str255 p, const std::string& s) {
  p[0] = UInt8(s.size());
  std::memcpy(p + 1, s.data(), s.size());
}

TEST(MailFormLines, DeleteAndInsertLineEnds) {
  struct Case {
    std::string stored, shown;
    short lines;
  };
  for (const Case& c : {Case{"", "", 1}, Case{"a\r\nb\r\nc", "a\rb\rc", 3}, Case{"a\rb\n", "a\rb\n", 1},
                        Case{"\r\n\r\n", "\r\r", 3}, Case{"end\r", "end\r", 1}}) {
    char buf[300];
    std::memcpy(buf, c.stored.data(), c.stored.size());
    EXPECT_EQ(DeleteCodeN(buf, long(c.stored.size())), c.lines) << c.stored;
    EXPECT_EQ(std::string(buf), c.shown);
  }
  struct Grow {
    std::string text;
    long max, result;
    std::string after;
  };
  for (const Grow& g : {Grow{"a\rb", 255, 4, "a\r\nb"}, Grow{std::string(255, 'x'), 255, 255, std::string(255, 'x')},
                        Grow{std::string(254, 'x') + "\r", 255, -1, std::string(254, 'x') + "\r"},
                        Grow{"\r\r", 4, 4, "\r\n\r\n"}, Grow{"\r\r", 3, -1, "\r\r"}}) {
    char buf[300] = {};
    std::memcpy(buf, g.text.data(), g.text.size());
    const long n = InsertCodeN(buf, long(g.text.size()), g.max);
    EXPECT_EQ(n, g.result) << g.text.size();
    EXPECT_EQ(std::string(buf, n < 0 ? g.text.size() : std::size_t(n)), g.after);
  }
}

class MailForm : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(admintest::LoadForLoopbackSearch(60));
    MenuChangeAuthority = 1;
    gbSetupCancel = 0;
    pboxemu::SettingsBuilder b;
    for (UInt16 v = 0xEA04; v <= 0xEA07; ++v) b.String('E', v, 64, "", "SUBJ");
    b.String('E', 0xEA19, 64, "Printer Information", "SBJ1");
    b.String('E', 0xEA1A, 256, "Line 1\r\nLine 2", "TEXT");
    b.String('E', 0xEA1B, 64, "Desk\r\nRoom 5", "SIG1");
    b.Enum(0xEA1C, {"ENABLE", "DISABLE"}, 1, "FRM2");
    b.String('E', 0xEA1D, 64, "admin@example.com", "ADDR");
    b.String('E', 0xEA1E, 64, "Other", "SBJ2");
    b.String('E', 0xEA1F, 64, "", "SIG2");
    blocks_ = b.Build();
    admintest::PointTablesAt(blocks_);
    gSmtpForms = SMTP_FORMS{};
    Init_MLTE_Item();
  }
  void TearDown() override {
    FlushEvents(everyEvent, 0);
    Terminate_MLTE_Item();
    admintest::ClearTables();
    DeinitNetwork();
    tb::UseVirtualClock(false);
    tb::ResetResources();
  }
  std::string Show(UInt16 var) {
    char out[256] = "?";
    Get_Context_String(var, out);
    return out;
  }
  // A click on item of dialog 177, which stands where its resource puts it.
  static void ClickItem(const Rect& item) {
    tb::ClickAt(Point{SInt16(40 + item.top + 4), SInt16(40 + item.left + 4)});
  }
  static void Cmd(char c, EventModifiers more = 0) {
    tb::PressKey(UInt8(c), tb::KeyCodeForChar(c), EventModifiers(cmdKey | more));
  }
  pboxemu::SettingsBlocks blocks_;
};

TEST_F(MailForm, ReadTranslatesAndWriteRestoresTheStoredForms) {
  Get_Printer_Form();
  const SMTP_SENDFORM_INFO& f = gSmtpForms.printer;
  EXPECT_EQ(P(f.subjName1), "Printer information");
  EXPECT_EQ(P(f.text), "Line 1\rLine 2");
  EXPECT_EQ(P(f.signature1), "Desk\rRoom 5");
  EXPECT_EQ(f.sendEnb, 0);
  EXPECT_EQ(P(f.adminAddr), "admin@example.com");
  EXPECT_EQ(f.textMax, 255);
  EXPECT_EQ(f.subj1Max, 63);
  // Stored back unchanged; a second subject typed as the localised text is
  // stored as the fixed one.
  SetP(gSmtpForms.printer.subjName2, "Printer information for the administrator");
  gSmtpForms.printer.sendEnb = 1;
  EXPECT_EQ(Set_Printer_Form(), 1);
  EXPECT_EQ(Show(0xEA19), "Printer Information");
  EXPECT_EQ(Show(0xEA1A), "Line 1\r\nLine 2");
  EXPECT_EQ(Show(0xEA1B), "Desk\r\nRoom 5");
  EXPECT_EQ(Show(0xEA1E), "Printer Information (admin)");
  EXPECT_EQ(Get_Context_Enable(0xEA1C), 1);

  // A signature that outgrows the setting once its CRs become CR LF: the
  // message, and nothing behind it written.
  SetP(gSmtpForms.printer.signature1, std::string(60, 's') + "\r\r\r\r");
  SetP(gSmtpForms.printer.adminAddr, "new@example.com");
  tb::PressNamedKey("Return");
  EXPECT_EQ(Set_Printer_Form(), 0);
  EXPECT_EQ(Show(0xEA1B), "Desk\r\nRoom 5");
  EXPECT_EQ(Show(0xEA1D), "admin@example.com");
}

TEST_F(MailForm, DialogEditsTheFieldsByKeysAndWritesOnOk) {
  // Japanese typed in the subject goes to the box in the language's
  // encoding; in English, whose encoding cannot hold it, it is refused with
  // the subject's message (OK'd away) and the form cancelled.
  const std::string subject = "\x8C\x8F\x96\xBC\x83\x65\x83\x58\x83\x67!";  // 件名テスト! in the Japanese encoding
  for (const bool japanese : {false, true}) {
    SCOPED_TRACE(japanese ? "Japanese" : "English");
    tb::SetSystemLanguage(japanese ? "ja" : "en");
    // Field 0: typed over the subject (selected all first); Command-T three
    // times with the second form off comes back to field 0; then to the
    // text: select all, cut, paste twice, undo the second paste, type more.
    Cmd('a');
    tb::TypeText("件名テスト");
    for (int i = 0; i < 3; ++i) Cmd('t');
    tb::TypeText("!");
    Cmd('t');
    Cmd('a');
    Cmd('x');
    Cmd('v');
    Cmd('v');
    Cmd('z');
    tb::TypeText(" ok");
    Cmd('t');  // the signature: undo a typed run, redo it
    tb::TypeText("X");
    Cmd('z');
    Cmd('z', shiftKey);
    tb::PressNamedKey("Return");
    if (!japanese) {
      tb::PressNamedKey("Return");
      tb::PressNamedKey("Escape");
    }
    SMTP_SENDFORM_INFO form{};
    form.sendType = kSendFormPrinter;
    ASSERT_EQ(Open_SMTP_SendForm_Dialog(nullptr, &form), japanese ? 1 : 0);
    if (!japanese) {
      EXPECT_EQ(Show(0xEA19), "Printer Information");
      EXPECT_EQ(Show(0xEA1A), "Line 1\r\nLine 2");
      continue;
    }
    EXPECT_EQ(P(form.subjName1), subject);
    EXPECT_EQ(Show(0xEA19), subject);
    EXPECT_EQ(Show(0xEA1A), "Line 1\r\nLine 2 ok");
    EXPECT_EQ(Show(0xEA1B), "Desk\r\nRoom 5X");
  }
}

TEST_F(MailForm, StandardWritesTheHiddenMessagesEvenWhenCancelled) {
  Handle items = GetResource('DITL', kSendFormDialogID);
  ASSERT_NE(items, nullptr);
  std::vector<tb::DialogItemTemplate> list;
  ASSERT_EQ(tb::ParseItemList(std::span<const UInt8>(reinterpret_cast<const UInt8*>(*items),
                                                     std::size_t(GetHandleSize(items))),
                              list),
            noErr);
  // The box mails them in the language's encoding.
  const struct {
    const char* language;
    const char* code;
    std::string success, failure;
  } languages[] = {
      {"English", "en", "Success", "Transmission of the mail failed."},
      {"Japanese", "ja", "\x90\xAC\x8C\xF7",  // 成功, メールの送信に失敗しました。
       "\x83\x81\x81\x5B\x83\x8B\x82\xCC\x91\x97\x90\x4D\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD"
       "\x81\x42"},
  };
  for (const auto& l : languages) {
    SCOPED_TRACE(l.language);
    std::snprintf(IniFileName, sizeof IniFileName, "%s/Contents/Resources/%s/Admin.ini", admintest::Bundle().c_str(),
                  l.language);
    tb::SetSystemLanguage(l.code);
    ClickItem(list[2].rect);  // Standard
    // With the second form on (box 10), Command-T reaches all six fields.
    ClickItem(list[9].rect);
    for (int i = 0; i < 4; ++i) Cmd('t');
    tb::TypeText("x");
    tb::PressNamedKey("Escape");
    SMTP_SENDFORM_INFO form{};
    form.sendType = kSendFormPrinter;
    EXPECT_EQ(Open_SMTP_SendForm_Dialog(nullptr, &form), 0);
    EXPECT_EQ(Show(0xEA04), l.success);
    EXPECT_EQ(Show(0xEA07), l.failure);
    // Cancel leaves the form and the tables' form as they were.
    EXPECT_EQ(form.sendEnb, 0);
    EXPECT_EQ(Show(0xEA19), "Printer Information");
    EXPECT_EQ(Show(0xEA1E), "Other");
  }
}

}  // namespace
