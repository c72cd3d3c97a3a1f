// The device settings tables: a print box describes its own settings with a
// context table (one 16-byte entry per setting), a block of enumeration
// names and the settings image itself. This module finds a setting by its
// variable id, reads and writes its value in the image, parses a user's text
// into it with range and syntax checks, and formats a value as display text.
//
// All three blocks come from the network. Nothing here reads or writes
// outside them, whatever their bytes: an entry whose value does not lie
// wholly inside the image is treated as absent, enumeration names are read
// only within their stride and the block, and every string is bounded by
// its field.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "toolbox/types.h"

// One setting as the box sends it; multi-byte fields are big-endian and
// read through the get_ctx_ functions.
struct CONTEXT_ENTRY {
  char type;         // letter of the kind of value; 'z' ends the table
  UInt8 reserved;
  UInt8 offset[2];   // byte offset of the value in the settings image
  UInt8 varid[2];    // variable id by which the program addresses it
  UInt8 menu[2];
  UInt8 min[2];      // lower limit; for 'N' the number of the first name
  UInt8 max[2];      // upper limit; for strings the size of the field
  char name[4];
};
static_assert(sizeof(CONTEXT_ENTRY) == 16);

// The tables of the selected print box. The program defines and fills them.
extern Ptr pContextData;    // context table
extern UInt16 wContextSize;  // its length in bytes
extern Ptr pEnumData;       // enumeration names, NUL-padded
extern UInt16 wEnumWidth;    // stride of one name
extern UInt16 wEnumSize;     // length of the name block in bytes
extern Ptr pEEPData;        // settings image
extern UInt16 wEEPDataSize;  // its length in bytes
extern Ptr pEEPBackup;      // the image as it was fetched

// Results of context_set.
enum {
  kCtxStored = 0,
  kCtxSyntaxError = 1,
  kCtxOutOfRange = 2,
  kCtxTooLong = 3,
  kCtxNoSelection = 4,
};

// A message buffer for context_set of this size holds every message.
constexpr std::size_t kCtxMessageSize = 32;
// The output size that context_show needs for a string field of max bytes:
// up to four characters per byte, two quotes and the NUL.
constexpr std::size_t ctx_show_size(UInt16 max) { return 4u * max + 3u; }

// The first entry with this varid in front of any 'z', only entries that
// lie wholly inside the table; null when none.
CONTEXT_ENTRY* get_context_by_varid(UInt16 varid);

char get_ctx_type(const CONTEXT_ENTRY* entry);
UInt16 get_ctx_offset(const CONTEXT_ENTRY* entry);
UInt16 get_ctx_varid(const CONTEXT_ENTRY* entry);
UInt16 get_ctx_min(const CONTEXT_ENTRY* entry);
UInt16 get_ctx_max(const CONTEXT_ENTRY* entry);

// The bytes of the entry's value in the settings image (for strings the
// whole field of max bytes); empty when the entry's kind is unknown, a
// string field has size 0, or the value does not lie wholly in the image.
std::span<UInt8> context_field(const CONTEXT_ENTRY* entry);

// Name number n (from 1); null when it lies outside the block. The name
// need not end with a NUL inside its stride: get_enum_name gives it bounded.
char* get_enum_by_number(int number);
std::string_view get_enum_name(int number);
// The first number from `first` on whose name equals `name` exactly; -1
// when an empty name or the end of the block comes first.
int find_enum(const char* name, int first);

// The value: u8 for 'B' and 'N', u16 for 'W', u32 for 'I' and 'L', the
// address of the field in the image for 'E', 'F', 'J', 'P', 'X', the offset
// itself for any other letter; 0 when the value does not lie in the image.
std::intptr_t context_read(const CONTEXT_ENTRY* entry);

// Stores a binary value ('B', 'N' as u8, 'W' as u16, 'I', 'L' as u32) or a
// NUL-terminated text ('E', 'F', 'J', 'X': at most max - 1 bytes and a NUL;
// 'P': length byte and at most max - 1 bytes, never more than 255). Texts
// are cut on a character boundary. Returns 0, or -1 when the entry is
// absent, its value lies outside the image or the kind of value does not
// match the entry.
int context_write_value(const CONTEXT_ENTRY* entry, UInt32 value);
int context_write(const CONTEXT_ENTRY* entry, const char* text);
template <std::integral T>
int context_write(const CONTEXT_ENTRY* entry, T value) {
  return context_write_value(entry, static_cast<UInt32>(value));
}

// Parses the text into the image. Returns one of the kCtx results and puts
// its message into msg (at most msgSize bytes, NUL-terminated; untouched on
// success); -1 when the entry is absent or its value lies outside the
// image. A failure leaves the old value in the image.
int context_set(const CONTEXT_ENTRY* entry, const char* text, char* msg, std::size_t msgSize);
// Writes the value as display text, at most outSize bytes with the NUL
// (a text that does not fit is cut between whole display characters).
// Returns 0, or -1 (out untouched) when the entry is absent or its value
// lies outside the image.
int context_show(const CONTEXT_ENTRY* entry, char* out, std::size_t outSize);
int context_set_varid(UInt16 varid, const char* text, char* msg, std::size_t msgSize);
int context_show_varid(UInt16 varid, char* out, std::size_t outSize);

// Optional "-", then "0x" or "$" and hexadecimal digits, or decimal digits.
// Returns where the digits stop; no digits give 0. Values beyond 32 bits
// are held at the largest (or smallest) 32-bit number.
const char* ctx_strval(const char* text, SInt32* out);
// One character with escapes (\b \t \n \v \f \r, \xHH, \ and any other
// character); returns the position behind it. At a NUL the position does
// not move; an escape cut short leaves *out as it was.
const char* ctx_stoc(const char* text, UInt8* out);
// One byte in display form (itself, \" \\, \b..\r, \xHH); at most four
// characters, no NUL. Returns the position behind them.
char* ctx_show_ascii(UInt8 byte, char* out);

// The stride of a NUL-padded name array: the first name's length plus the
// NULs behind it, never more than limit. Reads at most limit bytes, and at
// most avail bytes when that is given.
int GetStringArrayWidth(const char* text, int limit);
int GetStringArrayWidth(const char* text, int limit, std::size_t avail);
