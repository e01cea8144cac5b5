// The natives of com.tarvolin.xoq.RedirOutputStream, which carries System.out
// or System.err to a redirection target that the standard handle did not
// take. The object's field `h` holds the target's handle (a file descriptor
// on Linux); 0 means none.
#ifndef XOQ_REDIRECT_REDIRECT_NATIVES_H_
#define XOQ_REDIRECT_REDIRECT_NATIVES_H_

#include <jni.h>

extern "C" {

/// write(int): the low 8 bits of `b` to the handle. Failures are ignored;
/// nothing is thrown.
JNIEXPORT void JNICALL Java_com_tarvolin_xoq_RedirOutputStream_write(JNIEnv* env, jobject self, jint b);

/// writeBytes(byte[], int, int): the bytes from `offset` on, `length` of
/// them, in one go. A null array or a range outside it writes nothing (the
/// Java side checks first); failures are ignored.
JNIEXPORT void JNICALL Java_com_tarvolin_xoq_RedirOutputStream_writeBytes(JNIEnv* env, jobject self, jbyteArray bytes,
                                                                          jint offset, jint length);
}

#endif  // XOQ_REDIRECT_REDIRECT_NATIVES_H_
