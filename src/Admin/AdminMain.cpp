// VEMO-ADMIN: finds the print boxes on the network and administers them.
#include "Admin/AdminApp.h"

int main() { return Run_Admin(); }
