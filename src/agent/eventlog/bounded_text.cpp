#include "agent/eventlog/bounded_text.h"

#include <cstring>

namespace vigil {

void AppendBoundedText(char* text, std::size_t capacity, const char* source) {
  if (capacity == 0) return;
  std::size_t used = 0;
  while (used < capacity - 1 && text[used] != '\0') ++used;
  std::size_t room = capacity - 1 - used;
  std::size_t add = 0;
  while (add < room && source[add] != '\0') ++add;
  std::memcpy(text + used, source, add);
  text[used + add] = '\0';
}

}  // namespace vigil
