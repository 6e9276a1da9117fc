// Byte-run copies shared by the plane copy and the 4:2:0 conversions: small runs in 8/4/2/1-byte
// pieces, long runs in 64-byte blocks into a 16-byte aligned destination, optionally with
// non-temporal stores so that a copied frame does not evict the cache.
#include "RowKernels.h"

#include <emmintrin.h>
#include <pmmintrin.h>

#include <cstring>

namespace imaging {
namespace {

template <int N>
inline void Move(const uint8_t* src, uint8_t* dst)
{
    uint8_t piece[N];
    std::memcpy(piece, src, N);
    std::memcpy(dst, piece, N);
}

void CopyShort(const uint8_t* src, uint8_t* dst, int64_t length)
{
    for (; length >= 8; length -= 8, src += 8, dst += 8)
        Move<8>(src, dst);
    if (length & 4) {
        Move<4>(src, dst);
        src += 4;
        dst += 4;
    }
    if (length & 2) {
        Move<2>(src, dst);
        src += 2;
        dst += 2;
    }
    if (length & 1)
        *dst = *src;
}

enum class Streaming { Off, On, UnlessAliased };

void CopyRun(const uint8_t* src, uint8_t* dst, int64_t length, Streaming streaming)
{
    if (length < 64) {
        CopyShort(src, dst, length);
        return;
    }
    const uintptr_t misalign = reinterpret_cast<uintptr_t>(dst) & 15;
    if (misalign) {
        // The bytes between the unaligned head and the boundary are written twice, alike.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(src)));
        const int64_t advance = int64_t(16 - misalign);
        src += advance;
        dst += advance;
        length -= advance;
        if (length < 64) {
            CopyShort(src, dst, length);
            return;
        }
    }
    bool stream = streaming != Streaming::Off;
    if (streaming == Streaming::UnlessAliased) {
        const uint32_t apart = uint32_t(reinterpret_cast<uintptr_t>(src) -
                                        reinterpret_cast<uintptr_t>(dst)) & 0xFFFF;
        stream = !(apart >= 65216 && apart <= 65520);
    }
    const bool srcAligned = (reinterpret_cast<uintptr_t>(src) & 15) == 0;
    for (; length >= 64; length -= 64, src += 64, dst += 64) {
        __m128i a, b, c, d;
        if (srcAligned) {
            a = _mm_load_si128(reinterpret_cast<const __m128i*>(src));
            b = _mm_load_si128(reinterpret_cast<const __m128i*>(src + 16));
            c = _mm_load_si128(reinterpret_cast<const __m128i*>(src + 32));
            d = _mm_load_si128(reinterpret_cast<const __m128i*>(src + 48));
        } else {
            a = _mm_lddqu_si128(reinterpret_cast<const __m128i*>(src));
            b = _mm_lddqu_si128(reinterpret_cast<const __m128i*>(src + 16));
            c = _mm_lddqu_si128(reinterpret_cast<const __m128i*>(src + 32));
            d = _mm_lddqu_si128(reinterpret_cast<const __m128i*>(src + 48));
        }
        auto* out = reinterpret_cast<__m128i*>(dst);
        if (stream) {
            _mm_stream_si128(out, a);
            _mm_stream_si128(out + 1, b);
            _mm_stream_si128(out + 2, c);
            _mm_stream_si128(out + 3, d);
        } else {
            _mm_store_si128(out, a);
            _mm_store_si128(out + 1, b);
            _mm_store_si128(out + 2, c);
            _mm_store_si128(out + 3, d);
        }
    }
    if (stream)
        _mm_sfence();
    CopyShort(src, dst, length);
}

} // namespace

void CopyRowFast(const uint8_t* src, uint8_t* dst, int64_t length, bool streaming)
{
    CopyRun(src, dst, length, streaming ? Streaming::On : Streaming::Off);
}

void CopyRowSimd(const uint8_t* src, uint8_t* dst, int64_t length, bool streaming)
{
    CopyRun(src, dst, length, streaming ? Streaming::UnlessAliased : Streaming::Off);
}

} // namespace imaging
