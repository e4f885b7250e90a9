// The Qt painting of the display list, and zmrcal's render of it to PNG and BMP.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <clocale>
#include <vector>

#include "state/ProgramState.h"
#include "support/TestSupport.h"
#include "ui/Commands.h"
#include "ui/Display.h"
#include "ui/qt/DisplayPainter.h"

namespace zmr {
namespace {

class DisplayPainterTest : public test::StateTest {
 protected:
  DisplayPainterTest() {
    AllocateArrays();
    ProgramState& s = State();
    s.cxDib = 40;
    s.cyDib = 30;
    AllocateImageArrays(40, 30);
    s.Msource.assign(1200, 100);
    SourceArrayInt2Bitmap(s.fBitmap[0]);
  }
  static QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFFu; }
};

TEST_F(DisplayPainterTest, PictureIsStretchedAndOverlaysHaveTheirColours) {
  ProgramState& s = State();
  // Point 0 at (5, 5) moves to (15, 10); points 1 and 2 stay. The window is twice the size.
  const double rows[12] = {5, 5, 15, 10, 30, 5, 30, 5, 5, 25, 5, 25};
  std::copy(rows, rows + 12, s.PointsInput.begin());
  s.NumberOfPoints = 3;
  s.Tpoints[0] = 0;
  s.Tpoints[1] = 1;
  s.Tpoints[2] = 2;
  s.NumberOfTriangles = 1;
  s.cfDrawMode = kDrawVectors | kDrawTriangles;
  const QImage image = RenderDisplay(TakeDisplaySnapshot(), 80, 60);
  EXPECT_EQ(At(image, 79, 59), 0x646464u);  // grey 100 stretched to the corner
  EXPECT_EQ(At(image, 20, 15), 0x00FF00u);  // on point 0's vector from (10, 10) to (30, 20)
  EXPECT_EQ(At(image, 9, 9), 0xFFFFFFu);    // inside the white mark of point 0
  EXPECT_EQ(At(image, 8, 8), 0x00FF00u);    // its outline
  EXPECT_EQ(At(image, 12, 12), 0x646464u);  // right and bottom edges lie outside the mark
  EXPECT_EQ(At(image, 10, 30), 0x0000FFu);  // on the triangle edge from (10, 50) to (10, 10)
}

TEST_F(DisplayPainterTest, NoImageShowsTheTextCentred) {
  State().cCurrentBitmap = 1;  // no target picture yet
  const QImage image = RenderDisplay(TakeDisplaySnapshot(), 400, 100);
  int dark = 0;
  int minX = 400;
  int maxX = 0;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 400; ++x) {
      if (qGray(image.pixel(x, y)) < 128) {
        ++dark;
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
      }
    }
  }
  ASSERT_GT(dark, 50);
  EXPECT_NEAR((minX + maxX) / 2.0, 200.0, 3.0);
}

TEST_F(DisplayPainterTest, RenderWritesPngAndTwentyFourBitBmpAtTheImageSize) {
  ASSERT_TRUE(SaveRender("view.png"));
  ASSERT_TRUE(SaveRender("view.BMP"));
  QImage png("view.png");
  ASSERT_FALSE(png.isNull());
  EXPECT_EQ(png.width(), 40);
  EXPECT_EQ(png.height(), 30);
  const std::vector<std::uint8_t> bmp = test::ReadBytes("view.BMP");
  ASSERT_GT(bmp.size(), 30u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[28], 24);  // bits per pixel
  EXPECT_FALSE(SaveRender("view.jpg"));
  EXPECT_FALSE(SaveRender("no-such-folder/view.png"));
}

}  // namespace
}  // namespace zmr

int main(int argc, char** argv) {
  // No window is opened; the offscreen platform also serves test discovery at build time.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  std::setlocale(LC_ALL, "C");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
