// Text encodings: the conversion between a program's own text (UTF-8, as
// every toolbox call takes it) and the bytes of a language's text encoding,
// as the print boxes and their other clients hold names; and where a text
// may be cut in either.
//
// The encodings are the script encodings the programs pass: 0 Western
// (Mac Roman), 1 Japanese (Shift_JIS with the common vendor extensions),
// 2 traditional Chinese (Big5), 3 Korean (Unified Hangul), 25 simplified
// Chinese (GBK), and UTF-8 itself. Any other number is taken as UTF-8.
// The conversions run on the host's iconv.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "toolbox/cfstring.h"

// The text encoding of the language the program runs in: that of the
// localisation its bundle's strings come from (the system language when
// the bundle has it, else English): 1 for Japanese, 2 traditional Chinese,
// 3 Korean, 25 simplified Chinese, 0 for every other language.
TextEncoding GetApplicationTextEncoding();

namespace tb {

// True for the encodings above other than UTF-8 (those iconv converts).
bool IsScriptEncoding(TextEncoding encoding);

// Bytes in encoding as the program's text. Bytes that are well-formed
// UTF-8 as a whole are taken as they stand (ASCII, and names written as
// UTF-8); anything else is converted from encoding, a byte sequence the
// encoding does not define reading as U+FFFD (one per byte).
std::string TextFromEncoding(std::string_view bytes, TextEncoding encoding);
// The encoding TextFromEncoding reads bytes in: UTF-8 when they are
// well-formed UTF-8 as a whole, else encoding.
TextEncoding ReadingEncoding(std::string_view bytes, TextEncoding encoding);
// Bytes converted from encoding whatever they look like (for a part of a
// text whose encoding ReadingEncoding told from the whole); UTF-8 is taken
// as it stands.
std::string ConvertFromEncoding(std::string_view bytes, TextEncoding encoding);
// The program's text in encoding. False, *out untouched, when the text
// holds a character the encoding cannot hold (or bytes that are not
// UTF-8); for UTF-8 the text is copied as it stands.
bool TextToEncoding(std::string_view text, TextEncoding encoding, std::string* out);

// The byte count of the character that starts at text[i] (i < size): in
// UTF-8 a well-formed sequence, else the single byte; in a two-byte
// encoding a lead byte with the byte after it; a byte cut short by the end
// of the text counts alone. The text is read in its ReadingEncoding.
std::size_t CharByteCount(std::string_view text, std::size_t i, TextEncoding encoding = kCFStringEncodingUTF8);
// The length of the longest leading part of text of at most max bytes that
// ends on a character boundary (the characters counted as above).
std::size_t CharCutLength(std::string_view text, std::size_t max, TextEncoding encoding = kCFStringEncodingUTF8);
inline std::string_view CharPrefix(std::string_view text, std::size_t max,
                                   TextEncoding encoding = kCFStringEncodingUTF8) {
  return text.substr(0, CharCutLength(text, max, encoding));
}

}  // namespace tb
