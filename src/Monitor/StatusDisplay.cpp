// The display choice for a decoded printer state and the values the
// status page formats from it.
#include "Monitor/StatusDisplay.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Monitor/StatusText.h"

// Row n serves the message and comment keys numbered n.
const STATICON gStatIcon[kStatIconRows] = {
    {0, 0, 150, 131, 0},    {1, 0, 151, 131, 0},    {2, 0, 151, 131, 252},  {3, 0, 151, 131, 253},
    {4, 0, 151, 131, 254},  {5, 0, 151, 0, 0},      {6, 0, 151, 132, 0},    {7, 0, 152, 131, 0},
    {8, 0, 152, 131, 0},    {9, 0, 153, 131, 0},    {10, 0, 157, 131, 0},   {11, 0, 158, 131, 0},
    {12, 0, 151, 131, 262}, {13, 0, 151, 131, 263}, {14, 0, 151, 131, 264}, {15, 0, 151, 131, 265},
    {16, 0, 151, 131, 266}, {17, 0, 151, 131, 267}, {18, 0, 151, 131, 268}, {19, 0, 151, 131, 269},
    {20, 0, 151, 131, 270}, {21, 0, 151, 131, 271}, {22, 0, 151, 0, 272},   {23, 0, 151, 0, 273},
    {24, 0, 151, 0, 274},   {25, 0, 151, 131, 275}, {26, 0, 151, 131, 276}, {27, 0, 162, 131, 0},
    {28, 0, 151, 131, 278}, {29, 0, 151, 131, 0},   {30, 0, 151, 132, 0},   {9, 0, 154, 131, 0},
    {9, 0, 155, 131, 0},    {9, 0, 156, 131, 0},    {11, 0, 159, 131, 0},   {11, 0, 160, 131, 0},
    {11, 0, 161, 131, 0},
};

namespace {

void setKeys(int nn, char* mesKey, char* comKey) {
  std::snprintf(mesKey, 32, "MESSAGE%02d", nn);
  std::snprintf(comKey, 32, "COMMENT%02d", nn);
}

void keyToField(UInt8* field, const char* key) { Set_Pascal_Field(field, 32, key); }

void fieldToKey(char* key, const UInt8* field) {
  std::size_t n = std::min<std::size_t>(field[0], 30);
  std::memcpy(key, field + 1, n);
  key[n] = 0;
}

// The values every view formats: memory, paper, power, copies, resolution
// and the send data.
void formatValues(VEMOINFO* v, VEMOSTATUSSET* set) {
  Get_Memory_Bar(v, set->szMemory, &set->memory);
  GetPaperSize(v, set->szSize, &set->paper, &set->margin);
  Get_Power_Icon(v, &set->powerIcon);
  GetCopies(v, &set->SubPageNum, &set->copies);
  GetDpiSize(v, &set->SubDpiX, &set->SubDpiY);
}

void sendTexts(VEMOINFO* v, VEMOSTATUSSET* set) { GetSendBar(v, set->szData, &set->data, set->szGrada); }

}  // namespace

int GetDispStatInfo(VEMOINFO* v, char* mesKey, char* comKey, const char** tip, SInt16* icon, SInt16* errIcon,
                    SInt16* taskIcon) {
  int nn = -1;
  int row = -1;
  auto task = [&](const char* t, SInt16 id, UInt16 pop) {
    if (tip) *tip = t;
    if (taskIcon) *taskIcon = id;
    v->PopStat = pop;
  };
  if (v->MainPower == 1) {
    nn = 6;
    v->PopStat = kPopPower;
  } else if (v->MainStsErr >= 1) {
    static constexpr int kErr[9] = {0, 17, 3, 18, 19, 20, 21, 25, 4};
    if (v->MainStsErr <= 8) nn = kErr[v->MainStsErr];
    task("ERROR", kTaskError, kPopError);
  } else if (v->MainBusy) {
    nn = 26;
    task("ERROR", kTaskError, kPopBusyError);
  } else if (v->MSPaperOut || v->MSBoxFull || v->MSMasterNo || v->MSInkNo) {
    if (v->MSPaperOut) nn = 2;
    if (v->MSBoxFull) nn = 14;
    if (v->MSMasterNo) nn = 15;
    if (v->MSInkNo) nn = 16;
    task("ERROR", kTaskError, kPopSupply);
  } else if (v->MainStsBas != 0) {
    static constexpr int kBas[5] = {0, 9, 10, 11, 27};
    if (v->MainStsBas <= 4) nn = kBas[v->MainStsBas];
    // Two drums show which one works.
    if (v->CmDrmNum >= 2 && v->MainStsBas == 1) row = v->IcType >= 4 ? (v->MainStsDrmPlat == 1 ? 31 : 32) : 33;
    if (v->CmDrmNum >= 2 && v->MainStsBas == 3) row = v->IcType >= 4 ? (v->MainStsDrmSec == 1 ? 34 : 35) : 36;
    task("BUSY", kTaskBusy, kPopBusy);
  } else if (v->MainWaitMode || v->MainPrintWait) {
    // Each later row overrides: a print wait is also a wait (the decoder
    // sets both), and either one registered shows as registered.
    if (v->MainWaitMode == 1) nn = 12;
    if (v->MainPrintWait == 1) nn = 13;
    if (v->MainWaitMode == 2 || v->MainPrintWait == 2) nn = 28;
    task("WAIT", kTaskWait, kPopWait);
  } else if (v->MainReady) {
    nn = 1;
    task("IDLE", kTaskIdle, kPopReady);
  } else if (v->MainRecv != 0) {
    nn = v->MainRecv == 1 ? 7 : 8;
    task("BUSY", kTaskBusy, kPopBusy);
  } else {
    return 0;
  }
  if (nn >= 0) {
    setKeys(nn, mesKey, comKey);
    if (icon) *icon = gStatIcon[row >= 0 ? row : nn].mainIcon;
    if (errIcon) *errIcon = gStatIcon[nn].errIcon;
  }
  return 1;
}

void DispErrStatus(VEMOINFO* v, VEMOSTATUSSET* set, int code, int power) {
  static constexpr int kRows[5] = {23, 22, 24, 6, 5};
  int nn = kRows[code >= 0 && code <= 4 ? code : 2];
  if (code == kErrComm) v->PopStat = kPopCommError;
  set->statusID = 0;
  set->IconID = gStatIcon[nn].mainIcon;
  set->ErrID = gStatIcon[nn].errIcon;
  char mes[32], com[32];
  setKeys(nn, mes, com);
  keyToField(set->mesKey, mes);
  keyToField(set->comKey, com);
  const bool holds = power == 1 || power == 3;
  if (!holds) {
    v->SubMemPer = 0;
    v->SubSendData = 0;
    v->CmPprNum = 0;
    v->SubPageNum = 65535;
    v->SubDpiX = v->SubDpiY = 0;
  } else if (code == kErrResult) {
    v->SubSendData = 0;
  }
  v->MainPower = code == kErrPowerOn ? 1 : 2;
  formatValues(v, set);
  sendTexts(v, set);
  if (!holds) {
    v->CmDrmNum = 0;
    v->DeHldMem = v->DeHldMemZan = 0;
    std::memset(v->pDrm, 0, sizeof v->pDrm);
  }
}

void Disp_Main_Stat(VEMOINFO* v, const NICINFO* nic, VEMOSTATUSSET* set, int result, int power) {
  if ((result & 0x01) && v->MainRsltErr) {
    DispErrStatus(v, set, kErrResult, power);
    v->PopStat = kPopCommError;
    return;
  }
  if ((result & 0x10) && nic->NicStat == 255) {
    DispErrStatus(v, set, kErrController, power);
    v->PopStat = kPopCommError;
    return;
  }
  const bool idleLink = nic->NicStat == 0 && v->MainRecvSub == 0;
  if (!(result & 0x01)) {
    if (idleLink) v->SubSendData = 0;
    sendTexts(v, set);
    return;
  }
  if (v->MainPower != 0) {
    v->PopStat = v->IcRg ? kPopPower : kPopSleep;
    if (v->MainPower == 2) {
      DispErrStatus(v, set, kErrPowerSave, power);
      return;
    }
  }
  char mes[32], com[32];
  fieldToKey(mes, set->mesKey);
  fieldToKey(com, set->comKey);
  SInt16 icon = 0, err = 0, task = 0;
  const char* tip = nullptr;
  if (GetDispStatInfo(v, mes, com, &tip, &icon, &err, &task) == 1) {
    if (icon >= 150 && icon <= 162) {
      set->statusID = 0;
      set->IconID = icon;
      set->ErrID = err;
    }
    keyToField(set->mesKey, mes);
    keyToField(set->comKey, com);
    if (v->MSBoxFull || v->MSInkNo || v->MSMasterNo || v->MSPaperOut) {
      set->warning = 0;
    } else {
      bool low = v->CmMasterRm <= 1;
      for (int k = 0; k < v->CmDrmNum && k < 2; ++k) low = low || v->pDrm[k].InkRm <= 1;
      for (int k = 0; k < v->CmPprNum && k < 3; ++k) low = low || v->pPpr[k].PprRm <= 1;
      set->warning = low ? 1 : 0;
    }
  }
  formatValues(v, set);
  if (idleLink) v->SubSendData = 0;
  sendTexts(v, set);
}

void Get_Memory_Bar(const VEMOINFO* v, UInt8* text, SInt32* value) {
  char b[8];
  std::snprintf(b, sizeof b, "%d %%", v->SubMemPer);
  Set_Pascal_Field(text, 8, b);
  *value = v->SubMemPer;
}

void GetSendBar(const VEMOINFO* v, UInt8* sizeText, SInt32* bar, UInt8* scaleText) {
  static constexpr const char* kUnits[3] = {"Byte", "KB", "MB"};
  double value = v->SubSendData;
  int index = 0;
  while (std::floor(value) > 1023 && index != 2) {
    value = std::floor(value) / 1024.0;
    ++index;
  }
  char b[32];
  std::snprintf(b, sizeof b, "%.2f %s", value, kUnits[index]);
  Set_Pascal_Field(sizeText, 16, b);
  if (index < 2) {
    *bar = SInt32(UInt64(v->SubSendData) * 100 / 1048576);
    Set_Pascal_Field(scaleText, 16, "    1 MB");
    return;
  }
  for (int scale : {1, 10, 50, 100, 500}) {
    if (scale >= value) {
      *bar = SInt32(value * 100 / scale);
      std::snprintf(b, sizeof b, "%5d MB", scale);
      Set_Pascal_Field(scaleText, 16, b);
      return;
    }
  }
}

void Get_Power_Icon(const VEMOINFO* v, UInt32* icon) { *icon = v->MainPower == 1 ? 132 : v->MainPower == 2 ? 0 : 131; }

void GetCopies(const VEMOINFO* v, UInt16* copies, UInt8* active) {
  *copies = v->SubPageNum;
  *active = 1;
}

void GetDpiSize(const VEMOINFO* v, UInt16* x, UInt16* y) {
  *x = v->SubDpiX;
  *y = v->SubDpiY;
}
