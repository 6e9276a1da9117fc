// Checked clearing and copying of float scratch buffers. Large blocks use non-temporal stores so
// that a buffer far bigger than the cache does not evict the rows the kernels work on: clearing
// from the largest cache size up, copying from half of it.
#include "ScratchSupport.h"

#include <emmintrin.h>
#include <pmmintrin.h>

#include <cstring>

namespace imaging {
namespace {

template <int N>
inline void Put(uint8_t* p, const void* value)
{
    std::memcpy(p, value, N);
}

template <int N>
inline void Move(const uint8_t* src, uint8_t* dst)
{
    uint8_t piece[N];
    std::memcpy(piece, src, N);
    std::memcpy(dst, piece, N);
}

// Below 16 bytes: two overlapping stores cover any length from 4 up.
void ZeroSmall(uint8_t* p, uint64_t n)
{
    static constexpr uint8_t zeros[8] = {};
    if (n >= 8) {
        Put<8>(p, zeros);
        Put<8>(p + n - 8, zeros);
    } else if (n >= 4) {
        Put<4>(p, zeros);
        Put<4>(p + n - 4, zeros);
    } else {
        for (uint64_t i = 0; i < n; ++i)
            p[i] = 0;
    }
}

// Up to three 16-byte stores at an aligned p, then the rest below 16 bytes.
void ZeroAlignedTail(uint8_t* p, uint64_t n)
{
    const __m128i zero = _mm_setzero_si128();
    while (n >= 16) {
        _mm_store_si128(reinterpret_cast<__m128i*>(p), zero);
        p += 16;
        n -= 16;
    }
    ZeroSmall(p, n);
}

// Below 64 bytes: 4-byte words, the last (possibly overlapping) one first; single bytes below 4.
void CopySmall(const uint8_t* src, uint8_t* dst, uint64_t n)
{
    if (n < 4) {
        for (uint64_t i = 0; i < n; ++i)
            dst[i] = src[i];
        return;
    }
    Move<4>(src + n - 4, dst + n - 4);
    for (uint64_t i = 0; i + 4 < n; i += 4)
        Move<4>(src + i, dst + i);
}

inline __m128i LoadAny(const uint8_t* p)
{
    return _mm_lddqu_si128(reinterpret_cast<const __m128i*>(p));
}

inline __m128i LoadAligned(const uint8_t* p)
{
    return _mm_load_si128(reinterpret_cast<const __m128i*>(p));
}

inline void StoreAligned(uint8_t* p, __m128i v)
{
    _mm_store_si128(reinterpret_cast<__m128i*>(p), v);
}

inline void Copy64(const uint8_t* src, uint8_t* dst, bool srcAligned)
{
    __m128i a, b, c, d;
    if (srcAligned) {
        a = LoadAligned(src);
        b = LoadAligned(src + 16);
        c = LoadAligned(src + 32);
        d = LoadAligned(src + 48);
    } else {
        a = LoadAny(src);
        b = LoadAny(src + 16);
        c = LoadAny(src + 32);
        d = LoadAny(src + 48);
    }
    StoreAligned(dst, a);
    StoreAligned(dst + 16, b);
    StoreAligned(dst + 32, c);
    StoreAligned(dst + 48, d);
}

// The pieces of a tail below 64 bytes, largest first; offsets count from the tail's start.
struct TailPiece {
    uint64_t offset;
    int size;
};

int TailPieces(uint64_t n, TailPiece pieces[6])
{
    int count = 0;
    uint64_t offset = 0;
    for (int size = 32; size >= 1; size /= 2) {
        if (n & uint64_t(size)) {
            pieces[count++] = {offset, size};
            offset += uint64_t(size);
        }
    }
    return count;
}

void CopyPiece(const uint8_t* src, uint8_t* dst, int size)
{
    switch (size) {
    case 32:
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), LoadAny(src));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), LoadAny(src + 16));
        break;
    case 16:
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), LoadAny(src));
        break;
    case 8:
        Move<8>(src, dst);
        break;
    case 4:
        Move<4>(src, dst);
        break;
    case 2:
        Move<2>(src, dst);
        break;
    default:
        *dst = *src;
        break;
    }
}

// Streams n bytes into an aligned dst in chunks; each chunk is first read one byte per 64-byte
// line so that the loads come from the cache while the stores bypass it.
void CopyStreaming(const uint8_t* src, uint8_t* dst, uint64_t n)
{
    constexpr uint64_t kChunk = 262144;
    const bool srcAligned = (reinterpret_cast<uintptr_t>(src) & 15) == 0;
    while (n >= 16) {
        const uint64_t chunk = n >= kChunk ? kChunk : (n & ~uint64_t(15));
        if (chunk == kChunk) {
            for (uint64_t i = 0; i < chunk; i += 64)
                static_cast<void>(*static_cast<const volatile uint8_t*>(src + i));
        } else {
            for (uint64_t i = chunk; i > 0;) {
                i = i > 64 ? i - 64 : 0;
                static_cast<void>(*static_cast<const volatile uint8_t*>(src + i));
            }
        }
        for (uint64_t i = 0; i < chunk; i += 16) {
            const __m128i v = srcAligned ? LoadAligned(src + i) : LoadAny(src + i);
            _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i), v);
        }
        src += chunk;
        dst += chunk;
        n -= chunk;
    }
    _mm_sfence();
    CopySmall(src, dst, n);
}

void CopyForwards(const uint8_t* src, uint8_t* dst, uint64_t n, bool srcAligned)
{
    for (; n >= 64; n -= 64, src += 64, dst += 64)
        Copy64(src, dst, srcAligned);
    TailPiece pieces[6];
    const int count = TailPieces(n, pieces);
    for (int i = 0; i < count; ++i)
        CopyPiece(src + pieces[i].offset, dst + pieces[i].offset, pieces[i].size);
}

void CopyBackwards(const uint8_t* src, uint8_t* dst, uint64_t n)
{
    const uint64_t blocks = n / 64;
    const uint64_t tailStart = blocks * 64;
    TailPiece pieces[6];
    const int count = TailPieces(n - tailStart, pieces);
    for (int i = count - 1; i >= 0; --i)
        CopyPiece(src + tailStart + pieces[i].offset, dst + tailStart + pieces[i].offset,
                  pieces[i].size);
    for (uint64_t b = blocks; b > 0; --b)
        Copy64(src + (b - 1) * 64, dst + (b - 1) * 64, true);
}

} // namespace

void ZeroBytes(uint8_t* p, uint64_t n, CacheSizeQuery largestCache)
{
    if (n < 16) {
        ZeroSmall(p, n);
        return;
    }
    static constexpr uint8_t zeros[8] = {};
    // 1-, 2-, 4- and 8-byte stores, each chosen by the address reached so far.
    if (reinterpret_cast<uintptr_t>(p) & 1) {
        Put<1>(p, zeros);
        p += 1;
        n -= 1;
    }
    if (reinterpret_cast<uintptr_t>(p) & 2) {
        Put<2>(p, zeros);
        p += 2;
        n -= 2;
    }
    if (reinterpret_cast<uintptr_t>(p) & 4) {
        Put<4>(p, zeros);
        p += 4;
        n -= 4;
    }
    if (reinterpret_cast<uintptr_t>(p) & 8) {
        Put<8>(p, zeros);
        p += 8;
        n -= 8;
    }
    if (n < 64) {
        ZeroAlignedTail(p, n);
        return;
    }
    std::optional<uint32_t> cache;
    const __m128i zero = _mm_setzero_si128();
    if (n > kStreamingFloor && (cache = largestCache()) && n >= *cache) {
        for (; n >= 16; n -= 16, p += 16)
            _mm_stream_si128(reinterpret_cast<__m128i*>(p), zero);
        _mm_sfence();
        ZeroSmall(p, n);
        return;
    }
    for (; n >= 64; n -= 64, p += 64) {
        StoreAligned(p, zero);
        StoreAligned(p + 16, zero);
        StoreAligned(p + 32, zero);
        StoreAligned(p + 48, zero);
    }
    ZeroAlignedTail(p, n);
}

void CopyBytes(const uint8_t* src, uint8_t* dst, uint64_t n, CacheSizeQuery largestCache)
{
    if (n < 64) {
        CopySmall(src, dst, n);
        return;
    }
    const uintptr_t misalign = reinterpret_cast<uintptr_t>(dst) & 15;
    if (misalign) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), LoadAny(src));
        const uint64_t advance = 16 - misalign;
        src += advance;
        dst += advance;
        n -= advance;
    }
    std::optional<uint32_t> cache;
    if (n >= kStreamingFloor && (cache = largestCache()) && n >= *cache / 2) {
        CopyStreaming(src, dst, n);
        return;
    }
    if ((reinterpret_cast<uintptr_t>(src) & 15) != 0) {
        CopyForwards(src, dst, n, false);
        return;
    }
    // Pick the direction by where source and destination fall within a 4 KiB page, so that the
    // loads do not wait on stores to an address that aliases them.
    const int64_t d = int64_t(reinterpret_cast<uintptr_t>(src) & 4095) -
                      int64_t(reinterpret_cast<uintptr_t>(dst) & 4095);
    if (n >= 512 && ((d > 0 && d <= 160) || d < -3936))
        CopyForwards(src, dst, n, true);
    else
        CopyBackwards(src, dst, n);
}

ImagingStatus ZeroFloats(void* p, int32_t nBytes)
{
    if (!p)
        return StatusNullPointer;
    if (nBytes < 1)
        return StatusSizeError;
    ZeroBytes(static_cast<uint8_t*>(p), uint64_t(nBytes), QueryLargestCacheSize);
    return StatusOk;
}

ImagingStatus CopyFloats(const float* src, float* dst, int32_t n)
{
    if (!src || !dst)
        return StatusNullPointer;
    if (n < 1)
        return StatusSizeError;
    // 4 x n is taken in 64 bits: a count near the int32 limit must not wrap.
    CopyBytes(reinterpret_cast<const uint8_t*>(src), reinterpret_cast<uint8_t*>(dst),
              uint64_t(n) * 4, QueryLargestCacheSize);
    return StatusOk;
}

} // namespace imaging
