// How the support classes' natives reach the Linux launcher.
//
// Every native is an exported function with its exact JNI name
// (Java_com_tarvolin_xoq_<Class>_<method>), and the runtime binds each one
// by that name the first time it is called, as it does for the Windows .exe
// that the support classes load with System.load. A Linux executable cannot
// be loaded as a library; it carries its natives as a library built into
// the process instead, which the support classes load with
// System.loadLibrary("xoq"): the runtime finds the function below among the
// executable's dynamic symbols and loads nothing from disk.
//
// That happens when the first support class is initialised, also while the
// runtime is still being created (a flight recording or a Java agent started
// from the options uses the system class loader then). It needs no JVMTI
// agent, which would keep the runtime from dumping class data archives, and
// no table: a new native only has to be exported under its JNI name.
#include <jni.h>

#include "base/trace.h"

extern "C" JNIEXPORT jint JNICALL JNI_OnLoad_xoq(JavaVM* /*vm*/, void* /*reserved*/) {
  xoq::trace("natives: the runtime loaded the executable's built-in library \"xoq\"; bound by name");
  // A built-in library must ask for at least this version.
  return JNI_VERSION_1_8;
}
