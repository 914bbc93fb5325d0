// Replaces the global allocation functions of the test program so that allocations can be
// counted. The tests run on one thread. Every form is replaced, so that no allocation made
// here is released by the library's own functions, which sanitizers would report.
#include "support/allocation_count.h"

#include <cstdlib>
#include <new>

namespace {

bool g_counting = false;
int g_exempt_depth = 0;
AllocationTally g_tally;

void* Allocate(std::size_t size) {
  if (g_counting) ++(g_exempt_depth > 0 ? g_tally.exempt : g_tally.counted);
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void* TryAllocate(std::size_t size) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

void StartCountingAllocations() {
  g_tally = AllocationTally{};
  g_counting = true;
}

AllocationTally StopCountingAllocations() {
  g_counting = false;
  return g_tally;
}

AllocationExemption::AllocationExemption() {
  ++g_exempt_depth;
}
AllocationExemption::~AllocationExemption() {
  --g_exempt_depth;
}

// clang-format off
void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return TryAllocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return TryAllocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
// clang-format on
