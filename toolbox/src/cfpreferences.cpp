// Core Foundation preferences: the login window's list as a view over the
// login items, other keys in the process.
#include "toolbox/cfpreferences.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "toolbox/loginitems.h"

const CFStringRef kCFPreferencesCurrentUser = CFSTR("kCFPreferencesCurrentUser");
const CFStringRef kCFPreferencesAnyUser = CFSTR("kCFPreferencesAnyUser");
const CFStringRef kCFPreferencesCurrentHost = CFSTR("kCFPreferencesCurrentHost");
const CFStringRef kCFPreferencesAnyHost = CFSTR("kCFPreferencesAnyHost");

namespace {

constexpr const char* kLoginDomain = "loginwindow";
constexpr const char* kLoginKey = "AutoLaunchedApplicationDictionary";

struct State {
  std::map<std::pair<std::string, std::string>, CFTypeRef> values;  // retained
  // The login window's list: what was set and not yet synchronised
  // (nullopt: nothing staged; a null value: the key removed), and the paths
  // the caller saw in its last copy.
  std::optional<CFTypeRef> staged;
  std::set<std::string> seen;
};

State& st() {
  static State& s = *new State;
  return s;
}

bool isLoginList(CFStringRef key, CFStringRef app) {
  return tb::CFStringText(app) == kLoginDomain && tb::CFStringText(key) == kLoginKey;
}

CFDictionaryRef entryFor(const std::string& path, bool hide) {
  CFStringRef p = tb::NewCFString(path);
  const void* keys[] = {CFSTR("Hide"), CFSTR("Path")};
  const void* values[] = {hide ? kCFBooleanTrue : kCFBooleanFalse, p};
  CFDictionaryRef d =
      CFDictionaryCreate(nullptr, keys, values, 2, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  CFRelease(p);
  return d;
}

CFArrayRef copyLoginList() {
  // A failed read leaves the caller having seen nothing, so nothing can be
  // removed on the strength of an older read.
  st().seen.clear();
  std::vector<LoginItem> items;
  if (LIAECopyLoginItems(&items) != noErr) return nullptr;
  CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  for (const LoginItem& it : items) {
    CFDictionaryRef d = entryFor(it.path, false);
    CFArrayAppendValue(a, d);
    CFRelease(d);
    st().seen.insert(it.path);
  }
  return a;
}

struct Wanted {
  std::string path;
  bool hide;
};

std::vector<Wanted> wantedPaths(CFTypeRef value) {
  std::vector<Wanted> out;
  auto a = static_cast<CFArrayRef>(value);
  if (CFGetTypeID(a) != CFArrayGetTypeID()) return out;
  for (CFIndex i = 0; i < CFArrayGetCount(a); ++i) {
    auto d = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(a, i));
    if (CFGetTypeID(d) != CFDictionaryGetTypeID()) continue;
    auto p = static_cast<CFStringRef>(CFDictionaryGetValue(d, CFSTR("Path")));
    if (CFGetTypeID(p) != CFStringGetTypeID() || tb::CFStringText(p).empty()) continue;
    auto h = static_cast<CFBooleanRef>(CFDictionaryGetValue(d, CFSTR("Hide")));
    out.push_back(Wanted{tb::CFStringText(p), CFGetTypeID(h) == CFBooleanGetTypeID() && CFBooleanGetValue(h)});
  }
  return out;
}

// Brings the login items in line with the staged list; false when anything
// could not be done.
bool applyLoginList(CFTypeRef value) {
  std::vector<Wanted> wanted = wantedPaths(value);
  std::vector<LoginItem> items;
  if (LIAECopyLoginItems(&items) != noErr) return false;
  bool ok = true;
  // Removals, from the last index down so the earlier indexes stay valid.
  for (long i = long(items.size()) - 1; i >= 0; --i) {
    const std::string& path = items[std::size_t(i)].path;
    bool keep = std::any_of(wanted.begin(), wanted.end(), [&](const Wanted& w) { return w.path == path; });
    if (keep || !st().seen.count(path)) continue;
    // Another program's entry stays (and the change counts as not made).
    if (!items[std::size_t(i)].ours || LIAERemove(i) != noErr) ok = false;
  }
  for (const Wanted& w : wanted) {
    bool listed = std::any_of(items.begin(), items.end(), [&](const LoginItem& it) { return it.path == w.path; });
    if (!listed && tb::AddLoginItemPath(w.path, w.hide) != noErr) ok = false;
  }
  return ok;
}

}  // namespace

CFPropertyListRef CFPreferencesCopyValue(CFStringRef key, CFStringRef applicationID, CFStringRef, CFStringRef) {
  State& s = st();
  if (isLoginList(key, applicationID)) {
    if (s.staged) return *s.staged ? CFRetain(*s.staged) : nullptr;
    return copyLoginList();
  }
  auto it = s.values.find({tb::CFStringText(applicationID), tb::CFStringText(key)});
  return it == s.values.end() ? nullptr : CFRetain(it->second);
}

void CFPreferencesSetValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID, CFStringRef,
                           CFStringRef) {
  State& s = st();
  if (value) CFRetain(value);
  if (isLoginList(key, applicationID)) {
    if (s.staged && *s.staged) CFRelease(*s.staged);
    s.staged = value;
    return;
  }
  auto k = std::make_pair(tb::CFStringText(applicationID), tb::CFStringText(key));
  auto it = s.values.find(k);
  if (it != s.values.end()) {
    CFRelease(it->second);
    s.values.erase(it);
  }
  if (value) s.values[k] = value;
}

Boolean CFPreferencesSynchronize(CFStringRef applicationID, CFStringRef, CFStringRef) {
  State& s = st();
  if (tb::CFStringText(applicationID) != kLoginDomain || !s.staged) return true;
  // Whatever could be made is made; the value read afterwards is the items
  // as they are then, never a staged list they do not match.
  bool ok = applyLoginList(*s.staged);
  if (*s.staged) CFRelease(*s.staged);
  s.staged.reset();
  return ok;
}

void tb::ResetPreferences() {
  State& s = st();
  for (auto& [k, v] : s.values) CFRelease(v);
  s.values.clear();
  if (s.staged && *s.staged) CFRelease(*s.staged);
  s.staged.reset();
  s.seen.clear();
}
