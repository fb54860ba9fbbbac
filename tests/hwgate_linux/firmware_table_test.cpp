#include "firmware_table.h"

#include <gtest/gtest.h>

#include "fixture_tree.h"
#include "smbios_bytes.h"

namespace hwlinux::testing {
namespace {

Bytes SampleTable() {
  return Join({Structure(1, 0x0100, Bytes(0x15, 0), {"Kelvo", "Kelvo B720"}),
               Structure(17, 0x1100, Bytes(0x11, 0)),
               Structure(127, 0x7F00, {})});
}

TEST(FirmwareTable, ReadsBothEntryPointKinds) {
  struct Case {
    Bytes entry;
    bool bits64;
    uint8_t major, minor;
  };
  Bytes table = SampleTable();
  for (const Case& c : {Case{EntryPoint32(2, 8, static_cast<uint16_t>(table.size())), false, 2, 8},
                        Case{EntryPoint32(2, 1, static_cast<uint16_t>(table.size()), 0x1E), false, 2, 1},
                        Case{EntryPoint64(3, 2, 0x10000), true, 3, 2}}) {
    FixtureTree tree;
    tree.Write("firmware/dmi/tables/smbios_entry_point", c.entry);
    tree.Write("firmware/dmi/tables/DMI", table);
    FirmwareTable fw;
    std::string diagnosis;
    ASSERT_EQ(ReadFirmwareTable(SystemFiles(), tree.Root(), &fw, &diagnosis), 0) << diagnosis;
    EXPECT_EQ(fw.entry.bits64, c.bits64);
    EXPECT_EQ(fw.entry.major, c.major);
    EXPECT_EQ(fw.entry.minor, c.minor);
    ASSERT_EQ(fw.structures.size(), 3u);
    EXPECT_EQ(StructureString(fw.bytes.data(), fw.structures[0], 2), "Kelvo B720");
    EXPECT_EQ(fw.structures[2].type, 127);
  }
}

TEST(FirmwareTable, ReadsATableOfManyPagesToTheEnd) {
  std::vector<Bytes> parts;
  for (int i = 0; i < 400; ++i) parts.push_back(Structure(2, static_cast<uint16_t>(i), Bytes(20, 0x11), {"board"}));
  Bytes table = Join(parts);
  ASSERT_GT(table.size(), 3 * 4096u);
  FixtureTree tree;
  tree.Write("firmware/dmi/tables/smbios_entry_point", EntryPoint64(3, 0, 0x20000));
  tree.Write("firmware/dmi/tables/DMI", table);
  FirmwareTable fw;
  std::string diagnosis;
  ASSERT_EQ(ReadFirmwareTable(SystemFiles(), tree.Root(), &fw, &diagnosis), 0);
  EXPECT_EQ(fw.bytes, table);
  EXPECT_EQ(fw.structures.size(), 400u);
}

TEST(FirmwareTable, DiagnosesWhatIsMissingOrBroken) {
  FixtureTree tree;
  FirmwareTable fw;
  std::string diagnosis;
  EXPECT_EQ(ReadFirmwareTable(SystemFiles(), tree.Root(), &fw, &diagnosis), -1);
  EXPECT_NE(diagnosis.find("not root, or the kernel is too old"), std::string::npos) << diagnosis;

  tree.Write("firmware/dmi/tables/smbios_entry_point", std::string("_XX_ not an entry point at all....."));
  tree.Write("firmware/dmi/tables/DMI", SampleTable());
  EXPECT_EQ(ReadFirmwareTable(SystemFiles(), tree.Root(), &fw, &diagnosis), -1);
  EXPECT_NE(diagnosis.find("anchor"), std::string::npos) << diagnosis;

  // A table cut inside its last structure is served up to the structure before.
  Bytes table = SampleTable();
  table.resize(table.size() - 7);  // into the memory device, End-of-Table gone
  tree.Write("firmware/dmi/tables/smbios_entry_point", EntryPoint32(2, 8, static_cast<uint16_t>(table.size())));
  tree.Write("firmware/dmi/tables/DMI", table);
  EXPECT_EQ(ReadFirmwareTable(SystemFiles(), tree.Root(), &fw, &diagnosis), 0);
  EXPECT_EQ(fw.structures.size(), 1u);
  EXPECT_NE(diagnosis.find("runs past"), std::string::npos) << diagnosis;
}

TEST(SplitStructures, StopsAtABadLengthAndNeverReadsPastTheEnd) {
  std::string problem;
  std::vector<RawStructure> out;
  Bytes shortHeader = {1, 3, 0, 0, 0, 0};  // formatted area shorter than its header
  EXPECT_EQ(SplitStructures(shortHeader.data(), shortHeader.size(), &out, &problem), 0u);
  EXPECT_FALSE(problem.empty());
  Bytes overLong = {1, 200, 0, 0, 0, 0};
  problem.clear();
  EXPECT_EQ(SplitStructures(overLong.data(), overLong.size(), &out, &problem), 0u);
  EXPECT_FALSE(problem.empty());
}

}  // namespace
}  // namespace hwlinux::testing
