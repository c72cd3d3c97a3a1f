// Apple Event Manager over local IPC.
//
// Descriptors hold their data in a Memory Manager handle, so `*desc.dataHandle`
// is the descriptor's bytes and GetHandleSize its length, as callers of the
// old interface expect. Lists, records and events keep a flattened form of
// their items in that handle (our own layout, read only by this layer).
//
// Transport. Every program that receives Apple events listens on a Unix
// datagram socket named "<creator>.<pid>" in $XDG_RUNTIME_DIR/vemo/ (made 0700;
// /tmp/vemo-<uid>/ when XDG_RUNTIME_DIR is unset or the path would be too long
// for a socket). Creator characters other than letters, digits, '_' and '-'
// are written as %XX. The listener starts on the first AEInstallEventHandler,
// on tb::StartAppleEvents, or on the first look for a high-level event of a
// program that runs from a bundle or was started with a launch event. When it
// starts, the first event is queued: the launch event handed over by
// LaunchApplication, or else 'aevt'/'oapp'.
//
// Delivery to the Event Manager. The layer registers tb::SetHighLevelEventSource
// (pump.h). While an event waits, the Event Manager reports it as a
// high-level event: what = kHighLevelEvent (23), message = the event class,
// where = the event id with its high 16 bits in where.v and its low 16 bits
// in where.h (HighLevelEventID in events.h reads it back). Looking does not
// take the event (EventAvail may look as often as it likes). AEProcessAppleEvent
// then takes the head of the queue and calls the handler installed for it.
// The event record itself is not read: the queue's head is the event. Once
// the program has installed a handler, an event for which none is installed
// (not even a wildcard one) is dropped when it reaches the head, so a program
// never sees a high-level event that it cannot process; before the first
// handler nothing is reported, so the launching event waits for them.
// High-priority events (kAEHighPriority) go ahead of normal ones.
//
// Sending. AESend supports the no-reply mode only (the reply modes answer
// errAEUnknownSendMode). Addresses: typeApplSignature (the creator, 4 bytes in
// host order, as AECreateDesc(typeApplSignature, &sig, 4) gives them) and
// typeProcessSerialNumber (a ProcessSerialNumber in host order). A target
// that does not run, or runs without listening, gives procNotFound (-600).
// The signature 'MACS' is served in-process by the Finder stand-in
// (toolbox/finder.h): 'aevt'/'odoc' and 'FNDR'/'sope' open their items.
// The time-out only bounds the wait for room in a full receiver queue.
// kAECanSwitchLayer is accepted and has no effect: every program is the
// front process of its own screen (processes.h).
#pragma once

#include <cstddef>
#include <string>

#include "toolbox/events.h"
#include "toolbox/types.h"

using DescType = FourCharCode;
using AEKeyword = FourCharCode;
using AEEventClass = FourCharCode;
using AEEventID = FourCharCode;
using AEReturnID = SInt16;
using AETransactionID = SInt32;
using AESendMode = SInt32;
using AESendPriority = SInt16;
using AEDataStorage = Handle;
using SRefCon = long;

struct AEDesc {
  DescType descriptorType;
  AEDataStorage dataHandle;
};
using AEDescList = AEDesc;
using AERecord = AEDesc;
using AEAddressDesc = AEDesc;
using AppleEvent = AEDesc;
using AEDescPtr = AEDesc*;

// Launch parameters ('appa'): the data of a descriptor coerced to
// typeAppParameters. Its layout is ours; only LaunchApplication reads it.
struct AppParameters;
using AppParametersPtr = AppParameters*;

enum : DescType {
  typeNull = 'null',
  typeWildCard = '****',
  typeChar = 'TEXT',
  typeUTF8Text = 'utf8',
  typeAEList = 'list',
  typeAERecord = 'reco',
  typeAppleEvent = 'aevt',
  typeAppParameters = 'appa',
  typeApplSignature = 'sign',
  typeProcessSerialNumber = 'psn ',
  typeAlias = 'alis',
  typeFSS = 'fss ',
  typeType = 'type',
  typeSInt16 = 'shor',
  typeSInt32 = 'long',
  typeBoolean = 'bool',
};

enum : AEKeyword {
  keyDirectObject = '----',
  keyAEFileSelection = 'fsel',
  keyEventClassAttr = 'evcl',
  keyEventIDAttr = 'evid',
  keyAddressAttr = 'addr',
  keyReturnIDAttr = 'rtid',
  keyTransactionIDAttr = 'tran',
  keyOriginalAddressAttr = 'from',
};

enum : AEEventClass {
  kCoreEventClass = 'aevt',
  kFinderEventClass = 'FNDR',
};
enum : AEEventID {
  kAEOpenApplication = 'oapp',
  kAEReopenApplication = 'rapp',
  kAEOpenDocuments = 'odoc',
  kAEQuitApplication = 'quit',
  kAEOpenSelection = 'sope',
};

// The Finder's signature: events to it are served in-process.
enum : OSType { kFinderSignature = 'MACS' };

enum : AEReturnID { kAutoGenerateReturnID = -1 };
enum : AETransactionID { kAnyTransactionID = 0 };

enum : AESendMode {
  kAENoReply = 0x00000001,
  kAEQueueReply = 0x00000002,
  kAEWaitReply = 0x00000003,
  kAEDontReconnect = 0x00000080,
  kAEWantReceipt = 0x00000200,
  kAENeverInteract = 0x00000010,
  kAECanInteract = 0x00000020,
  kAEAlwaysInteract = 0x00000030,
  kAECanSwitchLayer = 0x00000040,
  kAEDontRecord = 0x00001000,
  kAEDontExecute = 0x00002000,
};
enum : AESendPriority { kAENormalPriority = 0, kAEHighPriority = 1 };
enum : SInt32 { kAEDefaultTimeout = -1, kNoTimeOut = -2 };

enum : OSErr {
  errAENotAppleEvent = -1707,  // no Apple event is waiting
};
// Largest flattened event the transport carries; AESend answers paramErr
// for a bigger one.
constexpr std::size_t kAEMaxEventBytes = 128 * 1024;

// Handlers.
using AEEventHandlerProcPtr = OSErr (*)(const AppleEvent* theAppleEvent, AppleEvent* reply,
                                        SRefCon handlerRefcon);
using AEEventHandlerUPP = AEEventHandlerProcPtr;
using AEIdleProcPtr = Boolean (*)(EventRecord* theEvent, SInt32* sleepTime, void** mouseRgn);
using AEIdleUPP = AEIdleProcPtr;
using AEFilterProcPtr = Boolean (*)(EventRecord* theEvent, SInt32 returnID,
                                    SInt32 transactionID, const AEAddressDesc* sender);
using AEFilterUPP = AEFilterProcPtr;

AEEventHandlerUPP NewAEEventHandlerUPP(AEEventHandlerProcPtr proc);
void DisposeAEEventHandlerUPP(AEEventHandlerUPP upp);
OSErr InvokeAEEventHandlerUPP(const AppleEvent* theAppleEvent, AppleEvent* reply,
                              SRefCon handlerRefcon, AEEventHandlerUPP upp);

// Installing again for the same class and id replaces the handler. Either
// may be typeWildCard. isSysHandler is accepted and ignored (one table).
OSErr AEInstallEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID,
                            AEEventHandlerUPP handler, SRefCon handlerRefcon, Boolean isSysHandler);
// errAEHandlerNotFound when that handler is not installed for the pair.
OSErr AERemoveEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID,
                           AEEventHandlerUPP handler, Boolean isSysHandler);
OSErr AEGetEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID,
                        AEEventHandlerUPP* handler, SRefCon* handlerRefcon, Boolean isSysHandler);

// Takes the waiting event and runs its handler; returns the handler's
// result (errAEEventNotHandled when none is installed, errAENotAppleEvent
// when nothing waits). theEventRecord may be null.
OSErr AEProcessAppleEvent(const EventRecord* theEventRecord);

// Descriptors.
void AEInitializeDesc(AEDesc* desc);
OSErr AECreateDesc(DescType typeCode, const void* dataPtr, Size dataSize, AEDesc* result);
OSErr AEDisposeDesc(AEDesc* theAEDesc);
OSErr AEDuplicateDesc(const AEDesc* theAEDesc, AEDesc* result);
Size AEGetDescDataSize(const AEDesc* theAEDesc);
// Copies at most maximumSize bytes of the data.
OSErr AEGetDescData(const AEDesc* theAEDesc, void* dataPtr, Size maximumSize);
OSErr AECoerceDesc(const AEDesc* theAEDesc, DescType toType, AEDesc* result);
OSErr AECoercePtr(DescType typeCode, const void* dataPtr, Size dataSize, DescType toType,
                  AEDesc* result);

// Lists and records. Item indexes count from 1; AEPutPtr/AEPutDesc with
// index 0 or count + 1 append.
OSErr AECreateList(const void* factoringPtr, Size factoredSize, Boolean isRecord,
                   AEDescList* resultList);
OSErr AECountItems(const AEDescList* theAEDescList, long* theCount);
OSErr AEPutPtr(AEDescList* theAEDescList, long index, DescType typeCode, const void* dataPtr,
               Size dataSize);
OSErr AEPutDesc(AEDescList* theAEDescList, long index, const AEDesc* theAEDesc);
// Copies at most maximumSize bytes; *actualSize is the item's whole size.
OSErr AEGetNthPtr(const AEDescList* theAEDescList, long index, DescType desiredType,
                  AEKeyword* theAEKeyword, DescType* typeCode, void* dataPtr, Size maximumSize,
                  Size* actualSize);
OSErr AEGetNthDesc(const AEDescList* theAEDescList, long index, DescType desiredType,
                   AEKeyword* theAEKeyword, AEDesc* result);
OSErr AEDeleteItem(AEDescList* theAEDescList, long index);
OSErr AEPutKeyPtr(AERecord* theAERecord, AEKeyword theAEKeyword, DescType typeCode,
                  const void* dataPtr, Size dataSize);
OSErr AEPutKeyDesc(AERecord* theAERecord, AEKeyword theAEKeyword, const AEDesc* theAEDesc);
OSErr AEGetKeyPtr(const AERecord* theAERecord, AEKeyword theAEKeyword, DescType desiredType,
                  DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize);
OSErr AEGetKeyDesc(const AERecord* theAERecord, AEKeyword theAEKeyword, DescType desiredType,
                   AEDesc* result);

// Apple events.
OSErr AECreateAppleEvent(AEEventClass theAEEventClass, AEEventID theAEEventID,
                         const AEAddressDesc* target, AEReturnID returnID,
                         AETransactionID transactionID, AppleEvent* result);
OSErr AEPutParamPtr(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType typeCode,
                    const void* dataPtr, Size dataSize);
OSErr AEPutParamDesc(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, const AEDesc* theAEDesc);
OSErr AEGetParamPtr(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                    DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize);
OSErr AEGetParamDesc(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword,
                     DescType desiredType, AEDesc* result);
// Attributes: keyEventClassAttr and keyEventIDAttr (typeType), keyAddressAttr
// (the target), keyReturnIDAttr (typeSInt16), keyTransactionIDAttr
// (typeSInt32), keyOriginalAddressAttr (the sender's serial number, on
// received events).
OSErr AEGetAttributePtr(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword,
                        DescType desiredType, DescType* typeCode, void* dataPtr, Size maximumSize,
                        Size* actualSize);
OSErr AEGetAttributeDesc(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword,
                         DescType desiredType, AEDesc* result);

OSErr AESend(const AppleEvent* theAppleEvent, AppleEvent* reply, AESendMode sendMode,
             AESendPriority sendPriority, SInt32 timeOutInTicks, AEIdleUPP idleProc,
             AEFilterUPP filterProc);

namespace tb {

// Starts listening now (normally automatic, see above). Returns the error
// when the socket cannot be made; the program then receives nothing from
// other processes.
OSErr StartAppleEvents();
// Stops listening, removes the socket, empties the queue and the handler
// table, forgets the launch event (tests).
void ResetAppleEvents();
// The socket this process listens on ("" when not listening).
std::string AppleEventSocketPath();
// Number of events waiting.
int PendingAppleEvents();
// Runs the pump once for at most maxWaitMs and processes every waiting
// event whose class and id pass; for programs without an Event Manager loop
// (and tests).
int ProcessPendingAppleEvents(int maxWaitMs);

// Flattened form of an event (what the transport carries) and back; the
// reader checks every length and rejects anything malformed with
// errAECorruptData.
OSErr FlattenAppleEvent(const AppleEvent* event, std::string* out);
OSErr UnflattenAppleEvent(const void* data, std::size_t size, AppleEvent* out);

}  // namespace tb
