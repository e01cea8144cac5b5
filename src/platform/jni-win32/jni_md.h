// Machine-dependent JNI types for Windows x86-64, where no JDK is installed
// to provide them: the JDK's jni.h includes this file by name. Exports go
// into the executable's export table, which is how the Java support classes
// find the launcher's natives after loading the executable as a library.
#ifndef XOQ_JNI_MD_WIN32_H_
#define XOQ_JNI_MD_WIN32_H_

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef __int64 jlong;
typedef signed char jbyte;

#endif  // XOQ_JNI_MD_WIN32_H_
