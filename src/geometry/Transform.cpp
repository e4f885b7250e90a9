#include "geometry/Transform.h"

#include <cstddef>

#include "geometry/PixelMove.h"
#include "geometry/TriangleLocation.h"
#include "geometry/TwoBandTransform.h"
#include "geometry/ZoneSweep.h"
#include "state/Array.h"
#include "state/Numeric.h"
#include "state/ProgramState.h"
#include "state/TwoHalves.h"

namespace zmr {
namespace {

bool HoldsPixels(std::size_t size, long long pixels) {
  return static_cast<unsigned long long>(size) >= static_cast<unsigned long long>(pixels);
}

// ArrayNormalise(sum, M, N, 255) then ArrayDoubleToInt(sum, target, M, N), with the second and
// third passes over the sums made one: each scaled value is stored and converted at once. A
// large image is split between two cores: the largest sum is the same whichever way it is
// found (a sum that is not a number is never taken), and each element is scaled on its own.
void NormaliseIntoTarget(double* sum, int* target, long long count) {
  const auto n = static_cast<std::size_t>(count);
  constexpr std::size_t kLeastSplit = std::size_t{1} << 18;
  double largest[2] = {0.0, 0.0};
  InTwoHalves(n, kLeastSplit, [sum, &largest](std::size_t begin, std::size_t end) {
    double maximum = 0.0;
    for (std::size_t k = begin; k < end; ++k) {
      if (sum[k] > maximum) maximum = sum[k];
    }
    largest[begin == 0 ? 0 : 1] = maximum;
  });
  const double maximum = largest[1] > largest[0] ? largest[1] : largest[0];
  if (maximum == 0.0) {
    InTwoHalves(n, kLeastSplit, [sum, target](std::size_t begin, std::size_t end) {
      for (std::size_t k = begin; k < end; ++k) target[k] = TruncateToward0<int>(sum[k]);
    });
    return;
  }
  InTwoHalves(n, kLeastSplit, [sum, target, maximum](std::size_t begin, std::size_t end) {
    for (std::size_t k = begin; k < end; ++k) {
      const double scaled = (sum[k] * 255.0) / maximum;
      sum[k] = scaled;
      target[k] = TruncateToward0<int>(scaled);
    }
  });
}

}  // namespace

int RunTransform(ProgramState& s, long ImageM, long ImageN) {
  const long M = ImageM;
  const long N = ImageN;
  if (M <= 0 || N <= 0) return 1;
  const long long ctotal = static_cast<long long>(M) * N;
  if (!HoldsPixels(s.Msource.size(), ctotal) || !HoldsPixels(s.Mtarget.size(), ctotal) ||
      !HoldsPixels(s.Signal.size(), ctotal) || !HoldsPixels(s.Area.size(), ctotal) ||
      !HoldsPixels(s.deltaX.size(), ctotal) || !HoldsPixels(s.deltaY.size(), ctotal)) {
    return 1;
  }

  // The sums start at zero; Mtarget is written whole from them at the end, cancelled or not.
  // Two bands on two cores where that gives the same sums (each band clears the rows it adds
  // to); else, or when the upper band's pixels reached too far down, one sweep from the start.
  if (SweepTransformInTwoBands(s, M, N) != BandSweep::kDone) {
    FillArrayD(s.Signal.data(), M, N, 0.0);
    SweepZoneSpans(s, M, N,
                   [&s, M, N](long i0, long i1, long j, int t, const double* cX, const double* cY) {
                     MoveSpanIntoSum(i0, i1, j, t, cX, cY, M, N, s.Msource.data(), s.Area.data(),
                                     s.deltaX.data(), s.deltaY.data(), s.Signal.data());
                   });
  }

  // A cancelled run still shows what it accumulated. ArrayNormalise leaves an all-zero sum
  // as it is, so an image that received nothing stays black.
  NormaliseIntoTarget(s.Signal.data(), s.Mtarget.data(), ctotal);
  return 1;
}

int TransformCoordinates(const ProgramState& s, long i, long j, long M, long N, const int* Source,
                         double* Array, int* Area, double* ADX, double* ADY) {
  const long t = FindTrianglePI(s, static_cast<double>(i), static_cast<double>(j));
  if (t == -1) return 0;
  return TransformPixel(s, i, j, t, M, N, Source, Array, Area, ADX, ADY);
}

int TransformPixel(const ProgramState& s, long i, long j, long t, long M, long N, const int* Source,
                   double* Array, int* Area, double* ADX, double* ADY) {
  const int triangle = static_cast<int>(t);
  double cX[3];
  double cY[3];
  TriangleCoefficients(s, triangle, cX, cY);
  DirectSplat splat{Array, M, N};
  MovePixel(i, j, triangle, cX, cY, M, Source, Area, ADX, ADY, splat);
  return 0;
}

}  // namespace zmr
