#include "connection/discovery.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "loopback_responder.h"
#include "sandbox_fixture.hpp"

using namespace makeddl::connection;
using makeddl::testing::LoopbackResponder;
using makeddl::testing::resolutionResponse;

namespace {

const std::string kTwoInstances =
    "ServerName;DBHOST;InstanceName;MSSQLSERVER;IsClustered;No;Version;8.00.194;tcp;1433;np;\\\\DBHOST\\pipe\\sql\\query;;"
    "ServerName;DBHOST;InstanceName;SALES;IsClustered;No;Version;8.00.2039;tcp;1501;;";

}  // namespace

TEST(ServerResponse, ListsEveryInstanceOfTheAnswer) {
  const auto instances = parseServerResponse(resolutionResponse(kTwoInstances));
  ASSERT_EQ(instances.size(), 2u);
  EXPECT_EQ(instances[0], (DiscoveredInstance{"DBHOST", "MSSQLSERVER", "8.00.194", "1433"}));
  EXPECT_EQ(instances[1], (DiscoveredInstance{"DBHOST", "SALES", "8.00.2039", "1501"}));
  EXPECT_THROW(parseServerResponse("\x04xyz"), std::invalid_argument);
  EXPECT_THROW(parseServerResponse("\x05"), std::invalid_argument);
  EXPECT_TRUE(parseServerResponse(resolutionResponse("garbage;;")).empty());
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
  LoopbackResponder first({resolutionResponse(kTwoInstances), "not an answer"});
  LoopbackResponder second({resolutionResponse("ServerName;OTHER;InstanceName;MSSQLSERVER;IsClustered;No;Version;8.00.760;tcp;1433;;")});
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

TEST(Discovery, SandboxServersAnswerUnderTheirOwnNames) {
  sandbox::testing::SandboxProcess first("Lab#1", true, {"--name", "LAB1"});
  sandbox::testing::SandboxProcess second("Lab#2", true, {"--name", "LAB2"});
  DiscoverySettings settings;
  settings.targets = {{"127.0.0.1", static_cast<std::uint16_t>(first.browserPort())},
                      {"127.0.0.1", static_cast<std::uint16_t>(second.browserPort())}};
  settings.wait = std::chrono::milliseconds(500);
  std::vector<std::string> entries, connectable;
  for (const auto& instance : discoverInstances(settings)) {
    EXPECT_EQ(instance.version.rfind("8.00.", 0), 0u) << instance.version;
    entries.push_back(serverListEntry(instance, "WS"));
    connectable.push_back(connectableEntry(instance, "WS"));
  }
  std::sort(entries.begin(), entries.end());
  std::sort(connectable.begin(), connectable.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"LAB1," + std::to_string(first.port()),
                                               "LAB2," + std::to_string(second.port())}));
  // The names LAB1 and LAB2 resolve nowhere; the addresses that answered do.
  std::vector<std::string> addresses{"127.0.0.1," + std::to_string(first.port()),
                                     "127.0.0.1," + std::to_string(second.port())};
  std::sort(addresses.begin(), addresses.end());
  EXPECT_EQ(connectable, addresses);
}

TEST(ConnectableEntry, NamesTheAddressThatAnswered) {
  DiscoveredInstance named{"DBHOST", "SALES", "8.00.194", "", "10.1.2.3"};
  EXPECT_EQ(connectableEntry(named, "WS"), "10.1.2.3\\SALES");
  named.tcpPort = "1501";
  EXPECT_EQ(connectableEntry(named, "WS"), "10.1.2.3,1501");
  EXPECT_EQ(connectableEntry({"DBHOST", "MSSQLSERVER", "8.00.194", "", "10.1.2.3"}, "WS"), "10.1.2.3");
  EXPECT_EQ(connectableEntry({"DBHOST", "MSSQLSERVER", "8.00.194", "1433"}, "WS"), "DBHOST");  // no address known
}

TEST(Discovery, NoAnswerGivesAnEmptyListAfterTheWait) {
  LoopbackResponder silent({});
  DiscoverySettings settings;
  settings.targets = {{"127.0.0.1", silent.port()}};
  settings.wait = std::chrono::milliseconds(200);
  EXPECT_TRUE(discoverInstances(settings).empty());
}
