#include "archive/native_registration.h"

namespace xoq {

const char* supportNativesAgentOption() { return nullptr; }

bool registerSupportNatives(JNIEnv* /*env*/) { return true; }

}  // namespace xoq
