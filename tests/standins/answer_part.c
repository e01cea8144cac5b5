/* The library that the JNI library answer_library.c depends on. */
#ifdef _WIN32
#define ANSWER_PART_API __declspec(dllexport)
#else
#define ANSWER_PART_API
#endif

ANSWER_PART_API int xoqAnswerPart(void) { return 21; }
