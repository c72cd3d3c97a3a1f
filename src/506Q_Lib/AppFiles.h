// The program and its files: whether it is the front process, names
// compared without regard to case, Finder aliases, catalog search, and the
// big-endian frames of pictures.
#pragma once

#include "toolbox/pictures.h"
#include "toolbox/types.h"

// True when the running program is the front process.
Boolean Get_Active_Application();

// strcmp of upper-cased copies (ASCII letters): 0 when both are empty,
// -1 when exactly one is empty (a null string counts as empty).
int StriCmp(const char* a, const char* b);

// Makes a Finder alias of target in the folder (volume, folder id), named
// like the target: a resource file of type 'adrp' and the target's creator
// holding the alias record as 'alis' 0, with the Finder flags alias and
// initialised (0x8100). An alias of that name already there is replaced; a
// file of that name that is no alias is kept, and the result is -2.
// 0 made, -1 the alias record could not be made (no such target), -2 the
// file could not be created, -3 it could not be opened.
short CreateAlias(const FSSpec* target, SInt16 vRefNum, SInt32 dirID);

// The first file on volume -volumeNumber (0: the default volume) whose
// creator and type both equal the four-character texts (one of another
// length means 'MACS' as creator, 'FNDR' as type): 0 and its file spec in
// match; the platform's result otherwise (nsvErr past the last volume,
// eofErr when the volume has none); 1 when memory is short.
OSErr DoCatSearch(ConstStr255Param creator, ConstStr255Param fileType, FSSpec* match,
                  SInt16 volumeNumber);

// Turn a picture's frame, or a rectangle, from big-endian into the host's
// order in place.
void PictureFrame_SwapBigToHost(PicHandle picture);
void RectFrame_SwapBigToHost(Rect* rect);
