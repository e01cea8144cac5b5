/*
 * A JVMTI agent for the Linux tests that starts a long-lived helper process
 * while the virtual machine is being created, as monitoring agents do. The
 * helper inherits the standard streams of that moment.
 */
#include <jni.h>
#include <stdlib.h>
#include <unistd.h>

JNIEXPORT jint JNICALL Agent_OnLoad(JavaVM* vm, char* options, void* reserved) {
  (void)vm;
  (void)reserved;
  if (fork() == 0) {
    execlp("sleep", "sleep", options != NULL ? options : "5", (char*)NULL);
    _exit(127);
  }
  return JNI_OK;
}
