// This program's own list-control and toolbox services: scroll bars that
// land exactly on their ends, the "\t" turned into tabs, the mouse, the
// visible region and a control's owner.
#include <cstring>

#include "FanctionLib/CList.h"
#include "holdmanager/HoldControls.h"
#include "toolbox/controls.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"
#include "toolbox/quickdraw.h"
#include "toolbox/windows.h"

void CLTrackControlAlignment(ControlRef bar, SInt16 before, SInt16 click, SInt16 release, SInt32 scale) {
  if (!bar) return;
  const long projected = long(before) + long(release - click) * scale / 100;
  const SInt32 max = GetControl32BitMaximum(bar), min = GetControl32BitMinimum(bar);
  if (release >= click && projected > max)
    SetControl32BitValue(bar, max);
  else if (release < click && projected <= min)
    SetControl32BitValue(bar, min);
}

int SetTab(char* text, int length) {
  if (!text || length <= 0) return 0;
  int out = 0;
  for (int i = 0; i < length; ++i) {
    if (text[i] == '\\' && i + 1 < length && text[i + 1] == 't') {
      text[out++] = '\t';
      ++i;
    } else {
      text[out++] = text[i];
    }
  }
  if (out < length) text[out] = 0;
  return out;
}

void Set_Dialog_VisRegion(DialogRef dialog, RgnHandle rgn) {
  if (dialog && rgn) SetPortVisibleRegion(GetDialogPort(dialog), rgn);
}

void Get_Mouse(Point* where) {
  if (where) GetMouse(where);
}

WindowRef Get_Control_Owner(ControlRef control) { return control ? GetControlOwner(control) : nullptr; }
