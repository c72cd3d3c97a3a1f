// Text in the current port: font numbers and names, styles, metrics,
// measuring, drawing and truncation.
//
// Text bytes are UTF-8; a byte that does not start a valid UTF-8 sequence
// stands for the character of the same number (Latin-1), so nothing is ever
// dropped or split inside a character. Fonts come from the host through
// fontconfig and FreeType: the system font (0), the application font (1),
// "Geneva", "Helvetica", "Arial", "Times", "Courier", "Monaco", "Osaka" and
// any family the host has installed. A character missing in the port's font
// is drawn from a font that has it (Japanese in "Geneva" draws with a CJK
// font). Widths are whole pixels per character, the same whether measured or
// drawn.
#pragma once

#include "toolbox/quickdraw.h"

enum : short {
  systemFont = 0,
  applFont = 1,
};

enum : short {
  truncEnd = 0,
  truncMiddle = 0x4000,
  smTruncEnd = 0,
  smTruncMiddle = 0x4000,
};
enum : short {
  notTruncated = 0,
  truncated = 1,
  truncErr = -1,
  smNotTruncated = 0,
  smTruncated = 1,
  smTruncErr = -1,
};
using TruncCode = short;

// Font numbers by name (Pascal string). An unknown name gives 0.
void GetFNum(ConstStr255Param name, short* familyID);
void GetFontName(short familyID, Str255 name);
short GetSysFont();
short GetAppFont();
short GetDefFontSize();

void TextFont(short font);
void TextFace(StyleParameter face);
void TextSize(short size);  // 0 means the default size (12)
void TextMode(short mode);  // srcOr (default), srcCopy, srcBic
short GetPortTextFont(CGrafPtr port);
Style GetPortTextFace(CGrafPtr port);
short GetPortTextSize(CGrafPtr port);
short GetPortTextMode(CGrafPtr port);
void SetPortTextFont(CGrafPtr port, short font);
void SetPortTextFace(CGrafPtr port, StyleParameter face);
void SetPortTextSize(CGrafPtr port, short size);
void SetPortTextMode(CGrafPtr port, short mode);

void GetFontInfo(FontInfo* info);
short StringWidth(ConstStr255Param s);
short TextWidth(const void* textBuf, short firstByte, short byteCount);
short CharWidth(short ch);
// Draw at the pen (the baseline's left end) and move the pen past the text.
void DrawString(ConstStr255Param s);
void DrawText(const void* textBuf, short firstByte, short byteCount);
void DrawChar(short ch);

// Shortens the text so that it fits in width pixels, ending (or, with
// truncMiddle, interrupted) with an ellipsis. Returns notTruncated,
// truncated, or truncErr when not even the ellipsis fits (the text is then
// left as it was).
short TruncString(short width, Str255 theString, TruncCode truncWhere);
short TruncText(short width, Ptr textPtr, short* length, TruncCode truncWhere);

namespace tb {

// The file a font number and style resolve to (for tests and diagnostics).
std::string FontFileFor(short font, Style face);
// Counters of the glyph cache (for tests and benchmarks).
struct GlyphCacheStats {
  UInt64 hits;
  UInt64 misses;
};
GlyphCacheStats GetGlyphCacheStats();
// Byte length of the longest prefix of text[0..len) that ends on a
// character boundary.
std::size_t Utf8BoundaryPrefix(const unsigned char* text, std::size_t len);

}  // namespace tb
