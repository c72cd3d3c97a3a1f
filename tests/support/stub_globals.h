// The program-supplied globals of the foundation, as the library tests
// define them: a small settings record of their own.
#pragma once

#include "common/AppGlobals.h"

struct CONFIGURATION {
  UInt16 rcvWait;
  UInt16 datWait;
  UInt32 brAddr;
  UInt8 oldVerCompati;
};
