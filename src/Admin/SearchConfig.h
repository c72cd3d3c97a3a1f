// The search configuration (how long to wait, how often to resend and to
// search again, over which transports, the broadcast address and the
// AppleTalk zone), the broadcast list "ConfigData" beside the bundles, and
// the file-transfer tool's preference file written from the same values.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "common/AppGlobals.h"
#include "common/BroadcastList.h"

constexpr std::size_t kZoneNameSize = 36;
constexpr std::size_t kConfigRecordSize = 52;
constexpr std::size_t kFtpConfigSize = 16;

struct CONFIGURATION {
  UInt16 rcvWait;   // command time-out, ms
  SInt16 retry;     // resends after a time-out
  SInt16 pollTime;  // seconds between the starts of two searches
  UInt32 brAddr;
  Boolean oldVerCompati;  // boxes of the old version: JCP on port 9
  Boolean Protocol_1;     // search over TCP/IP
  Boolean Protocol_2;     // search over AppleTalk
  Boolean choiceNetworkzone;
  char SearchZoneName[kZoneNameSize];
};

struct SETUPINFO {
  SInt32 tcp_count;
  char broadcast[kBroadcastMax][kBroadcastTextSize];
};

// The file-transfer tool's settings as this program writes them.
struct FTP_CONFIG {
  UInt16 rcvWait;
  UInt16 datWait;
  UInt16 retry;
  UInt32 brAddr;
  UInt8 oldVerCompati;
};

extern SETUPINFO EnvInfo;
extern FTP_CONFIG ftpConfData;
extern Boolean confType;

// The 'CNFG' 128 record (52 bytes, big-endian). A record shorter than 52
// bytes is refused (false) and leaves c as it was.
void Pack_Config_Record(const CONFIGURATION& c, std::span<UInt8, kConfigRecordSize> out);
bool Unpack_Config_Record(std::span<const UInt8> bytes, CONFIGURATION& c);
void Pack_Ftp_Config(const CONFIGURATION& c, std::span<UInt8, kFtpConfigSize> out);
// The text of the broadcast-list file for info.
std::vector<UInt8> Build_Status_Data(const SETUPINFO& info);

void Get_Configuration();
void Get_BroadcastAddr();
short Save_Status_Data(const SETUPINFO* info);
void Check_Configuration();
void Set_Ftp_Configuration();
SInt16 Open_Ftp_Pref_File();
SInt16 Check_VFTP_Preference_Version(SInt16 refNum);
SInt16 Create_Ftp_Pref_File(const FSSpec* fss);
