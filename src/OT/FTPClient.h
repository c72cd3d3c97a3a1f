// The transport half of sending a file to a print box over FTP: one TCP
// connection for the control dialogue (the box's port 21) and one for the
// data in active mode (we listen, announce our address with PORT, and the
// box connects). Each connection has its own context. The command sequence
// that drives them is FTPDialogue.h's; the polling and time limits belong to
// each sender (the send window, FTPSend.h, and the file-transfer tool's).
#pragma once

#include <cstddef>

#include "OT/OTEndpoint.h"
#include "toolbox/types.h"

constexpr std::size_t kFTPCmdSize = 80;
constexpr std::size_t kFTPLargeBufSize = 16384;
// File data goes in pieces this large at most, so the kernel, not the
// event loop, sets the pace of a transfer.
constexpr std::size_t kFTPPieceSize = 256 * 1024;

// protocolType of a context: TCP is the only one.
enum : SInt16 { FTP_PROTO_TCP = 1 };

// cmdType of a context.
enum : SInt16 {
  FTP_CMD_CONTROL = 2,  // replies are collected
  FTP_CMD_DATA = 3,     // received bytes are ignored
};

// The replies of the control connection, followed line by line as they
// stream in, whatever the reply window (rcvLargeBuf) still holds: a reply
// longer than the window keeps its code and its end.
struct FTPReplyTrack {
  char head[4];  // the first bytes of the line being read
  UInt8 headLen;
  Boolean inMulti;  // inside a multi-line reply ("220-" up to "220 ")
  char open[3];     // its code
  // Since the last command:
  char code[4];     // code of the last complete reply, NUL-terminated ("" before one)
  UInt16 replies;   // complete replies
  Boolean refused;  // one of them refused (4xx or 5xx)
};

// The file a data connection is sending, kept open for the whole transfer,
// with the piece last read from it (private to the FTP layer).
struct FTPFilePiece;

struct FTPEPInfo;
// Kept for the owner; the FTP layer never calls it.
using FTPNotifyProcPtr = void (*)(FTPEPInfo* context, short status);

// One connection. Allocated cleared by its owner, two per transfer.
struct FTPEPInfo {
  union {
    TCPEPInfo tcp;
  } protocol;
  FTPNotifyProcPtr NotifyProcPtr;
  SInt16 protocolType;  // FTP_PROTO_TCP; every operation refuses another value
  SInt16 cmdType;       // FTP_CMD_CONTROL or FTP_CMD_DATA
  SInt16 conditionNo;   // not used by the FTP client
  UInt16 lportPort;     // data connection: the local port it listens on
  UInt16 retryCnt;      // kept by the owner
  UInt8 cmd[kFTPCmdSize];  // the last command text (NUL-terminated, cut to fit)
  UInt8 sndLargeBuf[kFTPLargeBufSize];  // copy of the last data handed to a command
  UInt32 sndLargeBufLen;
  UInt32 sndOffset;
  // Reply text collected since the last command. It always keeps a NUL
  // behind its last byte; a reply longer than the buffer keeps its newest
  // bytes.
  UInt8 rcvLargeBuf[kFTPLargeBufSize];
  UInt32 rcvLargeBufLen;
  UInt32 rcvOffset;
  Boolean dataConnect;  // 1 for the data connection
  Boolean isSuccess;    // control: a reply line ended; data: the box's call was accepted
  Boolean isTimeout;    // cleared by each command
  Boolean ackWait;      // control: a reply line ended
  Boolean isComplete;   // the endpoint is closed (unbind completed)
  OTNotifyUPP uppEndpoint;  // made when the connection is opened, released by the owner
  // Data connection: the local address to listen on, set by the owner
  // before FtpData_Protocol (0: this computer's own address).
  UInt32 listenIpAddr;
  FTPReplyTrack reply;  // control connection
  FTPFilePiece* piece;  // data connection: the file being sent, while it is
  UInt16 refusedCalls;  // data connection: refused calls whose disconnect is still to complete
};

// Opens the control connection to ipAddr:port: -3159 for an unusable
// context, else 0 (how the open goes shows in the context).
OSStatus Ftp_Protocol(FTPEPInfo* ctx, UInt32 ipAddr, UInt16 port, UInt32 timeoutMs, FTPNotifyProcPtr callback,
                      Boolean async);
// Opens a data connection that listens for the box's call; the box's
// address and port are only recorded. -3159 or 0.
OSStatus FtpData_Protocol(FTPEPInfo* ctx, UInt32 ipAddr, UInt16 port, UInt32 timeoutMs,
                          FTPNotifyProcPtr callback, Boolean async);
void FTP_TCP_SetRemote(FTPEPInfo* ctx, UInt32 ipAddr, UInt16 port);
// The endpoint record twice: -2 for no context, -1 unless TCP, else 0.
short GetFtpEPInfo(FTPEPInfo* ctx, EPInfo** epInfo, TCPEPInfo** tcpInfo);

// Sends a command on the control connection: the collected reply text and
// the flags of the last command are cleared first. Sends the data when
// dataLen is not 0, else the command text. Bytes sent or an error; -3159
// for an unusable context.
OTResult FTP_Get_Command(FTPEPInfo* ctx, const char* cmd, UInt32 cmdLen, const void* data, UInt32 dataLen);
// The same on the data connection (file data).
OTResult FTP_Set_Command(FTPEPInfo* ctx, const char* cmd, UInt32 cmdLen, const void* data, UInt32 dataLen);

// Takes what has arrived, a bounded amount per call (the rest is taken in
// a later pass of the event loop): the control connection collects it as
// reply text, the data connection drops it.
void RcvData(FTPEPInfo* ctx);
// Since the last command on the control connection: whether a complete
// reply carried the code (3 digits), and whether one refused.
Boolean FTP_Reply_Completed(const FTPEPInfo* ctx, const char* code);
Boolean FTP_Reply_Refused(const FTPEPInfo* ctx);
// Whether the box has answered with the code (3 digits): found anywhere in
// the text collected since the last command, or carried by a complete reply
// too long for that text. 0 while a multi-line reply is still coming: its
// text is not the answer yet, whatever numbers it holds.
Boolean FTP_Reply_Holds(const FTPEPInfo* ctx, const char* code);
// The local address of a connected control connection (the address the box
// reaches this computer on), 0 when unknown.
UInt32 FTP_Local_Address(FTPEPInfo* ctx);
// The bind-complete steps: the control connection dials the box, the data
// connection starts listening.
void GetConnectData(FTPEPInfo* ctx);
void GetListenData(FTPEPInfo* ctx);

void ftpEndpointNotifierProc(void* context, OTEventCode code, OTResult result, void* cookie);
void ftpDEndpointNotifierProc(void* context, OTEventCode code, OTResult result, void* cookie);

// Flushes an open connection; a synchronous one then runs its
// disconnect-complete and unbind-complete steps.
void FTP_KillIOEvent(FTPEPInfo* ctx);
// Closes the connection without waiting for the peer: 1 when the endpoint
// is closed or was never open; 0 when our side is released and the peer's
// release is still to come (the context must then stay allocated and close
// through its notifier; see FTP_Release_Context).
short FTP_Disconnect(FTPEPInfo* ctx);

// The file being sent (the send window keeps one per transfer).
struct FILE_INFO_DATA {
  UInt16 total_cnt;  // files in the job
  UInt16 send_cnt;   // files taken so far
  FSSpec fileSpec;
  UInt32 fileSize;  // bytes, when the file was taken
  UInt32 sendSize;  // bytes the endpoint has accepted
};

// Sends the next piece of the file (at most kFTPPieceSize bytes from
// sendSize, and never beyond the size the file had when it was taken):
// bytes the endpoint accepted (sendSize grows by them), 0 when it took
// nothing now, or a negative error (-1: the file cannot be read, or has
// become shorter). The file stays open from the first piece to the last,
// and bytes the endpoint did not take are sent from the piece next time,
// not read again.
OTResult Start_FTP_Data(FTPEPInfo* ctx, FILE_INFO_DATA* file);

// One step's share of a file: pieces while the connection takes them, at
// most budget bytes, so one transfer never holds the loop. The loop is asked
// back at once when the budget stops it and when the last byte has gone (to
// show 100% and close); otherwise the connection's readiness wakes it.
// dataTick is when data was last taken.
enum FTPPiecesResult {
  kFTPPiecesGoOn = 0,    // sent what could be sent now
  kFTPPiecesStalled,     // nothing taken for longer than stallTicks
  kFTPPiecesUnreadable,  // the file cannot be read as taken
  kFTPPiecesGone,        // the data connection has gone
};
FTPPiecesResult Send_FTP_Pieces(FTPEPInfo* ctx, FILE_INFO_DATA* file, UInt32 budget, UInt32* dataTick,
                                UInt32 stallTicks);

// The address as "a,b,c,d" (the form PORT takes), NUL-terminated; buf needs
// 16 bytes.
void iptoport(UInt32 ipAddr, char* buf);

// Releases a context whose endpoint is closed, with its notifier handle; a
// context whose endpoint is still open is kept on a list and released once
// it has closed (FTP_Reap_Contexts). Null is ignored.
void FTP_Release_Context(FTPEPInfo* ctx);
// Releases the kept contexts whose endpoints have closed since, and aborts
// and releases those whose peer has not closed within twice the
// connection's time-out (in ticks) of their release; returns how many are
// still kept.
int FTP_Reap_Contexts();
// Closes and releases every kept context (at shut-down).
void FTP_Release_All_Contexts();
