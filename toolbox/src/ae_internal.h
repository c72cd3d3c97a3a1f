// Shared between the Apple-event, process and Finder modules of the toolbox.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "toolbox/appleevents.h"
#include "toolbox/processes.h"

namespace aeimpl {

// One item of a flattened list, record or parameter set.
struct Item {
  AEKeyword key = 0;
  DescType type = typeNull;
  std::string data;
};

// The flattened layouts (all big-endian):
//   list    count:u32 { type:u32 len:u32 bytes }*
//   record  count:u32 { key:u32 type:u32 len:u32 bytes }*
//   event   class:u32 id:u32 returnID:u32 transactionID:u32
//           address{type len bytes} from{type len bytes} record
bool ParseItems(std::string_view bytes, bool keyed, std::vector<Item>& out);
std::string BuildItems(const std::vector<Item>& items, bool keyed);

struct Event {
  AEEventClass eventClass = 0;
  AEEventID eventID = 0;
  SInt32 returnID = 0;
  SInt32 transactionID = 0;
  Item address;
  Item from;
  std::vector<Item> params;
};
bool ParseEvent(std::string_view bytes, Event& out);
std::string BuildEvent(const Event& ev);

// The descriptor's bytes (empty for a null descriptor).
std::string_view DescBytes(const AEDesc* d);
// Makes a descriptor holding a copy of bytes.
OSErr MakeDesc(DescType type, std::string_view bytes, AEDesc* out);
// Coerces data of one type to another; errAECoercionFail when we cannot.
OSErr Coerce(DescType from, std::string_view data, DescType to, DescType* outType, std::string* out);

// Reads a 4-byte host-order value from descriptor data.
bool HostU32(std::string_view data, UInt32& out);
bool HostPSN(std::string_view data, ProcessSerialNumber& out);

// Printable form of a four-character code.
std::string CodeText(FourCharCode c);

// --- Process identity (processes.cpp) ---
ProcessSerialNumber CurrentPSN();
// The generation of a live process (its start time), 0 when it does not run.
UInt32 ProcessGeneration(int pid);
bool ProcessAlive(const ProcessSerialNumber& psn);
// The folder of the sockets, made 0700 when missing; "" when unusable.
std::string SocketDir(bool create);
// Socket file name of a creator and pid.
std::string SocketName(OSType creator, int pid);
// Live listeners: pids whose socket accepts datagrams, by creator (0: any).
struct Listener {
  OSType creator;
  int pid;
  std::string path;
};
std::vector<Listener> FindListeners(OSType creator, int pid);
// A child this process started, to be reaped when it ends.
void TrackChild(int pid);

// --- Transport (ae_transport.cpp) ---
// Delivers a flattened event to the listener at path.
OSErr DeliverToSocket(const std::string& path, std::string_view flat, bool high, SInt32 timeoutTicks);
// The launch event handed over by LaunchApplication, if any (taken once).
bool TakeLaunchEvent(std::string* flat);
// Environment variables that carry the launch event and the program file
// into a launched program.
constexpr const char* kLaunchEventEnv = "VEMO_LAUNCH_EVENT";
constexpr const char* kAppFileEnv = "TOOLBOX_APP_PATH";

// --- Finder stand-in (finder.cpp) ---
OSErr FinderHandleEvent(const Event& ev);

// --- Recorder (finder.cpp) ---
void RecordSentEvent(std::string_view flat, const Event& ev);
void RecordLaunch(const std::string& path, const ProcessSerialNumber& psn);
void RecordOpen(const std::string& path);
// A sound event ("play", "stop", "rewind", "done") of a sound file.
void RecordSound(const char* what, const std::string& path);

}  // namespace aeimpl
