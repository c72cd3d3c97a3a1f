// 'CURS' and 'ICN#' descriptions, read back by the toolbox.
#include <gtest/gtest.h>

#include "rezc.h"
#include "test_support.h"
#include "toolbox/events.h"
#include "toolbox/resources.h"

namespace {

std::string rows(int side, const std::string& first, char fill) {
  std::string out = " rows \"" + first + "\"";
  for (int r = 1; r < side; ++r) out += " \"" + std::string(static_cast<std::size_t>(side), fill) + "\"";
  return out;
}

TEST(RezcBitImages, CursorsAndIconListsCompileAndLoad) {
  testsupport::TempDir dir;
  std::string hand = "XXo.............";
  std::string icon = "X" + std::string(30, 'o') + ".";
  rezc::Result r = rezc::Compile("resource 'CURS' 161 { hotspot 3 5" + rows(16, hand, '.') + " }\n" +
                                     "resource 'ICN#' 140 {" + rows(32, icon, 'X') + " }\n",
                                 (dir / "app.r").string());
  ASSERT_TRUE(r.ok()) << r.errors[0];
  ASSERT_EQ(r.entries.size(), 2u);
  const auto& curs = r.entries[0].data;
  ASSERT_EQ(curs.size(), 68u);
  EXPECT_EQ(be::get16(curs.data()), 0xC000);       // image: the two X
  EXPECT_EQ(be::get16(curs.data() + 32), 0xE000);  // mask: X X o
  EXPECT_EQ(be::get16(curs.data() + 64), 3);
  EXPECT_EQ(be::get16(curs.data() + 66), 5);
  const auto& icn = r.entries[1].data;
  ASSERT_EQ(icn.size(), 256u);
  EXPECT_EQ(be::get32(icn.data()), 0x80000000u);
  EXPECT_EQ(be::get32(icn.data() + 128), 0xFFFFFFFEu);
  EXPECT_EQ(be::get32(icn.data() + 132), 0xFFFFFFFFu);

  ASSERT_GT(testsupport::OpenResourcesAsApplication(dir / "app.rsrc", r.entries), 0);
  CursHandle c = GetCursor(161);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ((*c)->hotSpot.v, 3);
  EXPECT_EQ((*c)->hotSpot.h, 5);
  SetCursor(*c);
  EXPECT_EQ(tb::CurrentCursorID(), 161);
  // A program's own copy of a cursor record (the watch it keeps in its
  // globals) is still known by its id.
  Cursor watch = **GetCursor(watchCursor);
  SetCursor(&watch);
  EXPECT_EQ(tb::CurrentCursorID(), watchCursor);
  Cursor copy = **c;
  InitCursor();
  EXPECT_EQ(tb::CurrentCursorID(), 0);
  SetCursor(&copy);
  EXPECT_EQ(tb::CurrentCursorID(), 161);
  EXPECT_EQ(GetCursor(162), nullptr);
  InitCursor();
  tb::ResetResources();
}

TEST(RezcBitImages, BadImagesAreRefused) {
  const char* bad[] = {
      "resource 'CURS' 1 { hotspot 3 5 }",             // no rows
      "resource 'CURS' 1 { hotspot 16 0 rows \"\" }",  // hot spot outside
      "resource 'CURS' 1 { rows \"XX\" }",             // short row
  };
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(rezc::Compile(text, "t.r").ok());
  }
}

}  // namespace
