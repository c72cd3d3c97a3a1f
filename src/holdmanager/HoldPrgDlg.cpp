// The progress dialog: what the running command does, how far a transfer
// has come, and its Cancel button.
#include <cstring>

#include "holdmanager/HoldControls.h"
#include "holdmanager/HoldMainWnd.h"
#include "toolbox/quickdraw.h"
#include "toolbox/windows.h"

namespace {

enum : DialogItemIndex { kPrgInfo = 1, kPrgCancel = 2, kPrgTitle = 3, kPrgTransfer = 4, kPrgBar = 5 };

struct PRG_DLG_DATA {
  DLG_HANDLERS handlers;
  STC_DATA* texts;
  DialogRef dialog;
  SInt16 resID;
  UInt64 done, total;
  UInt16 command;
  ControlRef bar;
  EventHandlerRef evtHandler;
  std::string info, transfer, title;
  // The title's and the figures' forms from the string file, read once for
  // the command they were read for (the texts are set at every step).
  std::string titleForm, transferForm;
  UInt16 formsCommand;
  bool formsRead;
  int percent;
  PRG_REQUEST* request;  // the request of the step in progress
};

PRG_DLG_DATA* gPrg = nullptr;

// The progress dialog's own texts (the bar's label only in dialog 260).
const DLG_ITEM_TEXT gPrgDlgItem[] = {{kPrgCancel, "BUTTON", "CANCEL="}, {kPrgTitle, "LABEL", "STC_TITLE="}};

void setText(PRG_DLG_DATA* p, DialogItemIndex item, const std::string& text) {
  Str255 s;
  SetPStrCut(s, text);
  int index = 0;
  for (STC_DATA* t = p->texts; t; t = t->next, ++index)
    if (t->item == item) {
      std::memcpy(t->text, s, s[0] + 1);
      STCDraw(t);
      return;
    }
  Str255 font{};
  STCAddList(&p->texts, p->dialog, UInt16(item), font, SInt16(gDefaultFont.fSize ? gDefaultFont.fSize : 12),
             gTextEncoding, s);
  for (STC_DATA* t = p->texts; t; t = t->next)
    if (t->item == item) {
      t->fontID = SInt16(gDefaultFont.fontID);
      STCDraw(t);
    }
}

const char* titleKey(UInt16 command) {
  switch (command) {
    case CMD_DELETE: return "DELETE=";
    case CMD_RENAME:
    case CMD_FOLDER_RENAME: return "RENAME=";
    case CMD_PRINT: return "PRINT=";
    case CMD_DOWNLOAD: return "DOWNLOAD=";
    case CMD_MOVE: return "MOVE=";
    case CMD_UPLOAD: return "UPLOAD=";
  }
  return "";
}

void UpdatePrgDlg(DialogRef dialog) {
  if (!gPrg || gPrg->dialog != dialog) return;
  tb::PortSaver saver(GetDialogPort(dialog));
  DrawDialog(dialog);
  STCDrawList(gPrg->texts);
}

void SelectPrgDlg(DialogRef, DialogItemIndex item) {
  if (item != kPrgCancel) return;
  MAIN_DLG_DATA* m = GetMainDlgData();
  if (!m) return;
  // Upload: the line-printer job is closed; others end with the cancel code.
  CancelPrgCmd(&m->eng);
  if (m->eng.current == CMD_UPLOAD) CommandPendingLoop(&m->eng);
}

void MouseDownPrgDlg(EventRecord* event, DialogRef dialog) {
  if (!gPrg || gPrg->dialog != dialog || !event) return;
  // The close box cancels as the button does.
  if (TrackOneButtonPress(event, dialog, kPrgCancel) != OneButtonPress::none) SelectPrgDlg(dialog, kPrgCancel);
}

Boolean KeyDownPrgDlg(EventRecord* event, DialogRef dialog) {
  if (!gPrg || gPrg->dialog != dialog || !event) return false;
  if (!OneButtonKey(event, dialog, kPrgCancel)) return false;
  SelectPrgDlg(dialog, kPrgCancel);
  return true;
}

}  // namespace

DialogRef GetPrgDlgPtr() { return gPrg ? gPrg->dialog : nullptr; }

void SetPrgCmd(PRG_REQUEST* request) {
  if (gPrg) gPrg->request = request;
}

void SetPrgCurrentCmd(UInt16 command) {
  if (gPrg) gPrg->command = command;
}

int OpenPrgDlg(UInt16 command) {
  if (gPrg) ClosePrgDlg();
  auto* p = new (std::nothrow) PRG_DLG_DATA{};
  if (!p) return 0;
  p->command = command;
  p->resID = command == CMD_DOWNLOAD || command == CMD_UPLOAD ? 260 : 261;
  p->dialog = GetNewDialog(p->resID, nullptr, kFirstWindowOfClass);
  if (!p->dialog) {
    delete p;
    return 0;
  }
  p->handlers.update = UpdatePrgDlg;
  p->handlers.mouseDown = MouseDownPrgDlg;
  p->handlers.keyDown = KeyDownPrgDlg;
  WindowRef w = GetDialogWindow(p->dialog);
  p->evtHandler = BindDialogWindow(p->dialog, &p->handlers);
  gPrg = p;
  for (const DLG_ITEM_TEXT& t : gPrgDlgItem) {
    if (t.item == kPrgCancel) {
      Str255 title;
      HoldIniPText(t.section, t.key, title);
      if (ControlRef cancel = GetItemControl(p->dialog, kPrgCancel); cancel && title[0]) SetControlTitle(cancel, title);
    } else if (p->resID == 260) {
      setText(p, t.item, HoldIniText(t.section, t.key));
    }
  }
  SetDialogDefaultItem(p->dialog, kPrgCancel);
  if (p->resID == 260) {
    Rect r;
    GetDialogItemRect(p->dialog, kPrgBar, &r);
    p->bar = NewControl(w, &r, PText(""), true, 0, 0, 100, kControlProgressBarProc, 0);
  }
  p->percent = -1;
  if (MAIN_DLG_DATA* m = GetMainDlgData()) SetPrgCmd(m->eng.progress.get());
  SetProgressDlgStrings("", "", 0);
  EnableMenu(0, 0);
  SetFrontDialog(p->dialog);
  ShowWindow(w);
  SelectWindow(w);
  return 1;
}

void ClosePrgDlg() {
  PRG_DLG_DATA* p = gPrg;
  if (!p) return;
  gPrg = nullptr;
  ForgetDialog(p->dialog);
  STCDisposeList(&p->texts);
  if (p->evtHandler) RemoveEventHandler(p->evtHandler);
  DisposeDialog(p->dialog);
  delete p;
}

void SetProgressDlgStrings(const std::string& info, const std::string& transfer, int percent) {
  PRG_DLG_DATA* p = gPrg;
  if (!p) return;
  Str255 title;
  if (!p->formsRead || p->formsCommand != p->command) {
    p->formsRead = true;
    p->formsCommand = p->command;
    p->titleForm = HoldIniText("TITLE", titleKey(p->command));
    p->transferForm = HoldIniText("LABEL", "STC_TRANS=");
  }
  std::string t = p->titleForm;
  if (p->command == CMD_DOWNLOAD || p->command == CMD_UPLOAD) t = HoldFormat(t, {long(percent)});
  if (t != p->title) {
    p->title = t;
    std::size_t n = std::min<std::size_t>(t.size(), 255);
    title[0] = UInt8(n);
    std::memcpy(title + 1, t.data(), n);
    SetDialogTitle(p->dialog, title);
  }
  if (info != p->info) {
    p->info = info;
    setText(p, kPrgInfo, info);
  }
  if (p->resID == 260) {
    const std::string shown = transfer.empty() ? "" : HoldFormat(p->transferForm, {transfer});
    if (shown != p->transfer) {
      p->transfer = shown;
      setText(p, kPrgTransfer, shown);
    }
    DrawProgressBar(percent);
  }
}

void DrawProgressBar(int percent) {
  PRG_DLG_DATA* p = gPrg;
  if (!p || !p->bar || percent == p->percent) return;
  p->percent = percent;
  SetControl32BitMinimum(p->bar, 0);
  SetControl32BitMaximum(p->bar, 100);
  SetControl32BitValue(p->bar, std::clamp(percent, 0, 100));
}
