// The agent executable outside the service manager, message boxes, and the small port calls.
#include "os/win32/win32_api.h"  // <windows.h> without the macros that hide port names

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "os/os.h"
#include "peer_process.h"

namespace vigil::wintest {
namespace {

std::string MessageLog() {
  char path[MAX_PATH];
  if (!os::win32::MessageLogPath(path, sizeof path)) return "";
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::size_t Count(const std::string& haystack, const std::string& needle) {
  std::size_t n = 0;
  for (std::size_t at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + 1)) {
    ++n;
  }
  return n;
}

TEST(AgentProcess, OutsideTheServiceManagerShowsTheDispatcherErrorAndExitsWithOne) {
  const std::string line = "[Vigilagent] ERROR: StartServiceCtrlDispatcher\r\n";
  const std::size_t before = Count(MessageLog(), line);
  ChildProcess agent("\"" + SiblingProgram("vigilagent.exe") + "\"");
  ASSERT_TRUE(agent.Started());
  EXPECT_EQ(agent.Wait(60000), 1);
  EXPECT_EQ(Count(MessageLog(), line), before + 1);
}

TEST(MessageBoxLog, EveryTextReachesTheLogAndTheCallReturns) {
  const std::string text = "Driver Initialization Error! " + UniqueName("box");
  os::MessageBox(text.c_str(), "HwGate", os::kMbIconError);
  const std::string log = MessageLog();
  EXPECT_EQ(Count(log, "[HwGate] " + text + "\r\n"), 1u);
  // A line starts with its local time: "YYYY-MM-DD hh:mm:ss ".
  const std::size_t at = log.find("[HwGate] " + text);
  ASSERT_GE(at, 20u);
  EXPECT_EQ(log[at - 1], ' ');
  EXPECT_EQ(log[at - 10], ' ');
}

TEST(MessageBoxLog, OverlongTextIsCutButTheLineStillEnds) {
  const std::string text(5000, 'x');
  const std::string marker = UniqueName("long");
  os::MessageBox(text.c_str(), marker.c_str(), os::kMbIconWarning);
  os::MessageBox(nullptr, nullptr, os::kMbOk);
  const std::string log = MessageLog();
  const std::size_t at = log.find("[" + marker + "] ");
  ASSERT_NE(at, std::string::npos);
  const std::size_t end = log.find("\r\n", at);
  ASSERT_NE(end, std::string::npos);
  EXPECT_LT(end - at, 1200u);
}

TEST(MessageBoxLog, LineBreaksInsideATextCannotForgeLogLines) {
  const std::string marker = UniqueName("multi");
  const std::string text = "first\r\n2026-01-01 00:00:00 [Vigilagent] forged\tline";
  os::MessageBox(text.c_str(), marker.c_str(), os::kMbIconWarning);
  const std::string log = MessageLog();
  EXPECT_EQ(Count(log, "[" + marker + "] first  2026-01-01 00:00:00 [Vigilagent] forged line\r\n"),
            1u);
}

TEST(ModuleFileName, IsTerminatedAndCutToTheBuffer) {
  char full[MAX_PATH];
  const std::size_t length = os::GetModuleFileName(full, sizeof full);
  ASSERT_GT(length, 4u);
  EXPECT_EQ(std::strlen(full), length);
  EXPECT_NE(std::string(full).find("test_windows"), std::string::npos);

  char small[6];
  std::memset(small, 'z', sizeof small);
  EXPECT_EQ(os::GetModuleFileName(small, 5), 4u);
  EXPECT_EQ(small[4], '\0');
  EXPECT_EQ(small[5], 'z') << "written past the capacity";
  EXPECT_EQ(std::string(small), std::string(full, 4));
  EXPECT_EQ(os::GetModuleFileName(small, 0), 0u);
  EXPECT_EQ(os::GetModuleFileName(nullptr, 10), 0u);
}

TEST(Files, WindowsPathsOpenAsTheyAre) {
  char folder[MAX_PATH];
  ASSERT_GT(GetTempPathA(sizeof folder, folder), 0u);
  const std::string path = std::string(folder) + UniqueName("test_log") + ".csv";
  std::FILE* out = os::OpenFile(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fputs("1,2,3\n", out);
  std::fclose(out);
  std::FILE* in = os::OpenFile(path.c_str(), "rb");
  ASSERT_NE(in, nullptr);
  char line[16] = {};
  ASSERT_NE(std::fgets(line, sizeof line, in), nullptr);
  EXPECT_STREQ(line, "1,2,3\n");
  std::fclose(in);
  DeleteFileA(path.c_str());
  EXPECT_EQ(os::OpenFile((path + ".missing").c_str(), "rb"), nullptr);
  EXPECT_EQ(os::OpenFile(nullptr, "rb"), nullptr);
}

}  // namespace
}  // namespace vigil::wintest
