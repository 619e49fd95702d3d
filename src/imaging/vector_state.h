#pragma once

namespace strixc::imaging {

// Clears the upper halves of the AVX registers before a loop of plain SSE2 instructions. Code
// elsewhere in the process (the C library's copies, Qt's painting) runs AVX instructions and may
// leave those halves dirty; every SSE2 instruction after that waits on them, which was measured
// here to make our loops four times slower. Does nothing on processors without AVX.
void ClearUpperVectorState();

}  // namespace strixc::imaging
