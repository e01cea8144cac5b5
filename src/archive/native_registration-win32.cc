#include "archive/native_registration.h"

namespace xoq {

bool registerSupportNatives(JNIEnv* /*env*/) { return true; }

}  // namespace xoq
