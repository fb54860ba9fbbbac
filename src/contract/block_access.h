// Field access on the shared state block (or any packed little-endian buffer).
//
// Every scalar is read or written with one access of its own width. Any local process may
// write the block at any time, so aligned fields go through std::atomic_ref (relaxed): the
// same plain moves on every target, but well-defined C++ when another thread stores at once.
// Unaligned fields (inside the packed records) use memcpy; nothing orders them anyway.
// The agent takes no locks and does no read-modify-write on the block.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <bit>

namespace vigil::block {

static_assert(std::endian::native == std::endian::little, "the block is little-endian and read in place");

template <typename T>
inline T Load(const uint8_t* base, std::size_t offset) {
  const uint8_t* p = base + offset;
  if (reinterpret_cast<std::uintptr_t>(p) % alignof(T) == 0) {
    return std::atomic_ref<T>(*const_cast<T*>(reinterpret_cast<const T*>(p))).load(std::memory_order_relaxed);
  }
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

template <typename T>
inline void Store(uint8_t* base, std::size_t offset, T value) {
  uint8_t* p = base + offset;
  if (reinterpret_cast<std::uintptr_t>(p) % alignof(T) == 0) {
    std::atomic_ref<T>(*reinterpret_cast<T*>(p)).store(value, std::memory_order_relaxed);
    return;
  }
  std::memcpy(p, &value, sizeof value);
}

inline uint8_t LoadU8(const uint8_t* b, std::size_t o) { return Load<uint8_t>(b, o); }
inline uint16_t LoadU16(const uint8_t* b, std::size_t o) { return Load<uint16_t>(b, o); }
inline uint32_t LoadU32(const uint8_t* b, std::size_t o) { return Load<uint32_t>(b, o); }
inline int32_t LoadS32(const uint8_t* b, std::size_t o) { return Load<int32_t>(b, o); }
inline void StoreU8(uint8_t* b, std::size_t o, uint8_t v) { Store<uint8_t>(b, o, v); }
inline void StoreU16(uint8_t* b, std::size_t o, uint16_t v) { Store<uint16_t>(b, o, v); }
inline void StoreU32(uint8_t* b, std::size_t o, uint32_t v) { Store<uint32_t>(b, o, v); }
inline void StoreS32(uint8_t* b, std::size_t o, int32_t v) { Store<int32_t>(b, o, v); }
inline void StoreF32(uint8_t* b, std::size_t o, float v) { Store<float>(b, o, v); }
inline float LoadF32(const uint8_t* b, std::size_t o) { return Load<float>(b, o); }

}  // namespace vigil::block
