// Catalog search by creator and type.
//
// The search runs over configured folders that stand for volumes: volume
// -1 is the first folder, -2 the second and so on; 0 means -1. The folders
// come from tb::SetSearchVolumes, else from TOOLBOX_SEARCH_VOLUMES (folders
// separated by ':'), else $HOME alone. Each folder is walked depth-first in
// byte order of the names, without following symbolic links, and a file
// matches when the type and creator of its Finder information (files.h)
// both equal the ones asked for.
#pragma once

#include <string>
#include <vector>

#include "toolbox/types.h"

namespace tb {

// The first match: noErr and its file spec; eofErr when the volume holds none;
// nsvErr for a volume past the last; memFullErr when memory is short.
OSErr CatSearchFirst(SInt16 vRefNum, OSType creator, OSType fileType, FSSpec* match);

void SetSearchVolumes(std::vector<std::string> folders);
std::vector<std::string> SearchVolumes();

}  // namespace tb
