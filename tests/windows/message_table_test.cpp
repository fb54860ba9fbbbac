// The message table linked into vigilagent.exe, read back as the event viewer reads it.
#include "os/win32/win32_api.h"  // <windows.h> without the macros that hide port names

#include <gtest/gtest.h>

#include <string>

#include "peer_process.h"

namespace vigil::wintest {
namespace {

class MessageTable : public ::testing::Test {
 protected:
  void SetUp() override {
    agent_ = LoadLibraryExA(SiblingProgram("vigilagent.exe").c_str(), nullptr,
                            LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(agent_, nullptr) << "vigilagent.exe not beside the test program";
  }
  void TearDown() override {
    if (agent_ != nullptr) FreeLibrary(agent_);
  }
  // The text of `id` in US English with one insertion string, or "<none>".
  std::string Format(DWORD id, const char* insertion) {
    char buffer[512] = {};
    DWORD_PTR arguments[1] = {reinterpret_cast<DWORD_PTR>(insertion)};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                   agent_, id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                   buffer, sizeof buffer, reinterpret_cast<va_list*>(arguments));
    return n == 0 ? "<none>" : std::string(buffer, n);
  }

  HMODULE agent_ = nullptr;
};

TEST_F(MessageTable, CarriesTheCategoriesAndTheEventText) {
  struct Case {
    DWORD id;
    const char* insertion;
    const char* text;
  };
  const Case cases[] = {
      {1, "", "System Management BIOS Event\r\n"},
      {2, "", "Vigil Agent Event\r\n"},
      {100, "Fan 3 failure", "Fan 3 failure.\r\n"},
      {100, "", ".\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Format(c.id, c.insertion), c.text) << "id " << c.id;
}

TEST_F(MessageTable, HasNoOtherMessages) {
  for (DWORD id : {0u, 3u, 99u, 101u}) EXPECT_EQ(Format(id, "x"), "<none>") << "id " << id;
}

TEST_F(MessageTable, IsOneUsEnglishTable) {
  EXPECT_NE(FindResourceExA(agent_, MAKEINTRESOURCEA(11) /* RT_MESSAGETABLE */,
                            MAKEINTRESOURCEA(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)),
            nullptr);
}

}  // namespace
}  // namespace vigil::wintest
