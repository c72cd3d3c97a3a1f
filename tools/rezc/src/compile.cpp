// Compiling a resource description: each resource's header and attributes
// read, its body handed to its kind's compiler, errors placed by line and
// column.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "../rezc.h"
#include "body.h"

namespace rezc {

namespace {

std::string where(const std::string& path, int line, int col) {
  return path + ":" + std::to_string(line) + ":" + std::to_string(col) + ": ";
}

struct Attr {
  const char* name;
  UInt8 bit;
};
constexpr Attr kAttrs[] = {
    {"sysheap", resSysHeap},     {"purgeable", resPurgeable}, {"locked", resLocked},
    {"protected", resProtected}, {"preload", resPreload},
};

std::string typeText(ResType t) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>(t >> (24 - 8 * i));
  return s;
}

}  // namespace

Result Compile(std::string_view text, const std::string& path) {
  Result r;
  std::vector<Token> tokens;
  std::string message;
  int line = 0, col = 0;
  if (!Tokenize(text, tokens, message, line, col)) {
    r.errors.push_back(where(path, line, col) + message);
    return r;
  }
  std::string base = std::filesystem::path(path).parent_path().string();
  if (base.empty()) base = ".";
  std::size_t pos = 0;
  Body body(tokens, pos, base);
  while (!body.failed() && tokens[pos].kind != Token::End) {
    if (!body.accept("resource")) {
      body.error("expected 'resource'");
      break;
    }
    const Token& head = tokens[pos];
    tb::ResourceEntry e;
    auto type = body.type("a resource type such as 'STR#'");
    auto id = body.number(-32768, 32767, "resource id");
    if (body.failed()) break;
    e.type = *type;
    e.id = static_cast<SInt16>(*id);
    if (tokens[pos].kind == Token::String) {
      e.name = *body.string("a name");
      if (e.name.size() > 255) {
        body.error("a resource name holds at most 255 bytes");
        break;
      }
      e.hasName = true;
    }
    while (tokens[pos].kind == Token::Word) {
      const Attr* a = nullptr;
      for (const auto& k : kAttrs)
        if (tokens[pos].text == k.name) a = &k;
      if (!a) {
        body.error("unknown attribute '" + tokens[pos].text + "'");
        break;
      }
      e.attrs |= a->bit;
      ++pos;
    }
    if (body.failed()) break;
    if (tokens[pos].kind != Token::Open) {
      body.error("expected '{' to open the resource's body");
      break;
    }
    ++pos;
    KindFn compile = CompileFields;
    for (const auto& k : Kinds())
      if (k.type == e.type) compile = k.compile;
    compile(body, e.data);
    if (body.failed()) break;
    if (tokens[pos].kind != Token::Close) {
      body.error("unexpected item in '" + typeText(e.type) + "' resource");
      break;
    }
    ++pos;
    for (const auto& o : r.entries) {
      if (o.type == e.type && o.id == e.id) {
        r.errors.push_back(where(path, head.line, head.col) + "'" + typeText(e.type) + "' " +
                           std::to_string(e.id) + " is defined twice");
        r.entries.clear();
        return r;
      }
    }
    r.entries.push_back(std::move(e));
  }
  if (body.failed()) {
    r.errors.push_back(where(path, body.line(), body.col()) + body.message());
    r.entries.clear();
  }
  r.dependencies = body.dependencies();
  return r;
}

Result CompileFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Result r;
    r.errors.push_back(path + ": cannot read the description");
    return r;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return Compile(text, path);
}

}  // namespace rezc
