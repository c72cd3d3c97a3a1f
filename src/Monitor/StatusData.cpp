// The status-data file of a watched printer and the status-sharing file
// the held-job manager reads.
#include "Monitor/StatusData.h"

#include <cstdio>
#include <cstring>

#include "common/AppGlobals.h"
#include "common/IniFile.h"
#include "common/StrConv.h"
#include "Monitor/MonitorConfig.h"
#include "Monitor/MonitorTypes.h"
#include "suite/SuiteNames.h"
#include "toolbox/fileservices.h"
#include "toolbox/textencoding.h"

namespace {

constexpr std::size_t kFolderNameMax = 31;
constexpr std::size_t kStatusLines = 256;

bool toStr255(const std::string& text, Str255 out) {
  if (text.size() > 255) return false;
  out[0] = UInt8(text.size());
  std::memcpy(out + 1, text.data(), text.size());
  return true;
}

std::span<const UInt8> bytesOf(const std::string& s) { return {reinterpret_cast<const UInt8*>(s.data()), s.size()}; }

}  // namespace

std::string Status_Data_File_Name(const UInt8* mac) { return "VEMOMON-" + mactoa_colon(mac); }

SInt32 Save_Status_DataEx(const PBOXinfo* pbox) {
  UInt8 record[kPBOXRecordFileSize];
  PackPBOXRecord(*pbox, record);
  FSSpec fss;
  if (Monitor_File_Spec(Status_Data_File_Name(pbox->pbi_nodeaddr), &fss)) {
    tb::WriteFileAtomically(fss, record, 'VMxm', 'TEXT');
    FlushVol(nullptr, fss.vRefNum);
  }
  return 1;
}

bool Load_Status_Data(const std::string& name, std::vector<UInt8>& out) {
  FSSpec fss;
  SInt16 ref = 0;
  if (!Monitor_File_Spec(name, &fss) || FSpOpenDF(&fss, fsRdPerm, &ref) != noErr) return false;
  out.assign(kStatusDataReadMax, 0);
  SInt32 count = SInt32(out.size());
  OSErr err = FSRead(ref, &count, out.data());
  FSClose(ref);
  if (err != noErr && err != eofErr) return false;
  out.resize(std::size_t(count));
  return true;
}

SInt32 Open_Infomation_File(PBOXinfo* out, std::span<const UInt8> bytes, UInt8* oldVersion) {
  *out = PBOXinfo{};
  if (!UnpackPBOXinfo(bytes, *out)) *out = PBOXinfo{};
  if (oldVersion) *oldVersion = out->pbi_socket == 9 ? 1 : 0;
  return out->pbi_hash != 0 ? 1 : 0;
}

std::string Status_Folder_Name() {
  char value[kFolderNameMax + 1] = "";
  if (IniFileName[0] && Load_File_To_CstringEx("[MACSTR]", "FOLDER=", value, sizeof value, IniFileName) && value[0])
    return value;
  return suite::kStatusFolderName;
}

std::string Stat_Com_File_Name(const UInt8* m) {
  char b[24];
  std::snprintf(b, sizeof b, "V%02X%02X%02X%02X%02X%02X.vsf", m[0], m[1], m[2], m[3], m[4], m[5]);
  return b;
}

std::string Set_Stat_Com_Info(std::span<const UInt8> data, std::size_t dataLen, short kind) {
  std::string t = "[Version]\r\nNIC=";
  std::size_t nicRoom = std::min<std::size_t>(16, data.size());
  t.append(reinterpret_cast<const char*>(data.data()), strnlen(reinterpret_cast<const char*>(data.data()), nicRoom));
  t += "\r\nTOOL=1.1.0 R1\r\n\r\n[STATUS]\r\n";
  std::size_t n = dataLen > 24 ? dataLen - 24 : 0;
  if (n == 0) return t;
  std::size_t lines = kind == kReplyPlum7Stat ? n / 2 + 1 : n + 1;
  // Never more lines than status bytes, nor than the data room holds.
  lines = std::min(lines, kStatusLines);
  if (data.size() < kNicInfoSize) return t;
  lines = std::min(lines, data.size() - kNicInfoSize);
  for (std::size_t i = 0; i < lines; ++i) {
    char line[40];
    std::snprintf(line, sizeof line, "ID%02zu=%02X\r\n", i, data[kNicInfoSize + i]);
    t += line;
  }
  return t;
}

bool Stat_Com_File_Spec(const PBOXinfo* pbox, FSSpec* fss) {
  SInt16 vol;
  SInt32 home;
  if (FindFolder(kOnSystemDisk, kCurrentUserFolderType, kDontCreateFolder, &vol, &home) != noErr) return false;
  std::string folder = Status_Folder_Name();
  folder.resize(tb::CharCutLength(folder, 63));
  Str255 name;
  if (!toStr255(folder, name)) return false;
  FSSpec dir;
  OSErr err = FSMakeFSSpec(vol, home, name, &dir);
  SInt32 dirID = 0;
  if (err == fnfErr) err = FSpDirCreate(&dir, smSystemScript, &dirID);
  if (err != noErr) return false;
  std::string partial = ":" + folder + ":" + Stat_Com_File_Name(pbox->pbi_nodeaddr);
  if (!toStr255(partial, name)) return false;
  err = FSMakeFSSpec(vol, home, name, fss);
  return err == noErr || err == fnfErr;
}

SInt32 Save_Stat_Com_Data(const PBOXinfo* pbox, std::span<const UInt8> data, std::size_t dataLen, short kind) {
  std::string text = Set_Stat_Com_Info(data, dataLen, kind);
  FSSpec fss;
  if (!Stat_Com_File_Spec(pbox, &fss) || pbox->pbi_hash == 0) return 0;
  // Replaced whole: a shorter text never leaves lines of the older one.
  tb::WriteFileAtomically(fss, bytesOf(text), 'VMxm', 'TEXT');
  FlushVol(nullptr, fss.vRefNum);
  return 0;
}

SInt32 Delete_Stat_Com_Data(const PBOXinfo* pbox) {
  FSSpec fss;
  if (!Stat_Com_File_Spec(pbox, &fss)) return 0;
  OSErr err = FSpDelete(&fss);
  FlushVol(nullptr, fss.vRefNum);
  return err == noErr ? 1 : 0;
}
