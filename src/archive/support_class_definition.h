// The support classes that every start with a separate launcher's loader
// needs, defined by the launcher itself.
//
// The system class loader would find them in the executable, which it
// reads as a jar: opening that jar in Java code, its manifest and the
// definition through the JDK's loader cost about a twentieth of a small
// program's start. The launcher has the payload archive open already and
// defines them into the system class loader directly; they are the same
// classes of the same loader, only without a code source. When the system
// class loader is the launcher's, the runtime itself loads it from the jar
// while it is created, and with a class data archive the runtime maps them
// from the archive for less: neither defines them here.
#ifndef XOQ_ARCHIVE_SUPPORT_CLASS_DEFINITION_H_
#define XOQ_ARCHIVE_SUPPORT_CLASS_DEFINITION_H_

#include <jni.h>

namespace xoq {

/// Defines NativeLibrary, Handler and HolvaneClassLoader into the system
/// class loader from the payload archive. Stops at the first that cannot be
/// defined (the system class loader then loads the rest); nothing is left
/// pending.
void defineStartupSupportClasses(JNIEnv* env);

}  // namespace xoq

#endif  // XOQ_ARCHIVE_SUPPORT_CLASS_DEFINITION_H_
