// The text and number conversions: exact digits, addresses, readers that
// stop at the first non-digit, and cuts that never split a character.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/Queue.h"
#include "common/StrConv.h"

namespace {

// Runs a writer that returns the end of what it wrote and gives the text.
template <typename F>
std::string written(F f) {
  char buf[64];
  std::memset(buf, '#', sizeof buf);
  char* end = f(buf);
  return std::string(buf, static_cast<std::size_t>(end - buf));
}

TEST(Conversions, DigitWritersGiveExactText) {
  struct Case {
    std::string got, want;
  } cases[] = {
      {written([](char* o) { return wtoa(0, o); }), "0"},
      {written([](char* o) { return wtoa(65535, o); }), "65535"},
      {written([](char* o) { return wtoa(10000, o); }), "10000"},
      {written([](char* o) { return wtoa(907, o); }), "907"},
      {written([](char* o) { return dtoa(4294967295u, o); }), "4294967295"},
      {written([](char* o) { return dtoa(0, o); }), "0"},
      {written([](char* o) { return dtoa(1000000000u, o); }), "1000000000"},
      {written([](char* o) { return btox(0x0F, o); }), "0F"},
      {written([](char* o) { return wtox(0xBEEF, o); }), "BEEF"},
      {written([](char* o) { return dtox(0x00C0FFEE, o); }), "00C0FFEE"},
      {written([](char* o) { return btob(0xA5, o); }), "10100101"},
      {written([](char* o) { return wtob(0x8001, o); }), "1000000000000001"},
      {written([](char* o) { return dtob(1, o); }), std::string(31, '0') + "1"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(Conversions, AddressesAreNulTerminatedAndReturnTheNul) {
  char buf[18];
  char* end = iptoa(0xC0A80001, buf);
  EXPECT_STREQ(buf, "192.168.0.1");
  EXPECT_EQ(*end, '\0');
  EXPECT_EQ(end - buf, 11);
  iptoa(0xFFFFFFFF, buf);
  EXPECT_STREQ(buf, "255.255.255.255");  // the longest form fits 16 bytes

  const UInt8 mac[6] = {0x00, 0x80, 0x92, 0x1A, 0x2B, 0x3C};
  end = mactoa(mac, buf);
  EXPECT_STREQ(buf, "00:80:92:1A:2B:3C");
  EXPECT_EQ(end - buf, 17);
}

TEST(Conversions, SingleCharacters) {
  EXPECT_EQ(xtoc('f'), 15);
  EXPECT_EQ(xtoc('F'), 15);
  EXPECT_EQ(xtoc('0'), 0);
  EXPECT_LT(xtoc('g'), 0);
  EXPECT_LT(xtoc(' '), 0);
  EXPECT_EQ(ctox(10), 'A');
  EXPECT_EQ(atoc('9'), 9);
  EXPECT_EQ(atoc('a'), -1);
  EXPECT_EQ(ctoa(7), '7');
  EXPECT_EQ(bswap(0x1234), 0x3412);
  EXPECT_EQ(wswap(0x12345678u), 0x78563412u);
}

TEST(Conversions, ReadersStopAtTheFirstNonDigit) {
  struct Case {
    const char* text;
    bool hex;
    UInt32 value;
    int stop;
  } cases[] = {
      {"123abc", false, 123, 3}, {"abc", false, 0, 0},       {"", false, 0, 0},
      {"4294967295", false, 4294967295u, 10},
      {"ffZ", true, 0xFF, 2},    {"DeadBeef!", true, 0xDEADBEEF, 8}, {"xyz", true, 0, 0},
  };
  for (const auto& c : cases) {
    UInt32 v = 99;
    const char* end = c.hex ? xtod(c.text, &v) : atod(c.text, &v);
    EXPECT_EQ(v, c.value) << c.text;
    EXPECT_EQ(end - c.text, c.stop) << c.text;
  }
  UInt16 w = 1;
  atow("65539", &w);
  EXPECT_EQ(w, 3);  // 16-bit accumulation wraps, as callers of atow expect
  xtow("12345", &w);
  EXPECT_EQ(w, 0x2345);
}

TEST(Conversions, SkipHelpers) {
  const char* t = " \t word rest";
  EXPECT_EQ(skip_space(t), t + 3);
  EXPECT_EQ(skip_string(t + 3), t + 7);
  EXPECT_EQ(*skip_string("end"), '\0');
}

TEST(Conversions, StrToIPAddr) {
  struct Case {
    const char* text;
    UInt32 want;
  } cases[] = {
      {"10.1.2.3", 0x0A010203},
      {".1.2.3", 0x00010203},
      {"255.255.255.255", 0xFFFFFFFF},
      {"010.001.2.3", 0x0A010203},
      {"10.1.2.3 ", 0},
      {"10.1.2", 0},
      {"10..2.3", 0},
      {"10.1.2.256", 0},
      {"10.1.2.65539", 0},  // would wrap to 3 in 16 bits
      {"10.1.2.4294967299", 0},
      {"", 0},
      {"a.b.c.d", 0},
      {"1.2.3.4.5", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(StrToIPAddr(c.text), c.want) << c.text;
  EXPECT_EQ(StrToIPAddr(nullptr), 0u);
}

struct Item {
  tag_queue link;
  int id;
};

std::string order(tag_queue* head) {
  std::string s;
  tag_queue* prev = nullptr;
  for (tag_queue* q = head; q; q = q->q_forw) {
    EXPECT_EQ(q->q_back, prev);
    s += std::to_string(static_cast<Item*>(q->q_body)->id);
    prev = q;
  }
  return s;
}

TEST(Queue, LinkRules) {
  Item items[5];
  for (int i = 0; i < 5; ++i) {
    items[i].id = i;
    init_que(&items[i].link, &items[i]);
  }
  tag_queue* head = nullptr;
  insert_que(&head, nullptr, &items[0].link);  // empty list: the only node
  append_que(&head, &items[1].link);
  EXPECT_EQ(order(head), "01");
  insert_que(&head, nullptr, &items[2].link);  // null point: new head
  EXPECT_EQ(head, &items[2].link);
  EXPECT_EQ(order(head), "201");
  insert_que(&head, &items[0].link, &items[3].link);  // right after the point
  insert_que(&head, &items[1].link, &items[4].link);  // after the last
  EXPECT_EQ(order(head), "20314");
  EXPECT_EQ(count_que(head), 5);
  EXPECT_EQ(count_que(&items[1].link), 2);
  EXPECT_EQ(count_que(nullptr), 0);

  remove_que(&head, &items[2].link);  // the head: its successor leads
  EXPECT_EQ(head, &items[0].link);
  EXPECT_EQ(head->q_back, nullptr);
  EXPECT_EQ(items[2].link.q_forw, nullptr);
  remove_que(&head, &items[4].link);  // the tail
  remove_que(&head, &items[3].link);  // the middle
  EXPECT_EQ(order(head), "01");
  remove_que(&head, &items[0].link);
  remove_que(&head, &items[1].link);
  EXPECT_EQ(head, nullptr);
}

#ifndef NDEBUG
// Linking a node twice, or unlinking one from a list it is not in, is a
// fault of the caller: the debug build stops there instead of leaving a ring
// or a broken list behind.
TEST(Queue, MisuseStopsTheDebugBuild) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Item items[2];
  for (Item& it : items) init_que(&it.link, &it);
  tag_queue* head = nullptr;
  append_que(&head, &items[0].link);
  EXPECT_DEATH(append_que(&head, &items[0].link), "invariant failed");
  EXPECT_DEATH(remove_que(&head, &items[1].link), "invariant failed");
  EXPECT_EQ(count_que(head), 1);
}
#endif

}  // namespace
