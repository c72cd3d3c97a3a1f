// Between the Core Foundation modules: retain and release of the objects
// that are not strings.
#pragma once

#include "toolbox/cfstring.h"

namespace tb::detail {

// False when cf is no collection or Boolean made here.
bool RetainCollection(CFTypeRef cf);
bool ReleaseCollection(CFTypeRef cf);
// -1 when cf is no collection or Boolean made here.
CFIndex CollectionRetainCount(CFTypeRef cf);

}  // namespace tb::detail
