// Apple events: descriptor lists, parameters and attributes, launch
// parameters, damaged events, sending to ourselves, priorities, handlers
// and leftover sockets.
#include "toolbox/appleevents.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <vector>

#include "test_support.h"
#include "toolbox/events.h"
#include "toolbox/processes.h"
#include "toolbox/recorder.h"

using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

std::string text(const AEDesc& d) {
  return std::string(*d.dataHandle, static_cast<std::size_t>(AEGetDescDataSize(&d)));
}

AppleEvent makeEvent(AEEventClass c, AEEventID id, const AEAddressDesc* target) {
  AppleEvent ev;
  EXPECT_EQ(AECreateAppleEvent(c, id, target, kAutoGenerateReturnID, kAnyTransactionID, &ev), noErr);
  return ev;
}

// The launch event as the suite builds it: one list parameter under the
// receiver's creator holding one TEXT item.
AppleEvent makeLaunchEvent(const AEAddressDesc* target, OSType keyword, const std::string& data) {
  AppleEvent ev = makeEvent('JCev', 'apop', target);
  AEDescList list;
  EXPECT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
  EXPECT_EQ(AEPutPtr(&list, 1, typeChar, data.data(), static_cast<Size>(data.size())), noErr);
  EXPECT_EQ(AEPutParamDesc(&ev, keyword, &list), noErr);
  AEDisposeDesc(&list);
  return ev;
}

AEAddressDesc signatureAddress(OSType sig) {
  AEAddressDesc a;
  EXPECT_EQ(AECreateDesc(typeApplSignature, &sig, sizeof sig, &a), noErr);
  return a;
}

AEAddressDesc psnAddress(ProcessSerialNumber psn) {
  AEAddressDesc a;
  EXPECT_EQ(AECreateDesc(typeProcessSerialNumber, &psn, sizeof psn, &a), noErr);
  return a;
}

// Each test gets private sockets and a clean Apple-event layer.
class AppleEvents : public ::testing::Test {
 protected:
  TempDir dir;
  ScopedEnv runtime{"XDG_RUNTIME_DIR", (dir.path() / "run").c_str()};
  void SetUp() override {
    tb::ResetAppleEvents();
    tb::ClearRecords();
    tb::SetCurrentCreator('TST1');
  }
  void TearDown() override { tb::ResetAppleEvents(); }
};

std::vector<std::string> gSeen;

std::string code(FourCharCode c) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>(c >> shift);
  return s;
}

OSErr recordHandler(const AppleEvent* ev, AppleEvent*, SRefCon refcon) {
  AEEventClass c = 0;
  AEEventID id = 0;
  DescType type;
  Size size;
  AEGetAttributePtr(ev, keyEventClassAttr, typeType, &type, &c, sizeof c, &size);
  AEGetAttributePtr(ev, keyEventIDAttr, typeType, &type, &id, sizeof id, &size);
  std::string line = code(c) + "/" + code(id);
  AEDescList list;
  if (AEGetParamDesc(ev, 'TST1', typeAEList, &list) == noErr) {
    char buf[64];
    Size actual = 0;
    if (AEGetNthPtr(&list, 1, typeChar, nullptr, &type, buf, sizeof buf, &actual) == noErr)
      line += ":" + std::string(buf, static_cast<std::size_t>(std::min<Size>(actual, sizeof buf)));
    AEDisposeDesc(&list);
  }
  gSeen.push_back(line);
  return static_cast<OSErr>(refcon);
}

// Waits through the Event Manager for the next high-level event.
bool nextHighLevel(EventRecord* ev) {
  for (int i = 0; i < 200; ++i)
    if (WaitNextEvent(highLevelEventMask, ev, 1, nullptr) && ev->what == kHighLevelEvent) return true;
  return false;
}

}  // namespace

TEST(AEDescriptors, ListsKeepItemsAndBoundEveryCopy) {
  AEDescList list;
  ASSERT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
  EXPECT_EQ(list.descriptorType, typeAEList);
  ASSERT_EQ(AEPutPtr(&list, 1, typeChar, "first", 5), noErr);
  ASSERT_EQ(AEPutPtr(&list, 0, typeChar, "second item", 11), noErr);  // 0 appends
  long count = 0;
  ASSERT_EQ(AECountItems(&list, &count), noErr);
  EXPECT_EQ(count, 2);

  char buf[8];
  std::memset(buf, '#', sizeof buf);
  Size actual = 0;
  DescType type = 0;
  AEKeyword kw = 0;
  ASSERT_EQ(AEGetNthPtr(&list, 2, typeChar, &kw, &type, buf, 6, &actual), noErr);
  EXPECT_EQ(actual, 11);  // the whole size, though only 6 bytes were copied
  EXPECT_EQ(std::string(buf, 6), "second");
  EXPECT_EQ(buf[6], '#');
  EXPECT_EQ(type, typeChar);

  for (long bad : {0L, 3L, -1L}) EXPECT_EQ(AEGetNthPtr(&list, bad, typeChar, &kw, &type, buf, 8, &actual), errAEBadListItem);
  EXPECT_EQ(AEPutPtr(&list, 4, typeChar, "x", 1), errAEBadListItem);
  EXPECT_EQ(AEGetNthPtr(&list, 1, typeSInt32, &kw, &type, buf, 8, &actual), errAECoercionFail);
  // TEXT and UTF-8 text share their bytes.
  ASSERT_EQ(AEGetNthPtr(&list, 1, typeUTF8Text, &kw, &type, buf, 8, &actual), noErr);
  EXPECT_EQ(type, typeUTF8Text);

  ASSERT_EQ(AEPutPtr(&list, 1, typeChar, "1st", 3), noErr);  // replaces
  AEDesc item;
  ASSERT_EQ(AEGetNthDesc(&list, 1, typeWildCard, &kw, &item), noErr);
  EXPECT_EQ(text(item), "1st");
  AEDisposeDesc(&item);
  ASSERT_EQ(AEDeleteItem(&list, 1), noErr);
  ASSERT_EQ(AECountItems(&list, &count), noErr);
  EXPECT_EQ(count, 1);

  AEDesc copy;
  ASSERT_EQ(AEDuplicateDesc(&list, &copy), noErr);
  EXPECT_NE(copy.dataHandle, list.dataHandle);
  EXPECT_EQ(text(copy), text(list));
  AEDisposeDesc(&copy);
  AEDisposeDesc(&list);
  EXPECT_EQ(list.descriptorType, typeNull);
  EXPECT_EQ(list.dataHandle, nullptr);
  EXPECT_EQ(AECountItems(&list, &count), errAEWrongDataType);
}

TEST(AEDescriptors, EventParametersAndAttributes) {
  AEAddressDesc target = signatureAddress('VMxm');
  AppleEvent ev = makeLaunchEvent(&target, 'VMxm', "Alias Data");
  AEDescList list;
  ASSERT_EQ(AEGetParamDesc(&ev, 'VMxm', typeAEList, &list), noErr);
  char buf[600];
  Size actual = 0;
  DescType type;
  ASSERT_EQ(AEGetNthPtr(&list, 1, typeChar, nullptr, &type, buf, sizeof buf, &actual), noErr);
  EXPECT_EQ(std::string(buf, static_cast<std::size_t>(actual)), "Alias Data");
  AEDisposeDesc(&list);

  AEDesc missing;
  EXPECT_EQ(AEGetParamDesc(&ev, 'VMxa', typeAEList, &missing), errAEDescNotFound);
  EXPECT_EQ(missing.descriptorType, typeNull);

  // Putting a parameter again replaces it; a single value asked for as a
  // list is a list of one.
  ASSERT_EQ(AEPutParamPtr(&ev, keyDirectObject, typeChar, "a", 1), noErr);
  ASSERT_EQ(AEPutParamPtr(&ev, keyDirectObject, typeChar, "bb", 2), noErr);
  ASSERT_EQ(AEGetParamDesc(&ev, keyDirectObject, typeAEList, &list), noErr);
  long count = 0;
  AECountItems(&list, &count);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(AEGetNthPtr(&list, 1, typeChar, nullptr, &type, buf, sizeof buf, &actual), noErr);
  EXPECT_EQ(std::string(buf, static_cast<std::size_t>(actual)), "bb");
  AEDisposeDesc(&list);

  OSType c = 0, id = 0, sig = 0;
  ASSERT_EQ(AEGetAttributePtr(&ev, keyEventClassAttr, typeType, &type, &c, sizeof c, &actual), noErr);
  ASSERT_EQ(AEGetAttributePtr(&ev, keyEventIDAttr, typeType, &type, &id, sizeof id, &actual), noErr);
  ASSERT_EQ(AEGetAttributePtr(&ev, keyAddressAttr, typeApplSignature, &type, &sig, sizeof sig, &actual), noErr);
  EXPECT_EQ(c, OSType('JCev'));
  EXPECT_EQ(id, OSType('apop'));
  EXPECT_EQ(sig, OSType('VMxm'));
  SInt16 ret1 = 0, ret2 = 0;
  AppleEvent other = makeEvent('JCev', 'apop', &target);
  AEGetAttributePtr(&ev, keyReturnIDAttr, typeSInt16, &type, &ret1, sizeof ret1, &actual);
  AEGetAttributePtr(&other, keyReturnIDAttr, typeSInt16, &type, &ret2, sizeof ret2, &actual);
  EXPECT_NE(ret1, ret2);
  EXPECT_NE(ret1, kAutoGenerateReturnID);

  // Events and lists are not interchangeable.
  EXPECT_EQ(AEPutPtr(&ev, 1, typeChar, "x", 1), errAEWrongDataType);
  EXPECT_EQ(AEPutParamPtr(&target, keyDirectObject, typeChar, "x", 1), errAEWrongDataType);
  AEDisposeDesc(&other);
  AEDisposeDesc(&ev);
  AEDisposeDesc(&target);
}

TEST(AEDescriptors, LaunchParametersRoundTrip) {
  AEAddressDesc target = signatureAddress('VMxa');
  AppleEvent ev = makeLaunchEvent(&target, 'VMxa', std::string(256, '\0'));
  AEDesc appa;
  ASSERT_EQ(AECoerceDesc(&ev, typeAppParameters, &appa), noErr);
  EXPECT_EQ(appa.descriptorType, typeAppParameters);
  AppleEvent back;
  ASSERT_EQ(AECoerceDesc(&appa, typeAppleEvent, &back), noErr);
  EXPECT_EQ(text(back), text(ev));
  AEDisposeDesc(&back);

  // Launch parameters that are not ours are refused, not read.
  std::string junk = text(appa);
  junk[7] ^= 1;  // the length no longer matches
  AEDesc bad;
  ASSERT_EQ(AECreateDesc(typeAppParameters, junk.data(), static_cast<Size>(junk.size()), &bad), noErr);
  EXPECT_NE(AECoerceDesc(&bad, typeAppleEvent, &back), noErr);
  EXPECT_EQ(back.descriptorType, typeNull);
  for (AEDesc* d : {&ev, &appa, &bad, &target, &back}) AEDisposeDesc(d);
}

TEST(AEDescriptors, DamagedFlattenedEventsAreRefusedNotRead) {
  AEAddressDesc target = signatureAddress('VMxm');
  AppleEvent ev = makeLaunchEvent(&target, 'VMxm', "payload");
  std::string flat;
  ASSERT_EQ(tb::FlattenAppleEvent(&ev, &flat), noErr);
  AppleEvent out;
  // Every cut of a valid event is refused.
  for (std::size_t n = 0; n < flat.size(); ++n)
    EXPECT_EQ(tb::UnflattenAppleEvent(flat.data(), n, &out), errAECorruptData) << n;
  // Random damage never reads out of bounds; whatever parses stays usable.
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::string bad = flat;
    for (int k = 0; k < 3; ++k) bad[rng() % bad.size()] = static_cast<char>(rng());
    if (tb::UnflattenAppleEvent(bad.data(), bad.size(), &out) != noErr) continue;
    AEDescList list;
    if (AEGetParamDesc(&out, 'VMxm', typeAEList, &list) == noErr) {
      char buf[16];
      Size actual;
      DescType type;
      long count;
      AECountItems(&list, &count);
      AEGetNthPtr(&list, 1, typeChar, nullptr, &type, buf, sizeof buf, &actual);
      AEDisposeDesc(&list);
    }
    AEDisposeDesc(&out);
  }
  // A count that claims more items than the bytes can hold.
  AEDesc list;
  std::string huge = "\xFF\xFF\xFF\xFF";
  ASSERT_EQ(AECreateDesc(typeAEList, huge.data(), 4, &list), noErr);
  long count;
  EXPECT_EQ(AECountItems(&list, &count), errAECorruptData);
  AEDisposeDesc(&list);
  AEDisposeDesc(&ev);
  AEDisposeDesc(&target);
}

TEST_F(AppleEvents, OpenApplicationComesFirstThroughTheEventManager) {
  gSeen.clear();
  ASSERT_EQ(AEInstallEventHandler(kCoreEventClass, kAEOpenApplication, NewAEEventHandlerUPP(recordHandler), 0, false),
            noErr);
  EventRecord ev;
  ASSERT_TRUE(nextHighLevel(&ev));
  EXPECT_EQ(ev.message, UInt32(kCoreEventClass));
  EXPECT_EQ(HighLevelEventID(ev), UInt32(kAEOpenApplication));
  // Looking again does not take it.
  EventRecord again;
  ASSERT_TRUE(EventAvail(highLevelEventMask, &again));
  EXPECT_EQ(again.message, UInt32(kCoreEventClass));
  EXPECT_EQ(AEProcessAppleEvent(&ev), noErr);
  EXPECT_EQ(gSeen, std::vector<std::string>{"aevt/oapp"});
  EXPECT_EQ(AEProcessAppleEvent(&ev), errAENotAppleEvent);

  // The socket: named by creator and pid, in a private folder.
  std::string path = tb::AppleEventSocketPath();
  EXPECT_EQ(path, (dir.path() / "run" / "vemo" / ("TST1." + std::to_string(getpid()))).string());
  struct stat sb;
  ASSERT_EQ(stat((dir.path() / "run" / "vemo").c_str(), &sb), 0);
  EXPECT_EQ(sb.st_mode & 0777, 0700u);
}

TEST_F(AppleEvents, SentToOurselvesBySignatureAndBySerialNumber) {
  gSeen.clear();
  AEInstallEventHandler('JCev', 'apop', NewAEEventHandlerUPP(recordHandler), errAEEventNotHandled, false);
  AEInstallEventHandler(kCoreEventClass, typeWildCard, NewAEEventHandlerUPP(recordHandler), 0, false);
  tb::ProcessPendingAppleEvents(0);  // 'oapp'
  gSeen.clear();

  AEAddressDesc bySig = signatureAddress('TST1');
  AppleEvent ev = makeLaunchEvent(&bySig, 'TST1', "by signature");
  ASSERT_EQ(AESend(&ev, nullptr, kAENoReply + kAECanSwitchLayer, kAEHighPriority, kAEDefaultTimeout, nullptr, nullptr),
            noErr);
  EventRecord rec;
  ASSERT_TRUE(nextHighLevel(&rec));
  EXPECT_EQ(rec.message, UInt32('JCev'));
  EXPECT_EQ(HighLevelEventID(rec), UInt32('apop'));
  // The handler's "not handled" is its answer, not a failure of dispatch.
  EXPECT_EQ(AEProcessAppleEvent(&rec), errAEEventNotHandled);

  ProcessSerialNumber current{0, kCurrentProcess};
  AEAddressDesc byPsn = psnAddress(current);
  AppleEvent ev2 = makeLaunchEvent(&byPsn, 'TST1', "by number");
  ASSERT_EQ(AESend(&ev2, nullptr, kAENoReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr), noErr);
  ASSERT_TRUE(nextHighLevel(&rec));
  AEProcessAppleEvent(&rec);
  EXPECT_EQ(gSeen, (std::vector<std::string>{"JCev/apop:by signature", "JCev/apop:by number"}));

  auto sent = tb::RecordedAppleEvents();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].targetType, DescType(typeApplSignature));
  EXPECT_EQ(sent[0].targetSignature, OSType('TST1'));
  EXPECT_EQ(sent[1].targetType, DescType(typeProcessSerialNumber));
  for (AEDesc* d : {&ev, &ev2, &bySig, &byPsn}) AEDisposeDesc(d);
}

TEST_F(AppleEvents, HighPriorityGoesFirstAndUnhandledEventsAreDropped) {
  gSeen.clear();
  AEInstallEventHandler('JCev', typeWildCard, NewAEEventHandlerUPP(recordHandler), 0, false);
  ProcessSerialNumber current{0, kCurrentProcess};
  AEAddressDesc self = psnAddress(current);
  for (auto [id, prio] : {std::pair{OSType('nrm1'), kAENormalPriority}, std::pair{OSType('xxxx'), kAENormalPriority},
                          std::pair{OSType('hig1'), kAEHighPriority}}) {
    AppleEvent ev = makeEvent(id == 'xxxx' ? 'XXev' : 'JCev', id, &self);
    ASSERT_EQ(AESend(&ev, nullptr, kAENoReply, prio, kAEDefaultTimeout, nullptr, nullptr), noErr);
    AEDisposeDesc(&ev);
  }
  // The 'oapp' of the start has no handler here and never shows.
  EXPECT_EQ(tb::ProcessPendingAppleEvents(0), 2);
  EXPECT_EQ(gSeen, (std::vector<std::string>{"JCev/hig1", "JCev/nrm1"}));
  EXPECT_EQ(tb::PendingAppleEvents(), 0);
  EventRecord rec;
  EXPECT_FALSE(EventAvail(highLevelEventMask, &rec));
  AEDisposeDesc(&self);
}

TEST_F(AppleEvents, HandlersAreReplacedAndRemoved) {
  AEEventHandlerUPP other = [](const AppleEvent*, AppleEvent*, SRefCon) -> OSErr { return noErr; };
  ASSERT_EQ(AEInstallEventHandler('JCev', 'apop', recordHandler, 5, false), noErr);
  ASSERT_EQ(AEInstallEventHandler('JCev', 'apop', other, 6, false), noErr);
  AEEventHandlerUPP h = nullptr;
  SRefCon ref = 0;
  ASSERT_EQ(AEGetEventHandler('JCev', 'apop', &h, &ref, false), noErr);
  EXPECT_EQ(h, other);
  EXPECT_EQ(ref, 6);
  EXPECT_EQ(AERemoveEventHandler('JCev', 'apop', recordHandler, false), errAEHandlerNotFound);
  EXPECT_EQ(AERemoveEventHandler('JCev', 'apop', other, false), noErr);
  EXPECT_EQ(AEGetEventHandler('JCev', 'apop', &h, &ref, false), errAEHandlerNotFound);
}

TEST_F(AppleEvents, UnknownTargetsAndUnsupportedModes) {
  tb::StartAppleEvents();
  struct Case {
    const char* what;
    AEAddressDesc target;
    AESendMode mode;
    OSErr expected;
  };
  ProcessSerialNumber stale{12345, 0x7FFFFFF0};
  ProcessSerialNumber none{0, kNoProcess};
  UInt32 pid = 1;
  AEAddressDesc kpid;
  AECreateDesc('kpid', &pid, sizeof pid, &kpid);
  AEAddressDesc noTarget;
  AEInitializeDesc(&noTarget);
  std::vector<Case> cases = {
      {"creator not running", signatureAddress('NONE'), kAENoReply, procNotFound},
      {"serial number of no process", psnAddress(stale), kAENoReply, procNotFound},
      {"kNoProcess", psnAddress(none), kAENoReply, procNotFound},
      {"unsupported address", kpid, kAENoReply, errAEUnknownAddressType},
      {"no address", noTarget, kAENoReply, errAEUnknownAddressType},
      {"waiting for a reply", signatureAddress('TST1'), kAEWaitReply, errAEUnknownSendMode},
      {"queued reply", signatureAddress('TST1'), kAEQueueReply, errAEUnknownSendMode},
  };
  for (Case& c : cases) {
    AppleEvent ev = makeEvent('JCev', 'apop', &c.target);
    AppleEvent reply;
    EXPECT_EQ(AESend(&ev, &reply, c.mode, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr), c.expected) << c.what;
    EXPECT_EQ(reply.descriptorType, typeNull);
    AEDisposeDesc(&ev);
    AEDisposeDesc(&c.target);
  }
  EXPECT_TRUE(tb::RecordedLaunches().empty());  // sending never starts anything
}

TEST_F(AppleEvents, LeftoverSocketsOfEndedProgramsAreRemoved) {
  tb::StartAppleEvents();
  // A socket whose program ended without removing it.
  std::string stale = (dir.path() / "run" / "vemo" / "ZZZZ.99999").string();
  int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strcpy(addr.sun_path, stale.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  close(fd);
  AEAddressDesc target = signatureAddress('ZZZZ');
  AppleEvent ev = makeEvent('JCev', 'apop', &target);
  EXPECT_EQ(AESend(&ev, nullptr, kAENoReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr), procNotFound);
  EXPECT_FALSE(std::filesystem::exists(stale));
  AEDisposeDesc(&ev);
  AEDisposeDesc(&target);
}

TEST_F(AppleEvents, ForeignDatagramsAreIgnored) {
  gSeen.clear();
  AEInstallEventHandler('JCev', typeWildCard, recordHandler, 0, false);
  tb::ProcessPendingAppleEvents(0);
  int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strcpy(addr.sun_path, tb::AppleEventSocketPath().c_str());
  for (std::string junk : {std::string("x"), std::string("VAE1\0\0\0\0garbage", 15), std::string(64, '\xFF')})
    sendto(fd, junk.data(), junk.size(), 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  close(fd);
  tb::ProcessPendingAppleEvents(50);
  EXPECT_TRUE(gSeen.empty());
  EXPECT_EQ(tb::PendingAppleEvents(), 0);
}

TEST_F(AppleEvents, TheLaunchingEventWaitsForTheFirstHandler) {
  gSeen.clear();
  ASSERT_EQ(tb::StartAppleEvents(), noErr);
  EventRecord ev;
  EXPECT_FALSE(WaitNextEvent(highLevelEventMask, &ev, 0, nullptr));
  EXPECT_EQ(tb::PendingAppleEvents(), 1);  // kept, not dropped
  AEInstallEventHandler(kCoreEventClass, kAEOpenApplication, recordHandler, 0, false);
  ASSERT_TRUE(nextHighLevel(&ev));
  EXPECT_EQ(AEProcessAppleEvent(&ev), noErr);
  EXPECT_EQ(gSeen, std::vector<std::string>{"aevt/oapp"});
}
