// The natives of com.tarvolin.xoq.EventLog: register an event source,
// report entries to it, give it up. The source lives in the object's field
// `h`, a long or, in a class that declares it so, an int.
#ifndef XOQ_EVENTLOG_EVENT_LOG_NATIVES_H_
#define XOQ_EVENTLOG_EVENT_LOG_NATIVES_H_

#include <jni.h>

#include <string>

extern "C" {

/// init(String server, String source): registers `source` (the
/// executable's file name when null) on `server` (this computer when null)
/// and stores the result in `h`, 0 on failure.
JNIEXPORT void JNICALL Java_com_tarvolin_xoq_EventLog_init(JNIEnv* env, jobject self, jstring server, jstring source);

/// reportEvent(short, short, int, String[], byte[]): one entry with the
/// strings in order (a null element as an empty string) and the data;
/// nothing when `h` is 0. Nothing is thrown.
JNIEXPORT void JNICALL Java_com_tarvolin_xoq_EventLog_reportEvent(JNIEnv* env, jobject self, jshort type,
                                                                  jshort category, jint eventId, jobjectArray strings,
                                                                  jbyteArray data);

/// finalize(): gives up the source in `h` and sets `h` to 0, so that a
/// second call, or a report after it, does nothing.
JNIEXPORT void JNICALL Java_com_tarvolin_xoq_EventLog_finalize(JNIEnv* env, jobject self);
}

namespace xoq {

/// The source name when the application gives none: the executable's file
/// name (after its last separator, extension included), as UTF-16.
std::u16string defaultEventSourceName(const std::string& executablePath);

}  // namespace xoq

#endif  // XOQ_EVENTLOG_EVENT_LOG_NATIVES_H_
