// Regression test: the closure's corrected image had its unreached pixels (beyond the mesh)
// filled with one bright level. On a background that darkens across the image (vignetting, a
// ramp) the darker interior then read as one large dark region, and the re-detection found no
// grid at all.
#include <gtest/gtest.h>

#include <algorithm>

#include "gridgen/GridGen.h"
#include "quality/Closure.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"
#include "ui/Workers.h"

namespace zmr {
namespace {

TEST(Closure, UnreachedPixelsTakeTheLocalBackgroundSoADarkeningImageStillCloses) {
  test::TempDir dir;
  GridSpec g;
  g.width = 640;
  g.height = 480;
  g.pitch = 40.0;
  g.radius = 9.0;
  g.spotGrey = 10;
  g.rampLeft = 60;
  g.rampRight = 240;
  g.distortion = -0.04;
  const GridImage image = GenerateGrid(g);
  ProgramState s;
  s.DetectionMode = 1;
  s.cxDib = image.width;
  s.cyDib = image.height;
  ASSERT_EQ(AllocateArrays(s), 1);
  ASSERT_EQ(AllocateImageArrays(s, image.width, image.height), 1);
  std::copy(image.pixels.begin(), image.pixels.end(), s.Msource.begin());
  Thread(&s);
  ASSERT_GT(s.NumberOfPoints, 150);

  Closure closure;
  RunClosure(s, s.NumberOfPoints, closure);
  ASSERT_TRUE(closure.computed) << closure.reason;
  // The spots half a pitch or more inside the mesh's edge are found again, where they belong.
  EXPECT_GT(static_cast<long>(closure.x.size()), s.NumberOfPoints / 2);
  EXPECT_LT(closure.all.rms, 0.3);
}

}  // namespace
}  // namespace zmr
