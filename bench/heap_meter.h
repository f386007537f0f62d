#pragma once
// Peak heap use of a stretch of code, counted by replacing the global operator new and delete:
// every block is counted at the size the allocator really reserved for it (malloc_usable_size),
// so small-string and node overheads show. Blocks taken with malloc directly (a C library's
// FILE buffer) are not seen; the parsers measured here allocate through operator new.

#include <cstddef>

namespace setup::bench {

struct HeapUse {
  size_t peakBytes = 0;    // highest live total above the level at Start
  size_t allocations = 0;  // blocks taken
};

class HeapMeter {
 public:
  HeapMeter();  // starts counting from the current level
  ~HeapMeter();
  HeapMeter(const HeapMeter&) = delete;
  HeapMeter& operator=(const HeapMeter&) = delete;

  HeapUse Use() const;
};

}  // namespace setup::bench
