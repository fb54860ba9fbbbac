// A fresh agent on a private block, and helpers to read sensor records back out of it.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "agent/shared/shared_block.h"
#include "agent/sensors/sensor_table.h"
#include "agent/state/agent_state.h"

namespace vigil::test {

class SensorBlockTest : public ::testing::Test {
 protected:
  // Before any member of a derived fixture (a scripted device opens the driver channel) and
  // after the last of them.
  SensorBlockTest() {
    ResetAgentState();
    gBlock = storage_.data();
  }
  ~SensorBlockTest() override { ResetAgentState(); }

  uint8_t* Record(std::size_t i) { return gBlock + block::SensorRecordOffset(i); }
  uint16_t Count() const { return block::LoadU16(gBlock, block::kSensorCount); }
  void SetCount(uint16_t n) { block::StoreU16(gBlock, block::kSensorCount, n); }
  std::string Name(std::size_t i) {
    return std::string(reinterpret_cast<const char*>(Record(i) + sensor::kName), sensor::kNameSize);
  }
  float Reading(std::size_t i) { return block::LoadF32(Record(i), sensor::kReading); }
  uint16_t State(std::size_t i) { return block::LoadU16(Record(i), sensor::kState); }

  std::vector<uint8_t> storage_ = std::vector<uint8_t>(block::kSize, 0);
};

// `text` padded with spaces to `length`, then with NUL bytes to the 32-byte name field.
inline std::string PaddedName(const std::string& text, std::size_t length) {
  std::string name = text;
  name.resize(length, ' ');
  name.resize(sensor::kNameSize, '\0');
  return name;
}

// A 32-byte NUL-padded name field holding `text`.
inline std::string NulName(const std::string& text) { return PaddedName(text, text.size()); }

}  // namespace vigil::test
