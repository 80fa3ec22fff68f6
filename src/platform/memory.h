// Memory blocks for the run's two large buffers (the header area and the data buffer).
#ifndef C6X_VELM_PLATFORM_MEMORY_H
#define C6X_VELM_PLATFORM_MEMORY_H

#include <cstddef>

namespace velm {

// A block of n bytes, or nullptr. A section table of tens of thousands of headers takes
// up to 3 MiB; such a block is mapped on transparent huge pages where the system offers
// them, because touching 768 fresh 4 KiB pages one fault at a time cost more than
// converting the whole file.
void* block_alloc(size_t n);

// Releases a block from block_alloc; nullptr is ignored.
void block_free(void* p);

}  // namespace velm

#endif
