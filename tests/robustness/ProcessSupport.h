#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "ChildProcess.h"
#include "TempDir.h"

namespace korbelt::test {

// The built korbelt-cli, run with a settings directory of its own inside home and the C
// locale, so that its output is the same on every machine.
ProgramResult RunCli(const std::string& home, const std::vector<std::string>& arguments,
                     const std::string& input = "");
// The environment RunCli gives the program, for starting it some other way.
std::vector<std::string> CliEnvironment(const std::string& home);
std::string CliPath();

// The same, but with the privileges of another user, and the size of any file it writes
// limited; 0 leaves either as it is. Output is collected like RunProgram's.
ProgramResult RunCliAs(const std::string& home, const std::vector<std::string>& arguments,
                       uid_t uid, gid_t gid, off_t fileSizeLimit);

// A small tmpfs of its own. The first mount moves this test program into a mount namespace
// of its own, so that no mount outlives it, not even when it dies.
class ScratchMount {
  public:
    ScratchMount(const std::string& where, std::size_t bytes);
    ~ScratchMount();
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;

    bool Mounted() const { return mounted_; }
    // Why there is no mount, for a skipped test's message.
    const std::string& WhyNot() const { return whyNot_; }
    bool MakeReadOnly();
    // Free bytes left on it.
    long long FreeBytes() const;

  private:
    std::string where_;
    bool mounted_ = false;
    std::string whyNot_;
};

}  // namespace korbelt::test
