#include "ProcessSupport.h"

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>

namespace korbelt::test {
namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Mounts made from now on are this program's own and vanish with it.
std::string EnterOwnMountNamespace() {
    static std::string failure = [] {
        if (unshare(CLONE_NEWNS) != 0) {
            return std::string("unshare: ") + std::strerror(errno);
        }
        if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            return std::string("making mounts private: ") + std::strerror(errno);
        }
        return std::string();
    }();
    return failure;
}

}  // namespace

std::string CliPath() {
    return ProgramDirectory() + "/korbelt-cli";
}

std::vector<std::string> CliEnvironment(const std::string& home) {
    mkdir((home + "/cfg").c_str(), 0755);
    return {"LC_ALL=C", "XDG_CONFIG_HOME=" + home + "/cfg", "HOME=" + home};
}

ProgramResult RunCli(const std::string& home, const std::vector<std::string>& arguments,
                     const std::string& input) {
    return RunProgram(CliPath(), arguments, input, CliEnvironment(home));
}

ProgramResult RunCliAs(const std::string& home, const std::vector<std::string>& arguments,
                       uid_t uid, gid_t gid, off_t fileSizeLimit) {
    const std::vector<std::string> environment = CliEnvironment(home);
    const std::string out = home + "/cli.out";
    const std::string err = home + "/cli.err";
    const pid_t pid = fork();
    if (pid == 0) {
        const int devnull = open("/dev/null", O_RDONLY);
        const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(devnull, 0);
        dup2(outFd, 1);
        dup2(errFd, 2);
        if (fileSizeLimit > 0) {
            // SIGXFSZ as a shell leaves it: the program itself must make a write past the
            // limit fail with EFBIG instead of being killed by it.
            signal(SIGXFSZ, SIG_DFL);
            const rlimit limit = {static_cast<rlim_t>(fileSizeLimit),
                                  static_cast<rlim_t>(fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (uid != 0 && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)) {
            _exit(126);
        }
        std::vector<char*> argv;
        const std::string program = CliPath();
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& arg : arguments) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        for (const auto& setting : environment) {
            putenv(const_cast<char*>(setting.c_str()));
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ProgramResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = Slurp(out);
    result.err = Slurp(err);
    unlink(out.c_str());
    unlink(err.c_str());
    return result;
}

ScratchMount::ScratchMount(const std::string& where, std::size_t bytes) : where_(where) {
    if (geteuid() != 0) {
        whyNot_ = "not running as root";
        return;
    }
    whyNot_ = EnterOwnMountNamespace();
    if (!whyNot_.empty()) {
        return;
    }
    mkdir(where.c_str(), 0755);
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (mount("korbelt-test", where.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        whyNot_ = std::string("mount: ") + std::strerror(errno);
        return;
    }
    mounted_ = true;
}

ScratchMount::~ScratchMount() {
    if (mounted_) {
        umount2(where_.c_str(), MNT_DETACH);
    }
}

bool ScratchMount::MakeReadOnly() {
    return mounted_ && mount("korbelt-test", where_.c_str(), "tmpfs",
                             MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
}

long long ScratchMount::FreeBytes() const {
    struct statvfs info {};
    if (statvfs(where_.c_str(), &info) != 0) {
        return -1;
    }
    return static_cast<long long>(info.f_bavail) * static_cast<long long>(info.f_frsize);
}

}  // namespace korbelt::test
