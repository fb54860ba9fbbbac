// The device socket under clients that connect and then say nothing: idle connections end,
// and a client arriving while every slot is taken is served once one frees, not dropped.
#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "contract/device_frames.h"
#include "fixture_tree.h"
#include "provider/socket/frame_server.h"
#include "provider/socket/socket_server.h"
#include "provider/socket/unix_socket.h"

namespace hwlinux::testing {
namespace {

namespace wire = vigil::frames;

// Waits up to 10 s for `fd` to become readable and reads what is there: 0 at end of stream.
ssize_t ReadSoon(int fd, void* buffer, size_t size) {
  pollfd p = {fd, POLLIN, 0};
  if (poll(&p, 1, 10000) != 1) return -1;
  return read(fd, buffer, size);
}

TEST(ConnectionSlots, IdleClientsAreClosedAndLateOnesWaitForASlot) {
  FixtureTree tree;
  const std::string path = tree.Root() + "/hwgate.sock";
  hwgate::DeviceCall call = [](uint32_t, uint8_t*, uint32_t, uint32_t, uint32_t* returned) {
    *returned = 0;
    return true;
  };
  hwgate::SocketServer server;
  std::string error;
  ASSERT_EQ(server.Listen(path, os::SocketAccess::kOwnerOnly, [&call](int fd) { hwgate::ServeDeviceConnection(fd, call, 300); }, &error), 0)
      << error;
  std::thread running([&] { server.Run(nullptr); });
  while (access(path.c_str(), F_OK) != 0) usleep(1000);

  std::vector<int> idle;
  for (int i = 0; i < 64; ++i) idle.push_back(hwgate::ConnectUnix(path));
  usleep(100000);  // all 64 accepted
  const int late = hwgate::ConnectUnix(path);
  ASSERT_GE(late, 0);
  uint8_t request[wire::kHeaderSize];
  wire::EncodeRequest({wire::kRequestMagic, 0x1234, 0, 0}, request);
  ASSERT_EQ(write(late, request, sizeof request), ssize_t(sizeof request));
  uint8_t header[wire::kHeaderSize] = {};
  EXPECT_EQ(ReadSoon(late, header, sizeof header), ssize_t(sizeof header));
  const wire::ResponseHeader response = wire::DecodeResponse(header);
  EXPECT_EQ(response.magic, wire::kResponseMagic);
  EXPECT_EQ(response.success, 1u);
  char byte = 0;
  for (int fd : idle) {
    EXPECT_EQ(ReadSoon(fd, &byte, 1), 0);  // closed by the server
    close(fd);
  }
  close(late);
  pthread_kill(running.native_handle(), SIGTERM);
  running.join();
}

}  // namespace
}  // namespace hwlinux::testing
