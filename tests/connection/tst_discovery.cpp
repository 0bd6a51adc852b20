#include "connection/discovery.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

using namespace makeddl::connection;

namespace {

std::string response(const std::string& data) {
  std::string datagram = "\x05";
  datagram += static_cast<char>(data.size() & 0xFF);
  datagram += static_cast<char>(data.size() >> 8);
  return datagram + data;
}

// A resolution-protocol responder on a free loopback port, answering every request with
// the given datagrams.
class LoopbackResponder {
 public:
  explicit LoopbackResponder(std::vector<std::string> answers) : answers_(std::move(answers)) {
    socket_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    timeval timeout{0, 100000};
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    thread_ = std::thread([this] { serve(); });
  }
  ~LoopbackResponder() {
    stop_ = true;
    thread_.join();
    ::close(socket_);
  }
  std::uint16_t port() const { return port_; }
  int requests() const { return requests_; }

 private:
  void serve() {
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

  std::vector<std::string> answers_;
  int socket_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

const std::string kTwoInstances =
    "ServerName;DBHOST;InstanceName;MSSQLSERVER;IsClustered;No;Version;8.00.194;tcp;1433;np;\\\\DBHOST\\pipe\\sql\\query;;"
    "ServerName;DBHOST;InstanceName;SALES;IsClustered;No;Version;8.00.2039;tcp;1501;;";

}  // namespace

TEST(ServerResponse, ListsEveryInstanceOfTheAnswer) {
  const auto instances = parseServerResponse(response(kTwoInstances));
  ASSERT_EQ(instances.size(), 2u);
  EXPECT_EQ(instances[0], (DiscoveredInstance{"DBHOST", "MSSQLSERVER", "8.00.194", "1433"}));
  EXPECT_EQ(instances[1], (DiscoveredInstance{"DBHOST", "SALES", "8.00.2039", "1501"}));
  EXPECT_THROW(parseServerResponse("\x04xyz"), std::invalid_argument);
  EXPECT_THROW(parseServerResponse("\x05"), std::invalid_argument);
  EXPECT_TRUE(parseServerResponse(response("garbage;;")).empty());
}

TEST(ServerListEntry, NamesConnectAsTheyStand) {
  EXPECT_EQ(serverListEntry({"DBHOST", "MSSQLSERVER", "8.00.194", "1433"}, "WS"), "DBHOST");
  EXPECT_EQ(serverListEntry({"DBHOST", "MSSQLSERVER", "8.00.194", "14330"}, "WS"), "DBHOST,14330");
  EXPECT_EQ(serverListEntry({"DBHOST", "SALES", "8.00.194", "1501"}, "WS"), "DBHOST\\SALES");
  EXPECT_EQ(serverListEntry({"(local)", "MSSQLSERVER", "8.00.194", "1433"}, "WS01"), "WS01");
}

TEST(DiscoveryTargets, ReadHostsWithOptionalPorts) {
  const auto targets = parseDiscoveryTargets(" 127.0.0.1:14340, localhost ,");
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[0].host, "127.0.0.1");
  EXPECT_EQ(targets[0].port, 14340);
  EXPECT_EQ(targets[1].host, "localhost");
  EXPECT_EQ(targets[1].port, 1434);
  EXPECT_THROW(parseDiscoveryTargets("h:0"), std::invalid_argument);
}

TEST(Discovery, GathersTheAnswersOfEveryLoopbackTarget) {
  LoopbackResponder first({response(kTwoInstances), "not an answer"});
  LoopbackResponder second({response("ServerName;OTHER;InstanceName;MSSQLSERVER;IsClustered;No;Version;8.00.760;tcp;1433;;")});
  DiscoverySettings settings;
  settings.targets = {{"127.0.0.1", first.port()}, {"127.0.0.1", second.port()}};
  settings.wait = std::chrono::milliseconds(600);
  const auto instances = discoverInstances(settings);
  ASSERT_EQ(instances.size(), 3u);
  EXPECT_EQ(first.requests(), 1);
  EXPECT_EQ(second.requests(), 1);
  std::vector<std::string> entries;
  for (const auto& instance : instances) entries.push_back(serverListEntry(instance, "WS"));
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"DBHOST", "DBHOST\\SALES", "OTHER"}));
}

TEST(Discovery, NoAnswerGivesAnEmptyListAfterTheWait) {
  LoopbackResponder silent({});
  DiscoverySettings settings;
  settings.targets = {{"127.0.0.1", silent.port()}};
  settings.wait = std::chrono::milliseconds(200);
  EXPECT_TRUE(discoverInstances(settings).empty());
}
