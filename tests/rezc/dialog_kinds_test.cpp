// 'DLOG' and 'DITL' descriptions: their bytes and the mistakes refused.
#include <gtest/gtest.h>

#include "rezc.h"
#include "test_support.h"

namespace {

using testsupport::Hex;

TEST(RezcDialogs, DialogAndItemListBytes) {
  struct {
    const char* text;
    const char* hex;
  } cases[] = {
      {"resource 'DLOG' 603 { bounds 80 100 200 460 proc 1 visible goaway refcon 7 items 604 title \"Al\" "
       "position alert }",
       "0050006400c801cc"  // bounds
       "0001"              // proc
       "0100" "0100"       // visible, close box
       "00000007"          // refCon
       "025c"              // items
       "02416c" "00"       // title, pad
       "300a"},
      {"resource 'DLOG' 1 { bounds 0 0 10 10 items 1 title \"A\" }",
       "00000000000a000a" "0000" "0000" "0000" "00000000" "0001" "0141" "0000"},
      {"resource 'DITL' 1 { }", "ffff"},
      {"resource 'DITL' 1 { button 1 2 3 4 \"OK\" static 5 6 7 8 \"^0\" disabled user 0 0 0 0 }",
       "0002"
       "00000000" "0001000200030004" "04" "02" "4f4b"
       "00000000" "0005000600070008" "88" "02" "5e30"
       "00000000" "0000000000000000" "00" "00"},
      {"resource 'DITL' 1 { edit 0 0 16 100 \"abc\" control 0 0 20 100 130 icon 0 0 32 32 -2 picture 0 0 1 1 "
       "129 checkbox 0 0 1 1 \"\" radio 0 0 1 1 \"r\" enabled }",
       "0005"
       "00000000" "000000000010" "0064" "10" "03" "61626300"
       "00000000" "000000000014" "0064" "07" "02" "0082"
       "00000000" "0000000000200020" "20" "02" "fffe"
       "00000000" "0000000000010001" "40" "02" "0081"
       "00000000" "0000000000010001" "05" "00"
       "00000000" "0000000000010001" "06" "01" "7200"},
  };
  for (const auto& c : cases) {
    rezc::Result r = rezc::Compile(c.text, "d.r");
    ASSERT_TRUE(r.ok()) << c.text << ": " << r.errors[0];
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_EQ(Hex(r.entries[0].data), c.hex) << c.text;
  }
}

TEST(RezcDialogs, MistakesAreRefusedWithThePlace) {
  struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"resource 'DLOG' 1 { items 1 }", "needs 'bounds"},
      {"resource 'DLOG' 1 { bounds 0 0 10 10 }", "needs 'items"},
      {"resource 'DLOG' 1 { bounds 10 0 0 10 items 1 }", "empty"},
      {"resource 'DLOG' 1 { bounds 0 0 10 10 items 1 colour red }", "expected 'bounds'"},
      {"resource 'DITL' 1 { button 0 0 10 \"OK\" }", "rectangle coordinate"},
      {"resource 'DITL' 1 { button 10 0 0 10 \"OK\" }", "bottom or right"},
      {"resource 'DITL' 1 { static 0 10 10 0 \"x\" }", "bottom or right"},
      {"resource 'DITL' 1 { disabled button 0 0 1 1 \"x\" }", "'disabled' follows an item"},
      {"resource 'DITL' 1 { control 0 0 1 1 \"x\" }", "'CNTL' id"},
      {"resource 'DITL' 1 { slider 0 0 1 1 }", "expected an item"},
      {"resource 'DITL' 1 { button 0 0 1 1 }", "the item's text"},
      {"resource 'DITL' 1 { icon 0 0 1 1 40000 }", "resource id"},
  };
  for (const auto& c : cases) {
    rezc::Result r = rezc::Compile(c.text, "d.r");
    ASSERT_FALSE(r.ok()) << c.text;
    EXPECT_NE(r.errors[0].find(c.error), std::string::npos) << c.text << ": " << r.errors[0];
    EXPECT_EQ(r.errors[0].rfind("d.r:1:", 0), 0u) << r.errors[0];
  }
  std::string longText = "resource 'DITL' 1 { static 0 0 1 1 \"" + std::string(256, 'x') + "\" }";
  rezc::Result r = rezc::Compile(longText, "d.r");
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.errors[0].find("at most 255"), std::string::npos);
}

}  // namespace
