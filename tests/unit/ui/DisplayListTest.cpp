// What the main window draws: the selected picture and the overlays in window coordinates.
#include <gtest/gtest.h>

#include "state/ProgramState.h"
#include "support/TestSupport.h"
#include "ui/Commands.h"
#include "ui/Display.h"
#include "ui/DisplayList.h"

namespace zmr {
namespace {

class DisplayListTest : public test::StateTest {
 protected:
  DisplayListTest() {
    AllocateArrays();
    ProgramState& s = State();
    s.cxDib = 100;
    s.cyDib = 50;
    // Point 0 at the origin moving to (10, 5); points 1 and 2 with no displacement.
    const double rows[12] = {0, 0, 10, 5, 50.7, 20.2, 50.7, 20.2, 99, 49, 99, 49};
    std::copy(rows, rows + 12, s.PointsInput.begin());
    s.NumberOfPoints = 3;
    s.Tpoints[0] = 0;
    s.Tpoints[1] = 1;
    s.Tpoints[2] = 2;
    s.NumberOfTriangles = 1;
  }
};

TEST_F(DisplayListTest, NoImageMeansTheNoImageTextButOverlaysStillDraw) {
  const DisplaySnapshot snap = TakeDisplaySnapshot();
  const DisplayList list = BuildDisplayList(snap, 100, 50);
  EXPECT_EQ(list.bitmap, nullptr);
  EXPECT_EQ(list.marks.size(), 3u);  // vectors are on by default
  EXPECT_TRUE(list.numbers.empty());
  EXPECT_TRUE(list.triangleEdges.empty());
}

TEST_F(DisplayListTest, OverlaysFollowTheClientSizeTruncatedTowardZero) {
  State().cfDrawMode = kDrawVectors | kDrawNumbers | kDrawTriangles;
  const DisplaySnapshot snap = TakeDisplaySnapshot();
  DisplayList list = BuildDisplayList(snap, 100, 50);
  ASSERT_EQ(list.numbers.size(), 3u);
  EXPECT_EQ(list.numbers[0].text, "0");
  EXPECT_EQ(list.numbers[1].at.x, 50);
  EXPECT_EQ(list.numbers[1].at.y, 20);
  // The mark of point 0 spans (-2, -2) to (2, 2); its vector ends at (10, 5).
  EXPECT_EQ(list.marks[0].topLeft.x, -2);
  EXPECT_EQ(list.marks[0].bottomRight.y, 2);
  EXPECT_EQ(list.vectors[0].to.x, 10);
  EXPECT_EQ(list.vectors[0].to.y, 5);
  ASSERT_EQ(list.triangleEdges.size(), 3u);
  EXPECT_EQ(list.triangleEdges[2].to.x, 0);  // closed: P3 -> P1

  list = BuildDisplayList(snap, 200, 100);  // twice the image size
  EXPECT_EQ(list.numbers[1].at.x, 101);
  EXPECT_EQ(list.numbers[1].at.y, 40);
  EXPECT_EQ(list.vectors[0].to.x, 20);
}

TEST_F(DisplayListTest, SelectedSlotIsShownOnlyWhenValid) {
  ProgramState& s = State();
  ASSERT_EQ(AllocateImageArrays(100, 50), 1);
  s.Mtarget.assign(5000, 300);
  s.cCurrentBitmap = 1;
  EXPECT_EQ(BuildDisplayList(TakeDisplaySnapshot(), 100, 50).bitmap, nullptr);
  TargetArrayInt2Bitmap(s.fBitmap[1]);
  const DisplaySnapshot snap = TakeDisplaySnapshot();
  const DisplayList list = BuildDisplayList(snap, 100, 50);
  ASSERT_NE(list.bitmap, nullptr);
  EXPECT_EQ(list.bitmap->pixels[0], GreyArgb(44));  // 300 shows as grey 44
}

TEST_F(DisplayListTest, SnapshotIsUnaffectedByLaterChanges) {
  State().cfDrawMode = kDrawTriangles;
  const DisplaySnapshot snap = TakeDisplaySnapshot();
  State().NumberOfTriangles = 0;
  State().PointsInput[0] = 77;
  const DisplayList list = BuildDisplayList(snap, 100, 50);
  ASSERT_EQ(list.triangleEdges.size(), 3u);
  EXPECT_EQ(list.triangleEdges[0].from.x, 0);
}

}  // namespace
}  // namespace zmr
