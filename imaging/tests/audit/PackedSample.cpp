// Packed SSE2 arithmetic: within the vector rule, refused by the plain rule.
#include <emmintrin.h>

__m128i AddFourIntsSample(__m128i a, __m128i b)
{
    return _mm_add_epi32(a, b);
}
