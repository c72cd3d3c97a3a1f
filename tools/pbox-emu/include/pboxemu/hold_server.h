// The boxes' held jobs: a model of hold folders and jobs, served over the
// held-job protocol on TCP port 2249 and filled by a line-printer daemon on
// TCP port 515 (both through the toolbox's port map). Off unless enabled
// before the emulator starts.
//
// Held-job protocol: each request frame (u16 length, code, records) gets
// its reply frames (u16 length, code, result, records); the connection
// stays open for further requests. Knobs cut the reply's records into
// frames of any size (so records run across frames), send the bytes in
// pieces of any size, and fault modes refuse, reset, stay silent or answer
// with a given result, answer late, or make the box vanish.
//
// Line-printer daemon (RFC 1179 receive job): queues "hold_N" put a job
// into the N-th folder by name; other queues are refused with a non-zero
// acknowledgement. Knobs withhold, delay or spoil an acknowledgement, close
// or reset in the middle of a file, read through a small receive window, or
// make the box vanish.
//
// A box that vanishes (either fault's Gone) neither reads nor answers on
// any of its connections from then on, and takes no new ones (the system
// still completes their handshake): to a client it is a box switched off.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "toolbox/types.h"

namespace pboxemu {

class Reactor;

struct HeldFolder {
  UInt32 id = 0;
  std::string name;  // the bytes the box holds (its clients write their language's encoding)
  UInt8 attr2A = 0;
  UInt16 attr2B = 0;
  // The language and system codes listed with the folder (records 0x000F
  // and 0x0010): those of the client that named it, as a rename brings them.
  UInt8 language = 14;
  UInt8 system = 122;
};

struct HeldJob {
  UInt32 id = 0;  // 0: given by AddJob
  UInt32 folder = 0;  // folder id
  std::string name;   // the bytes the box holds, as for folders
  std::string owner;
  UInt8 byte05 = 0;
  UInt16 year = 2026;
  UInt8 month = 1, day = 2, hour = 3, minute = 4;
  UInt16 pages = 1;
  UInt32 size = 0;  // reported size; the data's when 0 and data is given
  std::vector<UInt8> data;  // what a download returns (size bytes of a pattern when empty)
  UInt16 paper = 4;
  UInt16 resolution = 0x3C3C;
  bool thumbnails = true;
  bool listed = false;  // in the box's own job list (list kind 1), not yet filed
  // The language and system codes listed with the job (records 0x000F and
  // 0x0010): those of the client that named it, as a rename brings them.
  UInt8 language = 14;
  UInt8 system = 122;
};

enum class HoldFault {
  None,
  Reset,   // the connection is reset after `bytes` bytes of the reply (0: before any)
  Silent,  // requests are read and never answered
  Result,  // the reply is one frame with result `result` and no records
  Stall,   // `bytes` bytes of the reply are sent, then nothing more (the connection stays open)
  Late,    // the reply goes out `ticks` ticks late (TickCount, so the virtual clock counts)
  Gone,    // the box vanishes when the request comes, before any reply
};

struct HoldFaultSpec {
  HoldFault mode = HoldFault::None;
  int code = 0;    // only replies to this request code (0: any)
  int skip = 0;    // matching requests let through first
  int count = -1;  // requests it hits, then it is off; -1: until cleared
  UInt8 result = 2;
  UInt32 bytes = 0;
  UInt32 ticks = 180;
};

enum class LpdFault {
  None,
  NoAck,          // the `step`-th acknowledgement (from 1) is never sent
  LateAck,        // the `step`-th acknowledgement goes `ticks` ticks late
  NonZeroAck,     // the `step`-th acknowledgement is `value`
  CloseMid,       // the connection is closed after `bytes` bytes of the data file
  SmallWindow,    // a receive buffer of `bytes` bytes, read slowly
  HangUpAtAck,    // the connection is reset instead of the `step`-th acknowledgement
  TrailingBytes,  // `bytes` more bytes follow the `step`-th acknowledgement
  ResetMid,       // the connection is reset after `bytes` bytes of the data file
  Gone,           // the box vanishes after `bytes` bytes of the data file
};

struct LpdFaultSpec {
  LpdFault mode = LpdFault::None;
  int step = 1;
  UInt32 ticks = 60;
  UInt8 value = 1;
  UInt32 bytes = 4096;
  int count = -1;  // connections it hits; -1: all
};

struct LprSession {
  std::string queue;
  std::vector<UInt8> raw;  // every byte the client sent, in order
  std::string dataName, controlName;
  std::vector<UInt8> data;
  std::string control;
  bool complete = false;  // both files whole and acknowledged
  UInt16 sourcePort = 0;
};

class HoldServer {
 public:
  HoldServer();
  ~HoldServer();

  // lineprinter false: the boxes' port 515 is left to a real daemon.
  void Enable(bool lineprinter = true);
  bool Enabled() const;

  // The model. A box that is "newer" answers a kind-2 list with the folder
  // asked for only; an older one lists every held job.
  void AddFolder(int box, const HeldFolder& folder);
  UInt32 AddJob(int box, HeldJob job);
  std::vector<HeldFolder> Folders(int box) const;
  std::vector<HeldJob> Jobs(int box) const;
  void SetNewer(int box, bool newer);
  // Changes the model as a user at the box would: the change numbers move.
  void Touch(int box);
  // Ticks (TickCount) an uploaded job stays in the box's own list before it
  // is filed into its folder; 0: filed at once.
  void SetFilingDelay(int box, UInt32 ticks);

  // Reply shaping: records cut into frames of at most frameBody bytes of
  // records (0: 16,380); the bytes written in pieces of at most piece bytes
  // (0: the whole reply at once).
  void SetFraming(int box, std::size_t frameBody, std::size_t piece);
  // The next n requests are answered "not ready" (result 2).
  void SetNotReady(int box, int n);
  void SetFault(int box, const HoldFaultSpec& fault);
  void SetLpdFault(int box, const LpdFaultSpec& fault);

  // Logs: every request frame received, the connections accepted, the
  // line-printer sessions and the print requests' options.
  std::vector<std::vector<UInt8>> Requests(int box) const;
  int Connections(int box) const;
  std::vector<LprSession> LprSessions(int box) const;
  void ClearLog();

  // Used by the emulator.
  bool open(Reactor& reactor, const std::vector<UInt32>& boxAddrs, std::string* error);
  void close();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// A port map of this process's own ports for the held-job protocol and the
// line-printer daemon, for TOOLBOX_PORTMAP.
std::string HoldPortMap();

}  // namespace pboxemu
