// The emulator's AppleTalk node reads the toolbox's AppleTalk settings; the
// socket client's tests use none, so this build answers with the defaults.
#include "toolbox/appletalk.h"

tb::AppleTalkSettings tb::AppleTalkConfig() { return {}; }
