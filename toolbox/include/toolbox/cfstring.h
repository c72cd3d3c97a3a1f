// Core Foundation strings, the small subset the programs use.
//
// A string holds UTF-8 text; UTF-8 (also the system encoding) goes in and
// comes out byte for byte. The script encodings (MacRoman 0, MacJapanese 1,
// MacChineseTrad 2, MacKorean 3, MacChineseSimp 25) convert as
// textencoding.h says: bytes that are well-formed UTF-8 go in as they
// stand, others are read in the encoding; out, the text is written in the
// encoding, and a text holding a character the encoding cannot hold comes
// out empty with false. ASCII is accepted for text without bytes above
// 0x7F; any other encoding is refused (null or false).
//
// The character forms (length, characters, compare) count UTF-16 units as
// the platform did. Bytes that are not valid UTF-8 stand for U+FFFD, one
// per byte, and a cut never splits a character.
#pragma once

#include <string>

#include "toolbox/types.h"

using CFIndex = long;
using CFStringEncoding = UInt32;
using CFOptionFlags = unsigned long;
using CFTypeRef = const void*;
using CFAllocatorRef = const void*;
struct OpaqueCFString;
using CFStringRef = const OpaqueCFString*;
using TextEncoding = UInt32;

struct CFRange {
  CFIndex location;
  CFIndex length;
};
inline CFRange CFRangeMake(CFIndex location, CFIndex length) { return CFRange{location, length}; }

enum : CFStringEncoding {
  kCFStringEncodingMacRoman = 0,
  kCFStringEncodingMacJapanese = 1,
  kCFStringEncodingMacChineseTrad = 2,
  kCFStringEncodingMacKorean = 3,
  kCFStringEncodingMacChineseSimp = 25,
  kCFStringEncodingUnicode = 0x0100,  // UTF-16 (CFStringCreateWithBytes only)
  kCFStringEncodingASCII = 0x0600,
  kCFStringEncodingUTF8 = 0x08000100,
  kCFStringEncodingInvalidId = 0xFFFFFFFFu,
};

// The same numbers under their Text Encoding Converter names.
enum : TextEncoding {
  kTextEncodingMacRoman = 0,
  kTextEncodingMacJapanese = 1,
  kTextEncodingMacChineseTrad = 2,
  kTextEncodingMacKorean = 3,
  kTextEncodingMacChineseSimp = 25,
  kTextEncodingUnicodeDefault = 0x0100,
};

using CFComparisonResult = CFIndex;
enum : CFComparisonResult { kCFCompareLessThan = -1, kCFCompareEqualTo = 0, kCFCompareGreaterThan = 1 };
// kCFCompareLocalized is accepted and compares as without it.
enum : CFOptionFlags { kCFCompareCaseInsensitive = 1, kCFCompareLocalized = 32 };

constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;

// New strings; the caller releases them. Null for a null text or a refused
// encoding.
CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr, CFStringEncoding encoding);
CFStringRef CFStringCreateWithPascalString(CFAllocatorRef alloc, ConstStr255Param pStr, CFStringEncoding encoding);
// UTF-16 units; an unpaired surrogate becomes U+FFFD.
CFStringRef CFStringCreateWithCharacters(CFAllocatorRef alloc, const UniChar* chars, CFIndex numChars);
// Bytes in encoding; kCFStringEncodingUnicode takes UTF-16 in host order
// (a leading byte-order mark is read and dropped when isExternalRepresentation).
CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation);
CFStringRef CFStringCreateCopy(CFAllocatorRef alloc, CFStringRef theString);

// Writes the text NUL-terminated into buffer. A text too long is cut on a
// character boundary of the encoding, still terminated, and the result is
// false.
Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize, CFStringEncoding encoding);
// The same as a length-prefixed string: at most bufferSize - 1 bytes (and
// never more than 255).
Boolean CFStringGetPascalString(CFStringRef theString, StringPtr buffer, CFIndex bufferSize,
                                CFStringEncoding encoding);
// The text itself for UTF-8 and the system encoding, and for a script
// encoding when the text is ASCII; null otherwise.
const char* CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding);
// Length in UTF-16 units.
CFIndex CFStringGetLength(CFStringRef theString);
// Copies the units of range (clipped to the string) into buffer.
void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer);
UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx);
// Bytes for the text in encoding (UTF-8 or UTF-16); worst case.
CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);

// By UTF-16 units; kCFCompareCaseInsensitive folds ASCII letters.
CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFOptionFlags options);

CFStringEncoding CFStringGetSystemEncoding();
// True for the encodings the strings accept.
Boolean CFStringIsEncodingAvailable(CFStringEncoding encoding);

CFTypeRef CFRetain(CFTypeRef cf);
// Constant strings (CFSTR) are never freed.
void CFRelease(CFTypeRef cf);
CFIndex CFGetRetainCount(CFTypeRef cf);

#define CFSTR(text) (::tb::ConstantCFString("" text ""))

namespace tb {

CFStringRef ConstantCFString(const char* text);
// A new string holding text (released by the caller).
CFStringRef NewCFString(std::string text);
// The UTF-8 text of a string ("" for null).
std::string CFStringText(CFStringRef s);
// True for a live string made here.
bool IsCFString(CFTypeRef cf);

// UTF-8 to UTF-16 and back, as the strings convert (see above).
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view units);

}  // namespace tb
