// vemoplexinstall: installs the suite's programs from the disc.
#include "Installer/InstApp.h"

int main() { return Run_Installer(); }
