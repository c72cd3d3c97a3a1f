// Test versions of the status monitor's functions that the FTP send window
// calls (src/OT/FTPSend.h).
#include "stub_monitor_host.h"

#include <cstdio>
#include <map>

namespace stubhost {
namespace {
std::map<DialogPtr, FileLists>& owners() {
  static std::map<DialogPtr, FileLists> m;
  return m;
}
}  // namespace

void SetFiles(DialogPtr owner, const std::vector<FSSpec>& files) { owners()[owner] = FileLists{files, {}, 0}; }

FileLists* Lists(DialogPtr owner) {
  auto it = owners().find(owner);
  return it == owners().end() ? nullptr : &it->second;
}

void Reset() { owners().clear(); }

}  // namespace stubhost

short Get_FileSpec_FromList(DialogPtr owner, FSSpec* fss) {
  stubhost::FileLists* lists = stubhost::Lists(owner);
  if (!lists || lists->toSend.empty() || !fss) return 0;
  *fss = lists->toSend.front();
  return 1;
}

void Move_FTP_File(DialogPtr owner) {
  stubhost::FileLists* lists = stubhost::Lists(owner);
  if (!lists) return;
  lists->moves++;
  if (lists->toSend.empty()) return;
  lists->sent.push_back(pstr::str(lists->toSend.front().name));
  lists->toSend.erase(lists->toSend.begin());
}
