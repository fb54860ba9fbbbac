// What every registry store of this port keeps to the Win32 rules, written once for the SQLite
// store (posix/) and the in-memory one (memory/): how a key path splits into names, what an
// access mask allows, and how names and data are handed back to a caller's buffers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace os::registry {

// Win32 ERROR_KEY_DELETED: the handle's key was removed after it was opened.
constexpr long kErrorKeyDeleted = 1018;

// Splits `path` at backslashes into key names. Empty names, from doubled, leading or trailing
// backslashes, are dropped, so "A\\\\B\\" names the same key as "A\\B". False when a name is
// longer than the 255 characters Windows allows, or the path names no key at all.
bool SplitKeyPath(const char* path, std::vector<std::string>* names);
// The canonical path of the first `count` names: joined with single backslashes.
std::string JoinKeyPath(const std::vector<std::string>& names, std::size_t count);

// Win32 access bits the stores enforce.
constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;

// Generic and maximum-allowed requests mapped to key rights as Windows maps them.
std::uint32_t EffectiveRights(std::uint32_t access);

// Copies an enumerated name into a caller buffer of *capacity characters including the
// terminator: kErrorMoreData, with nothing written and *capacity unchanged, when it does not
// fit; otherwise *capacity becomes the length without the terminator.
long CopyName(std::string_view value, char* name, std::uint32_t* capacity);
// Copies value data as RegQueryValueExA does: with data null only the size is reported; a
// capacity below the stored length gives kErrorMoreData with the needed length in *size and
// nothing written.
long CopyData(const void* stored, std::uint32_t length, void* data, std::uint32_t* size);

}  // namespace os::registry
