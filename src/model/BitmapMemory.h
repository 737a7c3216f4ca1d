#pragma once

// Rendering frees and allocates bitmaps of tens of megabytes again and again (every render
// of a large photo, every rotation). By default such blocks are unmapped on free, so each new
// bitmap faults in fresh zero-filled pages, which costs more than filling them. This keeps
// large blocks in the heap for reuse. Call once at program start.
void keepLargeBitmapsInHeap();
