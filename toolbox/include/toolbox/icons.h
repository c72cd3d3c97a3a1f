// Icon Services: reference-counted icon references for the generic folder,
// document and application icons and for files, plotted into rectangles;
// and the hit test of black-and-white icon masks ('ICN#').
//
// The generic icons are our own simple 32 x 32 images. A file's icon is the
// generic one of its kind: a folder the folder icon, a program bundle (a
// folder named *.app) or a program file (type 'APPL', or executable) the
// application icon, anything else the document icon. Each kind has one
// reference: every Get adds an owner, every Release drops one, and the last
// release frees it (a later Get makes a new one). A released-to-nothing or
// made-up reference is refused with invalidIconRefErr.
#pragma once

#include "toolbox/files.h"
#include "toolbox/pictures.h"

struct OpaqueIconRef;
using IconRef = OpaqueIconRef*;
using IconServicesUsageFlags = UInt32;

enum : IconServicesUsageFlags { kIconServicesNormalUsageFlag = 0 };
enum : OSType {
  kSystemIconsCreator = 'macs',
  kGenericFolderIcon = 'fldr',
  kGenericDocumentIcon = 'docu',
  kGenericApplicationIcon = 'APPL',
  kAlertStopIcon = 'stop',
  kAlertNoteIcon = 'note',
  kAlertCautionIcon = 'caut',
};
// The alert icons' ids: an icon item (or GetCIcon) of these ids draws the
// system's stop, note or caution icon when no 'cicn' of that id is found.
enum : short { kStopIcon = 0, kNoteIcon = 1, kCautionIcon = 2 };
enum : OSErr {
  invalidIconRefErr = -2580,
  noSuchIconErr = -2582,
};

// A generic or alert icon (creator kSystemIconsCreator); noSuchIconErr for
// others.
OSErr GetIconRef(SInt16 vRefNum, OSType creator, OSType iconType, IconRef* theIconRef);
// The icon of a file or folder (see above); fnfErr when it is missing.
// theLabel (may be null) is always 0.
OSErr GetIconRefFromFile(const FSSpec* theFile, IconRef* theIconRef, SInt16* theLabel);
OSErr AcquireIconRef(IconRef theIconRef);
OSErr ReleaseIconRef(IconRef theIconRef);
OSErr GetIconRefOwners(IconRef theIconRef, UInt16* owners);
// Draws the icon in the current port as PlotCIconHandle places and
// transforms a colour icon.
OSErr PlotIconRef(const Rect* theRect, IconAlignmentType align, IconTransformType transform,
                  IconServicesUsageFlags theIconServicesUsageFlags, IconRef theIconRef);
// An icon family as an 'icns' file holds it: the type 'icns', the whole
// length (big-endian, 4 bytes), then its elements.
using IconFamilyHandle = Handle;
// Reads the icon family file into a new handle (the caller's to dispose):
// noErr; fnfErr when it is missing; noSuchIconErr when it is not an icon
// family (too short, another type, a length that disagrees with the file);
// ioErr when it cannot be read; memFullErr.
OSErr ReadIconFile(const FSSpec* iconFile, IconFamilyHandle* iconFamily);
// Whether testPt lies on the mask of 'ICN#' iconID placed in iconRect by
// align (kAlignNone: the 32 x 32 mask scaled to the rectangle). False when
// the resource is missing or short.
Boolean PtInIconID(Point testPt, const Rect* iconRect, IconAlignmentType align, SInt16 iconID);

namespace tb {
// The stop, note or caution icon's image for kStopIcon, kNoteIcon or
// kCautionIcon; nullopt for any other id.
std::optional<Image> AlertIconImage(short iconID);
}  // namespace tb
