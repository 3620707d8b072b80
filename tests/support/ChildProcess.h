#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace korbelt::test {

struct ProgramResult {
    int exitCode = -1;  // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs a program to its end with the given arguments, standard input and extra
// environment ("NAME=value"), collecting both output streams.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input, const std::vector<std::string>& environment);

// A program started in the background, its output going to files.
class BackgroundProgram {
  public:
    BackgroundProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::vector<std::string>& environment, const std::string& outFile,
                      const std::string& errFile);
    ~BackgroundProgram();
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    void Signal(int signal);
    // The exit code, or -1 when it ended by a signal, which then goes to *signal if given.
    int Wait(int* signal = nullptr);
    pid_t Pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    bool reaped_ = false;
};

// The directory of the running test program, where the built programs are as well.
std::string ProgramDirectory();

}  // namespace korbelt::test
