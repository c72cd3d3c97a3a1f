// Entry points of the sub-dialogs, the configuration dialog and the
// thumbnail view that are not built yet: each opens nothing, so the main
// window's buttons do nothing until its dialog's module defines it (and
// the definition here is removed).
#include "holdmanager/HoldApp.h"

int OpenRenDlg(MAIN_DLG_DATA*) { return 0; }
int OpenPrnDlg(MAIN_DLG_DATA*) { return 0; }
int OpenInfDlg(MAIN_DLG_DATA*) { return 0; }
int OpenMovDlg(MAIN_DLG_DATA*) { return 0; }
int OpenDlDlg(MAIN_DLG_DATA*, PRG_REQUEST** request) {
  if (request) *request = nullptr;
  return 0;
}
int OpenCfgDlg(MAIN_DLG_DATA*) { return 0; }
int OpenMsgDlg(const char*, const char*, int, MsgDlgCallback, long, long, long) { return 0; }
std::vector<FSSpec> OpenAddDlg() { return {}; }
PRG_REQUEST* GetDelFileList(MAIN_DLG_DATA*) { return nullptr; }
void UpdateFolderListCfgDlg(MAIN_DLG_DATA*) {}
bool InfoDlgFetching() { return false; }
int InitThumbnail(DialogRef, int) { return 1; }
void DeinitThumbnail() {}
void SetPageBtnRect(int, Point, Point, int) {}
void SetPageBtnState(int, int, bool, int) {}
int TrackPageBtn(DialogRef, DialogItemIndex, Point, int, int) { return 0; }
void DrawThumbnail(DialogRef, GWorldPtr, DialogItemIndex, const DialogItemIndex*, bool, int) {}
