#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace korbelt {

// The record buffer: the bytes of the current record and its look-ahead. Usually they are
// the engine's own, read into it; a record that the read-ahead window holds whole is looked
// at where it lies instead, which spares copying every byte of the file once more. Such a
// borrowed record stays valid until the next read of the input.
template <std::size_t Size>
class RecordBuffer {
  public:
    RecordBuffer() = default;
    RecordBuffer(const RecordBuffer&) = delete;
    RecordBuffer& operator=(const RecordBuffer&) = delete;

    std::uint8_t operator[](std::size_t i) const { return at_[i]; }
    const std::uint8_t* data() const { return at_; }
    static constexpr std::size_t size() { return Size; }

    // The engine's own storage, to read or build a record in; the record is then the own
    // bytes. Reading goes through operator[] and data(), which never switch.
    std::uint8_t* Own() {
        at_ = own_.data();
        return own_.data();
    }

    // Size bytes held elsewhere become the record, until the next Own or Borrow.
    void Borrow(const std::uint8_t* bytes) { at_ = bytes; }

  private:
    std::array<std::uint8_t, Size> own_{};
    const std::uint8_t* at_ = own_.data();
};

}  // namespace korbelt
