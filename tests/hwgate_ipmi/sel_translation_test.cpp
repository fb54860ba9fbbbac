// SEL events into SMBIOS log records: which events have a counterpart and the bytes the
// agent's decoder then reads.
#include "ipmi/sel_translation.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include "agent/eventlog/event_decoder.h"
#include "ipmi/sensor_key.h"
#include "ipmi_builders.h"

namespace hwlinux::ipmi {
namespace {

using testing::SelEvent;

constexpr uint32_t kStamp = 1700000000;  // 2023-11-14 22:13:20 UTC

struct Handles : HandleLookup {
  int ProbeHandle(const std::string& origin, uint32_t key) const override {
    return origin == kIpmiOrigin && key == SensorKey(0x20, 0, 0x30) ? 0x7A01 : -1;
  }
  int MemoryDeviceHandle(uint32_t index) const override { return index == 2 ? 0x1102 : -1; }
};

class SelTranslation : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC0", 1);
    tzset();
  }
  std::vector<uint8_t> Translate(const ScriptedBmc::SelRecord& r, bool* translated) {
    std::vector<uint8_t> out;
    *translated = TranslateSelRecord(r.data(), kStamp, handles_, &out);
    return out;
  }
  Handles handles_;
};

TEST_F(SelTranslation, CounterpartsAndTheirVariableData) {
  struct Case {
    const char* what;
    ScriptedBmc::SelRecord sel;
    std::vector<uint8_t> variable;  // after type, length and time
    uint8_t type;
  };
  const Case cases[] = {
      {"correctable ECC on DIMM 2", SelEvent(kStamp, 0x0C, 1, 0x6F, 0xB0, 0, 2), {0x02, 0x11}, 0x01},
      {"uncorrectable ECC, DIMM not in the table", SelEvent(kStamp, 0x0C, 1, 0x6F, 0xB1, 0, 7),
       {0xFF, 0xFF}, 0x02},
      {"uncorrectable ECC, DIMM not named", SelEvent(kStamp, 0x0C, 1, 0x6F, 0x01), {0xFF, 0xFF}, 0x02},
      {"memory device disabled", SelEvent(kStamp, 0x0C, 1, 0x6F, 0x34, 0, 2), {0x02, 0x11}, 0x07},
      {"PCI PERR with location", SelEvent(kStamp, 0x13, 2, 0x6F, 0xF4, 0x02, 0x4B), {1, 0x4B, 2}, 0x09},
      {"PCI SERR without location", SelEvent(kStamp, 0x13, 2, 0x6F, 0x05), {0, 0, 0}, 0x0A},
      {"upper critical going high on a probe",
       SelEvent(kStamp, 0x01, 0x30, 0x01, 0x59, 0x60, 0x50), {0x01, 0x7A, 0x01, 0x00}, 0x10},
      {"lower critical going low, no probe served", SelEvent(kStamp, 0x02, 0x31, 0x01, 0x52),
       {0xFF, 0xFF, 0x01, 0x00}, 0x10},
      {"log area cleared", SelEvent(kStamp, 0x10, 3, 0x6F, 0x02), {}, 0x16},
      {"boot initiated by power up", SelEvent(kStamp, 0x1D, 4, 0x6F, 0x00), {}, 0x17},
      {"OEM system boot event", SelEvent(kStamp, 0x12, 4, 0x6F, 0x01), {}, 0x17},
      {"FRB2 processor hang in POST", SelEvent(kStamp, 0x07, 5, 0x6F, 0x03), {}, 0x0B},
      {"watchdog hard reset", SelEvent(kStamp, 0x23, 6, 0x6F, 0x01), {}, 0x11},
  };
  for (const Case& c : cases) {
    bool translated = false;
    const std::vector<uint8_t> out = Translate(c.sel, &translated);
    ASSERT_TRUE(translated) << c.what;
    std::vector<uint8_t> want = {c.type, uint8_t(8 + c.variable.size()), 0x23, 0x11, 0x14,
                                 0x22, 0x13, 0x20};
    want.insert(want.end(), c.variable.begin(), c.variable.end());
    EXPECT_EQ(out, want) << c.what;
  }
}

TEST_F(SelTranslation, PostErrorsNameTheBitTheAgentLooksUp) {
  struct Case {
    uint8_t firmwareCode;
    uint32_t agentCode;  // 256 + bit for the second word
  };
  const Case cases[] = {{0x05, 16}, {0x07, 9}, {0x08, 256 + 22}, {0x0A, 256 + 20}};
  for (const Case& c : cases) {
    bool translated = false;
    const auto out = Translate(SelEvent(kStamp, 0x0F, 1, 0x6F, 0xC0, c.firmwareCode), &translated);
    ASSERT_TRUE(translated);
    ASSERT_EQ(out.size(), 16u);
    ASSERT_EQ(out[1], 16);
    auto word = [&](int at) {
      return uint32_t(out[at]) | uint32_t(out[at + 1]) << 8 | uint32_t(out[at + 2]) << 16 |
             uint32_t(out[at + 3]) << 24;
    };
    EXPECT_EQ(vigil::PostErrorCode(word(8), word(12)), c.agentCode) << int(c.firmwareCode);
  }
}

TEST_F(SelTranslation, EventsWithoutCounterpartAreSkipped) {
  ScriptedBmc::SelRecord oem = SelEvent(kStamp, 0x0C, 1, 0x6F, 0x00);
  oem[2] = 0xC0;
  const ScriptedBmc::SelRecord cases[] = {
      oem,
      SelEvent(kStamp, 0x0C, 1, 0xEF, 0x00),        // deasserted
      SelEvent(kStamp, 0x01, 0x30, 0x01, 0x58),     // upper critical going low: the way back
      SelEvent(kStamp, 0x03, 0x30, 0x01, 0x59),     // current threshold
      SelEvent(kStamp, 0x0F, 1, 0x6F, 0xC0, 0x0B),  // firmware error with no POST bit
      SelEvent(kStamp, 0x0F, 1, 0x6F, 0x00),        // firmware error, code not given
      SelEvent(kStamp, 0x05, 1, 0x6F, 0x00),        // chassis intrusion
      SelEvent(kStamp, 0x0C, 1, 0x03, 0x01),        // generic discrete reading type
  };
  for (const auto& sel : cases) {
    bool translated = true;
    EXPECT_TRUE(Translate(sel, &translated).empty());
    EXPECT_FALSE(translated);
  }
}

}  // namespace
}  // namespace hwlinux::ipmi
