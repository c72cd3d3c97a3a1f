// The main window's entry points into the sub-dialogs and the
// configuration dialog: each takes what the dialogs need from the window's
// record (its engine, settings, lists and font) and opens the dialog.
#include <cstring>

#include "FanctionLib/CList.h"
#include "holdmanager/HoldApp.h"
#include "holdmanager/HoldConfigDlg.h"
#include "holdmanager/HoldDialogs.h"

namespace {

std::vector<JOB_ENTRY> selectedJobs(CLIST_DATA* list) {
  std::vector<JOB_ENTRY> out;
  Cell c{0, 0};
  while (list && CLGetSelect(list, &c, true)) {
    if (const auto* job = reinterpret_cast<const JOB_ENTRY*>(CLGetReference(list, c.v))) out.push_back(*job);
    c.v = short(c.v + 1);
  }
  return out;
}

}  // namespace

void hold::BindHost(MAIN_DLG_DATA* m) {
  gHoldHost = HOLD_DLG_HOST{};
  if (!m) return;
  gHoldHost.engine = &m->eng;
  gHoldHost.config = &m->config;
  gHoldHost.strIni = gszStrFileName;
  gHoldHost.font = SInt16(gDefaultFont.fontID);
  gHoldHost.fontName = gDefaultFont.fName;
  gHoldHost.fontSize = SInt16(gDefaultFont.fSize ? gDefaultFont.fSize : 12);
  gHoldHost.encoding = gTextEncoding;
  gHoldHost.heldSelection = [m] { return selectedJobs(m->tab1HMFile); };
  gHoldHost.firstFileJob = [m](JOB_ENTRY* job) {
    std::vector<JOB_ENTRY> jobs = selectedJobs(m->tab0File);
    if (jobs.empty()) return false;
    *job = jobs.front();
    return true;
  };
  gHoldHost.reduceHeldSelection = [m] {
    Cell first{0, 0};
    if (!m->tab1HMFile || !CLGetSelect(m->tab1HMFile, &first, true)) return;
    CLClearSelect(m->tab1HMFile, nullptr);
    CLSetSelect(m->tab1HMFile, first, true, false);
    CLUpdate(m->tab1HMFile, nullptr, 1);
  };
  gHoldHost.thumbnailBusy = [m](bool busy) { m->thumbBusy = busy; };
  gHoldHost.showDetails = [m](const JOB_INFO& info) { SetDetailFileInfo(&info, m->tab0Info, m->bPreview != 0); };
}

int OpenRenDlg(MAIN_DLG_DATA* m) {
  hold::BindHost(m);
  return hold::OpenRename();
}
int OpenPrnDlg(MAIN_DLG_DATA* m) {
  hold::BindHost(m);
  return hold::OpenPrint();
}
int OpenInfDlg(MAIN_DLG_DATA* m) {
  hold::BindHost(m);
  return hold::OpenInformation();
}
int OpenMovDlg(MAIN_DLG_DATA* m) {
  hold::BindHost(m);
  return hold::OpenMove();
}
int OpenDlDlg(MAIN_DLG_DATA* m, PrgRequestPtr* request) {
  hold::BindHost(m);
  return hold::OpenDownload(request);
}
int OpenCfgDlg(MAIN_DLG_DATA* m) {
  hold::BindHost(m);
  if (!m || !OpenCfgDlg(&m->config, m->eng.folders)) return 0;
  m->cfgDlg = ConfigDialog();
  return 1;
}
std::vector<FSSpec> OpenAddDlg() { return hold::ChooseUploadFiles(); }
PrgRequestPtr GetDelFileList(MAIN_DLG_DATA* m) {
  hold::BindHost(m);
  return hold::DeleteRequest();
}
void UpdateFolderListCfgDlg(MAIN_DLG_DATA* m) {
  if (m && ConfigDialog()) UpdateFolderListCfgDlg(ConfigDialog(), m->eng.folders, 1);
}
bool InfoDlgFetching() { return InfoDialogOpen(); }
