#include "connection/discovery.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QUdpSocket>
#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "common/strings.h"

namespace makeddl::connection {

namespace {

constexpr char kBroadcastRequest = 0x02;  // CLNT_BCAST_EX: all instances of every server that hears it
constexpr char kServerResponse = 0x05;

// "key;value;key;value;...": the value after a key, compared without regard to case.
std::string valueOf(const std::vector<std::string>& pieces, std::size_t from, std::size_t to, std::string_view key) {
  for (std::size_t i = from; i + 1 < to; i += 2)
    if (equalsIgnoringCase(pieces[i], key)) return pieces[i + 1];
  return {};
}

QHostAddress resolve(const std::string& host) {
  QHostAddress address(QString::fromStdString(host));
  if (!address.isNull()) return address;
  const QHostInfo info = QHostInfo::fromName(QString::fromStdString(host));
  for (const QHostAddress& candidate : info.addresses())
    if (candidate.protocol() == QAbstractSocket::IPv4Protocol) return candidate;
  return QHostAddress();
}

}  // namespace

std::vector<DiscoveredInstance> parseServerResponse(std::string_view datagram) {
  if (datagram.size() < 3 || datagram[0] != kServerResponse)
    throw std::invalid_argument("not a server resolution response");
  const std::vector<std::string> pieces = SplitBySemicolon(datagram.substr(3));
  std::vector<DiscoveredInstance> instances;
  // Each instance starts with "ServerName" and ends with an empty piece (";;").
  for (std::size_t start = 0; start < pieces.size();) {
    std::size_t end = start;
    while (end < pieces.size() && !pieces[end].empty()) ++end;
    if (end > start && equalsIgnoringCase(pieces[start], "ServerName"))
      instances.push_back({valueOf(pieces, start, end, "ServerName"), valueOf(pieces, start, end, "InstanceName"),
                           valueOf(pieces, start, end, "Version"), valueOf(pieces, start, end, "tcp"), {}});
    start = end + 1;
  }
  return instances;
}

std::vector<DiscoveredInstance> discoverInstances(const DiscoverySettings& settings) {
  QUdpSocket socket;
  if (!socket.bind(QHostAddress(QHostAddress::AnyIPv4), 0))
    throw std::runtime_error("无法打开 UDP 端口：" + socket.errorString().toStdString());
  int sent = 0;
  for (const DiscoveryTarget& target : settings.targets) {
    const QHostAddress address = resolve(target.host);
    if (!address.isNull() && socket.writeDatagram(QByteArray(1, kBroadcastRequest), address, target.port) == 1) ++sent;
  }
  if (sent == 0) throw std::runtime_error("无法发送服务器查找请求：" + socket.errorString().toStdString());

  std::vector<DiscoveredInstance> instances;
  const QDeadlineTimer deadline(settings.wait);
  while (!deadline.hasExpired()) {
    if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
      break;
    while (socket.hasPendingDatagrams()) {
      QByteArray datagram(static_cast<int>(socket.pendingDatagramSize()), '\0');
      QHostAddress sender;
      socket.readDatagram(datagram.data(), datagram.size(), &sender);
      try {
        for (DiscoveredInstance& instance : parseServerResponse(datagram.toStdString())) {
          instance.address = QHostAddress(sender.toIPv4Address()).toString().toStdString();
          if (std::find(instances.begin(), instances.end(), instance) == instances.end())
            instances.push_back(std::move(instance));
        }
      } catch (const std::invalid_argument&) {
        // Not an answer of the protocol: someone else's datagram.
      }
    }
  }
  return instances;
}

std::string serverListEntry(const DiscoveredInstance& instance, const std::string& computerName) {
  const std::string name = instance.serverName == "(local)" ? computerName : instance.serverName;
  const bool defaultInstance = instance.instanceName.empty() || equalsIgnoringCase(instance.instanceName, "MSSQLSERVER");
  if (!defaultInstance) return name + "\\" + instance.instanceName;
  if (!instance.tcpPort.empty() && instance.tcpPort != "1433") return name + "," + instance.tcpPort;
  return name;
}

std::string connectableEntry(const DiscoveredInstance& instance, const std::string& computerName) {
  if (instance.address.empty()) return serverListEntry(instance, computerName);
  if (!instance.tcpPort.empty()) return instance.address + "," + instance.tcpPort;
  const bool defaultInstance = instance.instanceName.empty() || equalsIgnoringCase(instance.instanceName, "MSSQLSERVER");
  return defaultInstance ? instance.address : instance.address + "\\" + instance.instanceName;
}

std::vector<DiscoveryTarget> parseDiscoveryTargets(std::string_view text) {
  std::vector<DiscoveryTarget> targets;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const std::string item = trimmed(text.substr(start, comma - start));
    start = comma + 1;
    if (item.empty()) continue;
    const std::size_t colon = item.rfind(':');
    if (colon == std::string::npos) {
      targets.push_back({item, 1434});
      continue;
    }
    const int port = std::atoi(item.c_str() + colon + 1);
    if (port <= 0 || port > 65535) throw std::invalid_argument("bad discovery target port in \"" + item + "\"");
    targets.push_back({item.substr(0, colon), static_cast<std::uint16_t>(port)});
  }
  return targets;
}

DiscoverySettings discoverySettingsFromEnvironment() {
  DiscoverySettings settings;
  if (const char* targets = std::getenv("MAKEDDL_DISCOVERY_TARGETS"); targets && *targets)
    settings.targets = parseDiscoveryTargets(targets);
  if (const char* wait = std::getenv("MAKEDDL_DISCOVERY_WAIT_MS"); wait && *wait)
    settings.wait = std::chrono::milliseconds(std::atoi(wait));
  return settings;
}

}  // namespace makeddl::connection
