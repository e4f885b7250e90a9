// The processor's wide vector registers between pieces of work. Once a library has used the
// 256-bit registers and left their upper halves dirty (Qt's drawing code does), every later
// piece of SSE code pays for a state transition: the adjustment's per-pixel arctangent ran
// eight times slower. Clearing the upper halves where work starts avoids it; results do not
// change.
//
// Threads: any thread; it affects only the calling thread's registers.
#pragma once

namespace zmr {

// Clears the upper halves of the vector registers (vzeroupper) on processors that have them;
// nothing elsewhere.
void ClearUpperVectorState();

}  // namespace zmr
