// Memory hints for the loaders' large arrays and for GL drivers that allocate on every draw.
#include "platform/Platform.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {

// Only the whole large pages inside the array are named; the rest keeps ordinary pages.
void AdviseLargePages(const void* data, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t LARGE_PAGE = uintptr_t(1) << 21;
  const uintptr_t begin = (uintptr_t(data) + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
  const uintptr_t end = (uintptr_t(data) + bytes) & ~(LARGE_PAGE - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

void AdviseAllocatorForDrawing() {
#if defined(__GLIBC__)
  // Blocks below 32 MiB come from the heap, and up to 64 MiB freed at its top stay there.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

uint64_t PhysicalMemoryBytes() {
#if defined(__linux__)
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0) return uint64_t(pages) * uint64_t(pageSize);
#endif
  return 0;
}

}  // namespace platform
