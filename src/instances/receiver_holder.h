// The receiving end of object messaging: the application's registered
// receiver and the class loader its objects are resolved through. One per
// process; the transport thread hands it every complete message.
#ifndef XOQ_INSTANCES_RECEIVER_HOLDER_H_
#define XOQ_INSTANCES_RECEIVER_HOLDER_H_

#include <jni.h>

#include <cstdint>
#include <mutex>
#include <string>

namespace xoq {

class ReceiverHolder {
 public:
  ReceiverHolder() = default;
  ReceiverHolder(const ReceiverHolder&) = delete;
  ReceiverHolder& operator=(const ReceiverHolder&) = delete;

  /// On the transport thread: a message of kind 0 (4 bytes, little-endian)
  /// followed by a serialized object is deserialized through the receiver's
  /// class loader and handed to its onReceive(int, Serializable). Dropped
  /// when shorter than 4 bytes, of another kind, without a receiver or a
  /// virtual machine, or when the object cannot be read (the reason is
  /// printed by the virtual machine).
  virtual void deliverMessage(int32_t sender, const std::string& bytes);
  virtual ~ReceiverHolder();

  /// Registers `receiver` (a global reference is kept, and one to its
  /// class's loader); null unregisters. Earlier references are released.
  void setReceiver(JNIEnv* env, jobject receiver);

  /// 1 once the transport runs.
  int32_t started = 0;

 private:
  std::mutex lock_;  // the references below, replaced while a message may be delivered
  jobject classLoader_ = nullptr;
  jobject receiverObject_ = nullptr;
  jmethodID onReceiveMethod_ = nullptr;
  jclass inputStreamClass_ = nullptr;  // com.tarvolin.xoq.ClassLoaderObjectInputStream
};

/// The process's one holder.
ReceiverHolder& theReceiverHolder();

}  // namespace xoq

#endif  // XOQ_INSTANCES_RECEIVER_HOLDER_H_
