// Stand-ins until the Window Manager and the display exist.
#include "screen_internal.h"

bool tb::detail::NextActivateEvent(EventRecord*, bool) { return false; }
bool tb::detail::NextUpdateEvent(EventRecord*) { return false; }
void tb::detail::DisplayIdle() {}
bool tb::detail::DisplayHasLiveInput() { return false; }
void tb::detail::DisplayBeep() {}
void tb::detail::DisplaySetCursor(int) {}
void tb::detail::ScreenChanged() {}
Point tb::detail::GlobalToCurrentLocal(Point p) { return p; }
int tb::detail::MenuBarHeightNow() { return 0; }
