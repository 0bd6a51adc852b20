#pragma once
// A stand-in for a server's resolution-protocol service on a free loopback UDP port: it
// answers every enumeration request (0x02) with the datagrams it was given.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace makeddl::testing {

// A server response datagram (0x05, length, data) around instance data "ServerName;...;;".
std::string resolutionResponse(const std::string& data);

class LoopbackResponder {
 public:
  explicit LoopbackResponder(std::vector<std::string> answers);
  ~LoopbackResponder();
  LoopbackResponder(const LoopbackResponder&) = delete;
  LoopbackResponder& operator=(const LoopbackResponder&) = delete;

  std::uint16_t port() const { return port_; }
  int requests() const { return requests_; }

 private:
  void serve();

  std::vector<std::string> answers_;
  int socket_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

}  // namespace makeddl::testing
