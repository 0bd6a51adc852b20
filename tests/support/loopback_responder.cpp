#include "loopback_responder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace makeddl::testing {

std::string resolutionResponse(const std::string& data) {
  std::string datagram = "\x05";
  datagram += static_cast<char>(data.size() & 0xFF);
  datagram += static_cast<char>(data.size() >> 8);
  return datagram + data;
}

LoopbackResponder::LoopbackResponder(std::vector<std::string> answers) : answers_(std::move(answers)) {
  socket_ = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("cannot open a loopback UDP port");
  port_ = ntohs(address.sin_port);
  timeval timeout{0, 100000};  // lets the thread notice the stop flag
  ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  thread_ = std::thread([this] { serve(); });
}

LoopbackResponder::~LoopbackResponder() {
  stop_ = true;
  thread_.join();
  ::close(socket_);
}

void LoopbackResponder::serve() {
  while (!stop_) {
    char request[64];
    sockaddr_in client{};
    socklen_t length = sizeof client;
    const ssize_t size = ::recvfrom(socket_, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&client), &length);
    if (size != 1 || request[0] != 0x02) continue;
    ++requests_;
    for (const std::string& answer : answers_)
      ::sendto(socket_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&client), length);
  }
}

}  // namespace makeddl::testing
