// Hostile files through the whole menu commands: broken bitmaps, text images that are not
// numbers or hold too many of them, odd points and options files. Every input is generated
// here. A refused file must show its message, leave the previous image, points and triangles
// as they were and allocate nothing large; an acceptable one must load as its plain twin does.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "imagefiles/Bitmap.h"
#include "imagefiles/TextImage.h"
#include "state/ProgramState.h"
#include "support/AllocationProbe.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"
#include "ui/Commands.h"
#include "ui/ImageLoad.h"
#include "ui/Startup.h"

namespace zmr {
namespace {

using test::FakePlatform;
using test::ReadFile;
using test::WriteFile;
using Generator = std::function<std::string()>;
using Command = void (*)(Platform&);

// The largest buffer a load may take before the file has shown its size: the text reader's
// chunk. Every array of a refused image would be far larger.
constexpr std::size_t kLargestBeforeSize = TextValueReader::kChunkBytes;

void Put32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<char>(v >> (8 * k));
}
void Add32(std::string& b, std::uint32_t v) {
  b.append(4, '\0');
  Put32(b, b.size() - 4, v);
}

// A bitmap with a 40-byte information header, one field away from a valid 6 x 5, 8-bit file;
// the stored file size always matches the bytes.
struct Bmp {
  std::int32_t width = 6;
  std::int32_t height = 5;
  std::uint16_t bitCount = 8;
  std::uint32_t compression = 0;
  std::uint32_t colorsUsed = 0;
  std::vector<std::uint32_t> masks;  // bit-field masks after the header
  std::vector<std::uint32_t> palette = {0x102030, 0x405060, 0x708090, 0xFFFFFF};
  std::string pixels = Indices();
  std::int64_t offBits = -1;  // -1: right after the colour table
  std::size_t cut = 0;        // bytes dropped from the end

  static std::string Indices() {  // rows of 6 indices (x + y) % 4, padded to 8 bytes
    std::string rows;
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 8; ++x) rows += static_cast<char>(x < 6 ? (x + y) % 4 : 0);
    }
    return rows;
  }
  std::string Bytes() const {
    std::string b(54, '\0');
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<std::uint32_t>(width));
    Put32(b, 22, static_cast<std::uint32_t>(height));
    b[26] = 1;
    b[28] = static_cast<char>(bitCount);
    b[29] = static_cast<char>(bitCount >> 8);
    Put32(b, 30, compression);
    Put32(b, 46, colorsUsed);
    for (std::uint32_t m : masks) Add32(b, m);
    for (std::uint32_t c : palette) Add32(b, c);
    Put32(b, 10, static_cast<std::uint32_t>(offBits < 0 ? b.size() : offBits));
    b += pixels;
    b.resize(b.size() - cut);
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    return b;
  }
};

Generator Bitmap(std::function<void(Bmp&)> edit) {
  return [edit] {
    Bmp b;
    edit(b);
    return b.Bytes();
  };
}

// A 6 x 5 text image: value i is token(i), the tokens joined by sep.
int Value(int i) { return i * 7 % 97 + 1; }
std::string Hex(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x", Value(i));
  return buf;
}
std::string Dec(int i) { return std::to_string(Value(i)); }
Generator Text(std::function<std::string(int)> token, std::string sep = " ",
               std::string prefix = "") {
  return [=] {
    std::string text = prefix;
    for (int i = 0; i < 30; ++i) text += token(i) + sep;
    return text;
  };
}
Generator Bytes(std::string bytes) {
  return [bytes] { return bytes; };
}

constexpr const char* kThreePoints = "0 0 0.5 0.5\n5 0 5.5 0.5\n0 4 0.5 4.5\n";

std::string ManyRecords(int n) {
  std::string text;
  for (int i = 0; i < n; ++i)
    text += std::to_string(i % 6) + " " + std::to_string(i / 6) + " 1 1\n";
  return text;
}

struct Row {
  const char* name;
  Command command;
  Generator bytes;
  const char* message;    // "" when the file is acceptable
  Generator sameAs = {};  // acceptable: the plain file that must give the same result
};

// Names a row in test output instead of dumping its bytes.
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

constexpr const char* kTooMany = "Error - too many calibration points (at most 4999)";

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      // --- bitmaps
      {"BitmapZeroWidth", CmdOpenBitmap, Bitmap([](Bmp& b) { b.width = 0; }), kErrorInImageFile},
      {"BitmapZeroHeight", CmdOpenBitmap, Bitmap([](Bmp& b) { b.height = 0; }), kErrorInImageFile},
      {"BitmapMinWidth", CmdOpenBitmap, Bitmap([](Bmp& b) { b.width = INT32_MIN; }),
       kErrorInImageFile},
      {"BitmapMinHeight", CmdOpenBitmap, Bitmap([](Bmp& b) { b.height = INT32_MIN; }),
       kErrorInImageFile},
      {"BitmapHugeWidth", CmdOpenBitmap, Bitmap([](Bmp& b) { b.width = INT32_MAX; }),
       kErrorImageTooLarge},
      {"BitmapHugeTopDown", CmdOpenBitmap, Bitmap([](Bmp& b) {
         b.width = 40000;
         b.height = -40000;
       }),
       kErrorImageTooLarge},
      {"BitmapStrideTimesHeightPast32Bits", CmdOpenBitmap, Bitmap([](Bmp& b) {
         b.width = 1 << 17;
         b.height = 1 << 15;
         b.bitCount = 32;
       }),
       kErrorImageTooLarge},
      {"BitmapOffsetBeyondFile", CmdOpenBitmap, Bitmap([](Bmp& b) { b.offBits = 0xFFFFFFF0; }),
       kErrorInImageFile},
      {"BitmapOffsetInsideHeaders", CmdOpenBitmap, Bitmap([](Bmp& b) { b.offBits = 20; }),
       kErrorInImageFile},
      {"BitmapBitCount7", CmdOpenBitmap, Bitmap([](Bmp& b) { b.bitCount = 7; }), kErrorInImageFile},
      {"BitmapBitCount65535", CmdOpenBitmap, Bitmap([](Bmp& b) { b.bitCount = 0xFFFF; }),
       kErrorInImageFile},
      {"BitmapRunLengthCompression", CmdOpenBitmap, Bitmap([](Bmp& b) { b.compression = 1; }),
       kErrorInImageFile},
      {"BitmapUnknownCompression", CmdOpenBitmap,
       Bitmap([](Bmp& b) { b.compression = 0xFFFFFFFF; }), kErrorInImageFile},
      {"BitmapColourCountPastFile", CmdOpenBitmap, Bitmap([](Bmp& b) { b.colorsUsed = 256; }),
       kErrorInImageFile},
      {"BitmapColourCountPast32Bits", CmdOpenBitmap,
       Bitmap([](Bmp& b) { b.colorsUsed = 0xFFFFFFFF; }), kErrorInImageFile},
      {"BitmapZeroMask", CmdOpenBitmap, Bitmap([](Bmp& b) {
         b.bitCount = 16, b.compression = 3, b.palette.clear();
         b.masks = {0, 0x03E0, 0x001F};
         b.pixels.assign(60, '\x11');
       }),
       kErrorInImageFile},
      {"BitmapOverlappingMasks", CmdOpenBitmap, Bitmap([](Bmp& b) {
         b.bitCount = 16, b.compression = 3, b.palette.clear();
         b.masks = {0x7C00, 0x07E0, 0x001F};
         b.pixels.assign(60, '\x11');
       }),
       kErrorInImageFile},
      {"BitmapTruncatedPixels", CmdOpenBitmap, Bitmap([](Bmp& b) { b.cut = 3; }),
       kErrorInImageFile},
      {"BitmapHalfCopied", CmdOpenBitmap,
       [] {
         const std::string whole = Bmp().Bytes();
         return whole.substr(0, whole.size() / 2);  // the stored size is the whole file's
       },
       kErrorInImageFile},
      // Indices 2 and 3 are past the two stored colours: black, as in a table holding black.
      {"BitmapIndexPastPalette", CmdOpenBitmap, Bitmap([](Bmp& b) {
         b.colorsUsed = 2;
         b.palette.resize(2);
       }),
       "", Bitmap([](Bmp& b) {
         b.palette = {0x102030, 0x405060, 0, 0};
       })},
      // --- text images
      {"OstrelLettersAfterTheImage", CmdOpenOstrel, [] { return Text(Hex)() + "zz"; },
       kErrorInImageFile},
      {"AsciiDecimalPoint", CmdOpenAscii, Text(Dec, " ", "1.5 "), kErrorInImageFile},
      {"OstrelNulByte", CmdOpenOstrel, Text(Hex, " ", std::string("1 2\0 3 ", 7)),
       kErrorInImageFile},
      {"OstrelByteOrderMark", CmdOpenOstrel, Text(Hex, " ", "\xEF\xBB\xBF"), kErrorInImageFile},
      // 2^26 + 1 values of two bytes each, then junk that the count never reaches.
      {"OstrelBillionsOfValues", CmdOpenOstrel,
       [] {
         std::string text(2 * (kMaxImagePixels + 1), '\n');
         for (std::size_t i = 0; i < text.size(); i += 2) text[i] = '0';
         return text + "zz";
       },
       kErrorImageTooLarge},
      // Values wrap to 32 bits (beyond 64 bits they saturate first, to -1 after the wrap).
      {"AsciiBeyond32Bits", CmdOpenAscii,
       Text([](int i) { return std::to_string(Value(i) + (i % 3) * 4294967296LL); }), "",
       Text(Dec)},
      {"AsciiBeyond64Bits", CmdOpenAscii,
       Text([](int i) { return i == 5 ? "99999999999999999999999" : Dec(i); }), "",
       Text([](int i) { return i == 5 ? "-1" : Dec(i); })},
      {"OstrelBeyond32Bits", CmdOpenOstrel, Text([](int i) {
         char wide[16];
         std::snprintf(wide, sizeof wide, "1%08x", Value(i));
         return i % 3 == 0 ? Hex(i) : i % 3 == 1 ? wide : "FFFFFFFF";
       }),
       "", Text([](int i) { return i % 3 == 2 ? "-1" : Hex(i); })},
      {"AsciiCrLf", CmdOpenAscii, Text(Dec, "\r\n"), "", Text(Dec, "\n")},
      {"OstrelEndlessLine", CmdOpenOstrel, Text(Hex, std::string(100000, ' ')), "", Text(Hex)},
      {"OstrelEndlessToken", CmdOpenOstrel, Text(Hex, " ", std::string(3 << 20, '0')), "",
       Text(Hex)},
      // --- calibration points
      {"PointsMoreThan5000", CmdPointsOpen, [] { return ManyRecords(6000); }, kTooMany},
      {"PointsExactly5000", CmdPointsOpen, [] { return ManyRecords(5000); }, kTooMany},
      {"PointsIncompleteRecord", CmdPointsOpen, Bytes(std::string(kThreePoints) + "1 2 3"), "",
       Bytes(kThreePoints)},
      {"PointsNonNumericRecord", CmdPointsOpen,
       Bytes(std::string(kThreePoints) + "1 2 x 4\n7 7 7 7\n"), "", Bytes(kThreePoints)},
      {"PointsFromABitmap", CmdPointsOpen, [] { return Bmp().Bytes(); }, "", Bytes("")},
  };
  return rows;
}

// What a refused command must leave as it was.
struct Snapshot {
  std::vector<long> numbers;  // working size, offsets, format list, shown bitmap, counts
  std::vector<int> Msource, Mtarget, Tpoints;
  std::vector<std::uint32_t> shown;
  std::vector<std::uint8_t> pbmfh;
  std::vector<double> PointsInput;

  static Snapshot Take() {
    const ProgramState& s = State();
    Snapshot t{{s.cxDib, s.cyDib, s.IMAGE_X, s.IMAGE_Y, s.xoffset, s.yoffset, s.imxoff, s.imyoff,
                s.ImageArea, s.NFormats, s.FormatIndex, s.hBitmap[0].width, s.hBitmap[0].height,
                s.NumberOfPoints, s.NumberOfTriangles},
               s.Msource,
               s.Mtarget,
               s.Tpoints,
               s.hBitmap[0].pixels,
               s.pbmfh,
               s.PointsInput};
    t.numbers.insert(t.numbers.end(), s.fBitmap.begin(), s.fBitmap.end());
    t.numbers.insert(t.numbers.end(), s.ImageFormat.begin(), s.ImageFormat.end());
    return t;
  }
};

void ExpectSame(const Snapshot& a, const Snapshot& b) {
  EXPECT_EQ(a.numbers, b.numbers);
  EXPECT_TRUE(a.Msource == b.Msource && a.Mtarget == b.Mtarget) << "image arrays differ";
  EXPECT_TRUE(a.shown == b.shown) << "shown bitmap differs";
  EXPECT_TRUE(a.pbmfh == b.pbmfh) << "bitmap file differs";
  EXPECT_TRUE(a.PointsInput == b.PointsInput && a.Tpoints == b.Tpoints) << "points differ";
}

TEST(AllocationProbeTest, SeesTheLargestAllocationOnlyWhileAlive) {
  auto before = std::make_unique<std::vector<char>>(3 << 20);
  test::AllocationProbe probe;
  auto small = std::make_unique<std::vector<char>>(1000);
  auto large = std::make_unique<std::vector<char>>(2 << 20);
  EXPECT_EQ(probe.Largest(), std::size_t{2} << 20);
}

class CommandFixture : public test::StateTest {
 protected:
  // A 4 x 4 text image leaves a format list, a 6 x 5 bitmap the image, five points triangles.
  CommandFixture() {
    StartProgram(platform_);
    State().IMAGE_X = 6;
    State().IMAGE_Y = 5;
    WriteFile("format.txt", "1 2 3 4 5 6 7 8 9 a b c d e f 10");
    Open(CmdOpenOstrel, "format.txt");
    std::vector<int> grey(30);
    for (int i = 0; i < 30; ++i) grey[static_cast<std::size_t>(i)] = 8 * i;
    WriteImage("good.bmp", 6, 5, grey.data());
    Open(CmdOpenBitmap, "good.bmp");
    WriteFile("good.pts", "0 0 1 1\n5 0 6 1\n0 4 1 5\n5 4 6 5\n2.5 2 3 3\n");
    Open(CmdPointsOpen, "good.pts");
    EXPECT_TRUE(platform_.messages.empty());
    EXPECT_EQ(State().NumberOfTriangles, 4);
    EXPECT_EQ(State().NFormats, 3);
    platform_ = FakePlatform();
  }
  ~CommandFixture() override { EndProgram(); }

  void Open(Command command, const std::string& file) {
    platform_.fileAnswers = {file};
    command(platform_);
  }

  FakePlatform platform_;
};

class HostileFilesTest : public CommandFixture, public ::testing::WithParamInterface<Row> {};

TEST_P(HostileFilesTest, RefusedWithItsMessageOrLoadedAsItsPlainTwin) {
  const Row& row = GetParam();
  WriteFile("hostile.in", row.bytes());
  const Snapshot before = Snapshot::Take();
  std::size_t largest = 0;
  {
    test::AllocationProbe probe;
    Open(row.command, "hostile.in");
    largest = probe.Largest();
  }
  if (*row.message != '\0') {
    EXPECT_EQ(platform_.MessageTexts(), std::vector<std::string>{row.message});
    ExpectSame(Snapshot::Take(), before);
    EXPECT_TRUE(platform_.formatDialogs.empty());
    EXPECT_TRUE(platform_.workers.empty());
    EXPECT_LE(largest, kLargestBeforeSize);
    return;
  }
  EXPECT_TRUE(platform_.messages.empty());
  Snapshot got = Snapshot::Take();
  WriteFile("plain.in", row.sameAs());
  Open(row.command, "plain.in");
  EXPECT_TRUE(platform_.messages.empty());
  Snapshot want = Snapshot::Take();
  got.pbmfh = want.pbmfh = {};  // the files' own bytes differ
  ExpectSame(got, want);
}

INSTANTIATE_TEST_SUITE_P(Files, HostileFilesTest, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<Row>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(CommandFixture, NamesThatAreNoFileAreRefused) {
  std::filesystem::create_directory("folder.in");
  const Snapshot before = Snapshot::Take();
  struct Case {
    Command command;
    const char* message;
  };
  for (const char* name : {"missing.in", "folder.in"}) {
    for (const Case& c :
         {Case{CmdOpenOstrel, kErrorInImageFile}, Case{CmdOpenAscii, kErrorInImageFile},
          Case{CmdOpenBitmap, kErrorInImageFile}, Case{CmdPointsOpen, kErrorReadingPoints}}) {
      SCOPED_TRACE(std::string(name) + " " + c.message);
      platform_.messages.clear();
      Open(c.command, name);
      EXPECT_EQ(platform_.MessageTexts(), std::vector<std::string>{c.message});
      ExpectSame(Snapshot::Take(), before);
    }
  }
}

TEST_F(CommandFixture, HugeSparseFilesAreRefusedUnread) {
  test::WriteFile("huge.in", "BM");  // then 3 GiB of zeros that take no disk space
  std::filesystem::resize_file("huge.in", std::uintmax_t{3} << 30);
  const Snapshot before = Snapshot::Take();
  for (Command command : {CmdOpenOstrel, CmdOpenAscii, CmdOpenBitmap}) {
    platform_.messages.clear();
    test::AllocationProbe probe;
    Open(command, "huge.in");
    EXPECT_EQ(platform_.MessageTexts(), std::vector<std::string>{kErrorInImageFile});
    EXPECT_LE(probe.Largest(), kLargestBeforeSize);
    ExpectSame(Snapshot::Take(), before);
  }
}

TEST_F(CommandFixture, NanPointsAreKeptButLeftOutOfTheTriangles) {
  WriteFile("nan.pts", "0 0 1 1\nnan nan nan nan\n5 0 6 1\n0 4 1 5\nNAN 1 inf 2\n5 4 6 5\n");
  Open(CmdPointsOpen, "nan.pts");
  EXPECT_TRUE(platform_.messages.empty());
  const ProgramState& s = State();
  ASSERT_EQ(s.NumberOfPoints, 6);
  EXPECT_TRUE(std::isnan(s.PointsInput[4]));
  EXPECT_TRUE(std::isinf(s.PointsInput[4 * 4 + 2]));
  ASSERT_EQ(s.NumberOfTriangles, 2);
  for (int k = 0; k < 6; ++k) {
    const int vertex = s.Tpoints[static_cast<std::size_t>(k)];
    EXPECT_TRUE(vertex != 1 && vertex != 4) << vertex;
  }
}

// Options files at start-up, the Options dialog that shows what they set, then an image load.
TEST(OptionsFilesTest, HostileOptionsAreReadToTheEndAndLoggedAsTaken) {
  struct Case {
    const char* name;
    std::string text;
    std::string log;
    std::array<const char*, 4> fields;  // width, height, filter size, max. slope
    const char* openMessage;            // of a 30-value Ostrel file afterwards, or ""
  };
  const std::string endless(1000000, 'x');
  std::string junk;
  for (int i = 0; i < 20000; ++i) junk += std::string("\0\xff*\n\"", 5);
  const Case cases[] = {
      {"overflowing integers",
       "ImageWidth 99999999999999999999\nImageHeight 4294967306\nFilterSize -" +
           std::string(100000, '9') + "\n",
       "ImageWidth (0)= -1\nImageHeight (1)= 10\nFilterSize (2)= 0\n",
       {"-1", "10", "0", "0.2"},
       kErrorImageTooLarge},
      {"nan and inf",
       "MaxSlope nan\nEdge inf\nMinPatchSize 7\n",
       "MaxSlope (5)= nan\nEdge (4)cannot read parameter value (long)\n"
       "Error - inf keyword not recognized !MinPatchSize (3)= 7\n",
       {"769", "769", "5", "nan"},
       ""},
      {"float overflow", "MaxSlope 1e999\n", "MaxSlope (5)= inf\n", {"769", "769", "5", "inf"}, ""},
      {"endless word",
       "ImageWidth" + endless + " 5\nImageHeight 9\n",
       "\nError - ImageWidth" + endless.substr(0, 239) + " keyword not recognized !" +
           "\nError - 5 keyword not recognized !ImageHeight (1)= 9\n",
       {"769", "9", "5", "0.2"},
       ""},
      {"unterminated comment",
       "ImageWidth 640\n/* ImageHeight 9\n" + junk,
       "ImageWidth (0)= 640\n",
       {"640", "769", "5", "0.2"},
       ""},
      {"unterminated string",
       "ImageWidth \"640\nImageHeight 9\nFilterSize \"",
       "ImageWidth (0)cannot read parameter value (integer)\nError - 640 keyword not recognized "
       "!ImageHeight (1)= 9\nFilterSize (2)cannot read parameter value (long)",
       {"769", "9", "5", "0.2"},
       ""},
  };
  test::TempDir dir;
  WriteFile("img.txt", Text(Hex)());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetProgramState();
    WriteFile(kOptionsFileName, c.text);
    FakePlatform platform;
    StartProgram(platform);
    EXPECT_EQ(ReadFile(kOptionsLogName), c.log);
    CmdOptions(platform);
    ASSERT_EQ(platform.optionsDialogs.size(), 1u);
    const auto& shown = platform.optionsDialogs[0].fields;
    EXPECT_EQ((std::array<std::string, 4>{shown[0], shown[1], shown[2], shown[5]}),
              (std::array<std::string, 4>{c.fields[0], c.fields[1], c.fields[2], c.fields[3]}));
    platform.fileAnswers = {"img.txt"};
    CmdOpenOstrel(platform);
    const std::vector<std::string> none;
    EXPECT_EQ(platform.MessageTexts(),
              *c.openMessage ? std::vector<std::string>{c.openMessage} : none);
    EXPECT_EQ(platform.formatDialogs.size(), *c.openMessage ? 0u : 1u);
    EndProgram();
  }
}

}  // namespace
}  // namespace zmr
