// The chooser that lets the user pick several files to send.
#pragma once

#include "toolbox/navigation.h"
#include "toolbox/types.h"

// The most files one choice takes.
constexpr int kSelectFileMax = 110;

struct FILElist {
  UInt16 file_count;
  FSSpec file_spec[kSelectFileMax];
};

// Shows the chooser for several files. Each chosen file's specification
// goes into the next entry of files (which holds kSelectFileMax), a zero
// byte behind its name; an item that is not a file specification is
// skipped. folder gets the first file's folder (its volume and folder id,
// an empty name). Returns the number of files copied: 0 when the user
// cancelled, at most kSelectFileMax however many were chosen.
short Get_Select_File_Spec(FSSpec* folder, FSSpec* files);
// The chooser's event procedure: update events of the program's windows go
// to the framework's update handling, so the windows behind it redraw.
void File_Select_Filter(NavEventCallbackMessage selector, NavCBRecPtr params, void* userData);
