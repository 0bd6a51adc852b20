#include "sandbox_fixture.hpp"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

namespace sandbox::testing {

namespace {

// Reads the first line the child writes, waiting at most a few seconds.
std::string readFirstLine(int fd) {
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char c;
        ssize_t n = read(fd, &c, 1);
        if (n <= 0) break;
        if (c == '\n') return line;
        line += c;
    }
    throw std::runtime_error("makeddl-sandbox did not report its port (got '" + line + "')");
}

}  // namespace

SandboxProcess::SandboxProcess(std::string saPassword, bool withBrowser, std::vector<std::string> extraArguments,
                               const std::function<void()>& inChild)
    : password_(std::move(saPassword)) {
    std::vector<std::string> arguments{MAKEDDL_SANDBOX_PATH, "--port", "0", "--sa-password", password_,
                                       "--login", "reader:Reader#1"};
    if (withBrowser) arguments.insert(arguments.end(), {"--browser-port", "0"});
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        // The server ends with the test process, also when the test crashes.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        if (inChild) inChild();
        execv(MAKEDDL_SANDBOX_PATH, argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    std::string line = readFirstLine(pipeFds[0]);
    if (line.rfind("port ", 0) != 0) throw std::runtime_error("unexpected first line: " + line);
    port_ = std::stoi(line.substr(5));
    if (withBrowser) {
        std::string second = readFirstLine(pipeFds[0]);
        if (second.rfind("browser-port ", 0) != 0) throw std::runtime_error("unexpected second line: " + second);
        browserPort_ = std::stoi(second.substr(13));
    }
    close(pipeFds[0]);
}

SandboxProcess::~SandboxProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

void SandboxProcess::stop(int signal) {
    if (pid_ <= 0) return;
    kill(pid_, signal);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

double SandboxProcess::processorSeconds() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i)
        if (i >= 14) ticks += std::stod(field);  // utime and stime
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool SandboxProcess::running() const {
    return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0;
}

std::string SandboxProcess::odbcConnectionString(const std::string& database) const {
    std::string text = "DRIVER={FreeTDS};SERVER=127.0.0.1,"+ std::to_string(port_) + ";UID=sa;PWD=" + password_ +
                       ";TDS_Version=7.1;Timeout=5;ClientCharset=UTF-8";
    if (!database.empty()) text += ";DATABASE=" + database;
    return text;
}

std::string runCommand(const std::string& command, const std::string& input, int* status) {
    char inputPath[] = "/tmp/sandbox-test-input-XXXXXX";
    int fd = mkstemp(inputPath);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    ssize_t written = write(fd, input.data(), input.size());
    close(fd);
    if (written != static_cast<ssize_t>(input.size())) throw std::runtime_error("short write");
    std::string full = "(" + command + ") < " + inputPath + " 2>&1";
    FILE* pipe = popen(full.c_str(), "r");
    std::string output;
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    int rc = pclose(pipe);
    unlink(inputPath);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return output;
}

}  // namespace sandbox::testing
