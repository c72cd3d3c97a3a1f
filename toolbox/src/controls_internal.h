// What the Control Manager tells the Dialog Manager: a control whose
// activity changed and has been drawn anew, so that what the dialog draws
// round it (the default button's ring) follows its look.
#pragma once

#include "toolbox/controls.h"

namespace tb::detail {

// Called after a control of the window changed between active and inactive
// (its own activity or its embedder's) and was redrawn; null for none.
using ControlActivityObserver = void (*)(WindowRef window);
void SetControlActivityObserver(ControlActivityObserver observer);

}  // namespace tb::detail
