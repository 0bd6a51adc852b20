#pragma once
// Server discovery over the SQL Server Resolution Protocol (UDP port 1434): a request goes to
// each target (by default a broadcast on the user's network), and every answer that arrives
// within the wait lists the instances of the server that sent it.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace makeddl::connection {

struct DiscoveryTarget {
  std::string host;  // an address or a name; 255.255.255.255 broadcasts
  std::uint16_t port = 1434;
};

struct DiscoverySettings {
  std::vector<DiscoveryTarget> targets{{"255.255.255.255", 1434}};
  std::chrono::milliseconds wait{1500};
};

struct DiscoveredInstance {
  std::string serverName;
  std::string instanceName;
  std::string version;
  std::string tcpPort;  // empty when the instance does not listen on TCP
  std::string address{};  // the address the answer came from; empty when not known
  bool operator==(const DiscoveredInstance&) const = default;
};

// The instances a server's answer lists. Throws std::invalid_argument for a datagram that is
// no answer of the protocol.
std::vector<DiscoveredInstance> parseServerResponse(std::string_view datagram);

// Sends the request to every target and gathers the answers until the wait is over.
// Throws std::runtime_error when no request could be sent at all.
std::vector<DiscoveredInstance> discoverInstances(const DiscoverySettings& settings);

// How the server list shows an instance so that the name also connects: the server's name,
// "name\instance" for a named instance, "name,port" for a default instance on another port
// than 1433; the name "(local)" shows as the local computer name.
std::string serverListEntry(const DiscoveredInstance& instance, const std::string& computerName);

// How the server list shows an instance found by discovery: by the address that answered, so
// that the entry connects as it stands even where the name the server reports does not
// resolve (a NetBIOS or container name): "address,port" when the answer names the instance's
// TCP port, "address\instance" for another named instance, the address alone otherwise.
// Without an address, as serverListEntry.
std::string connectableEntry(const DiscoveredInstance& instance, const std::string& computerName);

// "host[:port],host[:port],...": the port is 1434 when not given.
std::vector<DiscoveryTarget> parseDiscoveryTargets(std::string_view text);

// Discovery settings from the environment: MAKEDDL_DISCOVERY_TARGETS ("host[:port],...")
// and MAKEDDL_DISCOVERY_WAIT_MS; the defaults otherwise.
DiscoverySettings discoverySettingsFromEnvironment();

}  // namespace makeddl::connection
