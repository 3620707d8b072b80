#include "verify/Digest.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <stdexcept>

#include "ports/Failure.h"

namespace korbelt {
namespace {

struct KindInfo {
    DigestKind kind;
    const char* name;
    const EVP_MD* (*algorithm)();
};

const KindInfo kKinds[] = {{DigestKind::Md5, "MD5", EVP_md5},
                           {DigestKind::Sha1, "SHA1", EVP_sha1},
                           {DigestKind::Sha256, "SHA256", EVP_sha256},
                           {DigestKind::Sha512, "SHA512", EVP_sha512}};

const KindInfo& InfoOf(DigestKind kind) {
    for (const KindInfo& info : kKinds) {
        if (info.kind == kind) {
            return info;
        }
    }
    return kKinds[0];
}

const EVP_MD* Algorithm(DigestKind kind) {
    return InfoOf(kind).algorithm();
}

}  // namespace

const char* DigestName(DigestKind kind) {
    return InfoOf(kind).name;
}

std::size_t DigestSize(DigestKind kind) {
    return static_cast<std::size_t>(EVP_MD_get_size(Algorithm(kind)));
}

struct Hasher::Context {
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(md); }
};

Hasher::Hasher(DigestKind kind) : kind_(kind), context_(std::make_unique<Context>()) {
    if (context_->md == nullptr || EVP_DigestInit_ex(context_->md, Algorithm(kind), nullptr) != 1) {
        throw Failure(FailureKind::Unsupported, "The digest cannot be computed here",
                      "digest cannot be computed");
    }
}

Hasher::~Hasher() = default;
Hasher::Hasher(Hasher&&) noexcept = default;
Hasher& Hasher::operator=(Hasher&&) noexcept = default;

void Hasher::Add(const std::uint8_t* bytes, std::size_t count) {
    EVP_DigestUpdate(context_->md, bytes, count);
}

DigestBytes Hasher::Finish() {
    DigestBytes digest(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    EVP_DigestFinal_ex(context_->md, digest.data(), &size);
    digest.resize(size);
    EVP_DigestInit_ex(context_->md, Algorithm(kind_), nullptr);
    return digest;
}

DigestBytes DigestOf(DigestKind kind, const std::uint8_t* bytes, std::size_t count) {
    Hasher hasher(kind);
    hasher.Add(bytes, count);
    return hasher.Finish();
}

void AddZeros(Hasher& hasher, std::uint64_t count) {
    static const std::uint8_t zeros[4096] = {};
    while (count > 0) {
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, sizeof(zeros)));
        hasher.Add(zeros, piece);
        count -= piece;
    }
}

std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count) {
    // zlib takes the length as uInt: large pieces go in turns.
    while (count > 0) {
        const auto piece = static_cast<uInt>(std::min<std::size_t>(count, 1u << 30));
        crc = static_cast<std::uint32_t>(crc32(crc, bytes, piece));
        bytes += piece;
        count -= piece;
    }
    return crc;
}

std::uint32_t Crc32Zeros(std::uint32_t crc, std::uint64_t count) {
    // Zeros only shift the bare register, whatever the count (a slice size of any PAR 2.0 set).
    return ~Crc32Shift(~crc, count);
}

std::uint32_t Crc32Shift(std::uint32_t reg, std::uint64_t bytes) {
    // By zlib; x^(8 (2^32 - 1)) is 1, so the shift repeats with that period.
    const uLong op = crc32_combine_gen64(static_cast<z_off64_t>(bytes % 0xFFFFFFFFull));
    return static_cast<std::uint32_t>(crc32_combine_op(reg, 0, op));
}

std::uint32_t Crc32Unshift(std::uint32_t reg, std::uint64_t bytes) {
    return Crc32Shift(reg, 0xFFFFFFFFull - bytes % 0xFFFFFFFFull);
}

std::string ToHex(const DigestBytes& digest) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

DigestBytes FromHex(const std::string& text) {
    const auto value = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    DigestBytes bytes;
    if (text.size() % 2 != 0) {
        return {};
    }
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = value(text[i]);
        const int low = value(text[i + 1]);
        if (high < 0 || low < 0) {
            return {};
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

}  // namespace korbelt
