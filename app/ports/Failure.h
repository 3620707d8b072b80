#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace korbelt {

// What can make Korbelt give up a file, or a step of it.
enum class FailureKind {
    FileOperation,       // a file could not be read, written, created, renamed or deleted, or
                         // changed while it was being repaired
    Stopped,             // the user stopped the file while checksum files were being read
    LibraryUnavailable,  // the korbscan library, or one of its functions, cannot be bound
    Unsupported,         // this machine cannot compute what was asked for (a digest)
};

// The one error type Korbelt throws: its kind says what the catcher does, its message is what
// the user is told. A failure of a file also gives the words of the file's status line after
// its name, and whether the file is still as it was under its own name.
class Failure : public std::runtime_error {
  public:
    Failure(FailureKind kind, const std::string& message, std::string line = {},
            bool leftAsItWas = true)
        : std::runtime_error(message), kind_(kind), line_(std::move(line)),
          leftAsItWas_(leftAsItWas) {}

    FailureKind Kind() const { return kind_; }
    std::string Message() const { return what(); }
    const std::string& Line() const { return line_; }
    bool LeftAsItWas() const { return leftAsItWas_; }

  private:
    FailureKind kind_;
    std::string line_;
    bool leftAsItWas_;
};

}  // namespace korbelt
