// The allocation wrapper pair of ckp and kvo, with its fault-injection hook.
#include <cstdlib>

#include "ckp/kvo.h"

namespace {
// Counted per thread, so that handles used in several threads share no
// state; a test arms and watches the failure in the thread it runs.
thread_local long allocCount = 0;
thread_local long failCountdown = 0; // > 0: that many allocations from now, one fails
thread_local int failureHit = 0;

// One allocation attempt: false when the armed failure fires now.
bool allowAllocation() {
    ++allocCount;
    if (failCountdown > 0 && --failCountdown == 0) {
        failureHit = 1;
        return false;
    }
    return true;
}
} // namespace

extern "C" {

void* kvoMalloc(size_t size) {
    if (!allowAllocation()) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}

void* kvoRealloc(void* block, size_t size) {
    if (!allowAllocation()) {
        return nullptr;
    }
    return std::realloc(block, size == 0 ? 1 : size);
}

void* kvoFree(void* block) {
    std::free(block);
    return nullptr;
}

void kvoSetAllocFailure(long n) {
    failCountdown = n > 0 ? n : 0;
    failureHit = 0;
}

int kvoAllocFailureHit(void) {
    return failureHit;
}

long kvoAllocCount(void) {
    return allocCount;
}
}
