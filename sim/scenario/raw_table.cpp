#include "scenario/structure_list.h"

#include "contract/le_bytes.h"
#include "contract/smbios_types.h"

namespace hwsim {

namespace {

using vigil::smbios::kTypeEndOfTable;

}  // namespace

bool ParseRawTable(const std::vector<uint8_t>& bytes, std::vector<OwnedStructure>* list,
                   std::string* error) {
  list->clear();
  size_t at = 0;
  while (at < bytes.size()) {
    std::string where = "structure at byte " + std::to_string(at) + ": ";
    if (bytes.size() - at < 4) {
      *error = where + "header runs past the end of the file";
      return false;
    }
    uint8_t length = bytes[at + 1];
    if (length < 4 || length > bytes.size() - at) {
      *error = where + "formatted length " + std::to_string(length) + " is below 4 or runs past the end";
      return false;
    }
    OwnedStructure s;
    s.type = bytes[at];
    s.handle = vigil::le::Load16(&bytes[at + 2]);
    s.formatted.assign(bytes.begin() + at + 4, bytes.begin() + at + length);
    s.stringTable = static_cast<uint8_t>(1 + list->size() % 2);
    size_t p = at + length;
    // The string-set: texts up to an empty one; a set without strings is two NUL bytes.
    while (true) {
      size_t end = p;
      while (end < bytes.size() && bytes[end] != 0) ++end;
      if (end >= bytes.size()) {
        *error = where + "string-set has no terminating empty string";
        return false;
      }
      if (end == p) {
        p = end + 1;
        if (s.strings.empty()) {
          if (p >= bytes.size() || bytes[p] != 0) {
            *error = where + "empty string-set is not two NUL bytes";
            return false;
          }
          ++p;
        }
        break;
      }
      s.strings.emplace_back(reinterpret_cast<const char*>(&bytes[p]), end - p);
      p = end + 1;
    }
    bool last = s.type == kTypeEndOfTable;
    list->push_back(std::move(s));
    at = p;
    if (last) break;
  }
  return true;
}

}  // namespace hwsim
