#include "heap_meter.h"

#include <malloc.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace setup::bench {
namespace {

// Counting is off while benchmarks are timed, so that the timings carry no metering cost.
bool metering = false;
int64_t live = 0;
int64_t peak = 0;
size_t allocations = 0;

void* Allocate(size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  if (metering) {
    live += static_cast<int64_t>(malloc_usable_size(block));
    if (live > peak) peak = live;
    ++allocations;
  }
  return block;
}

void Release(void* block) noexcept {
  if (block == nullptr) return;
  // A block taken before the meter started lowers the level below its start; the peak is
  // still measured from the start.
  if (metering) live -= static_cast<int64_t>(malloc_usable_size(block));
  std::free(block);
}

}  // namespace

HeapMeter::HeapMeter() {
  live = 0;
  peak = 0;
  allocations = 0;
  metering = true;
}

HeapMeter::~HeapMeter() { metering = false; }

HeapUse HeapMeter::Use() const { return {static_cast<size_t>(peak), allocations}; }

}  // namespace setup::bench

void* operator new(size_t size) { return setup::bench::Allocate(size); }
void* operator new[](size_t size) { return setup::bench::Allocate(size); }
void operator delete(void* block) noexcept { setup::bench::Release(block); }
void operator delete[](void* block) noexcept { setup::bench::Release(block); }
void operator delete(void* block, size_t) noexcept { setup::bench::Release(block); }
void operator delete[](void* block, size_t) noexcept { setup::bench::Release(block); }
