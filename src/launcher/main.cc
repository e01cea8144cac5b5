// The process entry of the launcher, also of the Windows GUI executable:
// its entry is `main`, not `WinMain`, and its return value is the exit code.
#include "launcher/startup.h"

int main(int argc, char** argv) { return xoq::runLauncher(argc, argv); }
