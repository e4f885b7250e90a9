// Whole-image preprocessing over the two integer image arrays: the box filter (moving mean)
// from the source into the target, the binary threshold view of the source, and the picture
// made from the region labels that spot detection leaves in the target. None of them changes
// Msource.
//
// Threads: the main thread, never while a worker writes Mtarget. ArrayFilterInt itself works
// only on its arguments and may be called from any thread.
#pragma once

namespace zmr {

struct ProgramState;

// Box filter of an M x N image (M columns, N rows, row-major). Every target pixel becomes the
// mean of the source pixels in the (2 FilterSize + 1)-square window around it, clipped to the
// image (no padding): the sum over the pixels inside divided by their number, truncated toward
// zero. A window larger than the image simply covers all of it; FilterSize 0 copies the image.
// The sums are taken in 64 bits, so the mean is exact for any int pixels. iSource and iTarget
// hold M * N elements; they should be distinct, but the same array is also filtered correctly.
// Returns 0 (also for an image without pixels, which changes nothing). Returns -1 and leaves
// iTarget unchanged when FilterSize is negative (its window would hold no pixel at all) or an
// array is null.
int ArrayFilterInt(long M, long N, const int* iSource, int* iTarget, long FilterSize);

// The threshold view: Mtarget[k] = 255 where Msource[k] > iThreshold, else 0 (a pixel equal to
// the threshold becomes black), over the cxDib x cyDib working image. Does nothing when
// Msource is absent (the display shows an absent target as black), or when Msource or Mtarget
// does not hold cxDib * cyDib pixels.
void ApplyThresholdView(ProgramState& s);

// Turns the detection labels in Mtarget (cxDib x cyDib) into a displayable picture. Pixels
// labelled 1..254 become 0 in mode 0; in mode 1 they become 0 where both the column and the row
// are even and 128 elsewhere (a dark hatch); any other mode leaves them. Values 0, 255 and
// values outside 0..255 are never changed. Does nothing when Mtarget is absent or does not hold
// cxDib * cyDib pixels. Returns 0.
int FilterAutodetectTargetArray(ProgramState& s, int mode);

}  // namespace zmr
