/* The library that the "needs its parent folder" stand-in imports. */
__declspec(dllexport) int xoqStandinDependency(void) { return 42; }
