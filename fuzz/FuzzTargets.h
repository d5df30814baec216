#pragma once

#include <cstddef>
#include <cstdint>

// The body of each fuzz target. The fuzzers call them from LLVMFuzzerTestOneInput; the
// regression test replays the kept inputs through them in the normal build.
namespace FuzzTarget {

void xlsx(const uint8_t* data, size_t size);
void xls(const uint8_t* data, size_t size);
void project(const uint8_t* data, size_t size);
void paste(const uint8_t* data, size_t size);
void inputs(const uint8_t* data, size_t size);

} // namespace FuzzTarget

// Each fuzz_*.cpp defines the libFuzzer entry points unless it is built into the replay test.
#ifndef TARNHELM_FUZZ_REPLAY
#define TARNHELM_FUZZ_ENTRY(target, needsApplication)                                              \
    extern "C" int LLVMFuzzerInitialize(int*, char***)                                             \
    {                                                                                              \
        if (needsApplication)                                                                      \
            FuzzInput::initApplication();                                                          \
        return 0;                                                                                  \
    }                                                                                              \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)                        \
    {                                                                                              \
        FuzzTarget::target(data, size);                                                            \
        return 0;                                                                                  \
    }
#else
#define TARNHELM_FUZZ_ENTRY(target, needsApplication)
#endif
