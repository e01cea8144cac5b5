// The natives of com.tarvolin.xoq.Instances: the instance list, the first
// and the current instance, and object messaging. They reach the process's
// registry through theInstances.
#ifndef XOQ_INSTANCES_INSTANCE_NATIVES_H_
#define XOQ_INSTANCES_INSTANCE_NATIVES_H_

#include <jni.h>

extern "C" {

/// -1 while the transport has not been started, else the first instance.
JNIEXPORT jint JNICALL Java_com_tarvolin_xoq_Instances_getFirstInstance(JNIEnv* env, jclass type);

/// -1 while the transport has not been started, else this instance's id.
JNIEXPORT jint JNICALL Java_com_tarvolin_xoq_Instances_getCurrentInstance(JNIEnv* env, jclass type);

/// The first instance's id (0 when none) followed by the other listed
/// instances in joining order, after a prune; works without the transport.
JNIEXPORT jintArray JNICALL Java_com_tarvolin_xoq_Instances_getInstances(JNIEnv* env, jclass type);

/// Serializes `object` and queues it for instance `target` (0: the first
/// instance). Nothing is sent while the transport has not been started;
/// an object that cannot be serialized is reported and not sent.
JNIEXPORT void JNICALL Java_com_tarvolin_xoq_Instances_sendObject(JNIEnv* env, jclass type, jint target,
                                                                  jobject object);

/// Waits until this instance's queue has drained (its last chunk is in the
/// block), at most about 5 seconds.
JNIEXPORT void JNICALL Java_com_tarvolin_xoq_Instances_flush(JNIEnv* env, jclass type);

/// Registers the receiver of incoming objects; null unregisters.
JNIEXPORT void JNICALL Java_com_tarvolin_xoq_Instances_setReceiver(JNIEnv* env, jclass type, jobject receiver);

/// From a shutdown hook: waits, at most InstanceRegistry::kOwnChunkWaitMillis,
/// until this instance's chunk in the buffer has been taken.
JNIEXPORT void JNICALL Java_com_tarvolin_xoq_Instances_awaitLastChunk(JNIEnv* env, jclass type);
}

#endif  // XOQ_INSTANCES_INSTANCE_NATIVES_H_
