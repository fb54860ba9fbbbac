// libFuzzer: vigilctl's metrics over arbitrary shared blocks (any local process may write the
// block) and its label escaping over arbitrary bytes. The block is an exact-size heap buffer
// filled by repeating the input, so short inputs reach the counters, the sensor records and
// the ring alike; any read past it is an ASan failure.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "contract/block_layout.h"
#include "metrics_text.h"
#include "text/utf8_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::unique_ptr<uint8_t[]> block(new uint8_t[vigil::block::kSize]);
  for (std::size_t i = 0; i < vigil::block::kSize; i += size) {
    std::memcpy(block.get() + i, data, size < vigil::block::kSize - i ? size : vigil::block::kSize - i);
  }
  const std::string text =
      vigilctl::FormatMetrics({block.get(), {"Kelvo B720", "Kelvo", "Kelvo B720"}, vigilctl::RefreshOutcome::kDone});
  const std::string label = vigilctl::LabelValue(std::string_view(reinterpret_cast<const char*>(data), size));
  // What goes out is valid UTF-8 with no raw line feed inside a label.
  for (const std::string* out : {&text, &label}) {
    for (std::size_t i = 0; i < out->size();) {
      const std::size_t length = vigil::text::Utf8SequenceLength(*out, i);
      if (length == 0) __builtin_trap();
      i += length;
    }
  }
  if (label.find('\n') != std::string::npos) __builtin_trap();
  return 0;
}
