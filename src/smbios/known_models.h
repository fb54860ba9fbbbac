// The server models the agent knows, by the first ten bytes of the SMBIOS product name.
// Header-only so that clients name a model exactly as the agent recognises it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vigil {

// The server models the agent knows. The value is the model index that the fan rules and the
// memory locator keys are chosen by (index 2 was never given to a model).
enum ModelIndex : int32_t {
  kModelUnidentified = 0,
  kModelKelvoA14x = 1,  // the A140 and the A141 share one index and one set of event tables
  kModelKelvoB720 = 3,
  kModelKelvoC850 = 4,
};

struct KnownModel {
  const char* productPrefix;  // exactly kModelNameLength characters
  ModelIndex index;
  const char* eventTableName;
};

constexpr std::size_t kModelNameLength = 10;

// Searched in order; the A140 shares the A141's index and event tables.
constexpr KnownModel kKnownModels[] = {
    {"Kelvo A140", kModelKelvoA14x, "Kelvo A141"},
    {"Kelvo A141", kModelKelvoA14x, "Kelvo A141"},
    {"Kelvo B720", kModelKelvoB720, "Kelvo B720"},
    {"Kelvo C850", kModelKelvoC850, "Kelvo C850"},
};

// The B720 firmware tags each of its four fans with a whole OEM-defined word (CPU 1, CPU 2,
// front, rear): 0x58380201 for the first, each next one 0x00010001 higher. The other models
// number their fans in the word's low byte.
constexpr uint32_t kKelvoB720FanCount = 4;
constexpr uint32_t KelvoB720FanWord(uint32_t fan) { return 0x58380201u + (fan - 1) * 0x00010001u; }

// The model whose name the first ten bytes of `productName` (a field of at least ten bytes)
// spell, or null. Only those bytes count, so "Kelvo C850 Rack" is still a C850; a shorter name
// carries its NUL inside the ten bytes and matches nothing.
inline const KnownModel* FindKnownModel(const char* productName) {
  for (const KnownModel& model : kKnownModels) {
    if (std::memcmp(productName, model.productPrefix, kModelNameLength) == 0) return &model;
  }
  return nullptr;
}

}  // namespace vigil
