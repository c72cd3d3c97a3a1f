// The settings tables: values parsed with range checks, addresses,
// selections and strings stored and shown within their fields, and hostile
// entries treated as absent.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/Context.h"

namespace {

struct Def {
  char type;
  UInt16 offset, varid, min, max;
};

// Exactly sized copies of the three blocks, installed in the globals for the
// test's lifetime, so that the sanitizer sees any byte read or written
// outside them.
class Tables {
 public:
  Tables(const std::vector<Def>& defs, const std::string& enums, std::size_t imageSize,
         bool terminate = true) {
    std::string ctx;
    for (const Def& d : defs) ctx += entryBytes(d);
    if (terminate) ctx += std::string("z") + std::string(15, '\0');
    setContext(ctx);
    setEnums(enums);
    image_.reset(new char[imageSize ? imageSize : 1]);
    std::memset(image_.get(), 0, imageSize ? imageSize : 1);
    pEEPData = image_.get();
    wEEPDataSize = static_cast<UInt16>(imageSize);
  }
  ~Tables() {
    pContextData = pEnumData = pEEPData = nullptr;
    wContextSize = wEnumSize = wEnumWidth = wEEPDataSize = 0;
  }
  static std::string entryBytes(const Def& d) {
    CONTEXT_ENTRY e{};
    e.type = d.type;
    be::put16(e.offset, d.offset);
    be::put16(e.varid, d.varid);
    be::put16(e.min, d.min);
    be::put16(e.max, d.max);
    std::memcpy(e.name, "NAME", 4);
    return std::string(reinterpret_cast<const char*>(&e), sizeof e);
  }
  void setContext(const std::string& bytes) {
    ctx_.reset(new char[bytes.size() + 1]);
    std::memcpy(ctx_.get(), bytes.data(), bytes.size());
    pContextData = ctx_.get();
    wContextSize = static_cast<UInt16>(bytes.size());
  }
  void setEnums(const std::string& bytes) {
    enums_.reset(new char[bytes.size() + 1]);
    std::memcpy(enums_.get(), bytes.data(), bytes.size());
    pEnumData = enums_.get();
    wEnumSize = static_cast<UInt16>(bytes.size());
    wEnumWidth = static_cast<UInt16>(GetStringArrayWidth(pEnumData, 16, bytes.size()));
  }
  UInt8* image() { return reinterpret_cast<UInt8*>(image_.get()); }

 private:
  std::unique_ptr<char[]> ctx_, enums_, image_;
};

std::string padded(std::initializer_list<const char*> names, std::size_t width) {
  std::string s;
  for (const char* n : names) {
    std::string one(n);
    one.resize(width, '\0');
    s += one;
  }
  return s;
}

struct SetCase {
  UInt16 varid;
  const char* text;
  int result;
  const char* message;  // null: the buffer stays untouched
  const char* shown = nullptr;  // the setting as shown afterwards; null: not looked at
};

std::string show(UInt16 varid, std::size_t size = 256) {
  std::vector<char> out(size, '#');
  if (context_show_varid(varid, out.data(), out.size()) != 0) return "<none>";
  return out.data();
}

void runSetCases(const std::vector<SetCase>& cases) {
  for (const SetCase& c : cases) {
    char msg[kCtxMessageSize];
    std::strcpy(msg, "untouched");
    EXPECT_EQ(context_set_varid(c.varid, c.text, msg, sizeof msg), c.result) << c.text;
    EXPECT_STREQ(msg, c.message ? c.message : "untouched") << c.text;
    if (c.shown) {
      EXPECT_EQ(show(c.varid), c.shown) << c.text;
    }
  }
}

// varids: 1 B, 2 W, 3 L, 4 I, 5 N, 6 E, 7 X, 8 P, 9 F
const std::vector<Def> kDefs = {
    {'B', 0, 1, 1, 10},  {'W', 1, 2, 100, 60000}, {'L', 3, 3, 0, 65535},
    {'I', 7, 4, 0, 0},   {'N', 11, 5, 3, 5},      {'E', 12, 6, 0, 16},
    {'X', 28, 7, 0, 16}, {'P', 44, 8, 0, 8},      {'F', 52, 9, 0, 4},
};
const std::string kEnums = padded({"ONE", "TWO", "ENABLE", "DISABLE", "AUTO", "OTHER"}, 8);

TEST(SettingsTables, NumbersParseWithRangeChecks) {
  Tables t(kDefs, kEnums, 56);
  runSetCases({
      {1, "0", kCtxOutOfRange, "Out of range."},
      {1, "11", kCtxOutOfRange, "Out of range."},
      {1, "-1", kCtxOutOfRange, "Out of range."},
      {1, "0x0A", kCtxStored, nullptr},
      {1, "$a", kCtxStored, nullptr},
      {1, "7 apples", kCtxStored, nullptr},  // text behind the number is ignored
      {1, "99999999999999999999", kCtxOutOfRange, "Out of range."},
      {1, "-99999999999999999999", kCtxOutOfRange, "Out of range."},
      {1, "", kCtxSyntaxError, "Syntax Error."},
      {1, "ten", kCtxSyntaxError, "Syntax Error.", "7"},  // the failures left the last stored value
      {2, "60000", kCtxStored, nullptr},
      {2, "60001", kCtxOutOfRange, "Out of range.", "60000"},
      {3, "0xFFFFFFFF", kCtxOutOfRange, "Out of range."},
      {3, "65535", kCtxStored, nullptr, "65535"},
  });
  EXPECT_EQ(t.image()[0], 7);
  EXPECT_EQ(context_read(get_context_by_varid(2)), 60000);
  // A byte setting never stores more than a byte, whatever its range.
  Tables byte({{'B', 0, 1, 0, 1000}}, kEnums, 1);
  runSetCases({{1, "255", kCtxStored, nullptr}, {1, "256", kCtxOutOfRange, "Out of range."}});
  EXPECT_EQ(byte.image()[0], 255);
}

// Addresses, selections (counted from the entry's minimum) and strings:
// stored within their fields and shown as they would be typed.
TEST(SettingsTables, AddressesSelectionsAndStrings) {
  Tables t(kDefs, kEnums, 56);
  auto field = [&](std::size_t at, std::size_t n) { return std::string(reinterpret_cast<char*>(t.image() + at), n); };
  runSetCases({
      {4, "192.168.1.300", kCtxOutOfRange, "Out of range."},
      {4, "192.168..1", kCtxSyntaxError, "Syntax Error."},
      {4, "192,168.1.1", kCtxSyntaxError, "Syntax Error."},
      {4, "192.168.1", kCtxSyntaxError, "Syntax Error."},
      {4, "-1.0.0.0", kCtxOutOfRange, "Out of range."},
      {4, "10.0.0.1 and more", kCtxStored, nullptr, "10.0.0.1"},
      {4, ".2.3.4", kCtxStored, nullptr, "0.2.3.4"},
      {5, "ENABLE", kCtxStored, nullptr},
      {5, "ONE", kCtxNoSelection, "No such selection."},    // below min
      {5, "OTHER", kCtxNoSelection, "No such selection."},  // above max
      {5, "ENABL", kCtxNoSelection, "No such selection."},
      {5, "", kCtxNoSelection, "No such selection.", "ENABLE"},
      {8, "1234567", kCtxStored, nullptr},
      {8, "12345678", kCtxTooLong, "String too long."},
      {8, "\"open", kCtxOutOfRange, "Syntax error."},
      {8, "bad\\x4", kCtxSyntaxError, "Syntax Error."},
      {8, "bad\\", kCtxSyntaxError, "Syntax Error."},
  });
  EXPECT_EQ(context_read(get_context_by_varid(4)), 0x00020304);
  EXPECT_EQ(t.image()[11], 0);  // name 3 is stored as 0
  EXPECT_EQ(field(44, 8),
            "\x07"
            "1234567");
  runSetCases({
      {5, "AUTO", kCtxStored, nullptr, "AUTO"},
      {8, "\"a\\tb\" ignored", kCtxStored, nullptr, "\"a\\tb\""},
  });
  EXPECT_EQ(t.image()[11], 2);
  EXPECT_EQ(field(44, 4),
            "\x03"
            "a\tb");
  runSetCases({{8, "\"q\\\"\\x41\"", kCtxStored, nullptr}});  // escaped quote inside
  EXPECT_EQ(field(44, 4), "\x03q\"A");
  EXPECT_EQ(find_enum("TWO", 1), 2);
  EXPECT_EQ(find_enum("TWO", 3), -1);
  EXPECT_EQ(get_enum_by_number(0), nullptr);
  EXPECT_EQ(get_enum_by_number(7), nullptr);
  // C strings are cut to their field, never inside a character, and shown escaped.
  runSetCases({
      {6, "tab\there \"q\" \x01", kCtxStored, nullptr, "\"tab\\there \\\"q\\\" \\x01\""},
      {9, "abcdef", kCtxStored, nullptr, "\"abc\""},             // F field of 4: 3 characters
      {9, "a\xC3\xA9", kCtxStored, nullptr, "\"a\\xC3\\xA9\""},  // 3 bytes fit exactly
      {9, "ab\xC3\xA9", kCtxStored, nullptr, "\"ab\""},          // é would be split: dropped
      {7, "0123456789", kCtxStored, nullptr, "\"**********\""},
  });
}

TEST(SettingsTables, ShowIsBoundedByTheOutputSize) {
  Tables t(kDefs, kEnums, 56);
  context_set_varid(6, "\x01\x02\x03", nullptr, 0);
  EXPECT_EQ(show(6, ctx_show_size(3)), "\"\\x01\\x02\\x03\"");
  EXPECT_EQ(show(6, 8), "\"\\x01");  // whole display characters only
  EXPECT_EQ(show(2, 1), "");
  context_set_varid(2, "1234", nullptr, 0);
  EXPECT_EQ(show(2, 3), "");  // a number is shown whole or not at all
  char one = '#';
  EXPECT_EQ(context_show_varid(2, &one, 0), -1);
  EXPECT_EQ(one, '#');
}

TEST(SettingsTables, WriteAndReadBinaryAndStrings) {
  Tables t(kDefs, kEnums, 56);
  EXPECT_EQ(context_write(get_context_by_varid(2), 0x1234), 0);
  EXPECT_EQ(t.image()[1], 0x12);
  EXPECT_EQ(context_write(get_context_by_varid(4), 0xC0A80001u), 0);
  EXPECT_EQ(show(4), "192.168.0.1");
  EXPECT_EQ(context_write(get_context_by_varid(8), "hello"), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(t.image() + 44), 6), "\x05hello");
  EXPECT_EQ(context_write(get_context_by_varid(8), "far too long"), 0);
  EXPECT_EQ(t.image()[44], 7);  // field of 8: length byte and 7 characters
  EXPECT_EQ(context_write(get_context_by_varid(6), "name"), 0);
  const auto* field = reinterpret_cast<const char*>(context_read(get_context_by_varid(6)));
  EXPECT_EQ(field, reinterpret_cast<char*>(t.image() + 12));
  EXPECT_STREQ(field, "name");
  EXPECT_EQ(context_write(get_context_by_varid(6), 5), -1);  // a number into a string
  EXPECT_EQ(context_write(get_context_by_varid(2), "5"), -1);
  EXPECT_EQ(context_write(nullptr, 5), -1);
}

TEST(SettingsTables, TerminatorAndTableEndHideEntries) {
  std::string ctx = Tables::entryBytes({'B', 0, 1, 0, 9}) + "z" + std::string(15, '\0') +
                    Tables::entryBytes({'B', 1, 2, 0, 9});
  Tables t({}, kEnums, 4);
  t.setContext(ctx);
  EXPECT_NE(get_context_by_varid(1), nullptr);
  EXPECT_EQ(get_context_by_varid(2), nullptr);
  // A cut entry at the end of the table is not read.
  t.setContext(Tables::entryBytes({'B', 0, 1, 0, 9}) + Tables::entryBytes({'B', 1, 2, 0, 9}).substr(0, 15));
  EXPECT_EQ(get_context_by_varid(2), nullptr);
  EXPECT_EQ(context_set_varid(2, "1", nullptr, 0), -1);
  EXPECT_EQ(context_show_varid(99, nullptr, 0), -1);
}

// Entries a hostile box could send: none may reach outside the image.
TEST(SettingsTables, HostileEntriesAreTreatedAsAbsent) {
  Tables t(
      {
          {'W', 9, 1, 0, 65535},    // one byte past the end of a 10-byte image
          {'L', 65535, 2, 0, 9},    // far past
          {'E', 4, 3, 0, 7},        // field of 7 at 4 runs past 10
          {'P', 0, 4, 0, 0},        // string field of size 0
          {'X', 0, 5, 0, 65535},    // huge field
          {'N', 9, 6, 65000, 65535},  // selection numbered beyond the names
          {'Q', 60000, 7, 0, 0},    // unknown letter
          {'E', 0, 8, 0, 10},       // fills the whole image, no NUL in it
      },
      kEnums, 10);
  for (UInt16 v : {1, 2, 3, 4, 5}) {
    char msg[kCtxMessageSize] = "untouched";
    EXPECT_EQ(context_set_varid(v, "1", msg, sizeof msg), -1) << v;
    EXPECT_STREQ(msg, "untouched");
    EXPECT_EQ(show(v), "<none>") << v;
    EXPECT_EQ(context_read(get_context_by_varid(v)), 0) << v;
    EXPECT_EQ(context_write(get_context_by_varid(v), 1), -1) << v;
    EXPECT_EQ(context_write(get_context_by_varid(v), "x"), -1) << v;
  }
  EXPECT_EQ(show(6), "");  // its name lies outside the block
  EXPECT_EQ(context_set_varid(6, "ONE", nullptr, 0), kCtxNoSelection);
  EXPECT_EQ(context_read(get_context_by_varid(7)), 60000);  // the offset itself
  EXPECT_EQ(context_set_varid(7, "1", nullptr, 0), 0);
  EXPECT_EQ(show(7), "");
  std::memset(t.image(), 'A', 10);
  EXPECT_EQ(show(8), "\"AAAAAAAAAA\"");
  EXPECT_EQ(context_set_varid(8, "0123456789ABC", nullptr, 0), 0);
  EXPECT_EQ(show(8), "\"012345678\"");
}

TEST(SettingsTables, HostilePascalLengthIsClampedToTheField) {
  Tables t({{'P', 0, 1, 0, 4}}, kEnums, 4);
  std::memcpy(t.image(), "\xFF" "abc", 4);
  EXPECT_EQ(show(1), "\"abc\"");
}

TEST(SettingsTables, PascalFieldsLongerThan255HoldAtMost255) {
  Tables t({{'P', 0, 1, 0, 300}}, kEnums, 300);
  EXPECT_EQ(context_set_varid(1, std::string(255, 'x').c_str(), nullptr, 0), kCtxStored);
  EXPECT_EQ(t.image()[0], 255);
  EXPECT_EQ(context_set_varid(1, std::string(256, 'x').c_str(), nullptr, 0), kCtxTooLong);
  EXPECT_EQ(context_write(get_context_by_varid(1), std::string(299, 'y').c_str()), 0);
  EXPECT_EQ(t.image()[0], 255);
}

TEST(SettingsTables, HostileEnumerationBlocks) {
  Tables t({{'N', 0, 1, 1, 65535}}, "", 1);
  struct Case {
    std::string block;
    UInt16 width;  // 0: computed
  } cases[] = {
      {std::string(40, 'A'), 0},       // no NUL anywhere: width 16, names cut at the stride
      {"ABC", 0},                      // one name without its NUL at the end of the block
      {padded({"ONE", "TWO"}, 8), 5},  // width that does not match the names
      {padded({"ONE"}, 8), 0},
      {"", 0},
      {padded({"ONE", "TWO"}, 8), 1000},  // stride beyond the block
  };
  for (const Case& c : cases) {
    t.setEnums(c.block);
    if (c.width) wEnumWidth = c.width;
    for (int n = 0; n < 8; ++n) {
      std::string_view name = get_enum_name(n);
      if (char* p = get_enum_by_number(n)) {
        EXPECT_GE(p, pEnumData);
        EXPECT_LE(name.data() + name.size(), pEnumData + wEnumSize);
      }
    }
    for (int v = 0; v < 4; ++v) {
      t.image()[0] = static_cast<UInt8>(v);
      std::string s = show(1, 8);
      EXPECT_LE(s.size(), 7u);
    }
    context_set_varid(1, "ABC", nullptr, 0);
    context_set_varid(1, std::string(40, 'A').c_str(), nullptr, 0);
  }
  // Width 0 with names present is an empty table, not an endless search.
  t.setEnums(padded({"ONE"}, 8));
  wEnumWidth = 0;
  EXPECT_EQ(find_enum("ONE", 1), -1);
  EXPECT_EQ(get_enum_by_number(1), nullptr);
}

TEST(SettingsTables, StringArrayWidth) {
  const std::string a = padded({"ENABLE", "DISABLE"}, 8);
  EXPECT_EQ(GetStringArrayWidth(a.data(), 16), 8);
  EXPECT_EQ(GetStringArrayWidth(a.data(), 4), 4);
  const std::string one = padded({"X"}, 5);
  EXPECT_EQ(GetStringArrayWidth(one.data(), 16, one.size()), 5);
  EXPECT_EQ(GetStringArrayWidth(a.data(), 0), 0);
}

TEST(SettingsTables, CharacterEscapes) {
  struct Case {
    const char* text;
    int advance;
    int byte;  // -1: the out byte stays as it was
  } cases[] = {
      {"a", 1, 'a'},      {"\\t", 2, 9},      {"\\b", 2, 8},    {"\\r", 2, 13},
      {"\\x4f", 4, 0x4F}, {"\\q", 2, 'q'},    {"\\\\", 2, '\\'}, {"", 0, -1},
      {"\\", 1, -1},      {"\\xg1", 2, -1},   {"\\x4", 3, -1},
  };
  for (const Case& c : cases) {
    UInt8 b = 0xEE;
    EXPECT_EQ(ctx_stoc(c.text, &b) - c.text, c.advance) << c.text;
    EXPECT_EQ(b, c.byte < 0 ? 0xEE : c.byte) << c.text;
  }
  struct Shown {
    UInt8 byte;
    const char* text;
  } shown[] = {{'a', "a"},   {'"', "\\\""},  {'\\', "\\\\"}, {8, "\\b"},
               {13, "\\r"},  {0, "\\x00"},  {0x7F, "\\x7F"}, {0xE9, "\\xE9"}};
  for (const Shown& s : shown) {
    char buf[8];
    char* end = ctx_show_ascii(s.byte, buf);
    EXPECT_EQ(std::string(buf, static_cast<std::size_t>(end - buf)), s.text);
  }
  SInt32 v;
  EXPECT_EQ(*ctx_strval("-0x1fZ", &v), 'Z');
  EXPECT_EQ(v, -31);
  ctx_strval("zz", &v);
  EXPECT_EQ(v, 0);
}

}  // namespace
