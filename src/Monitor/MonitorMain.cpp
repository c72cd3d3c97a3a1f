// VEMO-MONITOR: watches the print servers' printers, a status window each.
#include "Monitor/MonitorApp.h"

int main() { return Run_Monitor(); }
