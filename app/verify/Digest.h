#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korbelt {

using DigestBytes = std::vector<std::uint8_t>;

// The hash functions checksum files name.
enum class DigestKind { Md5, Sha1, Sha256, Sha512 };

const char* DigestName(DigestKind kind);
// Bytes of a digest of this kind.
std::size_t DigestSize(DigestKind kind);

// A digest computed piece by piece, by OpenSSL's libcrypto.
class Hasher {
  public:
    explicit Hasher(DigestKind kind);
    ~Hasher();
    Hasher(Hasher&&) noexcept;
    Hasher& operator=(Hasher&&) noexcept;
    Hasher(const Hasher&) = delete;
    Hasher& operator=(const Hasher&) = delete;

    DigestKind Kind() const { return kind_; }
    void Add(const std::uint8_t* bytes, std::size_t count);
    // The digest of everything added; the hasher starts afresh afterwards.
    DigestBytes Finish();

  private:
    DigestKind kind_;
    struct Context;
    std::unique_ptr<Context> context_;
};

DigestBytes DigestOf(DigestKind kind, const std::uint8_t* bytes, std::size_t count);
// Adds count zero bytes: PAR 2.0 pads a file's last slice with them.
void AddZeros(Hasher& hasher, std::uint64_t count);

// CRC-32 (the one of zip, PNG, SFV and PAR 2.0), by zlib: running value in, new value out.
std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count);
// The CRC-32 of count zero bytes appended to data whose CRC-32 was crc.
std::uint32_t Crc32Zeros(std::uint32_t crc, std::uint64_t count);
// The bare CRC-32 register (without the inversions before and after) times x^(8 bytes)
// modulo the polynomial: the register after that many zeros, in a few steps.
std::uint32_t Crc32Shift(std::uint32_t reg, std::uint64_t bytes);
// What Crc32Shift by that many bytes turns into reg: its inverse.
std::uint32_t Crc32Unshift(std::uint32_t reg, std::uint64_t bytes);

std::string ToHex(const DigestBytes& digest);
// Hexadecimal digits, either case, to bytes; empty on anything else.
DigestBytes FromHex(const std::string& text);

}  // namespace korbelt
