#pragma once

#include <string>

namespace korbelt {

// Where the options show: the check marks of the Options menu entries mnuOptionsTruncate,
// mnuOptionsIgnoreHJS, mnuOptionsVerify and mnuOptionsLeaveUnpatterned and the text of the
// label labOptions. The marks are the
// options themselves; there is no other copy to keep in step.
class OptionsDisplay {
  public:
    virtual ~OptionsDisplay() = default;

    virtual bool TruncateChecked() const = 0;
    virtual void SetTruncateChecked(bool checked) = 0;
    virtual bool IgnoreHJSplitChecked() const = 0;
    virtual void SetIgnoreHJSplitChecked(bool checked) = 0;
    virtual bool VerifyChecked() const = 0;
    virtual void SetVerifyChecked(bool checked) = 0;
    virtual bool LeaveUnpatternedChecked() const = 0;
    virtual void SetLeaveUnpatternedChecked(bool checked) = 0;
    virtual std::string OptionsText() const = 0;
    virtual void SetOptionsText(const std::string& text) = 0;
};

// The options held in memory, for a front end without menus.
class OptionMarks : public OptionsDisplay {
  public:
    bool TruncateChecked() const override { return truncate_; }
    void SetTruncateChecked(bool checked) override { truncate_ = checked; }
    bool IgnoreHJSplitChecked() const override { return ignoreHJSplit_; }
    void SetIgnoreHJSplitChecked(bool checked) override { ignoreHJSplit_ = checked; }
    bool VerifyChecked() const override { return verify_; }
    void SetVerifyChecked(bool checked) override { verify_ = checked; }
    bool LeaveUnpatternedChecked() const override { return leaveUnpatterned_; }
    void SetLeaveUnpatternedChecked(bool checked) override { leaveUnpatterned_ = checked; }
    std::string OptionsText() const override { return text_; }
    void SetOptionsText(const std::string& text) override { text_ = text; }

  private:
    bool truncate_ = false;
    bool ignoreHJSplit_ = false;
    bool verify_ = true;
    bool leaveUnpatterned_ = false;
    std::string text_;
};

}  // namespace korbelt
