#include "BitmapMemory.h"

#include <malloc.h>

void keepLargeBitmapsInHeap()
{
    // Blocks up to 1 GiB come from the heap, and the heap is trimmed only past 1 GiB free.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
}
