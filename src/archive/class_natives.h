// The class loader natives of com.tarvolin.xoq.HolvaneClassLoader: classes
// defined straight from the payload archive's class-file entries.
#ifndef XOQ_ARCHIVE_CLASS_NATIVES_H_
#define XOQ_ARCHIVE_CLASS_NATIVES_H_

#include <jni.h>

extern "C" {

/// defineClass(String): the class from the payload archive or a jar nested
/// one level in it, defined through the loader's inherited defineClass;
/// null when no entry holds it. Defines no package.
JNIEXPORT jclass JNICALL Java_com_tarvolin_xoq_HolvaneClassLoader_defineClass(JNIEnv* env, jobject self, jstring name);

/// A native findClass(String): like defineClass, but only from the top of
/// the payload archive, and the class's package is defined first when the
/// loader has none.
JNIEXPORT jclass JNICALL Java_com_tarvolin_xoq_HolvaneClassLoader_findClass(JNIEnv* env, jobject self, jstring name);

/// static packageInBootLayer(String): whether the package (dotted name)
/// belongs to a module of the runtime's boot layer. Always false on a
/// runtime without modules (Java 8).
JNIEXPORT jboolean JNICALL Java_com_tarvolin_xoq_HolvaneClassLoader_packageInBootLayer(JNIEnv* env, jclass owner,
                                                                                       jstring packageName);
}

namespace xoq {

/// Defines the package of class `name` on `loader` (through the class's own
/// getPackage and definePackage, so that overrides are used) unless it has
/// one; nothing for a class in the unnamed package.
void definePackageIfAbsent(JNIEnv* env, jclass loaderClass, jobject loader, jstring name);

}  // namespace xoq

#endif  // XOQ_ARCHIVE_CLASS_NATIVES_H_
