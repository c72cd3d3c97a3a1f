// Choosing several files to send, through the toolbox's file chooser.
#include "OT/SelectFile.h"

#include "common/AppWindows.h"

short Get_Select_File_Spec(FSSpec* folder, FSSpec* files) {
  if (!files) return 0;
  NavDialogOptions options{};
  NavGetDefaultDialogOptions(&options);
  options.dialogOptionFlags |= kNavAllowMultipleFiles;
  NavReplyRecord reply{};
  OSErr err = NavGetFile(nullptr, &reply, &options, File_Select_Filter, nullptr, nullptr, nullptr, nullptr);
  if (err != noErr || !reply.validRecord) {
    // A cancelled chooser may still have handed over an empty selection.
    NavDisposeReply(&reply);
    return 0;
  }
  long chosen = 0;
  AECountItems(&reply.selection, &chosen);
  short copied = 0;
  for (long i = 1; i <= chosen && copied < kSelectFileMax; ++i) {
    FSSpec spec{};
    AEKeyword keyword = 0;
    DescType type = 0;
    Size size = 0;
    if (AEGetNthPtr(&reply.selection, i, typeFSS, &keyword, &type, &spec, sizeof spec, &size) != noErr ||
        size < static_cast<Size>(sizeof spec))
      continue;
    // The name can also be read as a C string behind its length byte; a
    // 63-byte name keeps its zero in the record's extra byte.
    UInt8 len = spec.name[0] > 63 ? 63 : spec.name[0];
    spec.name[0] = len;
    if (len < 63)
      spec.name[len + 1] = 0;
    else
      spec.nameTerm = 0;
    files[copied++] = spec;
  }
  if (folder && copied > 0) {
    *folder = FSSpec{};
    folder->vRefNum = files[0].vRefNum;
    folder->parID = files[0].parID;
  }
  NavDisposeReply(&reply);
  return copied;
}

void File_Select_Filter(NavEventCallbackMessage selector, NavCBRecPtr params, void*) {
  if (selector != kNavCBEvent || !params) return;
  EventRecord* event = params->eventData.eventDataParms.event;
  if (event && event->what == updateEvt) Handle_Update(event);
}
