#include "archive/native_registration.h"

namespace xoq {

const char* supportNativesAgentOption() { return nullptr; }

bool registerSupportNatives(JNIEnv* /*env*/) { return true; }

bool bindSupportClassNatives(JNIEnv* /*env*/, jclass /*type*/, const char* /*name*/) { return true; }

}  // namespace xoq
