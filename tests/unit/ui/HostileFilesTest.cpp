// Hostile files through the whole menu commands: broken bitmaps, text images that are not
// numbers or hold too many of them, odd points and options files. Every input is generated
// here. A refused file must show its message, leave the previous image, points and triangles
// as they were and allocate nothing large; an acceptable one must load as its plain twin does.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "detection/PointChecks.h"
#include "imagefiles/Bitmap.h"
#include "imagefiles/EdfImage.h"
#include "imagefiles/ImageFormats.h"
#include "imagefiles/NetpbmImage.h"
#include "imagefiles/PngImage.h"
#include "imagefiles/TextImage.h"
#include "imagefiles/TiffImage.h"
#include "state/ProgramState.h"
#include "support/AllocationProbe.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"
#include "ui/CommandTable.h"
#include "ui/Commands.h"
#include "ui/ImageFileCommands.h"
#include "ui/ImageLoad.h"
#include "ui/Startup.h"
#include "ui/resource.h"

namespace zmr {
namespace {

using test::WriteFile;
using Generator = std::function<std::string()>;
using Token = std::function<std::string(int)>;
using Command = void (*)(Platform&);

// The largest buffer a load may take before the file has shown its size: the text reader's
// chunk. Every array of a refused image would be far larger.
constexpr std::size_t kLargestBeforeSize = TextValueReader::kChunkBytes;

void Put32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<char>(v >> (8 * k));
}

// A bitmap with a 40-byte information header, by default a valid 6 x 5, 8-bit file whose
// stored file size matches its bytes. Its five rows of six pixels hold bytes (x + y) % 4, padded
// to a multiple of four.
struct Bmp {
  std::int32_t width = 6, height = 5;
  std::uint16_t bitCount = 8;
  std::uint32_t compression = 0, colorsUsed = 0;
  std::vector<std::uint32_t> masks = {};  // bit-field masks after the header
  std::vector<std::uint32_t> palette = {0x102030, 0x405060, 0x708090, 0xFFFFFF};
  std::int64_t offBits = -1;  // -1: right after the colour table
  std::size_t cut = 0;        // bytes dropped from the end
  bool wholeSize = false;     // the stored file size counts the dropped bytes

  std::string operator()() const {
    std::string b = "BM" + std::string(52, '\0');
    Put32(b, 14, 40), Put32(b, 18, width), Put32(b, 22, height);
    Put32(b, 26, 1u | unsigned{bitCount} << 16), Put32(b, 30, compression),
        Put32(b, 46, colorsUsed);
    for (std::uint32_t v : masks) b.append(4, '\0'), Put32(b, b.size() - 4, v);
    for (std::uint32_t v : palette) b.append(4, '\0'), Put32(b, b.size() - 4, v);
    Put32(b, 10, static_cast<std::uint32_t>(offBits < 0 ? b.size() : offBits));
    const int stride = (6 * bitCount / 8 + 3) / 4 * 4;
    for (int i = 0; i < 5 * stride; ++i)
      b += static_cast<char>(i % stride < 6 ? (i % stride + i / stride) % 4 : 0);
    b.resize(b.size() - cut);
    Put32(b, 2, static_cast<std::uint32_t>(b.size() + (wholeSize ? cut : 0)));
    return b;
  }
};
// A 16-bit 6 x 5 bit-field bitmap with the given masks.
Bmp Masks(std::vector<std::uint32_t> m) {
  return {.bitCount = 16, .compression = 3, .masks = m, .palette = {}};
}

// A 6 x 5 text image: head, then value i as token(i), each followed by sep.
int Value(int i) { return i * 7 % 97 + 1; }
std::string Hex(std::uint64_t v) { return v ? Hex(v >> 4) + "0123456789abcdef"[v & 15] : ""; }
std::string Hx(int i) { return Hex(static_cast<std::uint64_t>(Value(i))); }
std::string Dec(int i) { return std::to_string(Value(i)); }
// Values past 32 bits that wrap to Value(i).
std::string WideDec(int i) { return std::to_string(Value(i) + i % 3 * (1ULL << 32)); }
std::string WideHex(int i) { return Hex(Value(i) + i % 3 * (1ULL << 32)); }
// head, then item(0) to item(n - 1), then tail.
Generator Repeat(Token item, int n, std::string head = "", std::string tail = "") {
  return [=] {
    std::string text = head;
    for (int i = 0; i < n; ++i) text += item(i);
    return text + tail;
  };
}
Generator Text(Token token, std::string head = "", int n = 30, std::string sep = " ") {
  return Repeat([=](int i) { return token(i) + sep; }, n, head);
}
std::string Record(int i) { return std::to_string(i % 6) + " " + std::to_string(i / 6) + " 1 1\n"; }
Generator Bytes(std::string bytes) { return Repeat({}, 0, bytes); }

// Image files for Open Image: the message names the file the test opens.
std::string ImageError(const std::string& reason) {
  return "Error - cannot open image hostile.in: " + reason;
}
std::string AsText(const std::vector<std::uint8_t>& b) { return {b.begin(), b.end()}; }
// An EDF file: the header items, then the data bytes.
Generator Edf(std::string items, std::string data) {
  return [=] {
    std::string h = "{\n" + items;
    h += std::string(kEdfHeaderBlock - h.size() - 2, ' ') + "}\n";
    return h + data;
  };
}
// A 4 x 3 TIFF with the 16-bit value of one tag (the width, 256, by default) replaced.
Generator TiffWidth(std::uint16_t width, std::uint16_t tag = 256) {
  return [=] {
    std::string b =
        AsText(EncodeTiff(4, 3, std::vector<double>(12, 1), TiffSamples::kUnsigned8).value());
    const auto u16 = [&](std::size_t at) {
      return std::uint16_t(std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8);
    };
    const std::size_t ifd = u16(4) | std::size_t(u16(6)) << 16;
    for (std::size_t e = ifd + 2; e + 12 <= b.size(); e += 12) {
      if (u16(e) == tag) b[e + 8] = char(width & 0xFF), b[e + 9] = char(width >> 8);
    }
    return b;
  };
}
// A 4 x 3 16-bit PNG with its width replaced (and the header's checksum made right).
Generator PngWidth(std::uint32_t width) {
  return [=] {
    std::string b = AsText(EncodePng(4, 3, std::vector<double>(12, 1), 16).value());
    for (int k = 0; k < 4; ++k) b[16 + k] = char(width >> (24 - 8 * k));
    const auto crc = crc32(0, reinterpret_cast<const Bytef*>(b.data() + 12), 17);
    for (int k = 0; k < 4; ++k) b[29 + k] = char(crc >> (24 - 8 * k));
    return b;
  };
}
Generator Cut(Generator whole, std::size_t keep) {
  return [=] { return whole().substr(0, keep); };
}
Generator SmallPng() {
  return [] { return AsText(EncodePng(16, 16, std::vector<double>(256, 9), 8).value()); };
}
// A 64 x 64 grey JPEG written by libjpeg.
Generator SmallJpeg() {
  return [] { return test::ReadFile(ZMR_TEST_DATA_DIR "/images/pattern-64.jpg"); };
}

struct Row {
  const char* name;
  Command command;
  Generator bytes;
  std::string message;    // "" when the file is acceptable
  Generator sameAs = {};  // acceptable: the plain file that must give the same result
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

const char* const kBad = kErrorInImageFile;
const char* const kLarge = kErrorImageTooLarge;
const char* const kTooMany = "Error - too many calibration points (at most 4999)";
const Command kBmp = CmdOpenBitmap, kOstrel = CmdOpenOstrel, kAscii = CmdOpenAscii,
              kPts = CmdPointsOpen, kImg = CmdOpenImage;

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {"BitmapZeroWidth", kBmp, Bmp{.width = 0}, kBad},
      {"BitmapZeroHeight", kBmp, Bmp{.height = 0}, kBad},
      {"BitmapMinHeight", kBmp, Bmp{.height = INT32_MIN}, kBad},
      {"BitmapHugeTopDown", kBmp, Bmp{.width = 40000, .height = -40000}, kLarge},
      {"BitmapStrideTimesHeightPast32Bits", kBmp,
       Bmp{.width = 1 << 17, .height = 1 << 15, .bitCount = 32}, kLarge},
      {"BitmapOffsetBeyondFile", kBmp, Bmp{.offBits = 0xFFFFFFF0}, kBad},
      {"BitmapOffsetInsideHeaders", kBmp, Bmp{.offBits = 20}, kBad},
      {"BitmapBitCount65535", kBmp, Bmp{.bitCount = 0xFFFF}, kBad},
      {"BitmapUnknownCompression", kBmp, Bmp{.compression = 0xFFFFFFFF}, kBad},
      {"BitmapColourCountPastFile", kBmp, Bmp{.colorsUsed = 256}, kBad},
      {"BitmapColourCountPast32Bits", kBmp, Bmp{.colorsUsed = 0xFFFFFFFF}, kBad},
      {"BitmapZeroMask", kBmp, Masks({0, 0x03E0, 0x001F}), kBad},
      {"BitmapOverlappingMasks", kBmp, Masks({0x7C00, 0x07E0, 0x001F}), kBad},
      {"BitmapTruncatedPixels", kBmp, Bmp{.cut = 3}, kBad},
      {"BitmapHalfCopied", kBmp, Bmp{.cut = 55, .wholeSize = true}, kBad},  // of 110 bytes
      // Indices 2 and 3 are past the two stored colours: black, as in a table holding black.
      {"BitmapIndexPastPalette", kBmp, Bmp{.colorsUsed = 2, .palette = {0x102030, 0x405060}}, "",
       Bmp{.palette = {0x102030, 0x405060, 0, 0}}},
      {"AsciiDecimalPoint", kAscii, Text(Dec, "1.5 "), kBad},
      {"OstrelNulByte", kOstrel, Text(Hx, std::string("1 2\0 3 ", 7)), kBad},
      {"OstrelByteOrderMark", kOstrel, Text(Hx, "\xEF\xBB\xBF"), kBad},
      // 2^26 + 1 values, then junk that the count never reaches.
      {"OstrelBillionsOfValues", kOstrel,
       Repeat([](int) { return "0\n"; }, kMaxImagePixels + 1, "", "zz"), kLarge},
      // Values wrap to 32 bits; beyond 64 bits they saturate first, to -1 after the wrap.
      {"AsciiPast64Bits", kAscii, Text(WideDec, "99999999999999999999 ", 29), "",
       Text(Dec, "-1 ", 29)},
      {"OstrelPast32Bits", kOstrel, Text(WideHex, "FFFFFFFF ", 29), "", Text(Hx, "-1 ", 29)},
      {"AsciiCrLf", kAscii, Text(Dec, "", 30, "\r\n"), "", Text(Dec, "", 30, "\n")},
      // A run of blanks and a leading run of zeros, each longer than the reader's chunk.
      {"OstrelEndlessLineAndToken", kOstrel,
       Text(Hx, std::string(3 << 20, '0'), 30, std::string(100000, ' ')), "", Text(Hx)},
      {"PointsExactly5000", kPts, Repeat(Record, 5000), kTooMany},
      {"PointsFromABitmap", kPts, Bmp{}, kErrorNoPointsInFile},
      {"PointsWords", kPts, Bytes("no numbers here\n"), kErrorNoPointsInFile},
      {"ImageOfNoKnownFormat", kImg, Bmp{}, ImageError(kNotAnImageFile)},
      {"PgmTruncated", kImg, Bytes("P5\n4096 4096\n255\n" + std::string(12, 'x')),
       ImageError("header says 4096 \u00d7 4096 but the file holds 12 bytes")},
      {"PgmHugeDimensions", kImg, Bytes("P5 100000 100000 255\n"),
       ImageError("the image size 100000 \u00d7 100000 is too large")},
      {"PgmEndlessDimension", kImg, Bytes("P5 99999999999 1 255\n"),
       ImageError("the PGM/PPM header is incomplete")},
      {"PgmMaxvalZero", kImg, Bytes("P2 1 1 0\n0\n"),
       ImageError("the PGM/PPM maxval 0 is outside 1..65535")},
      {"PpmMaxvalPast16Bits", kImg, Bytes("P6 1 1 65536\n" + std::string(6, '\0')),
       ImageError("the PGM/PPM maxval 65536 is outside 1..65535")},
      {"PgmSampleAboveMaxval", kImg, Bytes("P2 2 1 10\n5 11\n"),
       ImageError("the PGM/PPM sample 11 is above maxval 10")},
      {"PgmTextSamplesMissing", kImg, Bytes("P2 1000 1000 255\n1 2 3\n"),
       ImageError("header says 1000 \u00d7 1000 but the file holds 7 bytes")},
      {"EdfSizeMismatch", kImg,
       Edf("Dim_1 = 2 ;\nDim_2 = 2 ;\nDataType = UnsignedShort ;\nSize = 100 ;\n",
           std::string(100, 'x')),
       ImageError("the EDF Size 100 does not match 2 \u00d7 2 values of UnsignedShort")},
      {"EdfTruncated", kImg, Edf("Dim_1 = 4096 ;\nDim_2 = 4096 ;\nDataType = FloatValue ;\n", "ab"),
       ImageError("header says 4096 \u00d7 4096 but the file holds 2 bytes")},
      {"EdfHugeDimensions", kImg,
       Edf("Dim_1 = 999999999999 ;\nDim_2 = 999999999999 ;\nDataType = FloatValue ;\n", ""),
       ImageError("the image size 999999999999 \u00d7 999999999999 is too large")},
      {"EdfUnknownDataType", kImg,
       Edf("Dim_1 = 1 ;\nDim_2 = 1 ;\nDataType = Complex ;\n", "12345678"),
       ImageError("the EDF DataType 'Complex' is not one that is read")},
      {"EdfNoClosingBrace", kImg, Bytes("{\nDim_1 = 1 ;\nDim_2 = 1 ;\n"),
       ImageError("the EDF header has no closing '}'")},
      {"TiffHugeDimensions", kImg, TiffWidth(60000),
       ImageError("the image size 60000 \u00d7 3 is too large")},
      // Found by fuzzing: 39425 samples per pixel made each row take 800 MB before any data.
      {"TiffThousandsOfSamples", kImg, TiffWidth(39425, 277),
       ImageError("a TIFF with 39425 samples per pixel (grey or colour with at most 8 are read)")},
      {"TiffTruncated", kImg, Cut(TiffWidth(4), 20),
       ImageError("the TIFF header cannot be read (TIFFFetchDirectory: memory: Can not read TIFF "
                  "directory count)")},
      {"PngHugeDimensions", kImg, PngWidth(1u << 30),
       ImageError("the image size 1073741824 \u00d7 3 is too large")},
      {"PngTruncated", kImg, Cut(SmallPng(), 60),
       ImageError("the PNG pixels cannot be decoded (the file ends inside the image data)")},
      {"PngBadChecksum", kImg,
       [] {
         std::string b = SmallPng()();
         b[29] ^= 1;
         return b;
       },
       ImageError("the PNG header cannot be read (IHDR: CRC error)")},
      // Found by fuzzing: a 66-byte PNG declaring a suggested palette (sPLT) of 1.7 GB made the
      // library take 1.7 GB before it read the chunk.
      {"PngAncillaryChunkLongerThanTheFile", kImg,
       [] {
         std::string b = SmallPng()();
         const std::string chunk("\x67\x00\x00\x0csPLT", 8);
         return b.substr(0, 33) + chunk;
       },
       ImageError("the PNG header cannot be read (the file ends inside the image data)")},
      {"JpegTruncated", kImg, Cut(SmallJpeg(), 700),
       ImageError("the JPEG pixels cannot be decoded (Premature end of JPEG file)")},
      {"JpegHeaderTruncated", kImg, Cut(SmallJpeg(), 100),
       ImageError("the JPEG header cannot be read (Premature end of JPEG file)")},
  };
  return rows;
}

// What a refused command must leave as it was: image arrays, shown bitmap, points, triangles,
// working size, offsets, format list, counts and, unless left out, the bitmap file's bytes.
auto Snapshot(bool fileBytes = true) {
  const ProgramState& s = State();
  return std::tuple(
      s.Msource, s.Mtarget, s.SourceCounts, s.Tpoints, s.hBitmap[0].pixels, s.PointsInput,
      s.fBitmap, s.ImageFormat, fileBytes ? s.pbmfh : std::vector<std::uint8_t>{},
      std::vector<long>{s.cxDib, s.cyDib, s.IMAGE_X, s.IMAGE_Y, s.xoffset, s.yoffset, s.imxoff,
                        s.imyoff, s.ImageArea, s.NFormats, s.FormatIndex, s.hBitmap[0].width,
                        s.hBitmap[0].height, s.NumberOfPoints, s.NumberOfTriangles});
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
    State().IMAGE_X = 6, State().IMAGE_Y = 5;
    WriteFile("good.bmp", Bmp{.palette = {0xFFFFFF, 0x808080, 0x404040, 0}}());
    WriteFile("format.txt", "1 2 3 4 5 6 7 8 9 a b c d e f 10");
    WriteFile("good.pts", "0 0 1 1\n5 0 6 1\n0 4 1 5\n5 4 6 5\n2.5 2 3 3\n");
    Open(kOstrel, "format.txt"), Open(kBmp, "good.bmp"), Open(kPts, "good.pts");
    EXPECT_TRUE(platform_.messages.empty());
    EXPECT_EQ(State().NumberOfTriangles, 4);
    EXPECT_EQ(State().NFormats, 3);
    platform_ = test::FakePlatform();
  }
  ~CommandFixture() override { EndProgram(State()); }

  // Opens the file through the command and returns the largest allocation it made.
  // Allocations above failAbove bytes fail. The image libraries' own reports must not reach
  // the terminal: the message says it all.
  std::size_t Open(Command command, const std::string& file, std::size_t failAbove = SIZE_MAX) {
    platform_.fileAnswers = {file};
    testing::internal::CaptureStderr();
    test::AllocationProbe probe(failAbove);
    command(platform_);
    const std::size_t largest = probe.Largest();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << file;
    return largest;
  }
  // Opens the file and expects the refusal: its message, nothing large, nothing changed.
  void ExpectRefused(Command command, const std::string& file, const std::string& message) {
    const auto before = Snapshot();
    platform_.messages.clear();
    // A text image keeps the values of up to one working image while it counts them (growth
    // may double the room): bounded by the options, not by the file.
    const std::size_t kept = 2 * sizeof(int) * static_cast<std::size_t>(State().IMAGE_X) *
                             static_cast<std::size_t>(State().IMAGE_Y);
    EXPECT_LE(Open(command, file), std::max(kLargestBeforeSize, kept));
    EXPECT_EQ(platform_.MessageTexts(), std::vector<std::string>{message});
    EXPECT_TRUE(Snapshot() == before) << "state changed";
    EXPECT_TRUE(platform_.formatDialogs.empty() && platform_.workers.empty());
  }

  test::FakePlatform platform_;
};

class HostileFilesTest : public CommandFixture, public ::testing::WithParamInterface<Row> {};

TEST_P(HostileFilesTest, RefusedWithItsMessageOrLoadedAsItsPlainTwin) {
  const Row& row = GetParam();
  WriteFile("hostile.in", row.bytes());
  if (!row.message.empty()) return ExpectRefused(row.command, "hostile.in", row.message);
  Open(row.command, "hostile.in");
  const auto got = Snapshot(false);  // the files' own bytes differ
  WriteFile("plain.in", row.sameAs());
  Open(row.command, "plain.in");
  EXPECT_TRUE(platform_.messages.empty());  // from either file
  EXPECT_TRUE(Snapshot(false) == got) << "differs from its plain twin";
}

INSTANTIATE_TEST_SUITE_P(Files, HostileFilesTest, ::testing::ValuesIn(Rows()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommandFixture, NamesThatAreNoFileAndHugeSparseFilesAreRefused) {
  std::filesystem::create_directory("folder.in");
  WriteFile("huge.in", "BM");  // then 3 GiB of zeros that take no disk space
  std::filesystem::resize_file("huge.in", std::uintmax_t{3} << 30);
  const std::pair<const char*, const char*> names[] = {
      {"missing.in", "No such file or directory"},
      {"folder.in", "it is a folder"},
      {"huge.in", "the file is larger than any image that is read"}};
  for (const auto& [name, reason] : names) {
    SCOPED_TRACE(name);
    for (Command command : {kOstrel, kAscii, kBmp}) ExpectRefused(command, name, kBad);
    if (std::string(name) != "huge.in") ExpectRefused(kPts, name, kErrorReadingPoints);
    ExpectRefused(kImg, name, std::string("Error - cannot open image ") + name + ": " + reason);
  }
}

// A FIFO with nobody at its other end reads as empty at once and is written to not at all,
// wherever it stands: an input, the options file or a log. A bitmap padded far beyond what its
// pixels use is refused without reading it.
TEST_F(CommandFixture, FifosNeverHoldTheProgramAndPaddedBitmapsAreNotRead) {
  ASSERT_EQ(::mkfifo("fifo.in", 0600), 0);
  for (Command command : {kOstrel, kAscii, kBmp}) ExpectRefused(command, "fifo.in", kBad);
  ExpectRefused(kPts, "fifo.in", kErrorNoPointsInFile);

  std::string padded = Bmp{.width = 1, .height = 1}();
  Put32(padded, 2, 100u << 20);
  WriteFile("padded.bmp", padded);
  std::filesystem::resize_file("padded.bmp", 100u << 20);
  ExpectRefused(kBmp, "padded.bmp", kBad);

  ASSERT_EQ(::mkfifo("ProgramOptions.TXT", 0600), 0);
  std::filesystem::remove("Trace.log");
  ASSERT_EQ(::mkfifo("Trace.log", 0600), 0);
  test::FakePlatform fresh;
  StartProgram(fresh);
  fresh.fileAnswers = {"good.bmp"};
  ASSERT_TRUE(RunCommand(IDM_OPEN_BITMAP, fresh) && RunCommand(IDM_AUTODETECT, fresh));
  EXPECT_TRUE(fresh.messages.empty());
  EXPECT_EQ(fresh.notes,
            (std::vector<std::string>{
                "format.txt: its 16 values were placed as 4 x 4 at offset (1, 0) into the working "
                "size 6 x 5",
                "Trace.log cannot be written: nothing reads from it",
                "Auto-detection found no spot (threshold 128, minimum patch size 400)"}));
  EXPECT_TRUE(std::filesystem::is_fifo("Trace.log"));
}

TEST_F(CommandFixture, OutOfMemoryIsReportedAndChangesNothing) {
  constexpr std::size_t kLimit = 2 << 20;  // above the text reader's chunk
  const auto bitmap = [](std::int32_t width, std::int32_t height, std::uint16_t bits) {
    std::string b = Bmp{.width = width, .height = height, .bitCount = bits, .palette = {}}();
    b.resize(54 + std::size_t(width) * bits / 8 * height);  // rows with no padding
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    return b;
  };
  WriteFile("pixels.bmp", bitmap(4096, 2048, 1));  // a 1 MiB file of 32 MiB of pixels
  WriteFile("file.bmp", bitmap(2048, 2048, 8));    // a 4 MiB file
  WriteFile("image.txt", Repeat([](int) { return "1 "; }, 1000 * 1000)());
  State().IMAGE_X = State().IMAGE_Y = 1000;
  const std::vector<int> image(1000 * 1000, 7);
  const auto before = Snapshot();
  for (const auto& [command, file] : {std::pair{kBmp, "pixels.bmp"}, std::pair{kBmp, "file.bmp"},
                                      std::pair{kOstrel, "image.txt"}}) {
    SCOPED_TRACE(file);
    platform_.messages.clear();
    Open(command, file, kLimit);
    EXPECT_EQ(platform_.MessageTexts(), std::vector<std::string>{kErrorNoMemory});
    EXPECT_TRUE(Snapshot() == before) << "state changed";
  }
  {
    test::AllocationProbe probe(kLimit);
    State().MAXPoints = 100000;
    EXPECT_EQ(AllocateArrays(State()), 0);
    EXPECT_EQ(AllocateImageArrays(State(), 1000, 1000), 0);
    EXPECT_EQ(WriteImage("out.bmp", 1000, 1000, image.data()), 0);
  }
  State().MAXPoints = 5000;
  EXPECT_TRUE(Snapshot() == before) << "state changed";
  EXPECT_FALSE(std::filesystem::exists("out.bmp"));
  Open(kOstrel, "image.txt");  // the same file loads when memory allows
  EXPECT_EQ(State().Msource.size(), image.size());
}

// A value that is no pixel coordinate is refused with the record that holds it; denormal values
// read as 0; points at the same measured position are merged with a note.
TEST_F(CommandFixture, PointsFileValuesAreCheckedBeforeTheyReplaceThePoints) {
  const std::string good = "0 0 1 1\n5 0 6 1\n0 4 1 5\n";
  WriteFile("good.pts", good);
  Open(kPts, "good.pts");
  platform_ = test::FakePlatform();
  const struct {
    const char* text;
    const char* message;  // "" when accepted
    double firstIdealX = 1;
  } cases[] = {
      {"0 0 1 1\nnan nan nan nan\n",
       "Error - record 2 of bad.pts holds nan, which is not a pixel coordinate"},
      {"0 0 1 1\n5 0 6 1\n0 4 1 5\nNAN 1 inf 2\n",
       "Error - record 4 of bad.pts holds nan, which is not a pixel coordinate"},
      {"1e39 0 0 0\n", "Error - record 1 of bad.pts holds inf, which is not a pixel coordinate"},
      {"0 0 1 1\n0 -1000001 0 0\n",
       "Error - record 2 of bad.pts holds -1e+06, which is not a pixel coordinate"},
      {"0 0 1e-42 1\n5 0 6 1\n0 4 1 5\n", "", 0},
      {"0 0 1 1\n5 0 6 1\n0 0 7 7\n0 4 1 5\n5 0 6 1\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    WriteFile("bad.pts", c.text);
    platform_.notes.clear();
    if (*c.message != '\0') {
      ExpectRefused(kPts, "bad.pts", c.message);
      continue;
    }
    platform_.messages.clear();
    Open(kPts, "bad.pts");
    DeliverNotes(platform_);
    EXPECT_TRUE(platform_.messages.empty());
    const ProgramState& s = State();
    ASSERT_EQ(s.NumberOfPoints, 3);
    EXPECT_EQ(std::vector<double>(s.PointsInput.begin(), s.PointsInput.begin() + 12),
              (std::vector<double>{0, 0, c.firstIdealX, 1, 5, 0, 6, 1, 0, 4, 1, 5}));
    EXPECT_EQ(s.NumberOfTriangles, 1);
  }
  EXPECT_EQ(platform_.notes,
            std::vector<std::string>{
                "bad.pts: 2 points at the measured position of an earlier one were left out"});
}

}  // namespace
}  // namespace zmr
