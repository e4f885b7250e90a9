// The background of a grid image and the contrast of its spots, estimated block by block at a
// scale of several spot pitches: each block's samples are split in two classes by Otsu's
// criterion; the side the spots lie on (dark spots on a bright background or bright spots on a
// dark one) is given, or voted by the blocks, the minority class of each block being its
// spots. A block
// gives its background level (the median of the background class) and its spot depth (the
// distance from that level to the mean of the spot class) when its two classes stand clearly
// apart from the pixel noise; the other blocks take the depth of their neighbours. Between
// block centres both are interpolated bilinearly (linearly beyond the outer centres), so a
// ramp, vignetting or a dim band is followed.
//
// Threads: every function works on its arguments only; any thread may call them.
#pragma once

#include <cstddef>
#include <vector>

namespace zmr {

// Read-only view of the values of a width x height image, row-major: the counts of an image
// file where there are any, else the grey levels of the source array.
struct PixelView {
  int width = 0;
  int height = 0;
  const double* counts = nullptr;  // used when not null
  const int* grey = nullptr;
  // Values from one row to the next; 0 for width (a view of part of a larger image sets it).
  std::size_t stride = 0;

  double At(std::size_t k) const {
    return counts != nullptr ? counts[k] : static_cast<double>(grey[k]);
  }
  // The index of the first value of row y.
  std::size_t RowStart(int y) const {
    return static_cast<std::size_t>(y) * (stride > 0 ? stride : static_cast<std::size_t>(width));
  }
};

struct BackgroundModel {
  int width = 0;  // image size
  int height = 0;
  int block = 0;   // the block side asked for, in pixels
  int blockX = 0;  // the sides used: the image divided into whole blocks of about that size
  int blockY = 0;
  int columns = 0;
  int rows = 0;
  // +1: dark spots on a bright background; -1: bright spots on a dark background.
  int polarity = 1;
  double noise = 0.0;         // robust standard deviation of the pixel noise
  int clearBlocks = 0;        // blocks whose two classes stood apart from the noise
  std::vector<double> level;  // background level of each block, row-major over the blocks
  std::vector<double> depth;  // spot depth of each block (positive, in the spots' direction)

  // The interpolated background level and spot depth of every pixel of image row y (width
  // values each).
  void Row(int y, double* background, double* spotDepth) const;
  // For the pixels of row y: polarity x background level, and the cut below which the
  // polarity x value marks a spot pixel (half the spot depth below the level, at least 1.5
  // noise deviations; -infinity where no depth is known, so that nothing passes).
  // In single precision: the row's values are compared with it in single precision.
  void RowCut(int y, float* signedLevel, float* cut) const;
  // The same at one point.
  double LevelAt(double x, double y) const;
  double DepthAt(double x, double y) const;
};

// Otsu's split of sorted values: the index k such that values[0..k) and values[k..n) are the
// two classes of largest between-class variance. 0 when fewer than two distinct values.
std::size_t OtsuSplit(const std::vector<double>& sorted);

// Robust standard deviation of the pixel noise from the differences of horizontal neighbours
// (median absolute difference / (0.6745 sqrt 2)), over a subsample of rows.
double EstimatePixelNoise(const PixelView& image);

// The model for blocks of about `block` pixels (at least 8). polarity +1 or -1 takes that side
// for the spots; 0 lets the blocks vote. The image must hold at least one pixel.
// clearBlocks = 0 tells that no block showed spots; level and depth are then still filled
// (depth 0).
BackgroundModel EstimateBackground(const PixelView& image, int block, double noise,
                                   int polarity = 0);

}  // namespace zmr
