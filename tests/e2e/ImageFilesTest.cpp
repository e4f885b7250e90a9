// zmrcal with image files: a 16-bit TIFF and PNG grid calibrate to the points of their Ostrel
// twin byte for byte, a broken file prints only its message, and the TIFFs the program saves
// read back in another program (Python's tifffile). (The real images of the shared data folder
// are opened by RobustRealDataTest.)
#include <gtest/gtest.h>

#include <charconv>
#include <string>
#include <utility>
#include <vector>

#include "imagefiles/EdfImage.h"
#include "imagefiles/ImageFormats.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using test::RunProgram;
using test::RunResult;

RunResult Zmrcal(const std::string& line) { return RunProgram(ZMRCAL_PATH, line); }

class ImageFilesTest : public test::StateTest {};

// Reads a TIFF with tifffile and compares it with values in a text file; exit status 3 when
// tifffile cannot be imported.
constexpr const char* kCompareScript = R"(import sys
try:
    import numpy, tifffile
except ImportError:
    sys.exit(3)
image = tifffile.imread(sys.argv[1])
expected = numpy.loadtxt(sys.argv[2], dtype=numpy.float64).flatten()
print(image.dtype, image.shape[1], image.shape[0],
      bool(numpy.array_equal(image.flatten().astype(numpy.float64), expected)))
)";

TEST_F(ImageFilesTest, SavedTiffsReadBackInAnotherProgram) {
  test::WriteFile("compare.py", kCompareScript);
  std::string python;
  for (const char* candidate : {"/usr/bin/python3", "python3"}) {
    if (RunProgram(candidate, "compare.py").status != 3 &&
        RunProgram(candidate, "--version").status == 0) {
      python = candidate;
      break;
    }
  }
  if (python.empty()) GTEST_SKIP() << "python3-tifffile is not installed";

  // The values as text, a row per line; to_chars: the file must not depend on the locale.
  const auto writeText = [](const std::string& name, const std::vector<double>& values, int width) {
    std::string text;
    for (std::size_t k = 0; k < values.size(); ++k) {
      char number[32];
      text.append(number, std::to_chars(number, number + sizeof number, values[k]).ptr);
      text += k % width == static_cast<std::size_t>(width) - 1 ? "\n" : " ";
    }
    test::WriteFile(name, text);
  };
  // Counts with fractions, as a corrected image in counts holds them.
  std::vector<double> counts(40 * 30);
  for (std::size_t k = 0; k < counts.size(); ++k)
    counts[k] = static_cast<double>(k % 97) * 0.25 - 3.0;
  test::WriteBytes("counts.edf", EncodeEdf(40, 30, counts, "FloatValue", false).value());
  writeText("counts.txt", counts, 40);
  ASSERT_EQ(RunProgram(ZMR_GRIDGEN_PATH, "--size 401x401 --counts --out grid").status, 0);
  const struct {
    const char* steps;
    const char* tiff;
    const char* values;  // none: the values that this program reads from the TIFF
    const char* expected;
  } cases[] = {
      {"open-image counts.edf save-image counts.tif", "counts.tif", "counts.txt",
       "float32 40 30 True\n"},
      {"set ImageWidth 401 ImageHeight 401 open-ostrel grid.txt detect transform "
       "save-target-image corrected.tif save-target-ascii corrected.txt",
       "corrected.tif", "corrected.txt", "uint8 401 401 True\n"},
      // A grid corrected in counts, also as the source; a box filter then shows grey levels.
      {"open-image grid.tif detect set TransformMode 1 transform save-target-image flat.tif",
       "flat.tif", nullptr, "float32 401 401 True\n"},
      {"open-image grid.tif detect set TransformMode 2 transform target-to-source save-image "
       "source.tif",
       "source.tif", nullptr, "float32 401 401 True\n"},
      {"open-image grid.tif detect set TransformMode 2 transform box-filter save-target-image "
       "boxed.tif save-target-ascii boxed.txt",
       "boxed.tif", "boxed.txt", "uint8 401 401 True\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.steps);
    const RunResult run = Zmrcal(c.steps);
    ASSERT_EQ(run.status, 0) << run.err;
    std::string values = c.values != nullptr ? c.values : "read.txt";
    if (c.values == nullptr) {
      const ResultOf<CountImage> read = ReadImageFile(c.tiff);
      ASSERT_TRUE(read) << read.message();
      writeText(values, read.value().values, read.value().width);
    }
    const RunResult read = RunProgram(python, std::string("compare.py ") + c.tiff + " " + values);
    EXPECT_EQ(read.out, c.expected) << read.err;
  }
}

}  // namespace
}  // namespace zmr
