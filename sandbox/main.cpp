// makeddl-sandbox: a SQL Server 2000 stand-in on 127.0.0.1 for tests and demos.
//
//   makeddl-sandbox --port N --sa-password PW [--login NAME:PASSWORD]... [--browser-port M]
//                   [--data FOLDER] [--name SERVER] [--init FILE]
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
// --max-connections (256) closes connections beyond it at once; --login-timeout (30) closes a
// connection that has not logged in within that time; --send-timeout (60) ends a session whose
// client leaves a reply unread that long in all (plus a second a megabyte of the reply).

#include "engine/engine.hpp"
#include "server/browser.hpp"
#include "server/init_script.hpp"
#include "server/server.hpp"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

namespace {

int usage() {
    std::cerr << "usage: makeddl-sandbox --port N --sa-password PW [--login NAME:PASSWORD]... [--browser-port M]\n"
                 "                       [--data FOLDER] [--name SERVER] [--init FILE]\n"
                 "                       [--max-connections N] [--login-timeout SECONDS] [--send-timeout SECONDS]\n";
    return 2;
}

bool parsePort(const std::string& text, uint16_t& port) {
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 0 || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

// A whole number from 1 to `most`.
bool parseCount(const std::string& text, long most, long& count) {
    char* end = nullptr;
    count = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && count >= 1 && count <= most;
}

}  // namespace

int main(int argc, char** argv) {
    sandbox::ServerConfig config;
    bool havePort = false, haveSa = false;
    std::optional<uint16_t> browserPort;
    std::string dataFolder;
    std::string serverName;
    std::string initScript;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (i + 1 >= argc) return usage();
        std::string value = argv[++i];
        if (option == "--port") {
            if (!parsePort(value, config.port)) return usage();
            havePort = true;
        } else if (option == "--sa-password") {
            config.logins["sa"] = value;
            haveSa = true;
        } else if (option == "--browser-port") {
            uint16_t port = 0;
            if (!parsePort(value, port)) return usage();
            browserPort = port;
        } else if (option == "--data" || option == "--data-dir") {
            dataFolder = value;
        } else if (option == "--name") {
            if (value.empty()) return usage();
            serverName = value;
        } else if (option == "--init") {
            initScript = value;
        } else if (option == "--max-connections" || option == "--login-timeout" || option == "--send-timeout") {
            long count = 0;
            if (!parseCount(value, 1000000, count)) return usage();
            if (option == "--max-connections") config.maxConnections = static_cast<size_t>(count);
            else if (option == "--login-timeout") config.limits.loginTimeout = std::chrono::seconds(count);
            else config.limits.sendTimeout = std::chrono::seconds(count);
        } else if (option == "--login") {
            auto colon = value.find(':');
            if (colon == std::string::npos || colon == 0) return usage();
            config.logins[sandbox::toLower(value.substr(0, colon))] = value.substr(colon + 1);
        } else {
            return usage();
        }
    }
    if (!havePort || !haveSa) return usage();
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);  // a file size limit fails the write (EFBIG) instead of ending the server
    try {
        sandbox::Engine engine;
        if (!serverName.empty()) engine.setServerName(serverName);
        if (!dataFolder.empty()) engine.useDataFolder(dataFolder);
        sandbox::Server server(config, engine);
        uint16_t port = server.listen();
        if (!initScript.empty()) sandbox::runInitScript(engine, initScript);
        std::cout << "port " << port << std::endl;  // flushed: readers wait for this line
        std::optional<sandbox::BrowserResponder> browser;
        if (browserPort) {
            browser.emplace(*browserPort, engine.serverName(), port);
            std::cout << "browser-port " << browser->listen() << std::endl;
            std::thread([&browser] { browser->run(); }).detach();
        }
        server.run();
    } catch (const std::exception& e) {
        std::cerr << "makeddl-sandbox: " << e.what() << "\n";
        return 1;
    }
}
