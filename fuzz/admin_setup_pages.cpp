// The administration program's settings pages over fuzzed settings tables,
// through their real dialogs: for every page of the settings window its
// setup, load, update and get value on the page's items appended to the
// window; the SMTP record filled and written back; the POP account and
// detail dialogs, the port dialogs and the SMTP authentication dialog
// loaded and taken; the mail forms read and written. A refusal's alert is
// answered by a Return queued before each get.
//
// Input: a byte choosing what runs (one of the nine pages, the
// authentication dialogs, the POP dialogs, the port dialogs or the mail
// forms), a byte of offer bits (bit 7: the second port), the lengths of the
// context, enumeration and image blocks (u16 each, big-endian), then the
// three blocks.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "Admin/AdminApp.h"
#include "Admin/PopPage.h"
#include "Admin/PortPage.h"
#include "Admin/SetupBind.h"
#include "Admin/SetupPages.h"
#include "Admin/SetupWindow.h"
#include "Admin/SmtpForm.h"
#include "Admin/SmtpPage.h"
#include "common/Context.h"
#include "fuzz_support.h"
#include "settings_blocks.h"
#include "toolbox/clock.h"
#include "toolbox/events.h"
#include "toolbox/resources.h"
#include "toolbox/testdriver.h"

namespace {

// Runs get with a Return queued for the alert a refusal shows, and drops
// what is left.
template <class Get>
void Taken(Get get) {
  tb::PressNamedKey("Return");
  tb::PressNamedKey("Return");
  get();
  FlushEvents(everyEvent, 0);
}

// The settings window, made once as the program makes it once per box, its
// page items swapped for every input as a change of tab swaps them (a
// window for each input would cost more than the pages themselves).
DialogRef Page(SInt16 id) {
  static DialogRef window = GetNewDialog(131, nullptr, reinterpret_cast<WindowRef>(-1));
  if (!window) return nullptr;
  if (CountDITL(window) > kSetupFrameItems) ShortenDITL(window, DialogItemIndex(CountDITL(window) - kSetupFrameItems));
  if (Handle items = GetResource('DITL', id)) {
    AppendDITL(window, items, overlayDITL);
    ReleaseResource(items);
  }
  return window;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A flashed button waits on the clock; the virtual one does not sleep.
  tb::UseVirtualClock(true);
  const std::string bundle = VEMO_ADMIN_BUNDLE;
  Appl_Rsrc_Fork_No = tb::OpenApplicationResources(bundle + "/Contents/Resources/VEMO-ADMIN.rsrc");
  std::snprintf(IniFileName, sizeof IniFileName, "%s/Contents/Resources/English/Admin.ini", bundle.c_str());
  // What was loaded from the program's resources goes with the file.
  std::atexit([] { CloseResFile(Appl_Rsrc_Fork_No); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Cursor in(data, size);
  const int part = in.U8() % 13;
  const std::uint8_t sel = in.U8();
  const fuzz::SettingsTables tables(in);
  MenuChangeAuthority = 1;
  gbSetupCancel = 0;
  gbAdminMode = 1;
  TypeBit = UInt16(0x8000 | (sel & 0x7F));
  const short port = (sel & 0x80) ? 1 : 0;
  Clear_Pass_Buffer();
  Clear_Setup_Page_Backups();

  Get_SMTP_Infomartion();
  constexpr SInt16 kPages[] = {150, 132, 133, 134, 166, 165, 168, 176, 135};
  if (DialogRef d = part < 9 ? Page(kPages[part]) : nullptr) {
    const SInt16 id = kPages[part];
    const SETUP_ICON_CELL cell = Set_Dialog_Function(id);
    if (cell.dlg_setup) cell.dlg_setup(d);
    SetPassFlag = 99;
    if (cell.dlg_load_value) cell.dlg_load_value(d);
    if (id == 135) Setup_PrnPort_Set_PortInfo(d, port);
    if (cell.dlg_update && id != 168) cell.dlg_update(d);
    if (cell.dlg_get_value) Taken([&] { cell.dlg_get_value(d); });
    if (id == 135) Taken([&] { Setup_PrnPort_Get_PortInfo(d, port); });
    if (id == 176) Taken([&] { Set_SMTP_Infomartion(d); });
  }
  for (const ADDRESS_DATA_INFO& a : addrTbl)
    fuzz::Check(std::memchr(a.encode, 0, sizeof a.encode) && std::memchr(a.addr, 0, sizeof a.addr),
                "an address table entry ends in its fields");

  // The sub-dialogs, loaded and taken as their OK takes them.
  for (SInt16 type : {1, 2}) {
    if (part != 9) break;
    SMTP_AUTHEN_INFO& a = type == 1 ? gSmtpMBackup.infoAuthen : gSmtpMBackup.consAuthen;
    a.sendType = type;
    if (DialogRef d = GetNewDialog(kSmtpAuthenDialogID, nullptr, reinterpret_cast<WindowRef>(-1))) {
      gAuthenInfo = &a;
      Load_Value_SMTP_Authen(d);
      Setup_Authen_Update_Value(d);
      fuzz::Check(a.maximum <= 255 && a.value >= 0 && a.value <= 255 && std::memchr(a.password, 0, 256),
                  "the password fits its buffer");
      Taken([&] { Get_Value_SMTP_Authen(d); });
      gAuthenInfo = nullptr;
      DisposeDialog(d);
    }
  }
  for (short item : {17, 20}) {
    if (part != 10) break;
    for (SInt16 id : {kPopUserDialogID, kPopDetailDialogID}) {
      DialogRef d = GetNewDialog(id, nullptr, reinterpret_cast<WindowRef>(-1));
      if (!d) continue;
      if (id == kPopUserDialogID) {
        Load_Value_POP_USER(d, item);
        Taken([&] { Get_Value_POP_USER(d, item); });
      } else {
        Load_Value_POP_Detail(d, item);
        Taken([&] { Get_Value_POP_Detail(d, item); });
      }
      DisposeDialog(d);
    }
  }
  for (SInt16 id : {kPortParaDialogID, kPortSeriDialogID}) {
    if (part != 11) break;
    if (DialogRef d = GetNewDialog(id, nullptr, reinterpret_cast<WindowRef>(-1))) {
      if (id == kPortParaDialogID)
        Load_Value_PPort_Para(d, port);
      else
        Load_Value_PPort_Seri(d, port);
      Taken([&] { Handle_Sub_Dialog_Event(d, id, 1, port); });
      DisposeDialog(d);
    }
  }
  if (part == 12) {
    Get_Printer_Form();
    Get_Consum_Form();
    Taken([] { Set_Printer_Form(); });
    Taken([] { Set_Consum_Form(); });
  }
  return 0;
}
