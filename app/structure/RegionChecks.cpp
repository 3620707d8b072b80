#include <zlib.h>

#include <algorithm>
#include <vector>

#include "structure/EvidenceRegion.h"
#include "verify/Digest.h"

namespace korbelt {
namespace {

class CrcRun : public CheckRun {
  public:
    explicit CrcRun(std::uint32_t crc) : want_(crc) {}
    void Add(const std::uint8_t* bytes, std::size_t count) override {
        while (count > 0) {
            const auto piece = static_cast<uInt>(std::min<std::size_t>(count, 1u << 30));
            crc_ = static_cast<std::uint32_t>(crc32(crc_, bytes, piece));
            bytes += piece;
            count -= piece;
        }
    }
    bool Passes() override { return crc_ == want_; }

  private:
    std::uint32_t want_;
    std::uint32_t crc_ = 0;
};

class PlainCrc : public RegionCheck {
  public:
    explicit PlainCrc(std::uint32_t crc) : crc_(crc) {}
    std::unique_ptr<CheckRun> Start() const override { return std::make_unique<CrcRun>(crc_); }
    std::optional<std::uint32_t> PlainCrc32() const override { return crc_; }
    const char* Kind() const override { return "CRC-32"; }

  private:
    std::uint32_t crc_;
};

class CrcAfterRun : public CheckRun {
  public:
    CrcAfterRun(std::size_t skip, std::uint32_t crc, std::uint32_t mask)
        : skip_(skip), want_(crc & mask), mask_(mask) {}
    void Add(const std::uint8_t* bytes, std::size_t count) override {
        const std::size_t skipped = std::min(skip_, count);
        skip_ -= skipped;
        crc_.Add(bytes + skipped, count - skipped);
    }
    bool Passes() override { return skip_ == 0 && (crc_.Value() & mask_) == want_; }

  private:
    class Running {
      public:
        void Add(const std::uint8_t* bytes, std::size_t count) {
            value_ = static_cast<std::uint32_t>(crc32(value_, bytes, static_cast<uInt>(count)));
        }
        std::uint32_t Value() const { return value_; }

      private:
        std::uint32_t value_ = 0;
    };
    std::size_t skip_;
    std::uint32_t want_;
    std::uint32_t mask_;
    Running crc_;
};

class CrcAfter : public RegionCheck {
  public:
    CrcAfter(std::size_t skip, std::uint32_t crc, std::uint32_t mask)
        : skip_(skip), crc_(crc), mask_(mask) {}
    std::unique_ptr<CheckRun> Start() const override {
        return std::make_unique<CrcAfterRun>(skip_, crc_, mask_);
    }
    const char* Kind() const override { return "header CRC"; }

  private:
    std::size_t skip_;
    std::uint32_t crc_;
    std::uint32_t mask_;
};

// Inflates as the bytes come, into a small buffer of its own: a stream that inflates to
// more than it should fails as soon as it does, so a hostile one costs its own length.
class InflateRun : public CheckRun {
  public:
    InflateRun(std::uint32_t crc, std::int64_t length) : want_(crc), length_(length) {
        ok_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK;
        open_ = ok_;
    }
    ~InflateRun() override {
        if (open_) {
            inflateEnd(&stream_);
        }
    }
    InflateRun(const InflateRun&) = delete;
    InflateRun& operator=(const InflateRun&) = delete;

    void Add(const std::uint8_t* bytes, std::size_t count) override {
        while (count > 0 && ok_) {
            if (ended_) {
                ok_ = false;  // bytes after the end of the stream
                return;
            }
            const auto piece = static_cast<uInt>(std::min<std::size_t>(count, 1u << 30));
            stream_.next_in = const_cast<Bytef*>(bytes);
            stream_.avail_in = piece;
            while (stream_.avail_in > 0 && ok_ && !ended_) {
                Inflate();
            }
            const std::size_t used = piece - stream_.avail_in;
            bytes += used;
            count -= used;
        }
    }
    bool Passes() override {
        // Output still held back by the inflater comes out with no more input.
        stream_.next_in = nullptr;
        stream_.avail_in = 0;
        while (ok_ && !ended_) {
            const std::int64_t before = out_;
            Inflate();
            if (out_ == before) {
                break;
            }
        }
        return ok_ && ended_ && out_ == length_ && crc_ == want_;
    }

  private:
    void Inflate() {
        const uInt in = stream_.avail_in;
        stream_.next_out = buffer_;
        stream_.avail_out = sizeof(buffer_);
        const int status = inflate(&stream_, Z_NO_FLUSH);
        const std::size_t made = sizeof(buffer_) - stream_.avail_out;
        crc_ = static_cast<std::uint32_t>(crc32(crc_, buffer_, static_cast<uInt>(made)));
        out_ += static_cast<std::int64_t>(made);
        if (status == Z_STREAM_END) {
            ended_ = true;
        } else if ((status != Z_OK && status != Z_BUF_ERROR) || out_ > length_ ||
                   (made == 0 && stream_.avail_in == in && in > 0)) {
            ok_ = false;
        }
    }

    std::uint32_t want_;
    std::int64_t length_;
    z_stream stream_{};
    bool ok_ = false;
    bool open_ = false;
    bool ended_ = false;
    std::int64_t out_ = 0;
    std::uint32_t crc_ = 0;
    Bytef buffer_[16384];
};

class InflatedCrc : public RegionCheck {
  public:
    InflatedCrc(std::uint32_t crc, std::int64_t length) : crc_(crc), length_(length) {}
    std::unique_ptr<CheckRun> Start() const override {
        return std::make_unique<InflateRun>(crc_, length_);
    }
    const char* Kind() const override { return "inflated CRC-32"; }

  private:
    std::uint32_t crc_;
    std::int64_t length_;
};

class SameBytesRun : public CheckRun {
  public:
    SameBytesRun(const std::vector<std::uint8_t>& expected, const std::vector<bool>& known)
        : expected_(expected), known_(known) {}
    void Add(const std::uint8_t* bytes, std::size_t count) override {
        for (std::size_t i = 0; i < count && same_; ++i, ++at_) {
            same_ = at_ < expected_.size() && (!known_[at_] || bytes[i] == expected_[at_]);
        }
    }
    bool Passes() override { return same_ && at_ == expected_.size(); }

  private:
    const std::vector<std::uint8_t>& expected_;
    const std::vector<bool>& known_;
    std::size_t at_ = 0;
    bool same_ = true;
};

class SameBytes : public RegionCheck {
  public:
    SameBytes(std::vector<std::uint8_t> expected, std::vector<bool> known)
        : expected_(std::move(expected)), known_(std::move(known)) {}
    std::unique_ptr<CheckRun> Start() const override {
        return std::make_unique<SameBytesRun>(expected_, known_);
    }
    const char* Kind() const override { return "copy"; }
    bool Proves() const override { return false; }

  private:
    std::vector<std::uint8_t> expected_;
    std::vector<bool> known_;
};

// The bytes beside a cut-out region go to the whole region's check before and after its own.
class FramedRun : public CheckRun {
  public:
    FramedRun(std::unique_ptr<CheckRun> whole, const std::vector<std::uint8_t>& head,
              const std::vector<std::uint8_t>& tail)
        : whole_(std::move(whole)), tail_(tail) {
        whole_->Add(head.data(), head.size());
    }
    void Add(const std::uint8_t* bytes, std::size_t count) override { whole_->Add(bytes, count); }
    bool Passes() override {
        whole_->Add(tail_.data(), tail_.size());
        return whole_->Passes();
    }

  private:
    std::unique_ptr<CheckRun> whole_;
    const std::vector<std::uint8_t>& tail_;
};

class Framed : public RegionCheck {
  public:
    Framed(std::shared_ptr<const RegionCheck> whole, std::vector<std::uint8_t> head,
           std::vector<std::uint8_t> tail)
        : whole_(std::move(whole)), head_(std::move(head)), tail_(std::move(tail)) {}
    std::unique_ptr<CheckRun> Start() const override {
        return std::make_unique<FramedRun>(whole_->Start(), head_, tail_);
    }
    const char* Kind() const override { return whole_->Kind(); }
    bool Proves() const override { return whole_->Proves(); }

  private:
    std::shared_ptr<const RegionCheck> whole_;
    std::vector<std::uint8_t> head_;
    std::vector<std::uint8_t> tail_;
};

}  // namespace

std::shared_ptr<const RegionCheck> FramedCheck(std::shared_ptr<const RegionCheck> whole,
                                               std::vector<std::uint8_t> head,
                                               std::vector<std::uint8_t> tail) {
    return std::make_shared<Framed>(std::move(whole), std::move(head), std::move(tail));
}

std::uint32_t Crc32OfMiddle(std::uint32_t whole, std::uint32_t head, std::uint32_t tail,
                            std::uint64_t tailLength, std::uint64_t middleLength) {
    // crc(a b) = shift(crc(a), |b|) ^ crc(b), for the middle between head and tail in turn.
    const std::uint32_t headAndMiddle = Crc32Unshift(whole ^ tail, tailLength);
    return headAndMiddle ^ Crc32Shift(head, middleLength);
}

std::shared_ptr<const RegionCheck> SameBytesCheck(std::vector<std::uint8_t> expected,
                                                  std::vector<bool> known) {
    known.resize(expected.size(), false);
    return std::make_shared<SameBytes>(std::move(expected), std::move(known));
}

std::shared_ptr<const RegionCheck> Crc32Check(std::uint32_t crc) {
    return std::make_shared<PlainCrc>(crc);
}

std::shared_ptr<const RegionCheck> Crc32CheckAfter(std::size_t skip, std::uint32_t crc,
                                                   std::uint32_t mask) {
    return std::make_shared<CrcAfter>(skip, crc, mask);
}

std::shared_ptr<const RegionCheck> InflatedCrc32Check(std::uint32_t crc, std::int64_t length) {
    return std::make_shared<InflatedCrc>(crc, length);
}

}  // namespace korbelt
