#include "frame_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace vigil::test {
namespace {

bool ReadAll(int fd, void* data, std::size_t size) {
  auto* at = static_cast<char*>(data);
  while (size > 0) {
    ssize_t got = recv(fd, at, size, 0);
    if (got <= 0) return false;
    at += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

void PutLe32(std::string* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(value >> (8 * i)));
}

}  // namespace

FrameServer::FrameServer(const std::string& socketPath, Script script)
    : path_(socketPath), script_(std::move(script)) {
  std::filesystem::create_directories(std::filesystem::path(socketPath).parent_path());
  listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 8) != 0) {
    throw std::runtime_error("cannot listen on " + socketPath);
  }
  thread_ = std::thread([this] { Serve(); });
}

FrameServer::~FrameServer() {
  stop_ = true;
  thread_.join();
  close(listener_);
  unlink(path_.c_str());
}

void FrameServer::Serve() {
  std::vector<std::thread> workers;
  while (!stop_) {
    pollfd entry{listener_, POLLIN, 0};
    if (poll(&entry, 1, 20) <= 0) continue;
    int fd = accept(listener_, nullptr, nullptr);
    if (fd < 0) continue;
    ++connections_;
    workers.emplace_back([this, fd] { ServeConnection(fd); });
  }
  for (auto& worker : workers) worker.join();
}

void FrameServer::ServeConnection(int fd) {
  while (!stop_) {
    pollfd entry{fd, POLLIN, 0};
    if (poll(&entry, 1, 20) <= 0) continue;
    Request request{};
    uint8_t header[vigil::frames::kHeaderSize];
    if (!ReadAll(fd, header, sizeof header)) break;
    request.header = vigil::frames::DecodeRequest(header);
    if (request.header.inLength > vigil::frames::kMaxPayload) break;
    request.input.resize(request.header.inLength);
    if (!ReadAll(fd, request.input.data(), request.input.size())) break;
    bool closeAfter = false;
    std::string reply = script_(request, &closeAfter);
    if (!reply.empty()) send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
    if (closeAfter) break;
  }
  close(fd);
}

std::string FrameServer::Header(uint32_t magic, uint32_t success, uint32_t returned) {
  std::string out;
  PutLe32(&out, magic);
  PutLe32(&out, success);
  PutLe32(&out, returned);
  PutLe32(&out, 0);
  return out;
}

std::string FrameServer::Response(bool success, const std::string& payload) {
  return Header(vigil::frames::kResponseMagic, success ? 1 : 0,
                static_cast<uint32_t>(success ? payload.size() : 0)) +
         (success ? payload : std::string());
}

}  // namespace vigil::test
