// Login items of the current user, kept as XDG autostart entries in
// $XDG_CONFIG_HOME/autostart/ (~/.config/autostart/ when unset).
//
// The list holds every entry there whose name ends in ".desktop", except
// those marked Hidden=true (the XDG way of deleting an entry). Its order is
// the byte order of the file names; an item's index (from 0) is its position
// in that order, so indexes stay the same between calls as long as nothing
// is added or removed. "At the end" therefore means "in the list": a new
// item's place follows from its file name ("vemo-<name>.desktop").
//
// Entries made here carry X-Vemo-LoginItem=true and the added path in
// X-Vemo-Path; their Exec= runs the program (the executable inside a .app
// bundle), quoted as the desktop-entry rules ask when the path holds blanks
// or other reserved characters. An item's path is that X-Vemo-Path, or for
// an entry made by anything else the first word of its Exec=. Only entries
// made here can be removed through this interface; another program's entry
// is never changed.
#pragma once

#include <string>
#include <vector>

#include "toolbox/types.h"

struct LoginItem {
  std::string path;  // the program (or document) the item starts
  std::string file;  // the .desktop file
  bool ours;         // made by this layer
};

// The user's login items in index order. An unreadable folder counts as
// empty (noErr); a missing one too.
OSStatus LIAECopyLoginItems(std::vector<LoginItem>* items);
// Adds the file as a login item unless an item already names its path
// (then nothing changes and the result is noErr). hideIt is kept in the
// entry (X-Vemo-Hide) and has no other effect. fnfErr when the file is
// missing, ioErr when the entry cannot be written.
OSStatus LIAEAddRefAtEnd(const FSSpec* item, Boolean hideIt);
// Removes the item at index: paramErr when there is none (nothing changes),
// permErr for an entry this layer did not make (it stays), ioErr when the
// file cannot be removed.
OSStatus LIAERemove(long index);

namespace tb {

OSStatus AddLoginItemPath(const std::string& path, Boolean hideIt);
// The autostart folder in use.
std::string AutostartFolder();
// The next n listings fail with ioErr, to exercise callers' retries (tests).
void FailLoginItemListings(int n);

}  // namespace tb
