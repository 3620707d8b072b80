#pragma once

#include <string>

namespace korbelt {

// The status list: lines stay in the order they are appended.
class StatusList {
  public:
    virtual ~StatusList() = default;

    // Appends a line and returns its index.
    virtual int AppendLine(const std::string& text) = 0;
    virtual void SetLine(int index, const std::string& text) = 0;
    virtual void RemoveLine(int index) = 0;
    virtual int LineCount() const = 0;
    virtual std::string Line(int index) const = 0;
    virtual void SelectLine(int index) = 0;
    virtual void SetTopLine(int index) = 0;
    virtual void Clear() = 0;

    // Line index is final: nothing rewrites or removes it any more. A list that shows each
    // line once, when it is done, may show this one now and keep no more of it.
    virtual void Settle(int /*index*/) {}
};

}  // namespace korbelt
