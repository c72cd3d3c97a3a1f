// Odds and ends of the system: the debugger break and the machine's names.
//
// The computer's name and its owner's name are the system strings -16413
// and -16096 (GetString reads them when no open resource file has a 'STR '
// of that id). The computer's name is the host name; the owner's name is the
// full name of the account the program runs under (the first field of its
// passwd comment), empty when it has none. TOOLBOX_COMPUTER_NAME and
// TOOLBOX_OWNER_NAME replace them (an empty value gives an empty name), and
// tb::SetSystemString replaces them from inside (and wins). Names longer
// than 255 bytes are cut on a character boundary.
#pragma once

#include <optional>
#include <string>

#include "toolbox/types.h"

enum : SInt16 {
  kComputerNameStrID = -16413,
  kOwnerNameStrID = -16096,
};

// No debugger here: the message goes to standard error as one line.
void DebugStr(ConstStr255Param debuggerMsg);

namespace tb {

// The text of a system string, or nothing for an id the system has none of.
std::optional<std::string> SystemString(SInt16 id);
// Replaces a system string for this process; nothing: back to the host's.
void SetSystemString(SInt16 id, std::optional<std::string> text);

}  // namespace tb
