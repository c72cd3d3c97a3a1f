// upcaster: sends a file to print boxes over FTP.
#include "filetransfer/Upcaster.h"

int main() { return upc::Run_Upcaster(); }
