// The held-job protocol with a print box over TCP (port 2249): request
// frames built from a command's parameters, reply frames handed out whole,
// records that a frame's end cut off carried into the next frame, and the
// endpoint's life from open to close driven by its notifier.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

#include "OT/OTEndpoint.h"
#include "toolbox/types.h"

constexpr UInt16 kVFMPPort = 2249;
constexpr std::size_t kVFMPRcvBufSize = 16384;
// The largest frame a box can send: a 16-bit length and the length field.
constexpr std::size_t kVFMPMaxFrame = 65535 + 2;
constexpr std::size_t kVFMPMaxRecord = 4 + 65535;

// Request codes (the command numbers of the engine equal them).
enum : UInt8 {
  VFMP_LIST = 1,
  VFMP_CHANGE = 2,
  VFMP_INFO = 3,
  VFMP_DELETE = 4,
  VFMP_RENAME = 5,
  VFMP_PRINT = 6,
  VFMP_DOWNLOAD = 8,
  VFMP_THUMBNAIL = 17,
  VFMP_FOLDER_RENAME = 18,
  VFMP_MOVE = 19,
};

// Reply results.
enum : UInt8 {
  VFMP_RES_LAST = 0,
  VFMP_RES_MORE = 1,
  VFMP_RES_NOT_READY = 2,
  VFMP_RES_REFUSED_253 = 253,
  VFMP_RES_REFUSED_254 = 254,
  VFMP_RES_REFUSED_255 = 255,
};

// Command states.
enum : UInt16 {
  VFMP_ST_OPENING = 0,
  VFMP_ST_GIVEN_UP = 1,
  VFMP_ST_SEND = 2,
  VFMP_ST_WAIT_RESEND = 3,
  VFMP_ST_READING = 4,
  VFMP_ST_ENDED = 5,
  VFMP_ST_CLOSED = 6,
};

// Errors a command ends with.
enum : UInt16 {
  VFMP_ERR_TIMEOUT_CONNECT = 1,
  VFMP_ERR_TIMEOUT_REPLY = 2,
  VFMP_ERR_SEND = 3,
  VFMP_ERR_RECEIVE = 4,
  VFMP_ERR_FILE_READ = 5,
  VFMP_ERR_FILE_WRITE = 6,
  VFMP_ERR_NO_MEMORY = 7,
  VFMP_ERR_TAB_CHANGE = 256,
};

// Reply record tags.
enum : UInt16 {
  VFMP_TAG_JOB_ID1 = 0x0001,
  VFMP_TAG_JOB_ID = 0x0002,
  VFMP_TAG_JOB_NAME = 0x0003,
  VFMP_TAG_OWNER = 0x0004,
  VFMP_TAG_BYTE05 = 0x0005,
  VFMP_TAG_DATE = 0x0006,
  VFMP_TAG_PAGES = 0x0007,
  VFMP_TAG_SIZE = 0x0008,
  VFMP_TAG_PAPER = 0x0009,
  VFMP_TAG_RESOLUTION = 0x000A,
  VFMP_TAG_0B = 0x000B,
  VFMP_TAG_0C = 0x000C,
  VFMP_TAG_0D = 0x000D,
  VFMP_TAG_HAS_THUMBS = 0x000E,
  VFMP_TAG_LANG = 0x000F,
  VFMP_TAG_OS = 0x0010,
  VFMP_TAG_FOLDER_ID = 0x0028,
  VFMP_TAG_FOLDER_NAME = 0x0029,
  VFMP_TAG_FOLDER_2A = 0x002A,
  VFMP_TAG_FOLDER_2B = 0x002B,
  VFMP_TAG_TARGET_FOLDER = 0x002C,
  VFMP_TAG_END_ENTRY = 0x0032,
  VFMP_TAG_CHANGE = 0x0080,
  VFMP_TAG_LIST_KIND = 0x0081,
  VFMP_TAG_DATA = 0x0083,
  VFMP_TAG_PAGE = 0x0088,
  VFMP_TAG_THUMB = 0x0089,
  VFMP_TAG_PRINT_OPTS = 0x008A,
};

// What the caller fills for a request; each code takes the fields of its
// row. Ids are the four bytes the box sent, sent back unchanged.
struct VFMP_PARAM {
  UInt8 jobId[4];
  UInt8 folderId[4];
  UInt8 targetFolderId[4];
  UInt8 listKind;     // codes 1 and 2: 1, 2 or 3
  UInt8 listFolder[4];  // codes 1 and 2 with kind 2: number 1, or the folder's id as received
  Str255 name;        // codes 5 and 18 (length-prefixed)
  Str255 owner;       // code 5
  UInt8 langCode;
  UInt8 osCode;
  UInt32 printOptions;
  UInt16 copies;
  UInt16 page;
};

// The record every command in flight begins with.
struct VFMP_CMD_INFO {
  TCPEPInfo* ep;
  UInt32 ipAddr;
  UInt16 state;
  UInt32 timeout;  // ms; all ones: none
  UInt16 error;
  UInt8 sent;
  // The reply's last frame (result 0) was read: an end of the connection
  // before it is an error, never an empty success.
  UInt8 replyDone;
  UInt8 code;  // the request this record sends
  VFMP_PARAM param;
  // Told whenever the connection has news (its opening, data, its end), so
  // that the reader goes on at the loop's next turn rather than an idle
  // interval on.
  void (*wake)(void* cookie);
  void* wakeCookie;
};

// The time-out of a command from the preference's seconds (0: none).
UInt32 VFMPTimeoutFromSeconds(UInt32 seconds);

// Builds the frame of a request into out (cleared first); its length, or
// -1 for a code without a request, or one whose frame would not fit.
int VFMPBuildRequest(UInt8 code, const VFMP_PARAM& p, std::span<UInt8> out);
// Builds in the endpoint's send buffer and sends the whole frame; the
// send's result, -1 for a code without a request. Codes 1 and 2 also drop
// what the receive side held.
OTResult VFMPSendRequest(TCPEPInfo* ep, UInt8 code, const VFMP_PARAM& p);

// The frame reassembly behind VFMPRcv, apart from the socket: bytes in,
// whole frames out, one per call.
class VFMPFramer {
 public:
  // Whether the bytes held already make a whole frame.
  bool HasFrame() const;
  void Append(std::span<const UInt8> bytes);
  // Moves the first whole frame into out: its length, 0 when none is whole
  // yet, or kVFMPFrameTooLong (the held bytes are dropped) when the frame
  // is longer than out.
  int Next(std::span<UInt8> out);
  // The same without the copy: the frame in place, valid until the next
  // call; empty when none is whole (*tooLong set, and the bytes dropped,
  // for a frame longer than max).
  std::span<const UInt8> NextView(std::size_t max, bool* tooLong);
  void Clear() { head_ = tail_ = 0; }
  std::size_t Held() const { return tail_ - head_; }
  // Room for want more bytes at the end of what is held, for a read
  // straight into the buffer; Commit then counts what the read put there.
  // The bytes still held move to the front only when the room at the end
  // is short (so views handed out stay valid until the next Room).
  std::span<UInt8> Room(std::size_t want);
  void Commit(std::size_t n) { tail_ += std::min(n, buf_.size() - tail_); }

 private:
  std::vector<UInt8> buf_;
  std::size_t head_ = 0;  // bytes already handed out at the front of buf_
  std::size_t tail_ = 0;  // end of the bytes held
};

constexpr int kVFMPFrameTooLong = -30000;

// Reads what has arrived and hands out at most one whole frame: its length
// (also in *len), 0 when none is whole, a receive error, or
// kVFMPFrameTooLong. With every argument null it drops what was held.
OTResult VFMPRcv(TCPEPInfo* ep, UInt8* buf, UInt32* len);
// VFMPRcv without the copy: *frame is the whole frame in place (valid until
// the next call), empty when none is whole; the same results.
OTResult VFMPRcvView(TCPEPInfo* ep, std::span<const UInt8>* frame);
// One large read straight into the shared framer's buffer (at most want
// bytes), for a reader that takes many frames per step: the bytes read,
// kOTNoDataErr when nothing has come (its arrival will be reported), or a
// receive error.
OTResult VFMPRcvMore(TCPEPInfo* ep, std::size_t want);
// The program-wide framer VFMPRcv uses (tests feed it directly).
VFMPFramer& VFMPSharedFramer();

// Copies a frame's first 4 bytes, or 8 when the u16 at bytes 4-5 is not 0.
// Returns the bytes copied (0 when the frame is shorter than 4).
int VFMPGetResult(UInt8* dest, std::span<const UInt8> frame);

// The next whole record of a frame, from *pos (an offset into frame): 1 with
// header and value in record, 0 when the rest holds no whole record (that
// rest is carried to the next frame). The record buffer holds
// kVFMPMaxRecord bytes.
int VEMPAdjustRcv(UInt8* record, std::span<const UInt8> frame, std::size_t* pos);
// Drops a carried part record (at the start of every reply).
void VFMPResetCarry();
std::size_t VFMPCarryHeld();

// Copies a record's 4-byte header.
void VFMPGetParam(UInt8* dest, const UInt8* record);

inline UInt16 VFMPGet16(const UInt8* p) { return UInt16((p[0] << 8) | p[1]); }
inline UInt32 VFMPGet32(const UInt8* p) { return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | p[3]; }

// Whether the quiet time since the endpoint's last data exceeds ms.
Boolean VFMPIsTimeout(TCPEPInfo* ep, UInt32 ms);
// Ends the command with error; returns the state.
UInt16 VFMPClose(VFMP_CMD_INFO* cmd, UInt16 error);
// The notifier of every VFMP endpoint (the command record is its context).
void VFMPNotifyProc(void* context, OTEventCode code, OTResult result, void* cookie);
// Opens a command's endpoint (asynchronously, with the notifier): 0, or
// the open's error.
OSStatus VFMPOpen(VFMP_CMD_INFO* cmd);
// Changes a command's state (traced on channel "vfmp").
void VFMPSetState(VFMP_CMD_INFO* cmd, UInt16 state, const char* why = nullptr);

// The time-out rule of every reader: true when the command was closed
// because of it (error 2 after the send, 1 before).
bool VFMPCheckTimeout(VFMP_CMD_INFO* cmd);
// What a reader does with state 5 and 6: true when the command is over
// (state 6), its error set; a connection that ended before the reply's
// last frame ends with error 1 (not sent) or 4 (sent).
bool VFMPConnectionOver(VFMP_CMD_INFO* cmd);

// Moves a connected endpoint from one command record to another (a
// progress command's connection taken over by the refresh after it); the
// notifier then reports to the new record.
void VFMPAdopt(VFMP_CMD_INFO* to, VFMP_CMD_INFO* from);
// Closes a record's endpoint at once, whatever its state (the record is
// about to be freed), and frees the endpoint.
void VFMPRelease(VFMP_CMD_INFO* cmd);
