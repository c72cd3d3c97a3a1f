// rezc: compiles a resource description into a resource file.
//
//   rezc [--depfile <file>] <input.r> <output.rsrc>
//   rezc --list <file.rsrc>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "rezc.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: rezc [--depfile <file>] <input.r> <output.rsrc>\n"
               "       rezc --list <file.rsrc>\n");
  return 2;
}

// Writes beside the target and renames, so a failed build leaves no half file.
bool writeFile(const std::string& path, const std::string& bytes) {
  std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) return false;
  }
  std::error_code ec;
  std::filesystem::rename(tmp, path, ec);
  if (ec) std::filesystem::remove(tmp, ec);
  return !ec;
}

// Make's rule syntax: spaces in names are escaped.
std::string escape(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == ' ' || c == '#' || c == '\\') out += '\\';
    if (c == '$') out += '$';
    out += c;
  }
  return out;
}

std::string typeText(ResType t) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    char c = static_cast<char>(t >> (24 - 8 * i));
    s += (c >= 32 && c < 127) ? c : '?';
  }
  return s;
}

int list(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<UInt8> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<tb::ResourceEntry> entries;
  if (!in.good() && !in.eof()) {
    std::fprintf(stderr, "%s: cannot read\n", path.c_str());
    return 1;
  }
  if (OSErr err = tb::ParseResourceFile(image, entries)) {
    std::fprintf(stderr, "%s: not a resource file (error %d)\n", path.c_str(), err);
    return 1;
  }
  for (const auto& e : entries)
    std::printf("'%s' %6d  attrs 0x%02X  %8zu bytes  %s%s%s\n", typeText(e.type).c_str(), e.id,
                e.attrs, e.data.size(), e.hasName ? "\"" : "", e.name.c_str(),
                e.hasName ? "\"" : "");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 2 && args[0] == "--list") return list(args[1]);
  std::string depfile;
  if (args.size() >= 2 && args[0] == "--depfile") {
    depfile = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.size() != 2) return usage();
  const std::string& input = args[0];
  const std::string& output = args[1];

  rezc::Result r = rezc::CompileFile(input);
  for (const auto& e : r.errors) std::fprintf(stderr, "%s\n", e.c_str());
  if (!r.ok()) return 1;
  std::vector<UInt8> image;
  if (OSErr err = tb::BuildResourceFile(r.entries, image)) {
    std::fprintf(stderr, "%s: the resources do not fit a resource file (error %d)\n", input.c_str(),
                 err);
    return 1;
  }
  if (!writeFile(output, std::string(image.begin(), image.end()))) {
    std::fprintf(stderr, "%s: cannot write\n", output.c_str());
    return 1;
  }
  if (!depfile.empty()) {
    // The input itself is listed too: a rule without a dependency is
    // dropped on the way to the build tool, which then finds no depfile and
    // compiles the description again at every build.
    std::string rule = escape(output) + ": " + escape(input);
    for (const auto& d : r.dependencies) rule += " " + escape(d);
    rule += "\n";
    if (!writeFile(depfile, rule)) {
      std::fprintf(stderr, "%s: cannot write\n", depfile.c_str());
      return 1;
    }
  }
  return 0;
}
