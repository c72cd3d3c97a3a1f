// Scrap Manager: the process clipboard. One scrap holds any number of
// flavours (a type and its bytes); clearing it makes a new scrap, and a
// reference taken before the clear no longer reads or writes.
//
// TextEdit puts text as 'TEXT' (UTF-8, as every text of this system) and as
// 'utxt' (UTF-16 in the host's byte order), and pastes 'TEXT', or 'utxt'
// when there is no 'TEXT'.
#pragma once

#include "toolbox/types.h"

struct OpaqueScrapRef;
using ScrapRef = OpaqueScrapRef*;
using ScrapFlavorType = FourCharCode;
using ScrapFlavorFlags = UInt32;

enum : ScrapFlavorType {
  kScrapFlavorTypeText = 0x54455854,     // 'TEXT'
  kScrapFlavorTypeUnicode = 0x75747874,  // 'utxt'
};

enum : ScrapFlavorFlags {
  kScrapFlavorMaskNone = 0,
  kScrapFlavorMaskSenderOnly = 1,
  kScrapFlavorMaskTranslated = 2,
};

enum : OSStatus {
  noScrapErr = -100,
  noTypeErr = -102,
  internalScrapErr = -4988,
  duplicateScrapFlavorErr = -4989,
  badScrapRefErr = -4990,
  scrapFlavorSizeMismatchErr = -4996,
  scrapFlavorNotFoundErr = -102,
};

// The current scrap.
OSStatus GetCurrentScrap(ScrapRef* scrap);
// Empties the clipboard: a new current scrap, earlier references go stale.
OSStatus ClearCurrentScrap();
// Adds a flavour; a type the scrap already has is refused
// (duplicateScrapFlavorErr). A null data pointer with a size is paramErr.
OSStatus PutScrapFlavor(ScrapRef scrap, ScrapFlavorType flavorType, ScrapFlavorFlags flags, Size flavorSize,
                        const void* flavorData);
OSStatus GetScrapFlavorFlags(ScrapRef scrap, ScrapFlavorType flavorType, ScrapFlavorFlags* flags);
OSStatus GetScrapFlavorSize(ScrapRef scrap, ScrapFlavorType flavorType, Size* byteCount);
// Copies at most *byteCount bytes of the flavour into destination and sets
// *byteCount to the number copied.
OSStatus GetScrapFlavorData(ScrapRef scrap, ScrapFlavorType flavorType, Size* byteCount, void* destination);

namespace tb {

// Text on the clipboard as TextEdit pastes it ('TEXT', else 'utxt' made
// UTF-8); false when there is none.
bool GetScrapText(std::string* text);
// Clears the clipboard and puts text as 'TEXT' and 'utxt'.
void PutScrapText(std::string_view text);

}  // namespace tb
