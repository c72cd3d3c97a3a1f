// The held-job engine taking fuzzed reply frames as it takes a list or
// job-information reply: the records of each frame (with the carry of a
// record cut at a frame's end) into job, folder and information entries,
// then what the window does with the entries: the rows' short names, sizes
// and dates, the proposed download file name, a folder name split for
// renaming.
//
// Input: a selector byte (bits 0-1: 0 a job-information reply, else the
// list kind 1-3; bits 2-7 the short names' limit), then frames, each a u16
// length (big-endian, cut to the longest frame) and its bytes.
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "holdmanager/HoldEngine.h"
#include "holdmanager/HoldLists.h"

namespace {

void CheckJob(const UInt8* name, int limit) {
  std::vector<char> shortName(std::size_t(limit) + 1 + 16, '\x7F');
  const int n = MakeShortJobName(shortName.data(), name, true, limit);
  fuzz::Check(n >= 0 && n <= limit && shortName[std::size_t(n)] == 0 && shortName[std::size_t(limit) + 1] == '\x7F',
              "a short name fits its limit");
  UInt8 file[258 + 16];
  std::memset(file, 0x7F, sizeof file);
  Get_Download_FileName(name, file);
  const std::string proposed(reinterpret_cast<const char*>(file + 1), file[0]);
  fuzz::Check(file[1 + file[0]] == 0 && file[258] == 0x7F, "the proposed file name ends in its field");
  fuzz::Check(proposed.find_first_of(std::string("/\0", 2)) == std::string::npos,
              "a box's job name names no other folder");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Cursor in(data, size);
  const std::uint8_t sel = in.U8();
  const int kind = sel & 3;
  const int limit = sel >> 2;
  HOLD_ENGINE e;
  e.listKind = ListKind(kind);
  JOB_INFO info{};
  VFMPResetCarry();
  std::vector<UInt8> frame;
  while (in.left()) {
    const auto bytes = in.Bytes(std::min<std::size_t>(in.U16(), kVFMPMaxFrame));
    frame.assign(bytes.begin(), bytes.end());
    if (kind == 0)
      HoldTakeInfoFrame(&info, frame);
    else
      HoldTakeListFrame(&e, frame);
  }
  VFMPResetCarry();

  if (kind == 0) {
    CheckJob(info.name, limit);
    DateText(info.date);
    DataSizeText(info.size);
  }
  for (PtrListHead list : {e.holdJobs, e.boxJobs}) {
    for (int i = 0; auto* j = static_cast<JOB_ENTRY*>(GetPtrList(list, i)); ++i) {
      CheckJob(j->name, limit);
      CheckJob(j->owner, limit);
      DateText(j->date);
      DataSizeText(j->size);
    }
  }
  for (int i = 0; auto* f = static_cast<FOLDER_ENTRY*>(GetPtrList(e.folders, i)); ++i) {
    const std::string name(reinterpret_cast<const char*>(f->name + 1), f->name[0]);
    std::string prefix, rest;
    DivideFolderName(name, &prefix, &rest);
    fuzz::Check(prefix.empty() ? rest.empty() : prefix + rest == name, "a folder name splits into its halves");
    const std::string renamed = MakeRenFolderName(prefix, rest);
    fuzz::Check(renamed.size() <= prefix.size() + 16, "a renamed folder's text is cut to its field");
  }
  ClearPtrList(&e.holdJobs);
  ClearPtrList(&e.boxJobs);
  ClearPtrList(&e.folders);
  return 0;
}
