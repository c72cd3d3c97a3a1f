// Writing one resource of a settings file in place of the one there, for
// the records the programs keep in their preference files.
#pragma once

#include <span>

#include "toolbox/types.h"

// Puts data in as resource (type, id) of the current file in place of the
// one there, under the old one's id, name and attributes (a new one:
// unnamed, no attributes), writes it to the file and releases it. Returns
// noErr or the error that stopped it; a resource that cannot be removed
// stays as it was.
OSErr Replace_Resource(ResType type, SInt16 id, std::span<const UInt8> data);
