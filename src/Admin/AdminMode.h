// The administrator/user mode record and its preference file. The installer
// compiles this same module to write the file; the administration program
// reads it once at start-up.
#pragma once

#include <cstddef>

#include "toolbox/types.h"

constexpr std::size_t kAdminModeSize = 16;

struct ADMIN_MODE {
  UInt8 adminCode[6];  // 0-4 the mode code, 5 a random byte
  UInt8 reserved[10];  // 6-14 filler, 15 zero
};
static_assert(sizeof(ADMIN_MODE) == kAdminModeSize);

// Writes a new mode file fName (length-prefixed, at most 59 bytes) in the
// Preferences folder with creator fType, replacing any old one in one step
// (the old file stays whole when the new one cannot be written); the
// 'ADMN' 128 resource takes the name and attributes of the template in the
// current resource file.
void Set_Administrator(ConstStr255Param fName, OSType fType, Boolean mode);
// 1 administrator mode, 0 user mode (also without a file, without the
// resource, or with one shorter than 16 bytes). appliRsrcNo is current
// afterwards.
short Get_Administrator(SInt16 appliRsrcNo, ConstStr255Param fName);
short Set_Admin_Mode(Boolean mode, ADMIN_MODE* adminMode);
short Get_Admin_Mode(const ADMIN_MODE* adminMode);
SInt16 Open_Admin_Pref(ConstStr255Param fName);
SInt16 Create_Admin_Pref(SInt16 appliRsrcNo, ConstStr255Param fName, OSType fType);
OSErr Delete_Admin_Pref(ConstStr255Param fName);
ResType ResTypeCharToBin(const char* c);
