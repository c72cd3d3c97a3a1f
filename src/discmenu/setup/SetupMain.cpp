// setup: the disc's start menu.
#include "discmenu/setup/Autorun.h"

int main() { return Run_Setup(); }
