// What a resource kind's compiler sees: the tokens of one resource's body,
// between its braces, with readers that check and report as they go.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "toolbox/types.h"

namespace rezc {

struct Token {
  enum Kind { Word, Number, String, Chars, Open, Close, End } kind;
  std::string text;        // the word, or the string's or character constant's bytes
  std::int64_t value = 0;  // numbers and character constants
  int line = 0, col = 0;
};

// Splits a description into tokens; false with a message on a bad one.
bool Tokenize(std::string_view text, std::vector<Token>& out, std::string& error, int& line,
              int& col);

class Body {
 public:
  Body(const std::vector<Token>& tokens, std::size_t& pos, std::string baseDir)
      : t_(tokens), pos_(pos), baseDir_(std::move(baseDir)) {}

  // The closing brace is next (the body is done).
  bool atEnd() const { return failed_ || peek().kind == Token::Close; }
  const Token& peek() const { return t_[pos_]; }
  // Consumes the next token when it is this word.
  bool accept(std::string_view word);

  // Readers: each consumes one token, or reports an error and gives nothing.
  std::optional<std::string> word(const char* what);
  // A number or character constant within [min, max].
  std::optional<std::int64_t> number(std::int64_t min, std::int64_t max, const char* what);
  std::optional<std::string> string(const char* what);
  // A four-character code: 'ABCD' or a bare four-character word.
  std::optional<OSType> type(const char* what);
  // The bytes of a file named relative to the description.
  std::optional<std::vector<UInt8>> file(const std::string& name);

  // Reports an error at the next token; the first error counts.
  void error(const std::string& message);
  bool failed() const { return failed_; }
  const std::string& message() const { return message_; }
  int line() const { return line_; }
  int col() const { return col_; }
  const std::vector<std::string>& dependencies() const { return deps_; }

 private:
  const std::vector<Token>& t_;
  std::size_t& pos_;
  std::string baseDir_;
  bool failed_ = false;
  std::string message_;
  int line_ = 0, col_ = 0;
  std::vector<std::string> deps_;
};

// A resource kind: its type and the function that turns a body into the
// resource's bytes. Types without an entry are compiled by CompileFields.
using KindFn = void (*)(Body& body, std::vector<UInt8>& out);
struct Kind {
  ResType type;
  KindFn compile;
};
std::span<const Kind> Kinds();

// Typed fields: u8 u16 u32 i8 i16 i32, string, pstring, hex, zero, file.
void CompileFields(Body& body, std::vector<UInt8>& out);

// Helpers for kind compilers.
void PutU16(std::vector<UInt8>& out, std::uint16_t v);
void PutU32(std::vector<UInt8>& out, std::uint32_t v);

}  // namespace rezc
