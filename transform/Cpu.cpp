// The processor check that runs once when the library loads, and the kernel level.
//
// mmxAvailable selects the packed filter form. On x86-64, CPUID always exists and
// leaf 1 always reports MMX (bit 23 of EDX), so the packed form is the normal path
// there; other processors leave the flag false. The vector level picks SSE2 (part
// of x86-64) or AVX2 when the processor reports it.
#include "transform/Cubic.h"
#include "transform/scale_kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

bool mmxAvailable = false;

namespace {

int maxKernelLevel = 0;
int kernelLevel = 0;

bool ProbeMmx()
{
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return false;
    return (edx & (1u << 23)) != 0;
#else
    return false;
#endif
}

int ProbeLevel()
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (transform_internal::KernelsAvx2() && __builtin_cpu_supports("avx2"))
        return 2;
    return 1;
#else
    return 0;
#endif
}

// Runs at load, before any object of the library can be built.
struct ProcessorCheck {
    ProcessorCheck()
    {
        mmxAvailable = ProbeMmx();
        maxKernelLevel = ProbeLevel();
        kernelLevel = maxKernelLevel;
    }
} processorCheck;

} // namespace

extern "C" void TesseraTransformSetMmx(bool available)
{
    mmxAvailable = available;
}

extern "C" bool TesseraTransformMmx()
{
    return mmxAvailable;
}

extern "C" int TesseraTransformSetKernelLevel(int level)
{
    kernelLevel = level < 0 ? 0 : level > maxKernelLevel ? maxKernelLevel : level;
    return kernelLevel;
}

extern "C" int TesseraTransformKernelLevel()
{
    return kernelLevel;
}

namespace transform_internal {

int KernelLevel()
{
    return kernelLevel;
}

ScaleKernels const* ActiveKernels()
{
    if (kernelLevel >= 2)
        return KernelsAvx2();
    if (kernelLevel == 1)
        return KernelsSse2();
    return nullptr;
}

} // namespace transform_internal
