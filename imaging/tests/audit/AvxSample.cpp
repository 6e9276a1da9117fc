// Deliberately beyond the library's limit: 256-bit AVX arithmetic. The audit must refuse it.
#include <immintrin.h>

void AddEightFloatsSample(const float* a, const float* b, float* out)
{
    _mm256_storeu_ps(out, _mm256_add_ps(_mm256_loadu_ps(a), _mm256_loadu_ps(b)));
}
