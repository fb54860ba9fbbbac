// The file behind a named object (the shared block, a named event) and its lifetime.
//
// Every process that opens a named object holds a shared lock on it for as long as it uses
// it, so the contents live exactly as long as some process holds them, as a Win32 named object
// lives as long as its handles. A holder that dies releases its lock with its death. A file no
// one holds is a leftover: a creator starts it afresh, an opener treats it as absent, and the
// last holder to close removes it.
#pragma once

#include <cstddef>
#include <string>

namespace os::posix {

struct ObjectRequest {
  std::size_t size = 0;            // bytes the object must hold
  bool create = false;             // make it (or start a leftover afresh) rather than only open
  const void* initial = nullptr;   // bytes written at offset 0 of a fresh object (may be null)
  std::size_t initialSize = 0;
};

struct ObjectResult {
  int fd = -1;            // read/write, close-on-exec, holding the shared lock
  bool fresh = false;     // made or started afresh by this call
  bool tooSmall = false;  // a held object that holds fewer than `size` bytes (fd is -1)
};

// Opens the object at `path` for `request`. A fresh object is zero-filled, has its `size`
// bytes reserved (no space: failure, never a later fault), the access of object_access.h and
// `initial` in place before any other process can open it. When creating, whatever untrusted
// thing stands at `path` is removed (and logged) and replaced; an opener refuses it. Returns
// false with errno set (ENOENT: absent or a leftover; EACCES: no permission; EPERM: an opener
// found something it does not trust; ENOSPC: no room; EBUSY: another process
// keeps the object locked exclusively). Any thread may call.
bool OpenNamedObject(const std::string& path, const ObjectRequest& request, ObjectResult* result);

// Closes `fd` from OpenNamedObject; when no other process holds the object any more, it is
// removed from `path`, as the last handle of a Win32 object takes the object with it.
void ReleaseNamedObject(int fd, const std::string& path);

}  // namespace os::posix
