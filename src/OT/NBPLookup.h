// The AppleTalk side of the communication layer: looking print boxes up by
// NBP name with a lookup packet built here and sent as a DDP datagram, the
// table of the addresses that answered, and the own zone and zone list.
#pragma once

#include <span>

#include "OT/OTEndpoint.h"
#include "toolbox/appletalk.h"
#include "toolbox/types.h"

// Statuses of the lookup's callback (NBPEPInfo::NotifyProcPtr): a row was
// added (asynchronous lookups only), or the endpoint has ended.
enum : SInt16 {
  NBP_NOTIFY_SUCCESS = 0,
  NBP_NOTIFY_TIMEOUT = 2,
  NBP_NOTIFY_ERROR = 3,
  NBP_NOTIFY_ROW = 4,
};

// NBP functions (high four bits of the packet's first byte).
enum : UInt8 {
  NBP_FUNC_BRRQ = 1,   // broadcast request
  NBP_FUNC_LKUP = 2,   // lookup
  NBP_FUNC_REPLY = 3,  // lookup reply
};

// Where lookups go: the names information socket of every node.
enum : UInt8 {
  NBP_BROADCAST_NODE = 255,
  NBP_NIS_SOCKET = 2,
  NBP_DDP_TYPE = 2,
};

// The table of answers starts with this many rows and doubles when full,
// so a flood of answers costs no more than twice its rows in copying.
constexpr SInt16 kNBPTableStep = 16;
// Datagrams one step of a lookup reads at most; the next pump reads on.
constexpr int kNBPMaxReadsPerStep = 64;

// Makes room for one more row behind the count rows of table: the same
// table, or a larger cleared copy (the old one disposed). Null when there
// is no room (the count is at its limit, or memory ran out); the table is
// then left as it was.
NBPAddrTable* NBP_GrowTable(NBPAddrTable* table, SInt16 count);

// ZIP_GetZone requests and its error for any other.
enum : short {
  ZIP_OWN_ZONE = 0,
  ZIP_ZONE_LIST = 1,
};
enum : OSStatus { ZIP_BAD_FLAG_ERR = -555 };
// The error word of an asynchronous ZIP_GetZone while it is under way.
enum : OSStatus { ZIP_PENDING = -1 };

namespace nbp {

// The NBP id of the last lookup: advanced before each one, 255 followed by 1.
extern UInt8 transID;

// The lookup endpoint's notifier (called directly in synchronous mode).
void EndpointNotifierProc(void* context, OTEventCode code, OTResult result, void* cookie);

}  // namespace nbp

// Runs one lookup of object:type@zone (each name at most 32 bytes; zone "*"
// is the own zone, read through ZIP_GetZone). Synchronous: collects answers
// for the whole time-out, then returns the rows (count in *count), which the
// caller frees with DisposePtr; null when none came. Asynchronous: returns
// null at once; each answer is added to ep->nbpAddrTable and reported with
// NBP_NOTIFY_ROW; the lookup runs until NBP_KillIOEvent, and the table is
// freed just before the end status is reported. *err: 0, the error that
// stopped it, -1 without a record, kOTBadDataErr for a name too long.
NBPAddrTable* NBP_LookupName(NBPEPInfo* ep, const char* object, const char* type, const char* zone,
                             UInt32 timeoutMs, OSStatus* err, short* count, Boolean async);

// Reads one datagram and, when it is a lookup reply with a well-formed
// first tuple, adds that tuple as a row: 1 when a row was added, else 0.
short NBP_RcvAddress(NBPEPInfo* ep, EndpointRef ref);

// Sends the lookup packet of a bound lookup whose packet has not gone out
// yet (a send held up by flow control); nothing otherwise.
void NBP_SndLookup(NBPEPInfo* ep);

// Ends the lookup: flushes; a synchronous record then runs the flush and
// unbind completions at once. A lookup whose open is still under way ends
// as soon as the open completes.
void NBP_KillIOEvent(NBPEPInfo* ep);

// True while the lookup's endpoint is open or being opened; the owner of
// the record must not free it before this turns false.
bool NBP_IsActive(const NBPEPInfo* ep);

// Reads the own zone (flag 0) or the zone list (flag 1) into buffer as
// packed length-prefixed names; returns the number of zones.
// Synchronous: *err is the result (-555 for another flag). Asynchronous:
// returns 0 with *err = -1, and *err later becomes the number of zones or
// the error (-3159 for a bad flag); buffer and *err must stay valid until
// then.
short ZIP_GetZone(UInt8* buffer, long size, short flag, OSStatus* err, Boolean async);

// The notifier of the AppleTalk services an asynchronous ZIP_GetZone opens.
void ATalkSvcNotify(void* context, OTEventCode code, OTResult result, void* cookie);

// Number of non-empty names in a packed list of length bytes; a name that
// runs past the end is not counted.
short CntZoneList(const UInt8* list, long length);

// One entry of a zone-name table: a zone name (at most 32 bytes) and its NUL.
constexpr std::size_t kZoneNameEntry = 64;
// Fills a zone-name table from a packed zone list (ZIP_GetZone's buffer):
// entries 1.. the first `count` names, NUL-terminated; entry 0 the number
// kept as decimal text. At most entries - 1 names are kept, the rest are
// dropped; the walk ends at an empty name or one that runs past the list.
// Returns the number kept.
short ZIP_ZoneNameSet(std::span<const UInt8> list, short count, char (*names)[kZoneNameEntry], int entries);
