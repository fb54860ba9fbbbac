// The memory backend's handle table and what its parts share.
//
// A handle is a number from a counter, never reused, standing for a counted reference to an
// object: a call looks its object up and holds it for the length of the call, so another
// thread may close the handle meanwhile (the agent closes the stop event and the driver handle
// while other threads may still wait or call on them). A closed or unknown handle, or one of
// another kind, simply fails.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "os/os.h"

namespace os::memory {

// What a handle stands for; it goes with its last handle and the last call in progress on it.
class Object {
 public:
  virtual ~Object() = default;
};

// Enters `object` in the table and returns its new handle (never null).
void* AddHandle(std::shared_ptr<Object> object);
std::shared_ptr<Object> FindHandle(const void* handle);
// Removes the handle; false when it was not in the table.
bool RemoveHandle(const void* handle);

template <class T>
std::shared_ptr<T> Find(const void* handle) {
  return std::dynamic_pointer_cast<T>(FindHandle(handle));
}

// Names of registry keys and values, devices and files compare as Windows compares them for
// ASCII: without regard to case. This is the form they are compared in.
std::string Fold(std::string_view text);

// Each part forgets its state for Reset(); the handle table is emptied last.
void ResetHandles();
void ResetNames();
void ResetRegistry();
void ResetFiles();
void ResetRecords();
void ResetDevices();

}  // namespace os::memory
