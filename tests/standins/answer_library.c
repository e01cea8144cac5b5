/* A JNI library of a program's own, whose part of the answer comes from a
   library beside it, found through the RUNPATH $ORIGIN on Linux and through
   the library's folder on Windows. */
#include <jni.h>

#ifdef _WIN32
#define ANSWER_PART_API __declspec(dllimport)
#else
#define ANSWER_PART_API
#endif

ANSWER_PART_API int xoqAnswerPart(void);

JNIEXPORT jint JNICALL Java_extract_Main_answer(JNIEnv* env, jclass type) {
  (void)env;
  (void)type;
  return xoqAnswerPart() * 2;
}
