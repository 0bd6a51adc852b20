#include "server/session.hpp"

#include "engine/engine.hpp"
#include "server/connection.hpp"
#include "server/tds_sink.hpp"
#include "tds/login.hpp"
#include "tds/packet.hpp"

#include <algorithm>
#include <memory>

namespace sandbox {
namespace {

using namespace tds;

constexpr uint32_t kMinPacketSize = 512;
constexpr uint32_t kMaxPacketSize = 32767;
constexpr int kLoginFailed = 18456;
constexpr int kNotTrusted = 18452;
constexpr int kCannotOpenDatabase = 4060;

class SessionRunner {
public:
    SessionRunner(int fd, const std::map<std::string, std::string>& logins, ConnectionLimits limits, Engine& engine)
        : connection_(fd, limits), logins_(logins), engine_(engine) {
        // A reply made under the engine lock waits for its client only while no one else
        // wants the lock; otherwise it is kept and sent after the batch.
        connection_.setPatience([&engine] { return !engine.lockContended(); });
    }

    void run() {
        std::optional<Message> first = connection_.next();
        if (!first) return;
        if (first->type == PacketType::Prelogin) {
            parsePrelogin(first->payload);
            sendWhole(preloginReply(engine_.version()), kMaxPacketSize);  // one packet: FreeTDS reads it in one go
            first = connection_.next();
            if (!first) return;
        }
        if (first->type != PacketType::Login7 || !login(parseLogin7(first->payload))) return;
        serveRequests();
    }

private:
    void sendWhole(const Bytes& payload, size_t packetSize) {
        MessageWriter writer(connection_.sink(), packetSize, spid());
        writer.body().append(payload);
        writer.finish();
        connection_.flush();
    }

    uint16_t spid() const { return session_ ? static_cast<uint16_t>(session_->spid()) : 0; }

    void refuse(Encoding encoding, const std::vector<ServerMessage>& messages) {
        ByteWriter w;
        for (const auto& message : messages) writeMessage(w, message, engine_.serverName(), encoding);
        writeDone(w, DoneToken::Done, kDoneError, 0, 0, encoding);
        sendWhole(w.bytes(), 4096);
    }

    static ServerMessage loginFailed(const std::string& user) {
        return {kLoginFailed, 1, 14, "Login failed for user '" + user + "'.", "", 0};
    }

    bool credentialsValid(const Login7& request) const {
        auto found = logins_.find(toLower(request.userName));
        return found != logins_.end() && found->second == request.password;
    }

    bool login(const Login7& request) {
        // Tokens before LOGINACK are encoded as the client asked; later ones as negotiated.
        Encoding before{std::clamp(request.versionCode(), 0x70, 0x74)};
        encoding_ = Encoding{request.versionCode() >= 0x71 ? 0x71 : 0x70};
        if (request.integratedSecurity) {
            refuse(before, {{kNotTrusted, 1, 14,
                                      "Login failed for user '(null)'. Reason: Not associated with a "
                                      "trusted SQL Server connection.", "", 0}});
            return false;
        }
        if (!credentialsValid(request)) {
            refuse(before, {loginFailed(request.userName)});
            return false;
        }
        std::string database = request.database.empty() ? "master" : request.database;
        if (!engine_.hasDatabase(database)) {
            refuse(before,
                   {{kCannotOpenDatabase, 1, 11,
                     "Cannot open database requested in login '" + database + "'. Login fails.", "", 0},
                    loginFailed(request.userName)});
            return false;
        }
        packetSize_ = std::clamp(request.packetSize, kMinPacketSize, kMaxPacketSize);
        LoginInfo info{request.userName, request.hostName, request.appName, database, request.clientPid};
        session_ = engine_.openSession(info);
        sendLoginAck(before);
        connection_.loggedIn(packetSize_);
        return true;
    }

    void sendLoginAck(Encoding before) {
        ByteWriter w;
        const std::string database = session_->database();
        writeEnvChange(w, EnvChange::Database, database, "master");
        writeMessage(w, {5701, 2, 0, "Changed database context to '" + database + "'.", "", 0},
                     engine_.serverName(), before);
        // TDS 7.1 clients learn code page 936 from the collation; 7.0 clients from the character set.
        if (encoding_.hasCollation()) writeCollationChange(w);
        else writeEnvChange(w, EnvChange::CharacterSet, "cp936", "iso_1");
        writeEnvChange(w, EnvChange::Language, "us_english", "");
        writeMessage(w, {5703, 1, 0, "Changed language setting to us_english.", "", 0},
                     engine_.serverName(), before);
        writeLoginAck(w, encoding_, engine_.version());
        writeEnvChange(w, EnvChange::PacketSize, std::to_string(packetSize_), "4096");
        writeDone(w, DoneToken::Done, kDoneFinal, 0, 0, encoding_);
        sendWhole(w.bytes(), packetSize_);
    }

    void serveRequests() {
        while (std::optional<Message> message = connection_.next()) {
            switch (message->type) {
                case PacketType::SqlBatch: runBatch(*message); break;
                case PacketType::Attention: acknowledgeAttention(); break;
                case PacketType::Rpc: refuseRpc(*message); break;
                case PacketType::TransactionManager: sendDone(kDoneFinal); break;
                default: return;  // anything else is not a request of a TDS 7 client
            }
        }
    }

    void sendDone(uint16_t status) {
        ByteWriter w;
        writeDone(w, DoneToken::Done, status, 0, 0, encoding_);
        sendWhole(w.bytes(), packetSize_);
    }

    void acknowledgeAttention() { sendDone(kDoneAttention); }

    void refuseRpc(const Message& message) {
        if (message.ignored()) { sendDone(kDoneError); return; }
        ByteWriter w;
        writeMessage(w, {2812, 62, 16, "Could not find stored procedure '" + rpcName(message.payload) + "'.", "", 1},
                     engine_.serverName(), encoding_);
        writeDone(w, DoneToken::DoneProc, kDoneError, 0, 0, encoding_);
        sendWhole(w.bytes(), packetSize_);
    }

    static std::string rpcName(const Bytes& payload) {
        ByteReader reader(payload);
        uint16_t length = reader.u16le();
        if (length == 0xFFFF) return "procedure id " + std::to_string(reader.u16le());
        return reader.ucs2At(2, length);
    }

    // Called by the sink between packets: notices an attention while a reply is on its way.
    bool attentionArrived() {
        if (!connection_.readable()) return false;
        std::optional<Message> message = connection_.next();
        if (!message) throw ProtocolError("client left during a reply");
        if (message->type != PacketType::Attention) throw ProtocolError("request sent during a reply");
        return true;
    }

    void runBatch(const Message& message) {
        if (message.ignored()) { sendDone(kDoneError); return; }
        if (message.resetsConnection()) engine_.resetSession(*session_);
        std::string sql = utf16leToUtf8(message.payload.data(), message.payload.size());
        ClientLink client{[this] { return attentionArrived(); }, [this] { return connection_.lagging(); },
                          [this] { connection_.catchUp(); }};
        TdsSink sink(MessageWriter(connection_.sink(), packetSize_, spid()), encoding_, engine_.serverName(), client);
        engine_.execute(*session_, sql, sink);
        sink.finish();
        connection_.flush();
        if (sink.cancelled()) acknowledgeAttention();  // a separate message, after the reply
    }

    Connection connection_;
    const std::map<std::string, std::string>& logins_;
    Engine& engine_;
    std::unique_ptr<Session> session_;
    Encoding encoding_;
    uint32_t packetSize_ = 4096;
};

}  // namespace

void runSession(int fd, const std::map<std::string, std::string>& logins, ConnectionLimits limits, Engine& engine) {
    try {
        SessionRunner(fd, logins, limits, engine).run();
    } catch (const std::exception&) {
        // A malformed, truncated or oversized request, or a vanished client, ends this session
        // only; the socket is closed by the connection's destructor.
    }
}

}  // namespace sandbox
