// The status monitor's side of the FTP send window, as the library tests
// supply it: each owner window has a list of files to send and a list of the
// names of files sent, kept here instead of in list controls.
#pragma once

#include <string>
#include <vector>

#include "OT/FTPSend.h"

namespace stubhost {

struct FileLists {
  std::vector<FSSpec> toSend;
  std::vector<std::string> sent;  // the rows' texts, in the order they came
  int moves = 0;                  // Move_FTP_File calls
};

// Gives owner a list of files to send (and an empty sent list).
void SetFiles(DialogPtr owner, const std::vector<FSSpec>& files);
// Owner's lists; an owner never given files has none.
FileLists* Lists(DialogPtr owner);
// Forgets every owner.
void Reset();

}  // namespace stubhost
