// Everything the toolbox offers, for code that uses many managers.
#pragma once

#include "toolbox/types.h"
#include "toolbox/memory.h"
#include "toolbox/clock.h"
#include "toolbox/pump.h"

#if __has_include("toolbox/files.h")
#include "toolbox/files.h"
#endif
#if __has_include("toolbox/resources.h")
#include "toolbox/resources.h"
#endif
#if __has_include("toolbox/quickdraw.h")
#include "toolbox/quickdraw.h"
#endif
#if __has_include("toolbox/fonts.h")
#include "toolbox/fonts.h"
#endif
#if __has_include("toolbox/events.h")
#include "toolbox/events.h"
#endif
#if __has_include("toolbox/windows.h")
#include "toolbox/windows.h"
#endif
#if __has_include("toolbox/display.h")
#include "toolbox/display.h"
#endif
#if __has_include("toolbox/menus.h")
#include "toolbox/menus.h"
#endif
#if __has_include("toolbox/controls.h")
#include "toolbox/controls.h"
#endif
#if __has_include("toolbox/dialogs.h")
#include "toolbox/dialogs.h"
#endif
#if __has_include("toolbox/textedit.h")
#include "toolbox/textedit.h"
#endif
#if __has_include("toolbox/scrap.h")
#include "toolbox/scrap.h"
#endif
#if __has_include("toolbox/lists.h")
#include "toolbox/lists.h"
#endif
#if __has_include("toolbox/navigation.h")
#include "toolbox/navigation.h"
#endif
#if __has_include("toolbox/opentransport.h")
#include "toolbox/opentransport.h"
#endif
#if __has_include("toolbox/appletalk.h")
#include "toolbox/appletalk.h"
#endif
#if __has_include("toolbox/appleevents.h")
#include "toolbox/appleevents.h"
#endif
#if __has_include("toolbox/processes.h")
#include "toolbox/processes.h"
#endif
#if __has_include("toolbox/gestalt.h")
#include "toolbox/gestalt.h"
#endif
#if __has_include("toolbox/bundle.h")
#include "toolbox/bundle.h"
#endif
#if __has_include("toolbox/loginitems.h")
#include "toolbox/loginitems.h"
#endif
#if __has_include("toolbox/script.h")
#include "toolbox/script.h"
#endif
#if __has_include("toolbox/aliases.h")
#include "toolbox/aliases.h"
#endif
#if __has_include("toolbox/catsearch.h")
#include "toolbox/catsearch.h"
#endif
#if __has_include("toolbox/finder.h")
#include "toolbox/finder.h"
#endif
#if __has_include("toolbox/recorder.h")
#include "toolbox/recorder.h"
#endif
#if __has_include("toolbox/sound.h")
#include "toolbox/sound.h"
#endif
#if __has_include("toolbox/testdriver.h")
#include "toolbox/testdriver.h"
#endif
