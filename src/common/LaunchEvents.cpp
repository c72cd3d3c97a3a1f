// Handing data to another program of the suite by Apple event, whether it
// is running or started for it, and asking the Finder to open a document.
#include "common/LaunchEvents.h"

#include "toolbox/aliases.h"
#include "toolbox/files.h"
#include "toolbox/memory.h"

namespace {

// The first failure wins, so one error code never mixes with another.
void keep_first(OSErr* result, OSErr err) {
  if (*result == noErr) *result = err;
}

// The event to target with the list of one data item under keyword.
OSErr build_event(const AEAddressDesc* target, const void* data, Size dataLen,
                  AEEventClass eventClass, AEEventID eventID, DescType descType,
                  AEKeyword keyword, AppleEvent* event) {
  AEInitializeDesc(event);
  if (dataLen < 0 || (!data && dataLen > 0)) return paramErr;
  OSErr err = AECreateAppleEvent(eventClass, eventID, target, kAutoGenerateReturnID,
                                 kAnyTransactionID, event);
  if (err != noErr) return err;
  AEDescList list;
  AEInitializeDesc(&list);
  err = AECreateList(nullptr, 0, false, &list);
  if (err == noErr) err = AEPutPtr(&list, 1, descType, data, dataLen);
  if (err == noErr) err = AEPutParamDesc(event, keyword, &list);
  keep_first(&err, AEDisposeDesc(&list));
  if (err != noErr) AEDisposeDesc(event);
  return err;
}

OSErr send_to(DescType addressType, const void* address, Size addressSize, const void* data,
              Size dataLen, AEEventClass eventClass, AEEventID eventID, DescType descType,
              AEKeyword keyword) {
  AEAddressDesc target;
  OSErr err = AECreateDesc(addressType, address, addressSize, &target);
  if (err != noErr) return err;
  AppleEvent event;
  err = build_event(&target, data, dataLen, eventClass, eventID, descType, keyword, &event);
  if (err == noErr) {
    err = AESend(&event, nullptr, kAENoReply + kAECanSwitchLayer, kAEHighPriority,
                 kAEDefaultTimeout, nullptr, nullptr);
    keep_first(&err, AEDisposeDesc(&event));
  }
  keep_first(&err, AEDisposeDesc(&target));
  return err;
}

}  // namespace

OSErr SendAppliData(const void* data, Size dataLen, OSType creator, AEEventClass eventClass,
                    AEEventID eventID, DescType descType, AEKeyword keyword) {
  return send_to(typeApplSignature, &creator, sizeof creator, data, dataLen, eventClass, eventID,
                 descType, keyword);
}

OSErr SendAppliData_ToProcessNum(const ProcessSerialNumber* psn, const void* data, Size dataLen,
                                 OSType /*creator*/, AEEventClass eventClass, AEEventID eventID,
                                 DescType descType, AEKeyword keyword) {
  if (!psn) return paramErr;
  return send_to(typeProcessSerialNumber, psn, sizeof *psn, data, dataLen, eventClass, eventID,
                 descType, keyword);
}

OSErr SendAppliCommand(const FSSpec* appSpec, const void* data, Size dataLen, OSType creator,
                       AEEventClass eventClass, AEEventID eventID, DescType descType,
                       AEKeyword keyword, ProcessSerialNumber* outPSN) {
  if (!appSpec) return paramErr;
  AEAddressDesc target;
  OSErr err = AECreateDesc(typeApplSignature, &creator, sizeof creator, &target);
  if (err != noErr) return err;
  AppleEvent event;
  err = build_event(&target, data, dataLen, eventClass, eventID, descType, keyword, &event);
  if (err == noErr) {
    AEDesc params;
    AEInitializeDesc(&params);
    err = AECoerceDesc(&event, typeAppParameters, &params);
    if (err == noErr) {
      FSSpec app = *appSpec;
      LaunchParamBlockRec pb{};
      pb.launchBlockID = extendedBlock;
      pb.launchEPBLength = extendedBlockLen;
      pb.launchFileFlags = 0;
      pb.launchControlFlags = launchContinue + launchNoFileFlags;
      pb.launchAppSpec = &app;
      pb.launchAppParameters = reinterpret_cast<AppParametersPtr>(*params.dataHandle);
      err = LaunchApplication(&pb);
      if (outPSN) *outPSN = pb.launchProcessSN;
      if (err == noErr && pb.launchPreferredSize == 0) err = -1;
      keep_first(&err, AEDisposeDesc(&params));
    }
    keep_first(&err, AEDisposeDesc(&event));
  }
  keep_first(&err, AEDisposeDesc(&target));
  return err;
}

OSErr SendOpenDoc(const FSSpec* docSpec) {
  if (!docSpec) return paramErr;
  // An empty name names the folder itself.
  FSSpec folder;
  const Str255 self = {0};
  OSErr err = FSMakeFSSpec(docSpec->vRefNum, docSpec->parID, self, &folder);
  if (err != noErr) return err;
  AliasHandle folderAlias = nullptr;
  AliasHandle docAlias = nullptr;
  err = NewAlias(nullptr, &folder, &folderAlias);
  if (err == noErr) err = NewAlias(nullptr, docSpec, &docAlias);

  OSType finder = kFinderSignature;
  AEAddressDesc target;
  AEInitializeDesc(&target);
  AppleEvent event;
  AEInitializeDesc(&event);
  AEDescList selection;
  AEInitializeDesc(&selection);
  if (err == noErr) err = AECreateDesc(typeApplSignature, &finder, sizeof finder, &target);
  if (err == noErr)
    err = AECreateAppleEvent(kFinderEventClass, kAEOpenSelection, &target, kAutoGenerateReturnID,
                             kAnyTransactionID, &event);
  if (err == noErr)
    err = AEPutParamPtr(&event, keyDirectObject, typeAlias, *reinterpret_cast<Handle>(folderAlias),
                        GetHandleSize(reinterpret_cast<Handle>(folderAlias)));
  if (err == noErr) err = AECreateList(nullptr, 0, false, &selection);
  if (err == noErr)
    err = AEPutPtr(&selection, 1, typeAlias, *reinterpret_cast<Handle>(docAlias),
                   GetHandleSize(reinterpret_cast<Handle>(docAlias)));
  if (err == noErr) err = AEPutParamDesc(&event, keyAEFileSelection, &selection);
  if (err == noErr)
    err = AESend(&event, nullptr, kAENoReply + kAENeverInteract, kAENormalPriority, 120, nullptr,
                 nullptr);
  AEDisposeDesc(&selection);
  AEDisposeDesc(&event);
  AEDisposeDesc(&target);
  if (docAlias) DisposeHandle(reinterpret_cast<Handle>(docAlias));
  if (folderAlias) DisposeHandle(reinterpret_cast<Handle>(folderAlias));
  return err;
}
