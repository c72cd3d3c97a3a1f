// The status monitor's data files with fuzzed contents, read by the
// monitor's own readers from the folder beside its bundle, as at start-up
// and when a printer is opened:
//   0 a status-data file "VEMOMON-<address>", loaded and unpacked into the
//     print-box record;
//   1 "Alias Data", read, then rewritten with a printer added (the
//     read-modify-write of opening one);
//   2 the broadcast list "Brdadr";
//   3 the 64-byte settings record of a preference or printer settings file;
//   4 the language ini, for the status-sharing folder's and the pointer
//     file's names.
//
// Input: a selector byte (its value modulo 5), then the file's bytes.
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "Monitor/MonitorConfig.h"
#include "Monitor/StartupFiles.h"
#include "Monitor/StatusData.h"
#include "common/AppGlobals.h"
#include "fuzz_support.h"
#include "toolbox/files.h"

namespace {

fuzz::ScratchFile* folder = nullptr;  // the folder that holds the bundle

void WriteBeside(const std::string& name, std::span<const std::uint8_t> bytes) {
  fuzz::ScratchFile::WriteAt((folder->dir() / name).string(), bytes);
}

template <std::size_t N>
bool Ends(const char (&field)[N]) {
  return std::memchr(field, '\0', N) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static fuzz::ScratchFile dir("VEMO-MONITOR.app");
  folder = &dir;
  const std::filesystem::path macos = dir.dir() / "VEMO-MONITOR.app/Contents/MacOS";
  std::filesystem::create_directories(macos);
  fuzz::ScratchFile::WriteAt((macos / "VEMO-MONITOR").string(), {});
  tb::SetApplicationPath((macos / "VEMO-MONITOR").string());
  ConfigData = Default_Configuration();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Cursor in(data, size);
  const int which = in.U8() % 5;
  const std::span<const std::uint8_t> file = in.Rest();
  switch (which) {
    case 0: {
      const std::string name = "VEMOMON-00;80;92;0A;0B;0C";
      WriteBeside(name, file);
      std::vector<UInt8> bytes;
      fuzz::Check(Load_Status_Data(name, bytes), "a status-data file beside the bundle is read");
      fuzz::Check(bytes.size() <= kStatusDataReadMax, "a status-data file is read so far only");
      PBOXinfo box;
      UInt8 old = 7;
      const SInt32 found = Open_Infomation_File(&box, bytes, &old);
      fuzz::Check(old <= 1 && (found == 1) == (box.pbi_hash != 0), "the record's flags");
      // Saved again (as when the printer is opened), it reads back the same box.
      std::array<UInt8, kPBOXRecordFileSize> packed{};
      PackPBOXRecord(box, packed);
      PBOXinfo again;
      Open_Infomation_File(&again, packed);
      fuzz::Check(again.pbi_hash == box.pbi_hash && again.pbi_socket == box.pbi_socket &&
                      std::memcmp(again.pbi_nodeaddr, box.pbi_nodeaddr, 6) == 0,
                  "a record saved again reads back the same box");
      break;
    }
    case 1: {
      WriteBeside(kAliasFileName, file);
      const std::vector<std::string> entries = Read_Startup_Data();
      for (const std::string& e : entries) fuzz::Check(e.size() < 256, "an alias entry fits its buffer");
      PBOXinfo box{};
      box.pbi_hash = 1;
      Save_Startup_Data(&box, 1);
      const std::vector<std::string> after = Read_Startup_Data();
      fuzz::Check(!after.empty() && after.back() == Status_Data_File_Name(box.pbi_nodeaddr),
                  "the printer added is the last entry");
      break;
    }
    case 2: {
      WriteBeside("Brdadr", file);
      Get_BroadcastAddr();
      fuzz::Check(EnvInfo.tcp_count >= 1 && EnvInfo.tcp_count <= kBroadcastMax, "the list's count");
      for (int k = 0; k < EnvInfo.tcp_count; ++k)
        fuzz::Check(Ends(EnvInfo.broadcast[k]), "a broadcast entry ends in its field");
      break;
    }
    case 3: {
      CONFIGURATION c{};
      const bool whole = UnpackConfiguration(file, c);
      fuzz::Check(whole == (file.size() >= kConfigurationSize), "only a whole record is taken");
      // What is read is written back the same way.
      std::array<UInt8, kConfigurationSize> out{};
      PackConfiguration(c, out);
      CONFIGURATION again{};
      fuzz::Check(UnpackConfiguration(out, again), "a packed record is whole");
      std::array<UInt8, kConfigurationSize> out2{};
      PackConfiguration(again, out2);
      fuzz::Check(out == out2, "a record read back packs the same");
      break;
    }
    default: {
      WriteBeside("Popmon.ini", file);
      std::snprintf(IniFileName, sizeof IniFileName, "%s", (folder->dir() / "Popmon.ini").c_str());
      fuzz::Check(Status_Folder_Name().size() <= 31, "the status-sharing folder's name is cut");
      fuzz::Check(!Pointer_File_Name().empty(), "the pointer file has a name");
      IniFileName[0] = 0;
      break;
    }
  }
  return 0;
}
