// The compiled Java support classes (package com.tarvolin.xoq) and their
// service files (META-INF/services), built from java/ and compiled into
// xoqpack, which puts them at the top of every payload archive.
#ifndef XOQPACK_SUPPORT_CLASSES_H_
#define XOQPACK_SUPPORT_CLASSES_H_

#include <cstddef>

namespace xoq {

struct SupportClass {
  const char* name;  // entry name, such as com/tarvolin/xoq/Handler.class
  const unsigned char* data;
  size_t size;
};

extern const SupportClass kSupportClasses[];
extern const size_t kSupportClassCount;

/// The directory entry of the support classes' package.
constexpr char kSupportPackageDirectory[] = "com/tarvolin/xoq/";

}  // namespace xoq

#endif  // XOQPACK_SUPPORT_CLASSES_H_
