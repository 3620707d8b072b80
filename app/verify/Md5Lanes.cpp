#include "verify/Md5Lanes.h"

#include <cmath>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KORBELT_MD5_LANES 1
#endif

namespace korbelt {
namespace {

#ifdef KORBELT_MD5_LANES

// The sines of MD5, its shifts and which word of the block each step adds.
struct Md5Steps {
    std::uint32_t k[64];
    int shift[64];
    int word[64];
    Md5Steps() {
        const int shifts[4][4] = {
            {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
        for (int i = 0; i < 64; ++i) {
            k[i] = static_cast<std::uint32_t>(static_cast<std::uint64_t>(
                std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0)));
            shift[i] = shifts[i / 16][i % 4];
            word[i] = i < 16   ? i
                      : i < 32 ? (5 * i + 1) % 16
                      : i < 48 ? (3 * i + 5) % 16
                               : (7 * i) % 16;
        }
    }
};
const Md5Steps kSteps;

std::uint32_t Word(const std::uint8_t* at) {
    std::uint32_t word;
    std::memcpy(&word, at, 4);  // MD5 reads little-endian words, as x86 stores them
    return word;
}

// One 64-byte block of each of the eight lanes into the state.
__attribute__((target("avx2"))) void Block(__m256i state[4], const std::uint8_t* const blocks[8]) {
    __m256i m[16];
    for (int w = 0; w < 16; ++w) {
        m[w] = _mm256_setr_epi32(
            static_cast<int>(Word(blocks[0] + 4 * w)), static_cast<int>(Word(blocks[1] + 4 * w)),
            static_cast<int>(Word(blocks[2] + 4 * w)), static_cast<int>(Word(blocks[3] + 4 * w)),
            static_cast<int>(Word(blocks[4] + 4 * w)), static_cast<int>(Word(blocks[5] + 4 * w)),
            static_cast<int>(Word(blocks[6] + 4 * w)), static_cast<int>(Word(blocks[7] + 4 * w)));
    }
    __m256i a = state[0], b = state[1], c = state[2], d = state[3];
    const __m256i ones = _mm256_set1_epi32(-1);
    for (int i = 0; i < 64; ++i) {
        __m256i f;
        if (i < 16) {
            f = _mm256_xor_si256(d, _mm256_and_si256(b, _mm256_xor_si256(c, d)));
        } else if (i < 32) {
            f = _mm256_xor_si256(c, _mm256_and_si256(d, _mm256_xor_si256(b, c)));
        } else if (i < 48) {
            f = _mm256_xor_si256(_mm256_xor_si256(b, c), d);
        } else {
            f = _mm256_xor_si256(c, _mm256_or_si256(b, _mm256_xor_si256(d, ones)));
        }
        const __m256i sum = _mm256_add_epi32(
            _mm256_add_epi32(a, f),
            _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(kSteps.k[i])), m[kSteps.word[i]]));
        const __m128i left = _mm_cvtsi32_si128(kSteps.shift[i]);
        const __m128i right = _mm_cvtsi32_si128(32 - kSteps.shift[i]);
        const __m256i rotated =
            _mm256_or_si256(_mm256_sll_epi32(sum, left), _mm256_srl_epi32(sum, right));
        a = d;
        d = c;
        c = b;
        b = _mm256_add_epi32(b, rotated);
    }
    state[0] = _mm256_add_epi32(state[0], a);
    state[1] = _mm256_add_epi32(state[1], b);
    state[2] = _mm256_add_epi32(state[2], c);
    state[3] = _mm256_add_epi32(state[3], d);
}

__attribute__((target("avx2"))) void Lanes(const std::uint8_t* const* messages, std::size_t count,
                                           std::size_t length, DigestBytes* digests) {
    __m256i state[4] = {
        _mm256_set1_epi32(0x67452301), _mm256_set1_epi32(static_cast<int>(0xefcdab89)),
        _mm256_set1_epi32(static_cast<int>(0x98badcfe)), _mm256_set1_epi32(0x10325476)};
    // Lanes without a message hash the first one again, and are not read out.
    const std::uint8_t* blocks[8];
    const std::size_t whole = length / 64;
    for (std::size_t n = 0; n < whole; ++n) {
        for (std::size_t lane = 0; lane < 8; ++lane) {
            blocks[lane] = messages[lane < count ? lane : 0] + 64 * n;
        }
        Block(state, blocks);
    }
    // The rest of each message, 0x80, zeros and the length in bits: one or two blocks.
    const std::size_t rest = length % 64;
    const std::size_t tail = rest < 56 ? 64 : 128;
    alignas(32) std::uint8_t last[8][128];
    const std::uint64_t bits = static_cast<std::uint64_t>(length) * 8;
    for (std::size_t lane = 0; lane < 8; ++lane) {
        std::memset(last[lane], 0, tail);
        if (rest > 0) {  // an empty message may have no bytes to point at
            std::memcpy(last[lane], messages[lane < count ? lane : 0] + 64 * whole, rest);
        }
        last[lane][rest] = 0x80;
        std::memcpy(last[lane] + tail - 8, &bits, 8);
    }
    for (std::size_t at = 0; at < tail; at += 64) {
        for (std::size_t lane = 0; lane < 8; ++lane) {
            blocks[lane] = last[lane] + at;
        }
        Block(state, blocks);
    }
    alignas(32) std::uint32_t words[4][8];
    for (int i = 0; i < 4; ++i) {
        _mm256_store_si256(reinterpret_cast<__m256i*>(words[i]), state[i]);
    }
    for (std::size_t lane = 0; lane < count; ++lane) {
        digests[lane].resize(16);
        for (int i = 0; i < 4; ++i) {
            std::memcpy(digests[lane].data() + 4 * i, &words[i][lane], 4);
        }
    }
}

#endif

}  // namespace

void Md5OfMany(const std::uint8_t* const* messages, std::size_t count, std::size_t length,
               DigestBytes* digests) {
#ifdef KORBELT_MD5_LANES
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2 && count > 1) {
        Lanes(messages, count, length, digests);
        return;
    }
#endif
    for (std::size_t lane = 0; lane < count; ++lane) {
        digests[lane] = DigestOf(DigestKind::Md5, messages[lane], length);
    }
}

}  // namespace korbelt
