// Login items as XDG autostart entries.
#include "toolbox/loginitems.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "toolbox/bundle.h"
#include "toolbox/files.h"
#include "toolbox/processes.h"

namespace {

int gFailListings = 0;

constexpr std::string_view kOurMark = "X-Vemo-LoginItem";
constexpr std::string_view kPathKey = "X-Vemo-Path";

// String values of desktop entries escape \ and control characters.
std::string escapeValue(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (c == ' ' && i == 0) out += "\\s";
    else out += c;
  }
  return out;
}

std::string unescapeValue(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char n = s[++i];
      out += n == 'n' ? '\n' : n == 't' ? '\t' : n == 'r' ? '\r' : n == 's' ? ' ' : n;
    } else {
      out += s[i];
    }
  }
  return out;
}

// One argument of Exec= (before the string escaping of the whole value).
std::string quoteArgument(std::string_view arg) {
  static constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
  std::string body;
  for (char c : arg) {
    if (c == '%') body += "%%";  // not a field code
    else body += c;
  }
  if (body.find_first_of(reserved) == std::string::npos && !body.empty()) return body;
  std::string q = "\"";
  for (char c : body) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') q += '\\';
    q += c;
  }
  return q + "\"";
}

// The first argument of an Exec= value (already string-unescaped).
std::string firstArgument(std::string_view exec) {
  std::size_t i = 0;
  while (i < exec.size() && (exec[i] == ' ' || exec[i] == '\t')) ++i;
  std::string out;
  if (i < exec.size() && exec[i] == '"') {
    for (++i; i < exec.size() && exec[i] != '"'; ++i) {
      if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
      out += exec[i];
    }
  } else {
    while (i < exec.size() && exec[i] != ' ' && exec[i] != '\t') out += exec[i++];
  }
  // "%%" is a literal percent sign.
  std::string plain;
  for (std::size_t k = 0; k < out.size(); ++k) {
    plain += out[k];
    if (out[k] == '%' && k + 1 < out.size() && out[k + 1] == '%') ++k;
  }
  return plain;
}

struct Entry {
  bool valid = false;
  bool hidden = false;
  bool ours = false;
  std::string path;
};

Entry readEntry(const std::string& file) {
  Entry e;
  std::string text;
  if (tb::ReadLocalFile(file, tb::kTextFileMax, text) != noErr) return e;
  std::istringstream f(text);
  std::string line, group, exec, ourPath;
  while (std::getline(f, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      group = line;
      continue;
    }
    if (group != "[Desktop Entry]") continue;
    auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    std::string value = line.substr(eq + 1);
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    if (key == "Exec") exec = unescapeValue(value);
    else if (key == "Hidden") e.hidden = value == "true";
    else if (key == kOurMark) e.ours = value == "true";
    else if (key == kPathKey) ourPath = unescapeValue(value);
  }
  e.valid = true;
  if (e.ours && ourPath.empty()) e.ours = false;  // not a complete entry of ours
  e.path = e.ours ? ourPath : firstArgument(exec);
  return e;
}

OSStatus listEntries(std::vector<LoginItem>& items) {
  items.clear();
  if (gFailListings > 0) {
    --gFailListings;
    return ioErr;
  }
  std::string dir = tb::AutostartFolder();
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* de = readdir(d)) {
      std::string n = de->d_name;
      if (n.size() > 8 && n.compare(n.size() - 8, 8, ".desktop") == 0) names.push_back(n);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& n : names) {
    std::string file = dir + "/" + n;
    struct stat sb;
    if (stat(file.c_str(), &sb) != 0 || !S_ISREG(sb.st_mode)) continue;
    Entry e = readEntry(file);
    if (!e.valid || e.hidden) continue;
    items.push_back(LoginItem{e.path, file, e.ours});
  }
  return noErr;
}

bool makeFolders(const std::string& dir) {
  std::string partial;
  std::stringstream ss(dir);
  std::string part;
  while (std::getline(ss, part, '/')) {
    if (part.empty()) {
      if (partial.empty()) partial = "/";
      continue;
    }
    if (!partial.empty() && partial.back() != '/') partial += '/';
    partial += part;
    if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  struct stat sb;
  return stat(dir.c_str(), &sb) == 0 && S_ISDIR(sb.st_mode);
}

std::string safeFileStem(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  std::string name = p.substr(p.rfind('/') + 1);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".app") == 0) name.resize(name.size() - 4);
  std::string out;
  for (unsigned char c : name) out += (std::isalnum(c) || c == '.' || c == '_' || c == '-') ? char(c) : '_';
  if (out.empty() || out[0] == '.') out = "item" + out;
  return "vemo-" + out.substr(0, 100);
}

// Writes the file beside its final name, then moves it there, so a reader
// never sees half an entry.
bool writeAtomically(const std::string& file, const std::string& text) {
  std::string tmp = file + ".tmp." + std::to_string(getpid());
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ok = (fsync(fd) == 0) && ok;
  ok = (close(fd) == 0) && ok;
  if (ok && rename(tmp.c_str(), file.c_str()) == 0) return true;
  unlink(tmp.c_str());
  return false;
}

}  // namespace

std::string tb::AutostartFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return std::string(config) + "/autostart";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/") + "/.config/autostart";
}

void tb::FailLoginItemListings(int n) { gFailListings = n; }

OSStatus LIAECopyLoginItems(std::vector<LoginItem>* items) {
  if (!items) return paramErr;
  return listEntries(*items);
}

OSStatus tb::AddLoginItemPath(const std::string& path, Boolean hideIt) {
  struct stat sb;
  if (path.empty() || stat(path.c_str(), &sb) != 0) return fnfErr;
  std::vector<LoginItem> items;
  OSStatus err = listEntries(items);
  if (err) return err;
  for (const LoginItem& it : items)
    if (it.path == path) return noErr;

  std::string exe = tb::ExecutableOfProgram(path);
  if (exe.empty()) exe = path;
  std::string dir = AutostartFolder();
  if (!makeFolders(dir)) return ioErr;
  std::string stem = safeFileStem(path);
  std::string file = dir + "/" + stem + ".desktop";
  for (int n = 2; access(file.c_str(), F_OK) == 0; ++n) {
    if (n > 1000) return ioErr;
    file = dir + "/" + stem + "-" + std::to_string(n) + ".desktop";
  }
  std::string name = stem.substr(5);
  std::string text = "[Desktop Entry]\nType=Application\nName=" + escapeValue(name) +
                     "\nExec=" + escapeValue(quoteArgument(exe)) + "\nHidden=false\n" + std::string(kOurMark) +
                     "=true\n" + std::string(kPathKey) + "=" + escapeValue(path) + "\nX-Vemo-Hide=" +
                     (hideIt ? "true" : "false") + "\n";
  return writeAtomically(file, text) ? noErr : ioErr;
}

OSStatus LIAEAddRefAtEnd(const FSSpec* item, Boolean hideIt) {
  if (!item) return paramErr;
  std::string path;
  OSErr err = tb::SpecToPath(*item, path);
  if (err) return err;
  return tb::AddLoginItemPath(path, hideIt);
}

OSStatus LIAERemove(long index) {
  std::vector<LoginItem> items;
  OSStatus err = listEntries(items);
  if (err) return err;
  if (index < 0 || static_cast<std::size_t>(index) >= items.size()) return paramErr;
  const LoginItem& it = items[static_cast<std::size_t>(index)];
  if (!it.ours) return permErr;
  return unlink(it.file.c_str()) == 0 ? noErr : ioErr;
}
