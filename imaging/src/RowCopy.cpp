// Byte-run copies shared by the plane copy and the 4:2:0 conversions: small runs in 8/4/2/1-byte
// pieces, long runs in 64-byte blocks into a 16-byte aligned destination, optionally with
// non-temporal stores of whole cache lines so that a copied frame does not evict the cache.
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

inline __m128i LoadBlock(const uint8_t* src, bool srcAligned)
{
    return srcAligned ? _mm_load_si128(reinterpret_cast<const __m128i*>(src))
                      : _mm_lddqu_si128(reinterpret_cast<const __m128i*>(src));
}

// Whole 16-byte pieces of `bytes` with normal aligned stores; returns the bytes copied.
inline int64_t CopyPieces(const uint8_t* src, uint8_t* dst, int64_t bytes, bool srcAligned)
{
    int64_t done = 0;
    for (; done + 16 <= bytes; done += 16)
        _mm_store_si128(reinterpret_cast<__m128i*>(dst + done), LoadBlock(src + done, srcAligned));
    return done;
}

// Copies one run. With streaming, only whole 64-byte cache lines are written with non-temporal
// stores: the part of the run before the first line boundary and after the last one takes normal
// stores, so that no line is left partly written in a write-combining buffer. The closing store
// fence is the caller's when `fence` is off (a row loop fences once after its last row).
bool CopyRun(const uint8_t* src, uint8_t* dst, int64_t length, Streaming streaming, bool fence)
{
    if (length < 64) {
        CopyShort(src, dst, length);
        return false;
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
            return false;
        }
    }
    bool stream = streaming != Streaming::Off;
    if (streaming == Streaming::UnlessAliased) {
        const uint32_t apart = uint32_t(reinterpret_cast<uintptr_t>(src) -
                                        reinterpret_cast<uintptr_t>(dst)) & 0xFFFF;
        stream = !(apart >= 65216 && apart <= 65520);
    }
    const bool srcAligned = (reinterpret_cast<uintptr_t>(src) & 15) == 0;
    if (stream) {
        // Normal stores up to the first line boundary (a multiple of 16 bytes away).
        const int64_t toLine = int64_t((64 - (reinterpret_cast<uintptr_t>(dst) & 63)) & 63);
        if (length - toLine < 64)
            stream = false; // not one whole line to stream
        else {
            const int64_t head = CopyPieces(src, dst, toLine, srcAligned);
            src += head;
            dst += head;
            length -= head;
        }
    }
    for (; length >= 64; length -= 64, src += 64, dst += 64) {
        const __m128i a = LoadBlock(src, srcAligned);
        const __m128i b = LoadBlock(src + 16, srcAligned);
        const __m128i c = LoadBlock(src + 32, srcAligned);
        const __m128i d = LoadBlock(src + 48, srcAligned);
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
    if (stream && fence)
        _mm_sfence();
    CopyShort(src, dst, length);
    return stream;
}

void CopyRows(const uint8_t* src, int64_t srcStep, uint8_t* dst, int64_t dstStep, int64_t length,
              int32_t rows, Streaming streaming)
{
    bool streamed = false;
    for (int32_t r = 0; r < rows; ++r, src += srcStep, dst += dstStep)
        streamed |= CopyRun(src, dst, length, streaming, false);
    if (streamed)
        _mm_sfence();
}

} // namespace

void CopyRowFast(const uint8_t* src, uint8_t* dst, int64_t length, bool streaming)
{
    CopyRun(src, dst, length, streaming ? Streaming::On : Streaming::Off, true);
}

void CopyRowSimd(const uint8_t* src, uint8_t* dst, int64_t length, bool streaming)
{
    CopyRun(src, dst, length, streaming ? Streaming::UnlessAliased : Streaming::Off, true);
}

void CopyRowsFast(const uint8_t* src, int64_t srcStep, uint8_t* dst, int64_t dstStep,
                  int64_t length, int32_t rows, bool streaming)
{
    CopyRows(src, srcStep, dst, dstStep, length, rows, streaming ? Streaming::On : Streaming::Off);
}

void CopyRowsSimd(const uint8_t* src, int64_t srcStep, uint8_t* dst, int64_t dstStep,
                  int64_t length, int32_t rows, bool streaming)
{
    CopyRows(src, srcStep, dst, dstStep, length, rows,
             streaming ? Streaming::UnlessAliased : Streaming::Off);
}

} // namespace imaging
