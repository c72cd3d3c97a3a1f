// The monitor's search for print boxes (used by its settings dialogs): one
// UDP search over the broadcast list on port 19541, or an AppleTalk search
// in the configured zone.
#pragma once

#include "Monitor/MonitorTypes.h"
#include "OT/JCPSearch.h"
#include "OT/PBoxTable.h"

// Starts the search into table (size entries); 0 when the context is
// missing or AppleTalk is asked for and not usable, else 1.
SInt32 SearchPBOX(const CONFIGURATION* config, JCPEPInfo* ctx, PBOXinfo* table, short size, short protocol);
// One hit: a reply that begins 00 02 95 06 is registered (an AppleTalk hit
// with its address), and each registration raises the context's found.
void SearchNotifier(JCPEPInfo* ctx, void* reply, void* data, short status);
// The context registers no more hits (its table is going away).
void Forget_Search_Table(const JCPEPInfo* ctx);
