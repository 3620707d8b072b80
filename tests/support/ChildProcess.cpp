#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <stdexcept>

namespace korbelt::test {
namespace {

[[noreturn]] void Exec(const std::string& program, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment) {
    for (const auto& setting : environment) {
        putenv(const_cast<char*>(setting.c_str()));
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& arg : arguments) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    signal(SIGINT, SIG_DFL);
    execv(program.c_str(), argv.data());
    _exit(127);
}

int ExitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input, const std::vector<std::string>& environment) {
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) {
        throw std::runtime_error("pipe");
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
            close(fd);
        }
        Exec(program, arguments, environment);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    signal(SIGPIPE, SIG_IGN);
    if (!input.empty()) {
        (void)!write(in[1], input.data(), input.size());
    }
    close(in[1]);

    ProgramResult result;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        poll(fds, 2, -1);
        for (int k = 0; k < 2; ++k) {
            if (fds[k].fd < 0 || fds[k].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = read(fds[k].fd, buffer, sizeof(buffer));
            if (n <= 0) {
                close(fds[k].fd);
                fds[k].fd = -1;
                --open;
                continue;
            }
            (k == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = ExitCodeOf(status);
    return result;
}

BackgroundProgram::BackgroundProgram(const std::string& program,
                                     const std::vector<std::string>& arguments,
                                     const std::vector<std::string>& environment,
                                     const std::string& outFile, const std::string& errFile) {
    pid_ = fork();
    if (pid_ == 0) {
        const int devnull = open("/dev/null", O_RDONLY);
        const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(devnull, 0);
        dup2(out, 1);
        dup2(err, 2);
        Exec(program, arguments, environment);
    }
}

BackgroundProgram::~BackgroundProgram() {
    if (!reaped_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        Wait();
    }
}

void BackgroundProgram::Signal(int signal) {
    kill(pid_, signal);
}

int BackgroundProgram::Wait(int* signal) {
    int status = 0;
    waitpid(pid_, &status, 0);
    reaped_ = true;
    if (signal != nullptr) {
        *signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    return ExitCodeOf(status);
}

std::string ProgramDirectory() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    std::string exe(path, n > 0 ? static_cast<std::size_t>(n) : 0);
    return exe.substr(0, exe.rfind('/'));
}

}  // namespace korbelt::test
