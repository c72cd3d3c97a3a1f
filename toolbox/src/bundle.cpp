// The main bundle, its localised strings files and the system language.
#include "toolbox/bundle.h"
#include "toolbox/gestalt.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <vector>

#include "toolbox/files.h"

struct OpaqueCFBundle {
  UInt32 magic;
};

namespace {

constexpr UInt32 kBundleMagic = 'CFbn';

struct State {
  std::string bundleOverride;
  std::string languageOverride;
};

// Never destroyed, so lookups at exit still work.
State& st() {
  static State& s = *new State;
  return s;
}

bool isDir(const std::string& p) {
  struct stat sb;
  return stat(p.c_str(), &sb) == 0 && S_ISDIR(sb.st_mode);
}

bool endsWith(const std::string& s, std::string_view tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string parentOf(const std::string& p) {
  auto slash = p.rfind('/');
  if (slash == std::string::npos) return "";
  return p.substr(0, slash);
}

std::string trimBlanks(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return std::string(s.substr(b, e - b));
}

// A quoted field loses its quotes and escapes; anything else stays as is.
std::string unquote(const std::string& s) {
  if (s.size() < 2 || s.front() != '"' || s.back() != '"') return s;
  std::string out;
  for (std::size_t i = 1; i + 1 < s.size(); ++i) {
    char c = s[i];
    if (c == '\\' && i + 2 < s.size()) {
      char n = s[++i];
      out += n == 'n' ? '\n' : n == 't' ? '\t' : n;
    } else {
      out += c;
    }
  }
  return out;
}

// Finds key in one strings file; false when the file or the key is missing.
bool lookupInFile(const std::string& path, const std::string& key, std::string& value) {
  std::string text;
  if (tb::ReadLocalFile(path, tb::kTextFileMax, text) != noErr) return false;
  std::istringstream f(text);
  std::string line;
  bool first = true;
  while (std::getline(f, line)) {
    if (first && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    first = false;
    std::string t = trimBlanks(line);
    if (t.empty() || t[0] == '#' || t.rfind("//", 0) == 0) continue;
    // The key ends at the first '=' outside quotes.
    std::size_t eq = std::string::npos;
    bool quoted = false;
    for (std::size_t i = 0; i < t.size(); ++i) {
      if (t[i] == '\\' && quoted) {
        ++i;
      } else if (t[i] == '"') {
        quoted = !quoted;
      } else if (t[i] == '=' && !quoted) {
        eq = i;
        break;
      }
    }
    if (eq == std::string::npos) continue;
    if (unquote(trimBlanks(std::string_view(t).substr(0, eq))) != key) continue;
    std::string v = trimBlanks(std::string_view(t).substr(eq + 1));
    // A quoted value may end with the semicolon of the older file format.
    if (v.size() >= 3 && v.back() == ';' && v[v.size() - 2] == '"') v.pop_back();
    value = unquote(v);
    return true;
  }
  return false;
}

// The first non-empty, meaningful locale variable.
std::string localeLanguage() {
  for (const char* name : {"TOOLBOX_LANG", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (!v || !*v) continue;
    std::string s = v;
    // Drop ".codeset" and "@modifier".
    s = s.substr(0, s.find_first_of(".@"));
    if (s.empty() || s == "C" || s == "POSIX") return "en";
    auto sep = s.find_first_of("_-");
    std::string lang = s.substr(0, sep);
    for (char& c : lang) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lang.size() < 2 || lang.size() > 3) return "en";
    if (sep == std::string::npos || sep + 1 >= s.size()) return lang;
    std::string region = s.substr(sep + 1);
    for (char& c : region) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return lang + "_" + region;
  }
  return "en";
}

OpaqueCFBundle gMainBundle{kBundleMagic};

}  // namespace

std::string tb::BundleOfProgram(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (endsWith(p, ".app") && isDir(p)) return p;
  std::string macos = parentOf(p);
  std::string contents = parentOf(macos);
  std::string bundle = parentOf(contents);
  if (endsWith(macos, "/MacOS") && endsWith(contents, "/Contents") && endsWith(bundle, ".app") && isDir(bundle))
    return bundle;
  return "";
}

std::string tb::MainBundlePath() {
  if (!st().bundleOverride.empty()) return st().bundleOverride;
  return BundleOfProgram(tb::ApplicationPath());
}

void tb::SetMainBundlePath(std::string path) { st().bundleOverride = std::move(path); }

std::string tb::SystemLanguage() {
  if (!st().languageOverride.empty()) return st().languageOverride;
  return localeLanguage();
}

void tb::SetSystemLanguage(std::string lang) { st().languageOverride = std::move(lang); }

namespace {

// The localisation folders looked in, in order (without ".lproj").
std::vector<std::string> localizationFolders() {
  std::string lang = tb::SystemLanguage();
  std::vector<std::string> folders;
  auto sep = lang.find('_');
  if (sep != std::string::npos) {
    folders.push_back(lang);
    folders.push_back(lang.substr(0, sep) + "-" + lang.substr(sep + 1));
    folders.push_back(lang.substr(0, sep));
  } else {
    folders.push_back(lang);
  }
  folders.push_back("en");
  return folders;
}

}  // namespace

std::string tb::LocalizationLanguage() {
  const std::string bundle = MainBundlePath();
  if (bundle.empty()) return SystemLanguage();
  const std::string resources = bundle + "/Contents/Resources/";
  std::error_code ec;
  for (std::string f : localizationFolders()) {
    if (std::filesystem::is_directory(resources + f + ".lproj", ec)) {
      for (char& c : f)
        if (c == '-') c = '_';
      return f;
    }
  }
  // A bundle with no localisation at all follows the system.
  for (const auto& entry : std::filesystem::directory_iterator(resources, ec))
    if (entry.path().extension() == ".lproj") return "en";
  return SystemLanguage();
}

std::string tb::LocalizedString(const std::string& key, const char* fallback, const std::string& table) {
  std::string bundle = MainBundlePath();
  if (!bundle.empty() && !table.empty() && table.find('/') == std::string::npos) {
    std::string value;
    for (const std::string& f : localizationFolders()) {
      if (lookupInFile(bundle + "/Contents/Resources/" + f + ".lproj/" + table + ".strings", key, value))
        return value;
    }
  }
  return fallback ? std::string(fallback) : key;
}

CFBundleRef CFBundleGetMainBundle() { return &gMainBundle; }

CFStringRef CFBundleCopyLocalizedString(CFBundleRef bundle, CFStringRef key, CFStringRef value, CFStringRef tableName) {
  std::string k = tb::CFStringText(key);
  std::string fallback = value ? tb::CFStringText(value) : k;
  if (fallback.empty()) fallback = k;
  if (bundle != &gMainBundle || !key) return tb::NewCFString(fallback);
  std::string table = tableName ? tb::CFStringText(tableName) : "Localizable";
  return tb::NewCFString(tb::LocalizedString(k, fallback.c_str(), table));
}

// ---------------------------------------------------------------------------

namespace {
double gCFVersion = 0;
}

double tb::CoreFoundationVersion() {
  if (gCFVersion > 0) return gCFVersion;
  SInt32 sysv = 0;
  if (Gestalt(gestaltSystemVersion, &sysv) != noErr) sysv = 0;
  static const struct {
    SInt32 sysv;
    double cf;
  } kSteps[] = {{0x10A0, 900}, {0x1090, 800}, {0x1080, 700}, {0x1070, 600}, {0x1060, 500}};
  for (const auto& step : kSteps)
    if (sysv >= step.sysv) return step.cf;
  return 400;
}

void tb::SetCoreFoundationVersion(double version) { gCFVersion = version > 0 ? version : 0; }
