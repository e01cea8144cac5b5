/* A JNI library of a program's own, whose part of the answer comes from a
   library beside it, found through the RUNPATH $ORIGIN on Linux and through
   the library's folder on Windows. */
#include <jni.h>

#ifdef _WIN32
__declspec(dllimport)
#endif
int xoqAnswerPart(void);

JNIEXPORT jint JNICALL Java_extract_Main_answer(JNIEnv* env, jclass type) {
  (void)env;
  (void)type;
  return xoqAnswerPart() * 2;
}
