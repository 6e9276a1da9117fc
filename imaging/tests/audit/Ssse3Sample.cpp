// Deliberately beyond the library's limit: a byte shuffle (SSSE3). The audit must refuse it.
#include <tmmintrin.h>

__m128i ShuffleBytesSample(__m128i v, __m128i order)
{
    return _mm_shuffle_epi8(v, order);
}
