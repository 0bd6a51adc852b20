// makeddl-sandbox: a SQL Server 2000 stand-in on 127.0.0.1 for tests and demos.
//
//   makeddl-sandbox --port N --sa-password PW [--login NAME:PASSWORD]... [--browser-port M]
//                   [--data FOLDER] [--name SERVER] [--init FILE] [--version 2000|2019]
//                   [--max-connections N] [--login-timeout SECONDS] [--send-timeout SECONDS]
//
// With --port 0 a free port is chosen. The first line on standard output is always
// "port N" with the port in use, so that scripts and tests can read it. With --browser-port
// the discovery protocol is answered on that UDP port too (0 picks one), reported on the
// second line as "browser-port M". With --data (or --data-dir) the databases are kept in that
// folder and survive a restart; without it everything is in memory. --name sets the server's
// name (SANDBOX by default), so that several sandboxes answer discovery under their own names.
// --init runs a T-SQL file (batches separated by lines holding only GO) once the server is
// ready and before the port line is printed; a failing batch ends the program.
// --version 2019 imitates SQL Server 2019 instead of SQL Server 2000 (see docs/sandbox.md);
// --version alone (or -v) shows the program's own version.
// --max-connections (256) closes connections beyond it at once; --login-timeout (30) closes a
// connection that has not logged in within that time; --send-timeout (60) ends a session whose
// client leaves a reply unread that long in all (plus a second a megabyte of the reply).

#include "engine/engine.hpp"
#include "server/browser.hpp"
#include "server/init_script.hpp"
#include "server/server.hpp"

#include <QCommandLineParser>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

constexpr const char* kUsage =
    "usage: makeddl-sandbox --port N --sa-password PW [--login NAME:PASSWORD]... [--browser-port M]\n"
    "                       [--data FOLDER] [--name SERVER] [--init FILE] [--version 2000|2019]\n"
    "                       [--max-connections N] [--login-timeout SECONDS] [--send-timeout SECONDS]\n";

// A mistake in the command line: exit code 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Options {
    sandbox::ServerConfig config;
    std::optional<uint16_t> browserPort;
    std::string dataFolder;
    std::string serverName;
    std::string initScript;
    sandbox::ServerVersion version = sandbox::ServerVersion::sql2000();
};

void addOptions(QCommandLineParser& parser) {
    parser.addOptions({
        {"port", "The TCP port on 127.0.0.1 (0: a free one).", "N"},
        {"sa-password", "The password of the login sa.", "PW"},
        {"login", "A further login; may be given again.", "NAME:PASSWORD"},
        {"browser-port", "Answer discovery on this UDP port too (0: a free one).", "M"},
        {{"data", "data-dir"}, "Keep the databases in this folder (else in memory).", "FOLDER"},
        {"name", "The server's name (SANDBOX).", "SERVER"},
        {"init", "Run this T-SQL file (batches between GO lines) before the port line.", "FILE"},
        {"max-connections", "Close connections beyond this many at once (256).", "N"},
        {"login-timeout", "Close a connection not logged in within this time (30).", "SECONDS"},
        {"send-timeout", "End a session that leaves a reply unread this long (60).", "SECONDS"},
    });
}

std::string text(const QCommandLineParser& parser, const char* option) { return parser.value(option).toStdString(); }

// A whole number from `least` to `most`.
long numberValue(const QCommandLineParser& parser, const char* option, long least, long most) {
    const std::string value = text(parser, option);
    char* end = nullptr;
    long number = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || number < least || number > most)
        throw UsageError(std::string("--") + option + " takes a number from " + std::to_string(least) + " to " +
                         std::to_string(most) + ", not '" + value + "'");
    return number;
}

uint16_t portValue(const QCommandLineParser& parser, const char* option) {
    return static_cast<uint16_t>(numberValue(parser, option, 0, 65535));
}

void readLimits(const QCommandLineParser& parser, sandbox::ServerConfig& config) {
    constexpr long kMost = 1000000;
    if (parser.isSet("max-connections"))
        config.maxConnections = static_cast<size_t>(numberValue(parser, "max-connections", 1, kMost));
    if (parser.isSet("login-timeout"))
        config.limits.loginTimeout = std::chrono::seconds(numberValue(parser, "login-timeout", 1, kMost));
    if (parser.isSet("send-timeout"))
        config.limits.sendTimeout = std::chrono::seconds(numberValue(parser, "send-timeout", 1, kMost));
}

void readLogins(const QCommandLineParser& parser, sandbox::ServerConfig& config) {
    config.logins["sa"] = text(parser, "sa-password");
    for (const QString& login : parser.values("login")) {
        const std::string value = login.toStdString();
        auto colon = value.find(':');
        if (colon == std::string::npos || colon == 0) throw UsageError("--login takes NAME:PASSWORD, not '" + value + "'");
        config.logins[sandbox::toLower(value.substr(0, colon))] = value.substr(colon + 1);
    }
}

// Takes "--version YEAR" (or --version=YEAR) out of the words: the SQL Server to imitate. A
// --version followed by no value is left for the parser, which shows the program's version.
std::optional<std::string> takeImitatedVersion(QStringList& words) {
    for (qsizetype i = 1; i < words.size(); ++i) {
        if (words[i].startsWith("--version=")) {
            std::string year = words[i].mid(10).toStdString();
            words.removeAt(i);
            return year;
        }
        if (words[i] == "--version" && i + 1 < words.size() && !words[i + 1].startsWith('-')) {
            std::string year = words[i + 1].toStdString();
            words.remove(i, 2);
            return year;
        }
    }
    return std::nullopt;
}

Options optionsFrom(const QCommandLineParser& parser, const std::optional<std::string>& imitated) {
    if (!parser.positionalArguments().isEmpty())
        throw UsageError("unexpected argument " + parser.positionalArguments().first().toStdString());
    if (!parser.isSet("port") || !parser.isSet("sa-password")) throw UsageError("--port and --sa-password are needed");
    Options options;
    options.config.port = portValue(parser, "port");
    if (parser.isSet("browser-port")) options.browserPort = portValue(parser, "browser-port");
    options.dataFolder = text(parser, "data");
    options.serverName = text(parser, "name");
    if (parser.isSet("name") && options.serverName.empty()) throw UsageError("--name needs a name");
    options.initScript = text(parser, "init");
    readLimits(parser, options.config);
    readLogins(parser, options.config);
    if (imitated) {
        std::optional<sandbox::ServerVersion> version = sandbox::ServerVersion::named(*imitated);
        if (!version) throw UsageError("--version takes 2000 or 2019, not '" + *imitated + "'");
        options.version = *version;
    }
    return options;
}

int serve(const Options& options) {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);  // a file size limit fails the write (EFBIG) instead of ending the server
    try {
        sandbox::Engine engine;
        engine.setVersion(options.version);
        if (!options.serverName.empty()) engine.setServerName(options.serverName);
        if (!options.dataFolder.empty()) engine.useDataFolder(options.dataFolder);
        sandbox::Server server(options.config, engine);
        uint16_t port = server.listen();
        if (!options.initScript.empty()) sandbox::runInitScript(engine, options.initScript);
        std::cout << "port " << port << std::endl;  // flushed: readers wait for this line
        std::optional<sandbox::BrowserResponder> browser;
        if (options.browserPort) {
            browser.emplace(*options.browserPort,
                            sandbox::BrowserInstance{engine.serverName(), options.version.productVersion(), port});
            std::cout << "browser-port " << browser->listen() << std::endl;
            std::thread([&browser] { browser->run(); }).detach();
        }
        server.run();
    } catch (const std::exception& e) {
        std::cerr << "makeddl-sandbox: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

// Exit codes: 0 the help or the version, 1 the server failed, 2 a mistake in the command line.
// The words are parsed without a Qt application object, which would switch the C library to the
// environment's locale and change how numbers are read and written.
int main(int argc, char** argv) {
    QStringList words;
    for (int i = 0; i < argc; ++i) words << QString::fromLocal8Bit(argv[i]);
    const std::optional<std::string> imitated = takeImitatedVersion(words);
    QCommandLineParser parser;
    parser.setApplicationDescription("A SQL Server 2000 stand-in on 127.0.0.1 for tests and demos. The first line\n"
                                     "on standard output is \"port N\", the port in use.");
    parser.addOptions({{{"h", "help"}, "Shows this help."}, {{"v", "version"}, "Shows the version."}});
    addOptions(parser);
    try {
        if (!parser.parse(words)) throw UsageError(parser.errorText().toStdString());
        if (parser.isSet("help")) {
            // The parser's first line names the executable only inside an application object.
            const QString help = parser.helpText();
            std::cout << kUsage << help.mid(help.indexOf('\n')).toStdString();
            return 0;
        }
        if (parser.isSet("version")) {
            std::cout << "makeddl-sandbox " MAKEDDL_VERSION "\n";
            return 0;
        }
        return serve(optionsFrom(parser, imitated));
    } catch (const UsageError& error) {
        std::cerr << "makeddl-sandbox: " << error.what() << "\n" << kUsage;
        return 2;
    }
}
