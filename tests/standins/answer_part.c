/* The library that the JNI library answer_library.c depends on. */
#ifdef _WIN32
__declspec(dllexport)
#endif
int xoqAnswerPart(void) { return 21; }
