// Small utilities of the program: the settings buffers of the selected
// box, the controller model text, the printer-port list and the width of
// a group's title.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "Admin/AdminApp.h"
#include "common/Context.h"
#include "toolbox/dialogs.h"

Ptr pContextData = nullptr;
UInt16 wContextSize = 0;
Ptr pEnumData = nullptr;
UInt16 wEnumWidth = 0;
UInt16 wEnumSize = 0;
Ptr pEEPData = nullptr;
UInt16 wEEPDataSize = 0;
Ptr pEEPBackup = nullptr;

namespace {

Ptr allocate(Ptr& p) {
  if (!p) p = static_cast<Ptr>(std::malloc(kSetupBufferSize));
  return p;
}

// Entry n (from 1) of the list, or null when it lies outside listSize.
const char* entry(const UInt8* list, short width, short n, long listSize) {
  if (!list || width <= 0 || n < 1) return nullptr;
  const long start = 1 + long(n - 1) * width;
  if (start + width > listSize) return nullptr;
  return reinterpret_cast<const char*>(list + start);
}

bool is_system(const char* e, short width) {
  return std::strncmp(e, "system", static_cast<std::size_t>(width)) == 0 && (width <= 6 || e[6] == 0);
}

bool name_equals(const char* e, short width, const char* name) {
  const std::size_t n = std::strlen(name);
  if (n > static_cast<std::size_t>(width)) return false;
  return std::strncmp(e, name, n) == 0 && (n == static_cast<std::size_t>(width) || e[n] == 0);
}

}  // namespace

short Allocate_Setup_Memory() {
  bool all = allocate(pContextData) != nullptr;
  all = allocate(pEnumData) != nullptr && all;
  all = allocate(pEEPData) != nullptr && all;
  all = allocate(pEEPBackup) != nullptr && all;
  return all ? 1 : 0;
}

void Dispose_Setup_Memory() {
  for (Ptr* p : {&pContextData, &pEnumData, &pEEPData, &pEEPBackup}) {
    std::free(*p);
    *p = nullptr;
  }
}

UInt8 GetVemoplexType(char* type, const UInt8* machineType) {
  static char text[8];
  UInt8 capability = 0;
  if (machineType && machineType[8] == '[') {
    text[0] = 'Q', text[1] = 'S', text[2] = 'V', text[3] = '-';
    text[4] = static_cast<char>(machineType[9]);
    text[5] = 0;
    capability = machineType[15];
  } else if (machineType && std::memcmp(machineType + 10, "QSV-", 4) == 0 && machineType[14] == 'B') {
    std::strcpy(text, "QSV-B");
    capability = machineType[15];
  } else {
    std::strcpy(text, "QSV-A");
  }
  if (type) std::memcpy(type, text, 6);
  return capability;
}

short GetPortMax(const UInt8* list, short width, long listSize) {
  if (!list || listSize < 1) return 0;
  short count = 0;
  for (short n = 1; n <= list[0]; ++n) {
    const char* e = entry(list, width, n, listSize);
    if (!e) break;
    if (!is_system(e, width)) ++count;
  }
  return count;
}

short GetPortName(const UInt8* list, short width, short portNo, char* name, std::size_t nameSize, long listSize) {
  if (name && nameSize) name[0] = 0;
  if (!list || listSize < 1) return 0;
  short before = 0;
  for (short n = 1; n < portNo && n <= list[0]; ++n) {
    const char* e = entry(list, width, n, listSize);
    if (!e) break;
    if (!is_system(e, width)) ++before;
  }
  const char* e = entry(list, width, portNo, listSize);
  if (e && name && nameSize) {
    std::size_t n = static_cast<std::size_t>(width) < nameSize - 1 ? std::size_t(width) : nameSize - 1;
    std::memcpy(name, e, n);
    name[n] = 0;
  }
  return before;
}

short GetPortNum(const UInt8* list, short width, const char* name, short* portNo, long listSize) {
  if (portNo) *portNo = 0;
  if (!list || !name || listSize < 1) return 0;
  const short count = list[0];
  short counted = 0;
  short n = 1;
  for (; n <= count; ++n) {
    const char* e = entry(list, width, n, listSize);
    if (!e) break;
    if (is_system(e, width)) continue;
    ++counted;
    if (name_equals(e, width, name)) break;
  }
  if (portNo) *portNo = n > count ? count : n;
  return counted;
}

short GetPortEntry(const UInt8* list, short width, short port, long listSize) {
  if (!list || listSize < 1 || port < 1) return 0;
  short counted = 0;
  for (short n = 1; n <= list[0]; ++n) {
    const char* e = entry(list, width, n, listSize);
    if (!e) break;
    if (!is_system(e, width) && ++counted == port) return n;
  }
  return 0;
}

void Fit_Group_Title(DialogRef dialog, DialogItemIndex item) {
  if (!dialog) return;
  DialogItemType kind = 0;
  Handle handle = nullptr;
  Rect box;
  GetDialogItem(dialog, item, &kind, &handle, &box);
  if ((kind & ~itemDisable) != kStaticTextDialogItem || !handle) return;
  Str255 text;
  GetDialogItemText(handle, text);
  tb::PortSaver saver(GetDialogPort(dialog));
  // The item's text is drawn from its left edge in the port's font; a few
  // pixels more keep the line off the last letter.
  const short width = TextWidth(text + 1, 0, text[0]);
  box.right = SInt16(std::min<int>(box.right, box.left + width + 4));
  SetDialogItem(dialog, item, kind, handle, &box);
}
