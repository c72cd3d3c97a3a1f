// The consumables window's rows, gauges and refresh rule, read with the
// program's own English texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/AppGlobals.h"
#include "Monitor/ConsumWindow.h"

namespace {

class Consumables : public ::testing::Test {
 protected:
  Consumables() { std::snprintf(MonFileName, sizeof MonFileName, "%s/English/Monitor.ini", MONITOR_LANG_DIR); }
  ~Consumables() override { MonFileName[0] = 0; }
};

TEST(ConsumGauge, LevelsPickThePictureAndTheUnknownText) {
  struct Case {
    int level;
    bool master, fill;
    SInt16 pict;
    bool unknown;
  } const cases[] = {
      {0, false, false, 200, false}, {10, false, false, 210, false}, {11, false, false, 211, true},
      {0, false, true, 210, false},  {10, false, true, 200, false},  {11, false, true, 211, true},
      {15, true, false, 211, false},  // the master's own "no master" level
      {15, false, false, 211, true},  // any other level beyond the table shows as no reading
      {200, false, true, 211, true},
  };
  for (const Case& c : cases) {
    SInt16 pict = 0;
    bool unknown = false;
    Consum_Gauge(c.level, c.master, c.fill, &pict, &unknown);
    EXPECT_EQ(pict, c.pict) << c.level << (c.fill ? " fill" : "");
    EXPECT_EQ(unknown, c.unknown) << c.level;
  }
}

TEST_F(Consumables, ThreeTraysTwoDrumsAndABoxGiveTheirRows) {
  VEMOINFO info{};
  info.CmMasterRm = 10;
  info.CmDrmNum = 2;
  info.pDrm[0].InkRm = 11;
  info.pDrm[1].InkRm = 3;
  info.CmPprNum = 3;
  info.pPpr[0] = {0, 0, 8, 4, 0};
  info.pPpr[2] = {0, 0, 0, 99, 0};  // a size code without a text
  info.CmDisNum = 1;
  info.pDis[0].DisRm = 0;
  const auto rows = Consum_Rows(info);
  struct Want {
    DialogItemIndex nameItem;
    SInt16 row, icon;
    const char* name;
    SInt16 gauge;
    bool unknown;
    const char* size;
  } const want[] = {
      {3, 0, 518, "Master", 210, false, ""},          {3, 1, 519, "Ink 1", 211, true, ""},
      {3, 2, 519, "Ink 2", 203, false, ""},           {7, 0, 516, "Tray", 208, false, "(A4)"},
      {7, 1, 517, "Tray 1", 200, false, "(No tray)"}, {7, 2, 517, "Tray 2", 200, false, "(Size 99)"},
      {12, 0, 0, "Disposal", 210, false, ""},
  };
  ASSERT_EQ(rows.size(), std::size(want));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i].nameItem, want[i].nameItem);
    EXPECT_EQ(rows[i].row, want[i].row);
    EXPECT_EQ(rows[i].icon, want[i].icon);
    EXPECT_EQ(rows[i].name, want[i].name);
    EXPECT_EQ(rows[i].gauge, want[i].gauge);
    EXPECT_EQ(rows[i].unknownText, want[i].unknown);
    EXPECT_EQ(rows[i].size, want[i].size);
  }

  CONSUM_WND_INFO rec;
  ASSERT_EQ(Get_Consum_Table(&rec, nullptr, &info), 1);
  EXPECT_EQ(rec.sumCount, 7);
  EXPECT_EQ(Get_Consum_Table(&rec, nullptr, &info), 0) << "a second open takes nothing";

  // Counts a reply claims beyond the records' arrays are bounded.
  info.CmDrmNum = 9;
  info.CmPprNum = -4;
  info.CmDisNum = 1000;
  EXPECT_EQ(Consum_Rows(info).size(), 1u + 2 + 0 + 2);
}

TEST(ConsumRefresh, OnlyTheConsumablesCountAsAChange) {
  VEMOINFO shown{};
  shown.CmPprNum = 1;
  shown.IcType = 4;
  struct Case {
    const char* what;
    void (*change)(VEMOINFO&);
    short changed;
  } const cases[] = {
      {"nothing", [](VEMOINFO&) {}, 0},
      {"the error state", [](VEMOINFO& i) { i.MainStsErr = 5; }, 0},
      {"a tray's sheet count", [](VEMOINFO& i) { i.pPpr[0].PprQty = 7; }, 1},
      {"an unused tray", [](VEMOINFO& i) { i.pPpr[2].PprRm = 1; }, 1},
      {"a drum's supply flag", [](VEMOINFO& i) { i.pDrm[1].DrmInfo = 1; }, 1},
      {"a box's capacity", [](VEMOINFO& i) { i.pDis[0].HanMax = 300; }, 1},
      {"the master", [](VEMOINFO& i) { i.CmMasterInfo = 1; }, 1},
      {"the drum count", [](VEMOINFO& i) { i.CmDrmNum = 1; }, 1},
  };
  for (const Case& c : cases) {
    CONSUM_WND_INFO rec;
    ASSERT_EQ(Get_Consum_Table(&rec, nullptr, &shown), 1);
    VEMOINFO next = shown;
    c.change(next);
    EXPECT_EQ(Refresh_Consum_Printer_Info(&rec, &next), c.changed) << c.what;
    EXPECT_EQ(rec.PrinterInfo.MainStsErr, c.changed ? next.MainStsErr : shown.MainStsErr) << c.what;
  }
}

TEST(ConsumIcon, SupplyFlagsAndTheErrorStateChooseTheIcon) {
  struct Case {
    UInt8 icType, master, drum0, drum1, err;
    SInt32 drums;
    SInt16 icon;
  } const cases[] = {
      {3, 0, 0, 0, 0, 1, 0},   {4, 0, 0, 0, 0, 1, 488},
      {4, 1, 0, 0, 0, 1, 486}, {4, 0, 0, 1, 0, 1, 488},  // the second drum is not in use
      {4, 0, 0, 1, 0, 2, 486}, {5, 0, 0, 0, 5, 1, 486},
  };
  for (const Case& c : cases) {
    VEMOINFO i{};
    i.IcType = c.icType;
    i.CmMasterInfo = c.master;
    i.pDrm[0].DrmInfo = c.drum0;
    i.pDrm[1].DrmInfo = c.drum1;
    i.MainStsErr = c.err;
    i.CmDrmNum = c.drums;
    EXPECT_EQ(SetConsumableIcon(i), c.icon);
  }
}

}  // namespace
