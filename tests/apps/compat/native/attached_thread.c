/*
 * The native half of compat.Attached: a thread of the native code's own,
 * attached to the runtime, as native libraries call back into Java.
 */
#include <jni.h>
#include <pthread.h>

struct Job {
  JavaVM* vm;
  jobject task;
};

static void* attached(void* argument) {
  struct Job* job = argument;
  JNIEnv* env = NULL;
  if ((*job->vm)->AttachCurrentThread(job->vm, (void**)&env, NULL) != JNI_OK) return NULL;
  jclass runnable = (*env)->FindClass(env, "java/lang/Runnable");
  jmethodID run = runnable != NULL ? (*env)->GetMethodID(env, runnable, "run", "()V") : NULL;
  if (run != NULL) (*env)->CallVoidMethod(env, job->task, run);
  if ((*env)->ExceptionCheck(env)) (*env)->ExceptionDescribe(env);
  (*job->vm)->DetachCurrentThread(job->vm);
  return NULL;
}

JNIEXPORT void JNICALL Java_compat_Attached_run(JNIEnv* env, jclass type, jobject task) {
  (void)type;
  struct Job job;
  (*env)->GetJavaVM(env, &job.vm);
  job.task = (*env)->NewGlobalRef(env, task);
  pthread_t thread;
  if (pthread_create(&thread, NULL, attached, &job) == 0) pthread_join(thread, NULL);
  (*env)->DeleteGlobalRef(env, job.task);
}
