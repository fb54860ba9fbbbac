// Cross-check with an independent decoder: the same structure table, wrapped as a
// `dmidecode --dump-bin` file, must read the same in dmidecode as in our parser.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "inventory_snapshot.h"
#include "smbios_builder.h"
#include "support/source_path.h"

namespace vigil::test {
namespace {

constexpr std::size_t kTableOffset = 0x20;  // where dump files put the table
constexpr std::size_t kEntryPointLength = 0x18;

// The SMBIOS 3.0 (64-bit) entry point: anchor "_SM3_", checksum over its 0x18 bytes, length,
// version 3.0, entry point revision 1, table maximum size and 64-bit table address.
std::vector<uint8_t> DumpFile(const std::vector<uint8_t>& table) {
  std::vector<uint8_t> file(kTableOffset + table.size(), 0);
  std::memcpy(file.data(), "_SM3_", 5);
  file[0x06] = kEntryPointLength;
  file[0x07] = 3;
  file[0x08] = 0;
  file[0x09] = 0;
  file[0x0A] = 1;
  const uint32_t size = static_cast<uint32_t>(table.size());
  for (int i = 0; i < 4; ++i) file[0x0C + i] = static_cast<uint8_t>(size >> (8 * i));
  file[0x10] = kTableOffset;
  uint8_t sum = 0;
  for (std::size_t i = 0; i < kEntryPointLength; ++i) sum = static_cast<uint8_t>(sum + file[i]);
  file[0x05] = static_cast<uint8_t>(0x100 - sum);
  if (!table.empty()) std::memcpy(file.data() + kTableOffset, table.data(), table.size());
  return file;
}

// dmidecode is a Linux program: the Windows build (under Wine, which would see the host's copy
// through drive Z:) cannot run it.
std::string FindDmidecode() {
#ifndef _WIN32
  for (const char* path : {"/usr/sbin/dmidecode", "/sbin/dmidecode", "/usr/bin/dmidecode", "/usr/local/sbin/dmidecode"}) {
    if (std::filesystem::exists(path)) return path;
  }
#endif
  return {};
}

struct DmidecodeRun {
  int status = -1;  // 0 when dmidecode ran and exited 0
  std::string out;
  std::string err;
};

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// `dmidecode --from-dump` on the dump file, written to a fresh temporary folder.
DmidecodeRun RunDmidecode(const std::string& dmidecode, const std::vector<uint8_t>& file) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("vigil-dmidecode-" + std::to_string(std::random_device()()));
  fs::create_directories(dir);
  std::ofstream(dir / "smbios.dump", std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                             static_cast<std::streamsize>(file.size()));
  DmidecodeRun run;
  const std::string command =
      dmidecode + " --from-dump '" + (dir / "smbios.dump").string() + "' 2>'" + (dir / "err").string() + "'";
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.out.append(chunk, n);
    run.status = pclose(pipe);
  }
  run.err = Slurp(dir / "err");
  fs::remove_all(dir);
  return run;
}

// dmidecode's text as structures: handle -> (name line, field -> value).
struct Decoded {
  std::string name;
  std::map<std::string, std::string> fields;
};

std::map<unsigned, Decoded> ParseDmidecode(const std::string& text, std::vector<unsigned>* order) {
  std::map<unsigned, Decoded> structures;
  std::istringstream lines(text);
  std::string line;
  Decoded* current = nullptr;
  bool expectName = false;
  while (std::getline(lines, line)) {
    unsigned handle = 0;
    if (std::sscanf(line.c_str(), "Handle 0x%x,", &handle) == 1) {
      current = &structures[handle];
      order->push_back(handle);
      expectName = true;
    } else if (current && expectName) {
      current->name = line;
      expectName = false;
    } else if (current && line.size() > 1 && line[0] == '\t' && line[1] != '\t') {
      const std::size_t colon = line.find(": ");
      if (colon != std::string::npos) current->fields[line.substr(1, colon - 1)] = line.substr(colon + 2);
    }
  }
  return structures;
}

// The display rule of SMBIOS 2.6 and later: the first three fields are little-endian. Lower
// case, as dmidecode writes it now (older releases wrote upper case: compare folded).
std::string UuidAsDisplayed(const Uuid& u) {
  char text[40];
  std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", u[3],
                u[2], u[1], u[0], u[5], u[4], u[7], u[6], u[8], u[9], u[10], u[11], u[12], u[13], u[14], u[15]);
  return text;
}

TEST(DmidecodeCrossCheck, SameProductUuidProbesAndLocators) {
  const std::string dmidecode = FindDmidecode();
  if (dmidecode.empty()) GTEST_SKIP() << "dmidecode is not installed (Debian package \"dmidecode\"): cross-check skipped";

  const std::vector<TestStructure> structures = SampleServerTable();
  const DmidecodeRun run = RunDmidecode(dmidecode, DumpFile(StandardStructureTable(structures)));
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_NE(run.out.find("SMBIOS 3.0"), std::string::npos) << run.out;  // our entry point was taken
  EXPECT_EQ(run.err, "");  // no complaint about the entry point or the table

  ResetAgentState();
  const InventorySnapshot ours = ParseAndSnapshot(BuildSmbiosBuffer(Layout::kStandard, structures));
  std::vector<unsigned> order;
  const auto theirs = ParseDmidecode(run.out, &order);

  ASSERT_TRUE(theirs.count(0x0100)) << run.out;
  EXPECT_EQ(theirs.at(0x0100).name, "System Information");
  EXPECT_EQ(theirs.at(0x0100).fields.at("Product Name"), ours.productName);
  std::string uuid = theirs.at(0x0100).fields.at("UUID");
  for (char& c : uuid) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(uuid, UuidAsDisplayed(ours.systemUuid));

  std::vector<ProbeValue> voltage, temperature;
  std::map<uint16_t, std::string> locators;
  for (unsigned handle : order) {
    const Decoded& d = theirs.at(handle);
    const auto field = [&d](const char* name) { return d.fields.count(name) ? d.fields.at(name) : "<missing>"; };
    if (d.name == "Voltage Probe") voltage.push_back({static_cast<uint16_t>(handle), 0, field("Description")});
    if (d.name == "Temperature Probe") temperature.push_back({static_cast<uint16_t>(handle), 0, field("Description")});
    if (d.name == "Memory Device") locators[static_cast<uint16_t>(handle)] = field("Locator");
  }
  auto withoutStatus = [](std::vector<ProbeValue> probes) {
    for (ProbeValue& p : probes) p.locationAndStatus = 0;
    return probes;
  };
  EXPECT_EQ(voltage, withoutStatus(ours.voltageProbes));
  EXPECT_EQ(temperature, withoutStatus(ours.temperatureProbes));
  EXPECT_EQ(locators, ours.memoryDevices);
  EXPECT_EQ(voltage.size(), 2u);
  EXPECT_EQ(temperature.size(), 2u);
  EXPECT_EQ(locators.size(), 2u);
}

// A real server's table (fixtures/tables/supermicro-x9dbl.bin): each cooling device's
// description as dmidecode reads it, "Not Specified" where the structure names no string.
TEST(DmidecodeCrossCheck, CoolingDeviceDescriptionsOfARealTable) {
  const std::string dmidecode = FindDmidecode();
  if (dmidecode.empty()) GTEST_SKIP() << "dmidecode is not installed (Debian package \"dmidecode\"): cross-check skipped";
  std::ifstream in(SourcePath("fixtures/tables/supermicro-x9dbl.bin"), std::ios::binary);
  const std::vector<uint8_t> table((std::istreambuf_iterator<char>(in)), {});
  ASSERT_FALSE(table.empty());

  const DmidecodeRun run = RunDmidecode(dmidecode, DumpFile(table));
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<unsigned> order;
  const auto theirs = ParseDmidecode(run.out, &order);
  std::vector<std::pair<uint16_t, std::string>> expected;
  for (unsigned handle : order) {
    const Decoded& d = theirs.at(handle);
    if (d.name != "Cooling Device") continue;
    const std::string text = d.fields.count("Description") ? d.fields.at("Description") : "<missing>";
    expected.emplace_back(static_cast<uint16_t>(handle), text == "Not Specified" ? "" : text);
  }

  std::vector<uint8_t> buffer(kSmbiosTableSize, 0);
  buffer[0] = 1;  // standard layout, first structure at 0
  for (int i = 0; i < 4; ++i) buffer[16 + i] = static_cast<uint8_t>(table.size() >> (8 * i));
  std::memcpy(buffer.data() + kSmbiosDataArea, table.data(), table.size());
  ResetAgentState();
  const InventorySnapshot ours = ParseAndSnapshot(buffer);
  std::vector<std::pair<uint16_t, std::string>> parsed;
  for (uint32_t i = 0; i < gInventory.coolingDeviceCount; ++i) {
    parsed.emplace_back(gInventory.coolingDevices[i].handle, gInventory.coolingDevices[i].description);
  }
  EXPECT_EQ(parsed, expected) << run.out;
  EXPECT_EQ(parsed.size(), 5u);
  EXPECT_EQ(ours.productName, theirs.at(0x0001).fields.at("Product Name"));
}

}  // namespace
}  // namespace vigil::test
