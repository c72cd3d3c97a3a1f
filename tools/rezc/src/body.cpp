// The tokeniser of a resource's body and the readers a kind's compiler
// uses, each reporting where the text is wrong.
#include "body.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace rezc {

namespace {

bool isWordStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool isWordChar(char c) {
  return isWordStart(c) || (c >= '0' && c <= '9') || c == '#' || c == '.' || c == '-';
}
int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

const char* describe(const Token& t) {
  switch (t.kind) {
    case Token::Word: return "a word";
    case Token::Number: return "a number";
    case Token::String: return "a string";
    case Token::Chars: return "a character constant";
    case Token::Open: return "'{'";
    case Token::Close: return "'}'";
    case Token::End: return "the end of the file";
  }
  return "something";
}

}  // namespace

bool Tokenize(std::string_view s, std::vector<Token>& out, std::string& error, int& line,
              int& col) {
  out.clear();
  std::size_t i = 0;
  int ln = 1;
  std::size_t lineStart = 0;
  auto fail = [&](std::string msg, std::size_t at) {
    error = std::move(msg);
    line = ln;
    col = static_cast<int>(at - lineStart) + 1;
    return false;
  };
  while (i < s.size()) {
    char c = s[i];
    if (c == '\n') {
      ++ln;
      lineStart = ++i;
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r' || c == ';' || c == ',') {
      ++i;
      continue;
    }
    if (c == '#' || (c == '/' && i + 1 < s.size() && s[i + 1] == '/')) {
      while (i < s.size() && s[i] != '\n') ++i;
      continue;
    }
    Token t{Token::End, {}, 0, ln, static_cast<int>(i - lineStart) + 1};
    if (c == '{' || c == '}') {
      t.kind = c == '{' ? Token::Open : Token::Close;
      ++i;
    } else if (c == '"' || c == '\'') {
      const char quote = c;
      const std::size_t start = i++;
      for (;;) {
        if (i >= s.size() || s[i] == '\n')
          return fail(quote == '"' ? "unterminated string" : "unterminated character constant",
                      start);
        char d = s[i];
        if (d == quote) {
          ++i;
          break;
        }
        if (d != '\\') {
          t.text += d;
          ++i;
          continue;
        }
        if (i + 1 >= s.size()) return fail("unterminated string", start);
        char e = s[i + 1];
        i += 2;
        switch (e) {
          case 'n': t.text += '\n'; break;
          case 'r': t.text += '\r'; break;
          case 't': t.text += '\t'; break;
          case '0': t.text += '\0'; break;
          case '\\':
          case '"':
          case '\'': t.text += e; break;
          case 'x': {
            int hi = i < s.size() ? hexDigit(s[i]) : -1;
            int lo = i + 1 < s.size() ? hexDigit(s[i + 1]) : -1;
            if (hi < 0 || lo < 0) return fail("\\x needs two hex digits", i - 2);
            t.text += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
          }
          default: return fail(std::string("unknown escape \\") + e, i - 2);
        }
      }
      if (quote == '"') {
        t.kind = Token::String;
      } else {
        if (t.text.empty() || t.text.size() > 4)
          return fail("a character constant holds 1 to 4 bytes", start);
        t.kind = Token::Chars;
        for (unsigned char b : t.text) t.value = (t.value << 8) | b;
      }
    } else if ((c >= '0' && c <= '9') || c == '-' || c == '+') {
      const std::size_t start = i;
      bool neg = c == '-';
      if (c == '-' || c == '+') ++i;
      int base = 10;
      if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
      }
      std::uint64_t v = 0;
      std::size_t digits = 0;
      while (i < s.size()) {
        int d = hexDigit(s[i]);
        if (d < 0 || d >= base) break;
        v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFull) return fail("number too large", start);
        ++digits;
        ++i;
      }
      if (!digits || (i < s.size() && isWordChar(s[i]))) return fail("bad number", start);
      t.kind = Token::Number;
      t.value = neg ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
    } else if (isWordStart(c)) {
      const std::size_t start = i;
      while (i < s.size() && isWordChar(s[i])) ++i;
      t.kind = Token::Word;
      t.text = std::string(s.substr(start, i - start));
    } else {
      return fail(std::string("unexpected character '") + c + "'", i);
    }
    out.push_back(std::move(t));
  }
  out.push_back(Token{Token::End, {}, 0, ln, static_cast<int>(i - lineStart) + 1});
  return true;
}

void Body::error(const std::string& message) {
  if (failed_) return;
  failed_ = true;
  message_ = message;
  line_ = peek().line;
  col_ = peek().col;
}

bool Body::accept(std::string_view w) {
  if (failed_ || peek().kind != Token::Word || peek().text != w) return false;
  ++pos_;
  return true;
}

std::optional<std::string> Body::word(const char* what) {
  if (failed_) return std::nullopt;
  if (peek().kind != Token::Word) {
    error(std::string("expected ") + what + ", found " + describe(peek()));
    return std::nullopt;
  }
  return t_[pos_++].text;
}

std::optional<std::int64_t> Body::number(std::int64_t min, std::int64_t max, const char* what) {
  if (failed_) return std::nullopt;
  const Token& t = peek();
  if (t.kind != Token::Number && t.kind != Token::Chars) {
    error(std::string("expected ") + what + ", found " + describe(t));
    return std::nullopt;
  }
  if (t.value < min || t.value > max) {
    error(std::string(what) + " " + std::to_string(t.value) + " is outside " + std::to_string(min) +
          ".." + std::to_string(max));
    return std::nullopt;
  }
  ++pos_;
  return t.value;
}

std::optional<std::string> Body::string(const char* what) {
  if (failed_) return std::nullopt;
  if (peek().kind != Token::String) {
    error(std::string("expected ") + what + " (a quoted string), found " + describe(peek()));
    return std::nullopt;
  }
  return t_[pos_++].text;
}

std::optional<OSType> Body::type(const char* what) {
  if (failed_) return std::nullopt;
  const Token& t = peek();
  if ((t.kind == Token::Chars || t.kind == Token::Word) && t.text.size() == 4) {
    ++pos_;
    return (OSType(UInt8(t.text[0])) << 24) | (OSType(UInt8(t.text[1])) << 16) |
           (OSType(UInt8(t.text[2])) << 8) | OSType(UInt8(t.text[3]));
  }
  error(std::string("expected ") + what + " (four characters), found " + describe(t));
  return std::nullopt;
}

std::optional<std::vector<UInt8>> Body::file(const std::string& name) {
  if (failed_) return std::nullopt;
  std::filesystem::path p(name);
  if (p.is_relative()) p = std::filesystem::path(baseDir_) / p;
  std::ifstream in(p, std::ios::binary);
  if (!in) {
    error("cannot read file \"" + p.string() + "\"");
    return std::nullopt;
  }
  deps_.push_back(p.lexically_normal().string());
  return std::vector<UInt8>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void PutU16(std::vector<UInt8>& out, std::uint16_t v) {
  out.push_back(static_cast<UInt8>(v >> 8));
  out.push_back(static_cast<UInt8>(v));
}

void PutU32(std::vector<UInt8>& out, std::uint32_t v) {
  PutU16(out, static_cast<std::uint16_t>(v >> 16));
  PutU16(out, static_cast<std::uint16_t>(v));
}

}  // namespace rezc
