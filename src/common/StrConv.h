// Text and number conversions used throughout the suite: hexadecimal,
// decimal and binary digits, dotted IPv4 and colon Ethernet addresses, and
// byte swaps. Nothing here allocates or calls the platform; every function
// works on the caller's buffer.
//
// The writers return the position behind the last character written and
// write no NUL, except iptoa and mactoa. The caller's buffer must be large
// enough: 2/4/8 bytes for btox/wtox/dtox, 5/10 for wtoa/dtoa, 8/16/32 for
// btob/wtob/dtob, 16 for iptoa and 18 for mactoa.
#pragma once

#include <cstddef>

#include "toolbox/types.h"

UInt16 bswap(UInt16 w);
UInt32 wswap(UInt32 d);

// Value of one hexadecimal digit of either case, negative for any other
// character.
int xtoc(int c);
// "0"-"9", "A"-"F" for 0..15 (only the low four bits are used).
char ctox(int v);
// Value of one decimal digit, -1 for any other character.
int atoc(int c);
// "0" + v for 0..9.
char ctoa(int v);

char* btox(UInt8 b, char* out);
char* wtox(UInt16 w, char* out);
char* dtox(UInt32 d, char* out);
char* wtoa(UInt16 w, char* out);
char* dtoa(UInt32 d, char* out);
char* btob(UInt8 b, char* out);
char* wtob(UInt16 w, char* out);
char* dtob(UInt32 d, char* out);

// Dotted decimal, high byte first, NUL-terminated; returns the NUL's
// position.
char* iptoa(UInt32 addr, char* out);
// Six upper-case hexadecimal pairs joined by ":", NUL-terminated; returns
// the NUL's position.
char* mactoa(const UInt8* mac, char* out);

// Read digits up to the first character that is not one and return that
// position; the value is 0 when there are no digits. The value wraps in its
// width, as the old code did; StrToIPAddr has its own overflow rule.
const char* xtow(const char* text, UInt16* out);
const char* xtod(const char* text, UInt32* out);
const char* atow(const char* text, UInt16* out);
const char* atod(const char* text, UInt32* out);
inline char* xtow(char* t, UInt16* o) { return const_cast<char*>(xtow(static_cast<const char*>(t), o)); }
inline char* xtod(char* t, UInt32* o) { return const_cast<char*>(xtod(static_cast<const char*>(t), o)); }
inline char* atow(char* t, UInt16* o) { return const_cast<char*>(atow(static_cast<const char*>(t), o)); }
inline char* atod(char* t, UInt32* o) { return const_cast<char*>(atod(static_cast<const char*>(t), o)); }

// First character that is neither blank nor TAB.
const char* skip_space(const char* text);
// First blank, TAB or NUL.
const char* skip_string(const char* text);
inline char* skip_space(char* t) { return const_cast<char*>(skip_space(static_cast<const char*>(t))); }
inline char* skip_string(char* t) { return const_cast<char*>(skip_string(static_cast<const char*>(t))); }

// Four decimal parts 0..255 joined by single dots and nothing behind them;
// the first part goes to the high byte. Any error gives 0. A part without
// digits reads as 0 (".1.2.3" is 0.1.2.3); a part that has more digits than
// fit or exceeds 255 is an error.
UInt32 StrToIPAddr(const char* text);
