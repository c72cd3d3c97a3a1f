// Core Foundation preferences, for the login window's list of programs
// started at log-in.
//
// The value "AutoLaunchedApplicationDictionary" of the domain "loginwindow"
// is a view over the login items (toolbox/loginitems.h, the XDG autostart
// entries): an array with one dictionary {"Hide": false, "Path": <path>}
// per item, in the items' index order, so both ways of reaching the list
// see the same entries at the same indexes. Copying it reads the items
// (null when they cannot be listed). Setting it only stages a new array;
// CFPreferencesSynchronize then brings the items in line: every path of the
// array that no item names is added, and every item the caller last saw
// (its last copy of the value) whose path the array no longer holds is
// removed. An item the caller never saw is never removed, so a staged array
// made after a failed read loses nothing; another program's entries are
// never removed. Entries that are not dictionaries with a "Path" string are
// ignored.
//
// Any other key or domain is kept in this process only.
#pragma once

#include "toolbox/cfcollections.h"

extern const CFStringRef kCFPreferencesCurrentUser;
extern const CFStringRef kCFPreferencesAnyUser;
extern const CFStringRef kCFPreferencesCurrentHost;
extern const CFStringRef kCFPreferencesAnyHost;

// A new reference (the caller releases it), or null.
CFPropertyListRef CFPreferencesCopyValue(CFStringRef key, CFStringRef applicationID, CFStringRef userName,
                                         CFStringRef hostName);
// value null removes the key.
void CFPreferencesSetValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID,
                           CFStringRef userName, CFStringRef hostName);
// Makes the staged login-window changes; false when some could not be made
// (another program's entry, a file that cannot be written). The staged
// value is gone either way: the next copy reads the items as they are.
Boolean CFPreferencesSynchronize(CFStringRef applicationID, CFStringRef userName, CFStringRef hostName);

namespace tb {
// Forgets staged values and the in-process keys (tests).
void ResetPreferences();
}  // namespace tb
