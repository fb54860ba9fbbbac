// Events on the Win32 backend, within one process and between two.
#include "os/win32/win32_api.h"  // <windows.h> without the macros that hide port names
#include <aclapi.h>

#include <gtest/gtest.h>

#include "os/os.h"
#include "peer_process.h"

namespace vigil::wintest {
namespace {

TEST(Events, AnotherProcessSetsTheAgentsEvent) {
  const std::string name = UniqueName("Request");
  os::Handle event = os::CreateNamedEvent(name.c_str(), true, false);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(os::WaitForEvent(event, 0), os::WaitResult::kTimeout);
  EXPECT_EQ(RunPeer("set " + name), 0);
  EXPECT_EQ(os::WaitForEvent(event, 5000), os::WaitResult::kSignaled);
  os::CloseHandle(event);
}

TEST(Events, ClientsEventIsTheOneTheAgentUses) {
  const std::string name = UniqueName("Reply");
  PeerHolding peer("event", name);
  ASSERT_TRUE(peer.Ready());
  // Created first by the client with default security: the agent's create opens it...
  os::Handle created = os::CreateNamedEvent(name.c_str(), true, false);
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  // ...and so does the plain open.
  os::Handle opened = os::OpenNamedEvent(name.c_str());
  ASSERT_NE(opened, nullptr);
  EXPECT_TRUE(os::SetEvent(opened));
  EXPECT_EQ(peer.Release(), 0) << "the peer did not see its event set";
  os::CloseHandle(created);
  os::CloseHandle(opened);
}

TEST(Events, ManualResetStaysSetUntilReset) {
  os::Handle event = os::CreateUnnamedEvent(true, true);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(os::WaitForEvent(event, 0), os::WaitResult::kSignaled);
  EXPECT_EQ(os::WaitForEvent(event, 0), os::WaitResult::kSignaled);
  EXPECT_TRUE(os::ResetEvent(event));
  EXPECT_EQ(os::WaitForEvent(event, 10), os::WaitResult::kTimeout);
  os::CloseHandle(event);
}

TEST(Events, AutoResetWakesOneWait) {
  os::Handle event = os::CreateUnnamedEvent(false, false);
  ASSERT_NE(event, nullptr);
  EXPECT_TRUE(os::SetEvent(event));
  EXPECT_EQ(os::WaitForEvent(event, 0), os::WaitResult::kSignaled);
  EXPECT_EQ(os::WaitForEvent(event, 0), os::WaitResult::kTimeout);
  os::CloseHandle(event);
}

TEST(Events, WaitEndsWhenAnotherThreadSets) {
  static os::Handle event = os::CreateUnnamedEvent(true, false);
  ASSERT_NE(event, nullptr);
  ASSERT_TRUE(os::StartThread([](void*) {
    os::SleepMs(50);
    os::SetEvent(event);
  }, nullptr));
  EXPECT_EQ(os::WaitForEvent(event, os::kInfinite), os::WaitResult::kSignaled);
}

TEST(Events, FailuresGiveNoHandle) {
  EXPECT_EQ(os::OpenNamedEvent(UniqueName("Missing").c_str()), nullptr);
  EXPECT_EQ(os::OpenNamedEvent(nullptr), nullptr);
  EXPECT_EQ(os::CreateNamedEvent(nullptr, true, false), nullptr);
  // A name that belongs to a mapping is no event.
  const std::string name = UniqueName("Mapping");
  os::Handle mapping = os::CreateNamedMapping(name.c_str(), 4096);
  ASSERT_NE(mapping, nullptr);
  EXPECT_EQ(os::CreateNamedEvent(name.c_str(), true, false), nullptr);
  EXPECT_EQ(os::OpenNamedEvent(name.c_str()), nullptr);
  os::CloseHandle(mapping);
}

TEST(Events, NamedEventHasWorldAccessAndAnInheritableHandle) {
  const std::string name = UniqueName("World");
  os::Handle event = os::CreateNamedEvent(name.c_str(), true, false);
  ASSERT_NE(event, nullptr);
  DWORD flags = 0;
  ASSERT_TRUE(GetHandleInformation(event, &flags));
  EXPECT_NE(flags & HANDLE_FLAG_INHERIT, 0u);
  PACL dacl = reinterpret_cast<PACL>(1);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetSecurityInfo(event, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            &dacl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(dacl, nullptr);
  LocalFree(descriptor);
  // The plain open gives a handle that a child does not inherit.
  os::Handle opened = os::OpenNamedEvent(name.c_str());
  ASSERT_NE(opened, nullptr);
  ASSERT_TRUE(GetHandleInformation(opened, &flags));
  EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u);
  os::CloseHandle(opened);
  os::CloseHandle(event);
}

}  // namespace
}  // namespace vigil::wintest
