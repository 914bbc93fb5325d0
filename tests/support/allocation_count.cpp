// Replaces the global allocation functions of the test program so that allocations can be
// counted. The tests run on one thread.
#include "support/allocation_count.h"

#include <cstdlib>
#include <new>

namespace {

bool g_counting = false;
int g_exempt_depth = 0;
AllocationTally g_tally;

void* Allocate(std::size_t size) {
  if (g_counting) {
    if (g_exempt_depth > 0) {
      ++g_tally.exempt;
    } else {
      ++g_tally.counted;
    }
  }
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
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

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
