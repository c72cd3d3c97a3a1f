// The status monitor's records: the decoded printer state, what a status
// window shows, the network settings of the detail page, the settings
// record and the broadcast list.
#pragma once

#include <cstddef>

#include "toolbox/types.h"

// Kinds of a box's reply, by the request argument it echoes.
enum : short {
  kReplyUnknown = 0,
  kReplyPlum7Stat = 1,
  kReplyPlum7Info = 2,
  kReplyIrisInfo = 3,
  kReplyDeviceId = 4,
  kReplyQsvDStat = 5,
};

// ---- Controller header and printer state --------------------------------

// The first 24 bytes of realigned status data.
struct NICINFO {
  char NicVer[16];  // not necessarily NUL-terminated
  UInt8 NicStat;    // 255: the controller reports an error
  UInt8 pad[3];
  UInt32 Sendlen;  // bytes the printer is receiving
};
constexpr std::size_t kNicInfoSize = 24;
constexpr std::size_t kNicHeaderCompare = 21;  // bytes compared for a header change
constexpr std::size_t kStatusSize = 256;

struct DRMINFO {  // ink drum
  UInt8 InkRm;    // level 0-10, 11 = no reading
  UInt8 DrmSiz;
  UInt8 DrmCol;
  UInt8 DrmDens;
  UInt8 DrmInfo;
};

struct DISINFO {  // disposal box
  UInt8 DisRm;    // level 0-10, 11 = no reading
  UInt16 HanMax;  // capacity
};

struct PPRINFO {  // paper tray
  UInt8 PprType;
  UInt8 PprTray;
  UInt8 PprRm;   // level, 11 = no reading
  UInt8 PprSiz;  // paper size code
  UInt8 PprQty;
};

struct VEMOINFO {
  UInt8 IcType, IcRg, MainPower, MainReady, MainRecv, MainRecvSub, MainStsBas, MainStsDrmSec, MainStsDrmPlat,
      MainStsErr, MainRsltErr, MainWaitMode, MainPrintWait, MainBusy, MSPaperOut, MSInkNo, MSMasterNo, MSBoxFull,
      SubMemPer;
  UInt16 SubPageNum, SubDpiX, SubDpiY;
  UInt32 SubSendData;
  DRMINFO pDrm[2];
  SInt32 CmDrmNum;
  UInt8 CmMasterRm, CmMasterInfo;
  DISINFO pDis[2];
  SInt32 CmDisNum;
  PPRINFO pPpr[3];
  SInt32 CmPprNum;
  UInt8 DeMemSize, DeSrtAct, DeSrtPaper, DeSrtConn, DeSrtMode, DeTpSrtConn, DeTpSrtTape, DeTpSrtMode, DeStplHari,
      DeStplFlg, DeStplMode, DeScnDensity, DeScnOrg, DeScnMode, DePrintSpd;
  UInt32 DeHldMem, DeHldMemZan;
  char VerCon[8];  // NUL-terminated
  char VerIF[8];
  UInt8 KinoMainte, KinoSupply, KinoSNMP;
  UInt16 PopStat;
  UInt8 LastInfo;
};

// ---- What a status window shows ------------------------------------------

// String fields hold a length byte, the text and a NUL.
struct VEMOSTATUSSET {
  SInt16 statusID;
  SInt16 IconID;  // status picture
  SInt16 ErrID;   // error icon
  SInt32 mesLine;
  UInt8 mesKey[32];
  UInt8 messageStr[256];
  UInt8 comKey[32];
  UInt8 commentStr[256];
  UInt8 warning;
  UInt8 szMemory[8];
  SInt32 memory;
  UInt8 szData[16];
  SInt32 data;
  UInt8 szGrada[16];
  UInt8 szSize[32];
  UInt32 paper;
  SInt32 margin;
  UInt16 SubPageNum;
  UInt8 copies;
  UInt32 powerIcon;
  UInt16 SubDpiX;
  UInt16 SubDpiY;
};

struct STATICON {
  SInt16 statusID;
  SInt16 taskIcon;
  SInt16 mainIcon;
  SInt16 pwrIcon;
  SInt16 errIcon;
};
constexpr int kStatIconRows = 37;
extern const STATICON gStatIcon[kStatIconRows];

// Task icons and their tips.
enum : SInt16 { kTaskBusy = 146, kTaskError = 147, kTaskIdle = 148, kTaskWait = 149 };

// ---- Network settings of the detail page --------------------------------

// Texts NUL-terminated; addresses 4 bytes in network order.
struct NETINFO {
  char szType[17];
  UInt8 pMac[6];
  UInt8 bDhcp;
  UInt8 pIp[4], pSubnet[4], pGateway[4];
  UInt8 bTcpExt;
  UInt8 bWins1st[4], bWins2nd[4];
  char szScopeId[256];
  UInt8 bDns;
  UInt8 bDns1st[4], bDns2nd[4];
  char szApple[33];
  char szZone[33];
  UInt8 bNetbeui;
  char szMachine[17];
  char szGroup[17];
  char szComment[49];
  char szTrap[81];
  UInt8 pTrap[4];
  char szContact[256];
  char szName[256];
  char szLocation[256];
  UInt8 bTtl, bAuthen, bWireless, bWireMode;
  UInt16 wLinkSpeed;
  char szSsid[33];
  UInt8 bBssid[6];
  UInt8 bChannel, bSmtp, bSmtpCode, bMaintenance;
  char szSmtpSvNameM[80], szFromAddrM[80], szToAddr1M[80], szToAddr2M[80];
  UInt16 wPortNoM;
  UInt8 bSupply;
  char szSmtpSvNameS[80], szFromAddrS[80], szToAddr1S[80], szToAddr2S[80];
  UInt16 wPortNoS;
};

// ---- Settings record and broadcast list ------------------------------------

// The monitor's settings, stored as 64 big-endian bytes (MonitorConfig.h).
struct CONFIGURATION {
  UInt16 statUpdate;  // poll interval, ms (500 to 15000)
  SInt32 brAddr;      // broadcast address, first octet high
  SInt16 retry;
  UInt8 reserve_1;
  UInt8 oldVerCompati;  // 1: the box answers on port 9
  UInt8 reserve_2;
  UInt8 activeErrWin;
  UInt8 popupCount;
  UInt8 popupReserve;
  UInt8 popupFlag;
  UInt8 monitorOption;
  UInt8 StartupFlag;
  UInt16 windowH;
  UInt16 windowV;
  UInt8 Protocol_1;
  UInt8 Protocol_2;
  UInt8 choiceNetworkzone;
  char SearchZoneName[36];  // NUL-terminated
  UInt8 soundOpt;
};
constexpr std::size_t kConfigurationSize = 64;

constexpr int kBroadcastMax = 17;
constexpr std::size_t kBroadcastEntry = 20;
struct SETUPINFO {
  SInt32 tcp_count;  // 1 to 17
  char broadcast[kBroadcastMax][kBroadcastEntry];
};

// The settings record of a printer that has none of its own yet, and the
// broadcast list (entry 0 the configured broadcast address).
extern SETUPINFO EnvInfo;
