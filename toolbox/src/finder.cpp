// The Finder stand-in and the recorder of what a program asked of others.
#include "toolbox/finder.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "ae_internal.h"
#include "toolbox/aliases.h"
#include "toolbox/bundle.h"
#include "toolbox/files.h"
#include "toolbox/recorder.h"

extern char** environ;

using namespace aeimpl;

namespace {

struct Records {
  std::vector<std::string> opened;
  std::vector<tb::RecordedLaunch> launches;
  std::vector<tb::RecordedAppleEvent> events;
};
Records& rec() {
  static Records r;
  return r;
}

tb::FinderMode gMode = tb::FinderMode::kAuto;

void appendRecordLine(const std::string& line) {
  const char* file = std::getenv("TOOLBOX_RECORD_FILE");
  if (!file || !*file) return;
  std::ofstream f(file, std::ios::app | std::ios::binary);
  f << line << '\n';
}

// Paths in record lines: one line each, whatever the name holds.
std::string lineSafe(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x20 || c == '%' || c == 0x7F) {
      static const char hex[] = "0123456789ABCDEF";
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// The files an event item names: an alias, a file spec, or a list of them.
OSErr collectPaths(const Item& item, std::vector<std::string>& paths, int depth = 0) {
  if (item.type == typeAlias) {
    std::string path;
    if (!tb::AliasRecordPath(item.data.data(), item.data.size(), &path)) return errAEWrongDataType;
    paths.push_back(path);
    return noErr;
  }
  if (item.type == typeFSS) {
    FSSpec fss;
    if (item.data.size() != sizeof fss) return errAEWrongDataType;
    std::memcpy(&fss, item.data.data(), sizeof fss);
    if (fss.name[0] > 63) return errAEWrongDataType;
    std::string path;
    if (tb::SpecToPath(fss, path) != noErr) return errAEWrongDataType;
    paths.push_back(path);
    return noErr;
  }
  if (item.type == typeAEList && depth == 0) {
    std::vector<Item> items;
    if (!ParseItems(item.data, false, items)) return errAECorruptData;
    for (const Item& it : items) {
      OSErr err = collectPaths(it, paths, depth + 1);
      if (err) return err;
    }
    return noErr;
  }
  return errAEWrongDataType;
}

const Item* param(const Event& ev, AEKeyword key) {
  for (const Item& it : ev.params)
    if (it.key == key) return &it;
  return nullptr;
}

OSErr runXdgOpen(const std::string& path) {
  std::string prog = "xdg-open";
  std::string arg = path;
  char* argv[] = {prog.data(), arg.data(), nullptr};
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  short flags = POSIX_SPAWN_SETSIGMASK;
#ifdef POSIX_SPAWN_SETSID
  flags |= POSIX_SPAWN_SETSID;
#endif
  posix_spawnattr_setflags(&attr, flags);
  // What the desktop starts is not one of our programs: it must not take
  // this program's file for its own.
  std::vector<char*> envp;
  for (char** e = environ; e && *e; ++e) {
    std::string_view v(*e);
    if (v.rfind(std::string(kAppFileEnv) + "=", 0) == 0 || v.rfind(std::string(kLaunchEventEnv) + "=", 0) == 0)
      continue;
    envp.push_back(*e);
  }
  envp.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawnp(&pid, prog.c_str(), nullptr, &attr, argv, envp.data());
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return procNotFound;
  TrackChild(pid);
  return noErr;
}

}  // namespace

namespace aeimpl {

void RecordSentEvent(std::string_view flat, const Event& ev) {
  tb::RecordedAppleEvent r{ev.eventClass, ev.eventID, ev.address.type, 0, {0, 0}, std::string(flat)};
  std::string target;
  if (ev.address.type == typeApplSignature && HostU32(ev.address.data, r.targetSignature)) {
    target = "sign:" + CodeText(r.targetSignature);
  } else if (ev.address.type == typeProcessSerialNumber && HostPSN(ev.address.data, r.targetPSN)) {
    target = "psn:" + std::to_string(r.targetPSN.lowLongOfPSN);
  } else {
    target = "other:" + CodeText(ev.address.type);
  }
  rec().events.push_back(std::move(r));
  appendRecordLine("send\t" + CodeText(ev.eventClass) + "\t" + CodeText(ev.eventID) + "\t" + target);
}

void RecordLaunch(const std::string& path, const ProcessSerialNumber& psn) {
  rec().launches.push_back(tb::RecordedLaunch{path, psn});
  appendRecordLine("launch\t" + lineSafe(path));
}

void RecordOpen(const std::string& path) {
  rec().opened.push_back(path);
  appendRecordLine("open\t" + lineSafe(path));
}

void RecordSound(const char* what, const std::string& path) {
  appendRecordLine(std::string("sound\t") + what + "\t" + lineSafe(path));
}

OSErr FinderHandleEvent(const Event& ev) {
  const Item* items = nullptr;
  if (ev.eventClass == kCoreEventClass && ev.eventID == kAEOpenDocuments) {
    items = param(ev, keyDirectObject);
  } else if (ev.eventClass == kFinderEventClass && ev.eventID == kAEOpenSelection) {
    items = param(ev, keyAEFileSelection);
    if (!items) items = param(ev, keyDirectObject);
  } else {
    return errAEEventNotHandled;
  }
  if (!items) return errAEDescNotFound;
  std::vector<std::string> paths;
  OSErr err = collectPaths(*items, paths);
  if (err) return err;
  OSErr result = noErr;
  for (const std::string& p : paths) {
    OSErr e = tb::FinderOpenPath(p);
    if (e && !result) result = e;
  }
  return result;
}

}  // namespace aeimpl

void tb::SetFinderMode(FinderMode mode) { gMode = mode; }

bool tb::FinderRecordsOnly() {
  if (gMode != FinderMode::kAuto) return gMode == FinderMode::kRecord;
  const char* finder = std::getenv("TOOLBOX_FINDER");
  if (finder && *finder) return std::strcmp(finder, "record") == 0;
  const char* headless = std::getenv("TOOLBOX_HEADLESS");
  return headless && std::strcmp(headless, "1") == 0;
}

OSErr tb::FinderOpenPath(const std::string& path) {
  struct stat sb;
  if (path.empty() || stat(path.c_str(), &sb) != 0) return fnfErr;
  if (!tb::BundleOfProgram(path).empty()) {
    if (FinderRecordsOnly()) {
      RecordLaunch(path, ProcessSerialNumber{0, kNoProcess});
      return noErr;
    }
    ProcessSerialNumber psn;
    return tb::LaunchApplicationPath(path, nullptr, &psn);
  }
  RecordOpen(path);
  if (FinderRecordsOnly()) return noErr;
  return runXdgOpen(path);
}

std::vector<std::string> tb::RecordedOpenedDocuments() { return rec().opened; }
std::vector<tb::RecordedLaunch> tb::RecordedLaunches() { return rec().launches; }
std::vector<tb::RecordedAppleEvent> tb::RecordedAppleEvents() { return rec().events; }
void tb::ClearRecords() { rec() = Records{}; }
