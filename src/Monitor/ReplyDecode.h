// Decoding of the print box's status and information replies: the reply
// framing, the realignment of the status data, the status bits into the
// printer state with change detection, and the two information forms.
#pragma once

#include <cstddef>
#include <span>

#include "Monitor/MonitorTypes.h"

// Where a reply kind's data begins (0 for kinds without data).
std::size_t ReplyDataStart(short kind);

// The kind of a reply of which `received` bytes arrived, and for kinds 1 to
// 5 its data length. A length field shorter than the header (or than the
// bytes the argument takes) gives kind 0; one beyond what arrived is cut to
// what arrived.
short ChkRecvCmd(const UInt8* reply, std::size_t received, UInt16* dataLen);

// Status data need room for the header and the 768 bytes the realignment
// moves, whatever arrived.
constexpr std::size_t kStatusDataRoom = 24 + 768;

// Realigns the header of status data in place (bytes 21.. move to 24..,
// the send-data size is copied to 20..23). 0 when data is shorter than
// kStatusDataRoom (nothing is done), else 1.
int Set_Macintosh_Memory(std::span<UInt8> data);
// Packs the 256 status words of a "PLUM7 STAT" reply into bytes in place;
// 0 when data is shorter than kStatusDataRoom.
int Convert_Status(std::span<UInt8> data);

namespace plum7 {
// The declared layout of "PLUM7 INFO" data; the decoder reads it by byte
// positions, never through this structure.
struct _plum7info {
  NICINFO NicInfo;
  UInt8 ScData[256];
  UInt8 Reserve[512];
};
}  // namespace plum7

// What a window keeps between replies to detect changes.
struct StatusMemory {
  UInt8 gBackStatus[kStatusSize];
  UInt8 gBackNic[kNicHeaderCompare];
};

// Result bits of GetVemoStatus.
enum : int { kDecodeStatusChanged = 0x01, kDecodeHeaderChanged = 0x10 };

// Decodes realigned status data (at least kStatusDataRoom bytes) into the
// printer state; clears the volatile bytes in the data first.
int GetVemoStatus(std::span<UInt8> data, VEMOINFO* info, StatusMemory* saved, NICINFO* nic);

// Sub-decoders over the 256 status bytes (the first, third and fourth
// return the units decoded).
int GetDrmInfo(const UInt8* s, VEMOINFO* info);
void GetMasterInfo(const UInt8* s, VEMOINFO* info);
int GetDisInfo(const UInt8* s, VEMOINFO* info);
int GetPprInfo(const UInt8* s, VEMOINFO* info);

// Info flag set when the network record changed.
constexpr UInt8 kInfoChanged = 0x10;
// "PLUM7 INFO" and "IRIS INFO" data of len bytes into the network record;
// 1 (and kInfoChanged in flags) when the record changed, else 0. Texts are
// cut to their fields; the walk ends where the data ends.
int GetPlum7Info(const UInt8* data, std::size_t len, NETINFO* net, UInt8* flags);
int GetIrisInfo(const UInt8* data, std::size_t len, NETINFO* net, UInt8* flags);

// The model text ("QSV-A" .. "QSV-D2") of a 16-byte machine type, into out
// (at least 8 bytes); returns the model sub-code byte.
UInt8 GetVemoplexType(char* out, const UInt8* machineType);
