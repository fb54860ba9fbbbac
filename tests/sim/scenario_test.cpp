// Scenario files: the fixtures load and describe what the other tests rely on; bad files are
// refused with the file, the key and the reason.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/event_log.h"
#include "core_fixture.h"
#include "scenario/scenario_loader.h"
#include "support/sandbox.h"
#include "table_reader.h"

namespace {

using vigil::test::SourcePath;

struct Expected {
  uint16_t handle;
  uint8_t type;
  uint16_t raw;
  uint8_t status;
};

struct Fixture {
  const char* file;
  const char* product;
  uint32_t layout;
  std::vector<Expected> sensors;
};

const Fixture kFixtures[] = {
    {"kelvo-a140.json", "Kelvo A140", 1,
     {{0x40, 26, 1795, 0x63}, {0x41, 26, 3312, 0x67}, {0x42, 26, 5046, 0x67}, {0x43, 26, 12890, 0x87},
      {0x44, 26, 53585, 0x67}, {0x50, 28, 912, 0xA3}, {0x51, 28, 284, 0x67}, {0x60, 27, 4350, 0x63},
      {0x61, 27, 0x8000, 0x43}, {0x62, 27, 2940, 0x63}}},
    {"kelvo-a141.json", "Kelvo A141 Rack Server", 1,
     {{0x43, 26, 12890, 0x87}, {0x50, 28, 912, 0xA3}, {0x61, 27, 0x8000, 0x43}}},
    {"kelvo-b720.json", "Kelvo B720", 1,
     {{0x40, 26, 1780, 0x63}, {0x41, 26, 1792, 0x63}, {0x42, 26, 3296, 0x67}, {0x43, 26, 5460, 0x87},
      {0x44, 26, 12120, 0x6A}, {0x45, 26, 53535, 0x6A}, {0x50, 28, 452, 0x63}, {0x51, 28, 871, 0xA3},
      {0x52, 28, 243, 0x6C}, {0x53, 28, 0x8000, 0x47}, {0x60, 27, 5520, 0x63}, {0x61, 27, 5610, 0x63},
      {0x62, 27, 4680, 0x63}, {0x63, 27, 1200, 0x83}}},
    {"kelvo-c850.json", "Kelvo C850", 2,
     {{0x40, 26, 1820, 0x63}, {0x41, 26, 1815, 0x63}, {0x42, 26, 3351, 0x67}, {0x43, 26, 4410, 0xA7},
      {0x44, 26, 12230, 0x6A}, {0x45, 26, 53425, 0x6A}, {0x50, 28, 618, 0x63}, {0x51, 28, 794, 0x83},
      {0x52, 28, 215, 0x6C}, {0x60, 27, 8820, 0x63}, {0x61, 27, 8760, 0x63}, {0x62, 27, 8910, 0x63},
      {0x63, 27, 0x8000, 0x43}, {0x64, 27, 7050, 0x63}, {0x65, 27, 7110, 0x63}, {0x66, 27, 6980, 0x63},
      {0x67, 27, 7020, 0x63}}},
    {"unknown-model.json", "Kelvo D100", 1,
     {{0x40, 26, 1104, 0x63}, {0x41, 26, 13020, 0xA7}, {0x42, 26, 53495, 0x67}, {0x50, 28, 655, 0x83},
      {0x51, 28, 0x8000, 0x47}, {0x60, 27, 3480, 0x63}, {0x61, 27, 2310, 0x63}}},
};

std::string ProductOf(const hwsim::Core& core) {
  for (const simtest::ReadStructure& s : simtest::ReadTable(core.smbios)) {
    if (s.type == 1 && s.formatted.size() > 1 && s.formatted[1] >= 1 && s.formatted[1] <= s.strings.size()) {
      return s.strings[s.formatted[1] - 1];
    }
  }
  return "";
}

TEST(Fixtures, EveryModelLoadsWithItsProductSensorsAndLog) {
  for (const Fixture& f : kFixtures) {
    SCOPED_TRACE(f.file);
    auto core = simtest::NewCore();
    std::string error;
    ASSERT_TRUE(hwsim::LoadScenarioFile(SourcePath(std::string("fixtures/scenarios/") + f.file).c_str(),
                                        core.get(), &error)) << error;
    EXPECT_EQ(simtest::U32(core->smbios), f.layout);
    EXPECT_EQ(ProductOf(*core), f.product);
    for (const Expected& e : f.sensors) {
      const hwsim::SensorSlot* slot = hwsim::FindSensor(*core, e.handle);
      ASSERT_NE(slot, nullptr) << e.handle;
      EXPECT_EQ(slot->structureType, e.type) << e.handle;
      EXPECT_EQ(slot->raw, e.raw) << e.handle;
      EXPECT_EQ(slot->status, e.status) << e.handle;
    }
    EXPECT_GE(hwsim::CountLogRecords(*core), 3u);
    EXPECT_NE(core->firstRecordTime, 0u);
    EXPECT_LT(core->logLength, core->logCapacity);
  }
}

TEST(Fixtures, RawTableFileGivesTheSameBufferAsTheStructureList) {
  auto listed = simtest::NewCore(), fromFile = simtest::NewCore();
  std::string error;
  ASSERT_TRUE(hwsim::LoadScenarioFile(SourcePath("fixtures/scenarios/kelvo-b720.json").c_str(), listed.get(), &error)) << error;
  ASSERT_TRUE(hwsim::LoadScenarioFile(SourcePath("fixtures/scenarios/kelvo-b720-from-file.json").c_str(), fromFile.get(), &error)) << error;
  EXPECT_EQ(0, std::memcmp(listed->smbios, fromFile->smbios, sizeof listed->smbios));
  EXPECT_EQ(listed->logLength, fromFile->logLength);
}

struct BadScenario {
  const char* name;
  std::string json;
  std::string key;   // must appear in the message
  std::string what;  // and so must this
};

std::string Table(const std::string& structure) {
  return R"({"smbios": {"layout": "standard", "structures": [)" + structure + "]}";
}
const std::string kProbe = R"({"type": 28, "handle": 80, "formatted": "01 63 00 00 00 00 00 00 00 00 00 00 00 00 00 00 C4 01", "strings": ["CPU"]})";

TEST(Scenario, BadFilesNameTheKeyAndTheFault) {
  const BadScenario cases[] = {
      {"not JSON", "{\"smbios\": ", "(document)", "not valid JSON"},
      {"unknown top key", R"({"smbois": {}})", "smbois", "unknown key"},
      {"unknown smbios key", R"({"smbios": {"layout": "standard", "structures": [], "colour": 1}})", "smbios.colour", "unknown key"},
      {"unknown structure key", Table(R"({"type": 1, "handle": 1, "formatted": "", "name": "x"})") + "}", "smbios.structures[0].name", "unknown key"},
      {"unknown sensor key", Table(kProbe) + R"(, "sensors": {"80": {"raw": 1, "status": 1, "rwa": 2}}})", "sensors.80.rwa", "unknown key"},
      {"unknown log key", R"({"eventLog": {"firstRecordTime": 1, "record": []}})", "eventLog.record", "unknown key"},
      {"bad hex digit", Table(R"({"type": 1, "handle": 1, "formatted": "0g"})") + "}", "smbios.structures[0].formatted", "'g' is not a hex digit"},
      {"odd hex", Table(R"({"type": 1, "handle": 1, "formatted": "012"})") + "}", "smbios.structures[0].formatted", "odd number"},
      {"bad layout", R"({"smbios": {"layout": "sideways", "structures": []}})", "smbios.layout", "not one of"},
      {"handle too big", Table(R"({"type": 1, "handle": 65536, "formatted": ""})") + "}", "smbios.structures[0].handle", "larger than 65535"},
      {"type as text", Table(R"({"type": "0x1FF", "handle": 1, "formatted": ""})") + "}", "smbios.structures[0].type", "larger than 255"},
      {"negative number", Table(R"({"type": -1, "handle": 1, "formatted": ""})") + "}", "smbios.structures[0].type", "must be a number"},
      {"missing formatted", Table(R"({"type": 1, "handle": 1})") + "}", "smbios.structures[0].formatted", "missing"},
      {"file and structures", R"({"smbios": {"layout": "standard", "file": "x.bin", "structures": []}})", "smbios", "exactly one"},
      {"missing table file", R"({"smbios": {"layout": "standard", "file": "no-such.bin"}})", "smbios.file", "cannot read"},
      {"table too large", Table(R"({"type": 128, "handle": 1, "formatted": ")" + std::string(500, 'A') + R"("})" +
                                std::string(", {\"type\": 128, \"handle\": 2, \"formatted\": \"" + std::string(500, 'B') + "\", \"strings\": [\"" + std::string(8000, 'x') + "\"]}")) + "}",
       "smbios", "does not fit the 8192-byte buffer"},
      {"record too short", R"({"eventLog": {"firstRecordTime": 1, "records": ["01"]}})", "eventLog.records[0]", "2 to 68"},
      {"record length lies", R"({"eventLog": {"firstRecordTime": 1, "records": ["01 08 23 01 01 00 00 00", "01 09 23 01 01 00 00 00"]}})", "eventLog.records[1]", "does not match"},
      {"missing identity", R"({"eventLog": {"records": []}})", "eventLog.firstRecordTime", "missing"},
      {"identity too big", R"({"eventLog": {"firstRecordTime": 4294967296}})", "eventLog.firstRecordTime", "larger than"},
      {"sensor not a probe", Table(kProbe) + R"(, "sensors": {"0x51": {"raw": 1, "status": 1}}})", "sensors.0x51", "no probe or cooling device"},
      {"sensor handle not a number", Table(kProbe) + R"(, "sensors": {"CPU": {"raw": 1, "status": 1}}})", "sensors.CPU", "bad handle"},
      {"status too big", Table(kProbe) + R"(, "sensors": {"80": {"raw": 1, "status": 256}}})", "sensors.80.status", "larger than 255"},
      {"number beyond any type", R"({"eventLog": {"firstRecordTime": 1e400}})", "(document)", "not valid JSON"},
      {"table file is a directory", R"({"smbios": {"layout": "standard", "file": "/"}})", "smbios.file", "not a regular file"},
      {"table file is a device", R"({"smbios": {"layout": "standard", "file": "/dev/zero"}})", "smbios.file", "not a regular file"},
      {"fail not boolean", R"({"smbios": {"layout": "none", "structures": [], "fail": "yes"}})", "smbios.fail", "true or false"},
  };
  for (const BadScenario& c : cases) {
    SCOPED_TRACE(c.name);
    auto core = simtest::NewCore();
    std::string error;
    EXPECT_FALSE(hwsim::LoadScenarioText(c.json, "bad.json", "/nonexistent", core.get(), &error));
    EXPECT_EQ(error.rfind("bad.json: " + c.key + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(c.what), std::string::npos) << error;
    EXPECT_EQ(core->sensorCount, 0u);  // a refused scenario leaves nothing behind
    EXPECT_EQ(core->logLength, 0u);
  }
}

TEST(Scenario, NumbersMayBeHexStringsAndHandlesHexKeys) {
  auto core = simtest::NewCore();
  std::string error;
  std::string json = Table(R"({"type": "0x1C", "handle": "0x50", "formatted": "01 63 00 00 00 00 00 00 00 00 00 00 00 00 00 00 C4 01", "strings": ["CPU"]})") +
                     R"(, "eventLog": {"firstRecordTime": "0xDEADBEEF", "records": ["17 08 24 03 05 11 40 02"]},
                         "sensors": {"0x0050": {"raw": "0x8000", "status": "0xA3"}}})";
  ASSERT_TRUE(hwsim::LoadScenarioText(json, "ok.json", "/", core.get(), &error)) << error;
  EXPECT_EQ(core->firstRecordTime, 0xDEADBEEFu);
  ASSERT_NE(hwsim::FindSensor(*core, 0x50), nullptr);
  EXPECT_EQ(hwsim::FindSensor(*core, 0x50)->raw, 0x8000);
  EXPECT_EQ(hwsim::FindSensor(*core, 0x50)->status, 0xA3);
}

TEST(Scenario, MissingOrNonRegularFileIsNamed) {
  for (const char* path : {"/nonexistent/scenario.json", "/", "/dev/zero"}) {
    auto core = simtest::NewCore();
    std::string error;
    EXPECT_FALSE(hwsim::LoadScenarioFile(path, core.get(), &error));
    EXPECT_EQ(error.rfind(std::string(path) + ": cannot open the scenario file", 0), 0u) << error;
  }
}

}  // namespace
