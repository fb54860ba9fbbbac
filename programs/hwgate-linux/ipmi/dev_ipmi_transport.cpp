#include "ipmi/dev_ipmi_transport.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/ipmi.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

namespace hwlinux::ipmi {

namespace {

long long NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

DevIpmiTransport::~DevIpmiTransport() {
  if (fd_ >= 0) close(fd_);
}

int DevIpmiTransport::Open(const std::string& path, std::string* diagnosis) {
  if (fd_ >= 0) close(fd_);
  fd_ = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd_ >= 0) return 0;
  const int error = errno;
  if (error == ENOENT) {
    *diagnosis = path + " absent: load ipmi_devintf (and ipmi_si for the BMC)";
  } else if (error == EACCES || error == EPERM) {
    *diagnosis = path + ": permission denied (the provider runs as root)";
  } else {
    *diagnosis = path + ": " + std::strerror(error);
  }
  return -1;
}

int DevIpmiTransport::Exchange(const BmcRequest& request, BmcResponse* response) {
  response->completionCode = 0;
  response->length = 0;
  if (fd_ < 0 || request.length > IPMI_MAX_MSG_LENGTH) return -1;

  // Only the address structure of the chosen kind is handed to the kernel.
  ipmi_system_interface_addr bmcAddress{};
  bmcAddress.addr_type = IPMI_SYSTEM_INTERFACE_ADDR_TYPE;
  bmcAddress.channel = IPMI_BMC_CHANNEL;
  bmcAddress.lun = request.target.lun;
  ipmi_ipmb_addr ipmbAddress{};
  ipmbAddress.addr_type = IPMI_IPMB_ADDR_TYPE;
  ipmbAddress.channel = request.target.channel;
  ipmbAddress.slave_addr = request.target.slaveAddress;
  ipmbAddress.lun = request.target.lun;

  unsigned char data[IPMI_MAX_MSG_LENGTH] = {};
  if (request.length > 0) std::memcpy(data, request.data, request.length);
  ipmi_req req{};
  if (request.target.ipmb) {
    req.addr = reinterpret_cast<unsigned char*>(&ipmbAddress);
    req.addr_len = sizeof ipmbAddress;
  } else {
    req.addr = reinterpret_cast<unsigned char*>(&bmcAddress);
    req.addr_len = sizeof bmcAddress;
  }
  const long msgId = nextMsgId_++;
  req.msgid = msgId;
  req.msg.netfn = request.netFn;
  req.msg.cmd = request.cmd;
  req.msg.data = data;
  req.msg.data_len = static_cast<unsigned short>(request.length);
  if (ioctl(fd_, IPMICTL_SEND_COMMAND, &req) != 0) return -1;

  const long long deadline = NowMs() + timeoutMs_;
  for (;;) {
    const long long left = deadline - NowMs();
    if (left <= 0) return -1;
    pollfd pfd{fd_, POLLIN, 0};
    const int ready = poll(&pfd, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return -1;

    unsigned char answer[IPMI_MAX_MSG_LENGTH] = {};
    ipmi_addr from{};
    ipmi_recv recv{};
    recv.addr = reinterpret_cast<unsigned char*>(&from);
    recv.addr_len = sizeof from;
    recv.msg.data = answer;
    recv.msg.data_len = sizeof answer;
    // A truncated answer still arrives (EMSGSIZE) with the bytes that fit.
    if (ioctl(fd_, IPMICTL_RECEIVE_MSG_TRUNC, &recv) != 0 && errno != EMSGSIZE) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return -1;
    }
    // Events, commands for us, and late answers to requests given up earlier are not ours.
    if (recv.recv_type != IPMI_RESPONSE_RECV_TYPE || recv.msgid != msgId) continue;
    if (recv.msg.cmd != request.cmd) continue;
    std::size_t length = recv.msg.data_len;
    if (length > sizeof answer) length = sizeof answer;
    if (length == 0) return -1;  // not even a completion code
    response->completionCode = answer[0];
    response->length = length - 1 < BmcResponse::kMaxData ? length - 1 : BmcResponse::kMaxData;
    std::memcpy(response->data, answer + 1, response->length);
    return 0;
  }
}

}  // namespace hwlinux::ipmi
