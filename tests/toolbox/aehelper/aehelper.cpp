// Test program: started from a bundle by the Apple-event tests. It runs an
// ordinary event loop and appends one line per received event to the file
// named by AEHELPER_LOG:
//   ready <creator> <name> <file>     once its handlers are installed
//   aevt oapp | aevt quit             the core events
//   JCev <id> <text>                  the suite's events (the TEXT item)
// It ends on 'quit', or on its own after 20 seconds so a failed test never
// leaves it behind.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "toolbox/appleevents.h"
#include "toolbox/clock.h"
#include "toolbox/events.h"
#include "toolbox/files.h"
#include "toolbox/processes.h"

namespace {

bool gDone = false;

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

  UInt64 start = tb::MonotonicMicros();
  while (!gDone && tb::MonotonicMicros() - start < 20'000'000) {
    EventRecord ev;
    if (WaitNextEvent(everyEvent, &ev, 5, nullptr) && ev.what == kHighLevelEvent) AEProcessAppleEvent(&ev);
  }
  return 0;
}
