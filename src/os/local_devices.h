// In-process devices (os::RegisterLocalDevice), one implementation for every backend: tests,
// benchmarks and the in-process simulator put a scripted or simulated platform behind the
// agent's real channel code, and it must answer the same on POSIX, Win32 and in memory.
//
// A handle opened here reaches the registration it was opened on. Removing or replacing that
// registration makes the handle's calls fail, as a driver that went away fails its callers;
// closing the handle is still needed. Any thread; calls on one registration are served one at
// a time, so a scripted device need not be written for two callers at once.
#pragma once

#include <cstdint>

namespace os::local_devices {

// Opens the device registered for `path` (compared without regard to ASCII case). Returns a
// handle value of its own, never null on success, or null when no device is registered there.
void* Open(const char* path);

// True while `handle` is a handle Open returned and Close has not closed. Lets a backend tell
// these handles from its own.
bool IsOpen(const void* handle);

// One exchange as METHOD_BUFFERED gives a driver: the device works on one buffer that starts
// as the input zero-filled up to the output length; only the bytes it reports (bounded by
// outLen) are copied back, and nothing when it fails. False when the handle is not open, its
// registration is gone, the buffers do not match their lengths, or the device fails.
// *returned (may be null) is 0 on failure.
bool Control(const void* handle, std::uint32_t code, const void* in, std::uint32_t inLen,
             void* out, std::uint32_t outLen, std::uint32_t* returned);

// Closes the handle. False when it was not open here.
bool Close(const void* handle);

}  // namespace os::local_devices
