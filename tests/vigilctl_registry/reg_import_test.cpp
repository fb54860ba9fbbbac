// .reg operations against the real registry backend: all or nothing, and whatever an import
// accepts can be exported again.
#include <gtest/gtest.h>

#include <string>

#include "os/os.h"
#include "reg_file.h"
#include "reg_registry.h"
#include "support/sandbox.h"

namespace vigilctl {
namespace {

bool KeyExists(const std::string& path) {
  os::RegHandle key = nullptr;
  if (os::RegOpenKey(path.c_str(), os::kKeyRead, &key) != os::kErrorSuccess) return false;
  os::RegCloseKey(key);
  return true;
}

RegOperation SetValue(const std::string& key, const std::string& name) {
  return RegOperation{RegOperation::Kind::kSetValue, key, name, os::kRegDword, {1, 0, 0, 0}, 7};
}

// A fault that only the registry finds (here a value name it refuses, which the parser would
// have caught) undoes every operation applied before it.
TEST(RegImportTest, AFailureWhileApplyingLeavesTheRegistryAsItWas) {
  vigil::test::Sandbox sandbox;
  std::string error;
  ASSERT_EQ(ApplyRegOperations({SetValue("SOFTWARE\\Kept", "old")}, &error), 0) << error;
  const std::vector<RegOperation> operations = {
      RegOperation{RegOperation::Kind::kDeleteKey, "SOFTWARE\\Kept", "", 0, {}, 3},
      SetValue("SOFTWARE\\New", "a"),
      SetValue("SOFTWARE\\New", std::string(os::kRegMaxValueName + 1, 'n')),
  };
  EXPECT_EQ(ApplyRegOperations(operations, &error), -1);
  EXPECT_NE(error.find("line 7"), std::string::npos) << error;
  EXPECT_TRUE(KeyExists("SOFTWARE\\Kept"));
  EXPECT_FALSE(KeyExists("SOFTWARE\\New"));
  // The registry is still usable afterwards.
  EXPECT_EQ(ApplyRegOperations({SetValue("SOFTWARE\\New", "a")}, &error), 0) << error;
  EXPECT_TRUE(KeyExists("SOFTWARE\\New"));
}

TEST(RegImportTest, TheDeepestKeyAnImportAcceptsIsExportedWithItsParent) {
  vigil::test::Sandbox sandbox;
  std::string path = "SOFTWARE\\Deep";
  for (std::size_t depth = 2; depth < os::kRegMaxKeyDepth; ++depth) path += "\\k";
  const std::string file = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\" + path +
                           "]\n\"leaf\"=dword:00000001\n";
  RegParseResult parsed = ParseRegFile(file);
  ASSERT_EQ(parsed.errorLine, 0) << parsed.error;
  std::string error;
  ASSERT_EQ(ApplyRegOperations(parsed.operations, &error), 0) << error;
  std::string text;
  ASSERT_EQ(ExportRegKey("SOFTWARE", &text, &error), 0) << error;
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\" + path + "]\n\"leaf\"=dword:00000001\n"), std::string::npos);
}

}  // namespace
}  // namespace vigilctl
