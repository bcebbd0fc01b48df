// The host build's operator new: it counts the allocations that the service
// thread makes outside the simulator and can make a chosen one fail, so that
// running out of memory can be tried at every point of a run.
#include <atomic>
#include <cstdlib>
#include <new>

#include "platform/platform.h"
#include "platform/sim_internal.h"

namespace {
thread_local bool t_serviceThread = false;
thread_local int t_insideSimulator = 0;
std::atomic<int> g_allocations{0};
std::atomic<int> g_failAt{0};

void* Allocate(std::size_t bytes) {
    if (t_serviceThread && t_insideSimulator == 0) {
        int count = ++g_allocations;
        if (count == g_failAt.load()) throw std::bad_alloc();
    }
    void* block = std::malloc(bytes ? bytes : 1);
    if (!block) throw std::bad_alloc();
    return block;
}
}  // namespace

void* operator new(std::size_t bytes) {
    return Allocate(bytes);
}
void* operator new[](std::size_t bytes) {
    return Allocate(bytes);
}
// The nothrow forms as well: left to the sanitizer's runtime, they would hand
// out blocks that the delete below gives back to free(), which it reports as a
// mismatch (libFuzzer allocates this way).
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
    try {
        return Allocate(bytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
    return operator new(bytes, std::nothrow);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}

namespace sim {

void FailAllocation(int nth) {
    g_failAt = nth;
}

int ServiceAllocationCount() {
    return g_allocations.load();
}

namespace detail {
void ResetAllocations() {
    g_allocations = 0;
    g_failAt = 0;
}
void EnterSimulator() {
    ++t_insideSimulator;
}
void LeaveSimulator() {
    --t_insideSimulator;
}
void MarkServiceThread() {
    t_serviceThread = true;
}
}  // namespace detail

}  // namespace sim
