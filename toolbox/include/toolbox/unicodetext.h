// Unicode text drawing for labels: a style names a font and a size, a
// layout holds UTF-16 text in runs of styles, and is drawn or measured in
// the current port.
//
// Fonts are the font layer's (toolbox/fonts.h): a font id here is a font
// number there, so a character the font lacks still draws from a font that
// has it. A lone surrogate draws as the replacement character. Text is
// drawn in the port's foreground colour unless the style sets one.
#pragma once

#include "toolbox/quickdraw.h"
#include "toolbox/types.h"

struct OpaqueATSUStyle;
struct OpaqueATSUTextLayout;
using ATSUStyle = OpaqueATSUStyle*;
using ATSUTextLayout = OpaqueATSUTextLayout*;
using ATSUFontID = UInt32;
using ATSUAttributeTag = UInt32;
using ATSUAttributeValuePtr = void*;
using ATSUTextMeasurement = Fixed;
using UniCharArrayOffset = unsigned long;
using UniCharCount = unsigned long;
using ConstUniCharArrayPtr = const UniChar*;
using FontNameCode = UInt32;
using FontPlatformCode = UInt32;
using FontScriptCode = UInt32;
using FontLanguageCode = UInt32;

// Attributes: the font (ATSUFontID), the size (Fixed points, 1 to 512) and
// the colour (RGBColor).
enum : ATSUAttributeTag {
  kATSUFontTag = 0x666F6E74,   // 'font'
  kATSUSizeTag = 0x73697A65,   // 'size'
  kATSUColorTag = 0x636F6C72,  // 'colr'
};

// Any of these is accepted where a font name's kind is asked for.
enum : FontNameCode { kFontFamilyName = 1, kFontFullName = 4, kFontNoNameCode = 0xFFFFFFFF };
enum : FontPlatformCode { kFontNoPlatformCode = 0xFFFFFFFF };
enum : FontScriptCode { kFontNoScriptCode = 0xFFFFFFFF };
enum : FontLanguageCode { kFontNoLanguageCode = 0xFFFFFFFF };

// The whole text of a layout, and "at the pen".
enum : UniCharArrayOffset { kATSUFromTextBeginning = 0xFFFFFFFF };
enum : UniCharCount { kATSUToTextEnd = 0xFFFFFFFF };
enum : SInt32 { kATSUUseGrafPortPenLoc = SInt32(0x80000000) };

enum : OSStatus {
  kATSUInvalidStyleErr = -8800,
  kATSUInvalidTextLayoutErr = -8801,
  kATSUInvalidAttributeValueErr = -8802,
  kATSUInvalidAttributeTagErr = -8803,
  kATSUInvalidFontErr = -8804,
  kATSUInvalidTextRangeErr = -8805,
};

// A style in the system font at 12 points.
OSStatus ATSUCreateStyle(ATSUStyle* style);
OSStatus ATSUDisposeStyle(ATSUStyle style);
// Sets count attributes; sizes[i] must be at least the value's size. The
// first bad tag or value stops with its error (the ones before are set).
OSStatus ATSUSetAttributes(ATSUStyle style, ItemCount count, const ATSUAttributeTag tags[],
                           const ByteCount sizes[], const ATSUAttributeValuePtr values[]);
// The font id of a family name (UTF-8 or ASCII, length bytes); the name
// kinds, platform, script and language are not used. kATSUInvalidFontErr
// when the host has no such family.
OSStatus ATSUFindFontFromName(const void* name, ByteCount length, FontNameCode code, FontPlatformCode platform,
                              FontScriptCode script, FontLanguageCode language, ATSUFontID* font);

// A layout of text[offset, offset + length) (within totalLength units) in
// runs: runLengths[i] units in styles[i]; the runs must cover the range.
// The layout keeps a copy of the text and uses the styles as they are
// when it draws.
OSStatus ATSUCreateTextLayoutWithTextPtr(ConstUniCharArrayPtr text, UniCharArrayOffset offset,
                                         UniCharCount length, UniCharCount totalLength, ItemCount numberOfRuns,
                                         const UniCharCount runLengths[], ATSUStyle styles[],
                                         ATSUTextLayout* layout);
OSStatus ATSUDisposeTextLayout(ATSUTextLayout layout);
// Draws [start, start + length) (offsets into the text pointer given at
// creation; kATSUFromTextBeginning and kATSUToTextEnd for the whole
// layout) with its baseline's left end at (x, y), Fixed local
// coordinates, or at the pen for kATSUUseGrafPortPenLoc.
OSStatus ATSUDrawText(ATSUTextLayout layout, UniCharArrayOffset start, UniCharCount length, ATSUTextMeasurement x,
                      ATSUTextMeasurement y);
// The rectangle the same drawing covers: from x over the text's advance,
// from the tallest run's ascent above y to its descent below.
OSStatus ATSUMeasureTextImage(ATSUTextLayout layout, UniCharArrayOffset start, UniCharCount length,
                              ATSUTextMeasurement x, ATSUTextMeasurement y, Rect* image);
