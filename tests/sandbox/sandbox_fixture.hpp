#pragma once
// Starts the real makeddl-sandbox program on a free loopback port for the length of a test
// suite, and ends it afterwards. Reusable by any test that needs a SQL Server to talk to.

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace sandbox::testing {

class SandboxProcess {
public:
    // Starts the program with `saPassword` and waits for its "port N" line. With `withBrowser`
    // it also answers the discovery protocol on a free UDP port. `extraArguments` go to the
    // program as they stand (--init FILE, --data FOLDER, --name NAME). `inChild` runs in the
    // new process before the program starts, to narrow what it may do (a file size limit).
    explicit SandboxProcess(std::string saPassword = "Sandbox#1", bool withBrowser = false,
                            std::vector<std::string> extraArguments = {}, const std::function<void()>& inChild = {});
    ~SandboxProcess();
    SandboxProcess(const SandboxProcess&) = delete;
    SandboxProcess& operator=(const SandboxProcess&) = delete;

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    // The processor time the program has used so far, user and system.
    double processorSeconds() const;
    int browserPort() const { return browserPort_; }  // 0 unless started with the browser
    const std::string& password() const { return password_; }
    bool running() const;
    // Sends the signal (SIGKILL: a crash) and waits for the program to end.
    void stop(int signal);
    // "DRIVER={FreeTDS};SERVER=127.0.0.1,PORT;..." for the FreeTDS ODBC driver.
    std::string odbcConnectionString(const std::string& database = "") const;

private:
    pid_t pid_ = -1;
    int port_ = 0;
    int browserPort_ = 0;
    std::string password_;
};

// Runs a shell command with `input` on its standard input; returns its standard output and
// error together. The exit status goes to `status` when given.
std::string runCommand(const std::string& command, const std::string& input, int* status = nullptr);

}  // namespace sandbox::testing
