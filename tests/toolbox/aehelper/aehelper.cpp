// Test program: started from a bundle by the Apple-event tests. It runs an
// ordinary event loop and appends one line per received event to the file
// named by AEHELPER_LOG:
//   ready <creator> <name> <file>     once its handlers are installed
//   aevt oapp | aevt quit             the core events
//   JCev <id> <text>                  the suite's events (the TEXT item)
//   waiting <kind>                    after 'oapp', with AEHELPER_WAIT set
//   exit                              from its exit step, with AEHELPER_WAIT
// With AEHELPER_WAIT, the open event leads it into a loop that takes no
// Apple events: "modal" (a modal dialog) or "busy" (a wait for nothing).
// It ends on 'quit', or on its own after 20 seconds so a failed test never
// leaves it behind.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "toolbox/appleevents.h"
#include "toolbox/clock.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"
#include "toolbox/files.h"
#include "toolbox/memory.h"
#include "toolbox/processes.h"

namespace {

bool gDone = false;
bool gOpened = false;
constexpr UInt64 kLifeMicros = 20'000'000;

void logLine(const std::string& line) {
  const char* path = std::getenv("AEHELPER_LOG");
  if (!path) return;
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

std::string code(FourCharCode c) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>(c >> shift);
  return s;
}

OSErr onCore(const AppleEvent* ev, AppleEvent*, SRefCon) {
  AEEventID id = 0;
  DescType type;
  Size size;
  AEGetAttributePtr(ev, keyEventIDAttr, typeType, &type, &id, sizeof id, &size);
  logLine("aevt " + code(id));
  if (id == kAEQuitApplication) gDone = true;
  if (id == kAEOpenApplication) gOpened = true;
  return noErr;
}

OSErr onSuite(const AppleEvent* ev, AppleEvent*, SRefCon) {
  AEEventID id = 0;
  DescType type;
  Size size;
  AEGetAttributePtr(ev, keyEventIDAttr, typeType, &type, &id, sizeof id, &size);
  AEDescList list;
  std::string text = "<none>";
  if (AEGetParamDesc(ev, tb::CurrentCreator(), typeAEList, &list) == noErr) {
    char buf[600];
    Size actual = 0;
    AEKeyword kw;
    if (AEGetNthPtr(&list, 1, typeChar, &kw, &type, buf, sizeof buf, &actual) == noErr)
      text.assign(buf, static_cast<std::size_t>(std::min<Size>(actual, sizeof buf)));
    AEDisposeDesc(&list);
  }
  logLine("JCev " + code(id) + " " + text);
  return errAEEventNotHandled;
}

// One static text item, in the item-list layout.
DialogRef newModalDialog() {
  // clang-format off
  static const UInt8 kItems[] = {0, 0,  0, 0, 0, 0,  0, 10, 0, 10, 0, 30, 0, 200,  8, 4, 'w', 'a', 'i', 't'};
  // clang-format on
  Handle items = NewHandle(sizeof kItems);
  BlockMoveData(kItems, *items, sizeof kItems);
  const Rect bounds{100, 100, 160, 320};
  DialogRef d = NewDialog(nullptr, &bounds, reinterpret_cast<const unsigned char*>("\x04Wait"), true, movableDBoxProc,
                          reinterpret_cast<WindowRef>(-1), false, 0, items);
  DisposeHandle(items);
  return d;
}

void waitInLoop(const std::string& kind, UInt64 start) {
  logLine("waiting " + kind);
  if (kind == "modal") {
    if (!newModalDialog()) return;
    DialogItemIndex hit = 0;
    while (tb::MonotonicMicros() - start < kLifeMicros) ModalDialog(nullptr, &hit);
  } else {
    while (tb::MonotonicMicros() - start < kLifeMicros) {
      EventRecord ev;
      WaitNextEvent(0, &ev, 60, nullptr);
    }
  }
}

}  // namespace

int main() {
  AEInstallEventHandler(kCoreEventClass, kAEOpenApplication, NewAEEventHandlerUPP(onCore), 0, false);
  AEInstallEventHandler(kCoreEventClass, kAEQuitApplication, NewAEEventHandlerUPP(onCore), 0, false);
  AEInstallEventHandler('JCev', typeWildCard, NewAEEventHandlerUPP(onSuite), 0, false);

  ProcessSerialNumber self;
  GetCurrentProcess(&self);
  Str31 name;
  FSSpec fss;
  ProcessInfoRec info{};
  info.processInfoLength = sizeof info;
  info.processName = name;
  info.processAppSpec = &fss;
  std::string file = "?";
  if (GetProcessInformation(&self, &info) == noErr) tb::SpecToPath(fss, file);
  logLine("ready " + code(info.processSignature) + " " + pstr::str(name) + " " + file);

  const char* nested = std::getenv("AEHELPER_WAIT");
  if (nested) std::atexit([] { logLine("exit"); });
  UInt64 start = tb::MonotonicMicros();
  while (!gDone && tb::MonotonicMicros() - start < kLifeMicros) {
    EventRecord ev;
    if (WaitNextEvent(everyEvent, &ev, 5, nullptr) && ev.what == kHighLevelEvent) AEProcessAppleEvent(&ev);
    if (gOpened && nested) waitInLoop(nested, start);
  }
  return 0;
}
