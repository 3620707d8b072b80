#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace korbelt::bench {

// A benchmark program's command line: a mode (its first word, where that starts with "--")
// and the arguments after it, matched against the forms the program takes.
class CommandLine {
  public:
    CommandLine(int argc, char** argv) {
        for (int i = 1; i < argc; ++i) {
            words_.emplace_back(argv[i]);
        }
        if (!words_.empty() && words_[0].rfind("--", 0) == 0) {
            mode_ = words_[0];
            words_.erase(words_.begin());
        }
    }

    // Whether the command line has this mode ("" for none) and from least to most arguments.
    bool Is(const std::string& mode, std::size_t least, std::size_t most) const {
        return mode_ == mode && words_.size() >= least && words_.size() <= most;
    }
    std::size_t Count() const { return words_.size(); }
    const char* operator[](std::size_t i) const { return words_.at(i).c_str(); }

  private:
    std::string mode_;
    std::vector<std::string> words_;
};

// The forms a program takes, one a line, for a command line that matches none; its exit code.
inline int Usage(const char* forms) {
    std::fprintf(stderr, "usage: %s\n", forms);
    return 2;
}

}  // namespace korbelt::bench
