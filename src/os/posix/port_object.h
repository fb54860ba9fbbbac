// The object behind every handle this backend hands out.
//
// Handles are counted: a call in progress on one thread keeps its object alive while another
// thread closes the handle, the way a Win32 wait keeps its object after CloseHandle. The agent
// closes the stop event and the driver handle at teardown while other threads may still be in
// a call on them; without the count that would be a use after free.
#pragma once

#include <atomic>

#include "os/os.h"

namespace os::posix {

class PortObject {
 public:
  PortObject() = default;
  PortObject(const PortObject&) = delete;
  PortObject& operator=(const PortObject&) = delete;
  virtual ~PortObject() = default;

  void Acquire() { refs_.fetch_add(1, std::memory_order_relaxed); }
  void Release() {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  bool closed() const { return closed_.load(std::memory_order_acquire); }
  // Drops the creator's reference once; a second close of the same live handle does nothing.
  virtual void Close() {
    if (!closed_.exchange(true, std::memory_order_acq_rel)) Release();
  }

 private:
  std::atomic<int> refs_{1};
  std::atomic<bool> closed_{false};
};

// Handles cross the port as void*; always convert through the base so the pointer value is
// the one HandleRef casts back.
inline Handle ToHandle(PortObject* object) { return object; }

// A counted reference to a handle of kind T for the length of one call. Empty when the handle
// is null, already closed, or of another kind (SetEvent on a device handle fails cleanly).
template <class T>
class HandleRef {
 public:
  explicit HandleRef(void* handle) {
    if (handle == nullptr) return;
    T* object = dynamic_cast<T*>(static_cast<PortObject*>(handle));
    if (object == nullptr) return;
    object->Acquire();
    if (object->closed()) {
      object->Release();
      return;
    }
    object_ = object;
  }
  ~HandleRef() {
    if (object_ != nullptr) object_->Release();
  }
  HandleRef(const HandleRef&) = delete;
  HandleRef& operator=(const HandleRef&) = delete;

  explicit operator bool() const { return object_ != nullptr; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }

 private:
  T* object_ = nullptr;
};

}  // namespace os::posix
