#include "state/CNumericLocale.h"
#include "state/ParameterScan.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using test::ReadFile;
using test::WriteFile;

// The eight option values in registration order; "%.9g" tells a float from a double.
std::string Values() {
  const ProgramState& s = State();
  char text[256];
  const CNumericLocale cLocale;
  std::snprintf(text, sizeof text, "%i %i %li %li %li %.9g %i %i", s.IMAGE_X, s.IMAGE_Y,
                s.FilterSize, s.MinPatchSize, s.EdgeGrid, s.Ethresh, s.xoffset, s.yoffset);
  return text;
}

const std::string kDefaults = "769 769 5 400 32 0.2 128 128";

class ParameterScanTest : public test::StateTest {
 protected:
  // The working folder is empty, so this only registers the eight options.
  void SetUp() override { InitParameters(); }

  // Appends an entry of a type that has no registration operation.
  int AddEntry(const char* name, int type, void* target) {
    ProgramState& s = State();
    ParameterEntry& e = s.Param[static_cast<std::size_t>(s.ParamTableSize)];
    e.Name = name;
    e.Type = type;
    e.P.Dnum = static_cast<double*>(target);
    return s.ParamTableSize++;
  }
};

TEST_F(ParameterScanTest, OptionsFileIsLoggedAndAssignedExactly) {
  const struct {
    const char* name;
    std::string options, log, values;
  } cases[] = {
      {"Empty", "", "", kDefaults},
      {"LongAndDouble", "FilterSize 7\nMaxSlope 0.25\n",
       "FilterSize (2)= 7\nMaxSlope (5)= 0.250000\n", "769 769 7 400 32 0.25 128 128"},
      {"IntegerPrefixes", "FilterSize 010\nImageWidth 0x300\nImageHeight -0X1f\nORBIKyoffset +12\n",
       "FilterSize (2)= 8\nImageWidth (0)= 768\nImageHeight (1)= -31\nORBIKyoffset (7)= 12\n",
       "768 -31 8 400 32 0.2 128 12"},
      {"EqualsGluesWords", "FilterSize=5\n", "\nError - FilterSize5 keyword not recognized !",
       kDefaults},
      {"TabGluesWords", "FilterSize\t5\n", "\nError - FilterSize5 keyword not recognized !",
       kDefaults},
      {"SpacedEqualsFailsValue", "FilterSize = 5\n",
       "FilterSize (2)cannot read parameter value (long)\nError - 5 keyword not recognized !",
       kDefaults},
      {"CaseMatters", "filtersize 5",
       "\nError - filtersize keyword not recognized !\nError - 5 keyword not recognized !",
       kDefaults},
      {"ValueOnLaterLine", "MinPatchSize\n\n   250\n", "MinPatchSize (3)= 250\n",
       "769 769 5 250 32 0.2 128 128"},
      {"SameKeywordTwice", "Edge 16\nEdge 64\n", "Edge (4)= 16\nEdge (4)= 64\n",
       "769 769 5 400 64 0.2 128 128"},
      {"ErrorsHaveNoLineEnd", "ImageWidth 1024\nFoo 3\nMaxSlope 0.25\n",
       "ImageWidth (0)= 1024\n\nError - Foo keyword not recognized !\nError - 3 keyword not "
       "recognized !MaxSlope (5)= 0.250000\n",
       "1024 769 5 400 32 0.25 128 128"},
      {"KeywordAtEndOfFile", "ORBIKxoffset",
       "ORBIKxoffset (6)cannot read parameter value (integer)", kDefaults},
      {"BadReal", "MaxSlope x\n",
       "MaxSlope (5)cannot read parameter value\nError - x keyword not recognized !", kDefaults},
      {"LineCommentRunsWordOn", "Filter// note\nSize 6\n", "FilterSize (2)= 6\n",
       "769 769 6 400 32 0.2 128 128"},
      {"BlockCommentThenBlankEndsWord", "FilterSize/* c */ 6\n", "FilterSize (2)= 6\n",
       "769 769 6 400 32 0.2 128 128"},
      {"CommentsIgnored",
       "/* FilterSize 1\nEdge 2 */ Edge 3 // a */ FilterSize 4\nMinPatchSize 5\n",
       "Edge (4)= 3\nMinPatchSize (3)= 5\n", "769 769 5 5 3 0.2 128 128"},
      {"SlashStarSlashIsWholeComment", "/*/ FilterSize 6 */ Edge 3\n",
       "FilterSize (2)= 6\nEdge (4)= 3\n", "769 769 6 400 3 0.2 128 128"},
      {"RealAtSinglePrecision", "MaxSlope 0.1\n", "MaxSlope (5)= 0.100000\n",
       "769 769 5 400 32 0.100000001 128 128"},
      {"WordsAfterValue", "FilterSize 7 Edge 9\r\nFilterSize -7x\r\n",
       "FilterSize (2)= 7\nEdge (4)= 9\nFilterSize (2)= -7\n\nError - x keyword not recognized !",
       "769 769 -7 400 9 0.2 128 128"},
      {"IntegerOverflowWraps",
       "ImageWidth 4294967297\nImageHeight 99999999999999999999999\nFilterSize 2147483648\n",
       "ImageWidth (0)= 1\nImageHeight (1)= -1\nFilterSize (2)= -2147483648\n",
       "1 -1 -2147483648 400 32 0.2 128 128"},
      {"NulByteDroppedInWord", std::string("Filter\0Size 6\n", 14), "FilterSize (2)= 6\n",
       "769 769 6 400 32 0.2 128 128"},
      {"UnterminatedComment", "/* FilterSize 6", "", kDefaults},
      {"OpenerInsideCommentDoesNotNest", "/* a /* FilterSize 6 */ Edge 3 */\n", "Edge (4)= 3\n",
       "769 769 5 400 3 0.2 128 128"},
      {"WordBeforeUnterminatedComment", "FilterSize/* 6",
       "FilterSize (2)cannot read parameter value (long)", kDefaults},
  };
  for (const auto& c : cases) {
    ResetProgramState();
    InitParameters();
    EXPECT_EQ(ReadParametersToLog(c.options), c.log) << c.name;
    EXPECT_EQ(Values(), c.values) << c.name;
  }
}

TEST_F(ParameterScanTest, ReadsEveryValueKind) {
  double vect[3] = {9, 9, 9};
  double grid[4] = {9, 9, 9, 9};
  long rows = 2, cols = 2;
  int flag = 0;
  char title[kParamTextBuffer] = "old";
  AddEntry("Offset", VECT, vect);
  const int gridIndex = AddEntry("Grid", ARRAYD, grid);
  State().Param[gridIndex].SizeI = &rows;
  State().Param[gridIndex].SizeJ = &cols;
  AddEntry("Verbose", FLAG, &flag);
  AddEntry("Title", STRING, title);
  AddEntry("Odd", 9, &flag);

  EXPECT_EQ(ReadParametersToLog("Offset 1 2.5 -3\nGrid 1 2\n3 4\nEdge 5 Verbose Title junk \"a b\n"
                                "c\" Odd 7"),
            "Offset (8)=(1.000000,2.500000,-3.000000)\nGrid (9)1.000000 2.000000 3.000000 "
            "4.000000 Edge (4)= 5\nVerbose (10)= ON\nTitle (11)= a b\nc\nOdd (12)\nError - 7 "
            "keyword not recognized !");
  EXPECT_EQ(vect[1], 2.5);
  EXPECT_EQ(grid[3], 4.0);
  EXPECT_EQ(flag, ON);
  EXPECT_STREQ(title, "a b\nc");
  for (const char* name : {"Offset", "Grid", "Verbose", "Title"}) EXPECT_EQ(CheckParam(name), 1);

  // Failed reads keep what was there (an array keeps the values already converted).
  State().Param[gridIndex].ReadFLG = 0;
  EXPECT_EQ(ReadParametersToLog("Offset 7 8 x Grid 5 6 y Title \"abc"),
            "Offset (8)cannot read parameter value (vector)\nError - x keyword not recognized "
            "!Grid (9)5.000000 6.000000 <-Error - not enough data\nError - y keyword not "
            "recognized !Title (11)cannot read parameter value (string)");
  EXPECT_EQ(vect[0], 1.0);
  EXPECT_EQ(grid[0], 5.0);
  EXPECT_EQ(grid[2], 3.0);
  EXPECT_EQ(CheckParam("Grid"), 0);
  EXPECT_STREQ(title, "a b\nc");
}

TEST_F(ParameterScanTest, LongTextsAreCutAt249Characters) {
  char title[kParamTextBuffer] = "";
  AddEntry("Title", STRING, title);
  const std::string longWord(1 << 20, 'a');
  EXPECT_EQ(ReadParametersToLog(longWord),
            "\nError - " + longWord.substr(0, 249) + " keyword not recognized !");
  EXPECT_EQ(ReadParametersToLog("Title \"" + longWord + "\"\n"),
            "Title (8)= " + longWord.substr(0, 249) + "\n");
  EXPECT_EQ(std::string(title), longWord.substr(0, 249));
}

TEST_F(ParameterScanTest, BinaryJunkIsReadToTheEnd) {
  std::mt19937 random(12345);
  for (int round = 0; round < 10; ++round) {
    std::string junk(20000, '\0');
    for (char& c : junk) c = static_cast<char>(random() % 256);
    // The newline ends a line comment and "*/" a block comment the junk may have left open.
    const std::string log = ReadParametersToLog(junk + "\n*/ \nEdge 77\n");
    ASSERT_GE(log.size(), 13u);
    EXPECT_EQ(log.substr(log.size() - 13), "Edge (4)= 77\n");
    EXPECT_EQ(State().EdgeGrid, 77);
    State().EdgeGrid = 0;
  }
}

TEST_F(ParameterScanTest, InitParametersReadsTheOptionsFileIfThereIsOne) {
  EXPECT_EQ(ReadFile("SCAN.LOG"), "");  // created even without an options file
  EXPECT_EQ(Values(), kDefaults);
  ResetProgramState();
  WriteFile("ProgramOptions.TXT", "ImageWidth 512\nImageHeight 0x100\n");
  InitParameters();
  EXPECT_EQ(ReadFile("SCAN.LOG"), "ImageWidth (0)= 512\nImageHeight (1)= 256\n");
  EXPECT_EQ(State().ParamTableSize, 8);
  EXPECT_EQ(Values(), "512 256 5 400 32 0.2 128 128");
}

TEST_F(ParameterScanTest, UnreadableFilesAreNotRead) {
  // A folder opens as a file but every read fails: the reader must still end.
  std::filesystem::create_directory("folder");
  EXPECT_EQ(ReadParameters("folder", "SCAN.LOG"), 0);
  EXPECT_EQ(ReadFile("SCAN.LOG"), "");
  WriteFile("opts", "Edge 3\n");
  EXPECT_EQ(ReadParameters("missing", "SCAN.LOG"), 1);
  EXPECT_EQ(ReadParameters("opts", "folder"), 1);
  EXPECT_EQ(State().EdgeGrid, 32);
  EXPECT_EQ(ReadParametersFromBuffer("Edge 3", nullptr), 1);
}

TEST_F(ParameterScanTest, WriteParametersWritesTableText) {
  int flag = 0;
  AddEntry("Verbose", FLAG, &flag);
  State().Ethresh = 0.125;
  EXPECT_EQ(WriteParameters("table.txt"), 0);
  EXPECT_EQ(ReadFile("table.txt"),
            "ImageWidth 769\nImageHeight 769\nFilterSize 5\nMinPatchSize 400\nEdge 32\n"
            "MaxSlope 0.125\nORBIKxoffset 128\nORBIKyoffset 128\n"
            "Verbose  ERROR -this type has not been implemented yet!\n\n");
  EXPECT_EQ(WriteParameters("no/such/folder/table.txt"), 1);
}

TEST_F(ParameterScanTest, FindCheckAndParamTableInit) {
  ReadParametersToLog("Edge 3\n");
  EXPECT_EQ(FindParam("Edge"), 4);
  EXPECT_EQ(FindParam("edge"), 8);  // not found: the table size
  EXPECT_EQ(CheckParam("Edge"), 1);
  EXPECT_EQ(CheckParam("FilterSize"), 0);
  EXPECT_EQ(CheckParam("Nothing"), 0);
  int size = State().ParamTableSize;
  EXPECT_EQ(ParamTableInit(size), 1);
  EXPECT_EQ(size, 10);
  EXPECT_STREQ(State().Param[9].Name, "MAXSLOPE");
  EXPECT_EQ(State().Param[8].P.Inum, &State().IMAGEX);
  EXPECT_EQ(State().Param[4].ReadFLG, 0);  // read flags cleared
  int full = kParamTableCapacity - 1;
  EXPECT_EQ(ParamTableInit(full), 0);
  EXPECT_EQ(full, kParamTableCapacity - 1);
}

TEST_F(ParameterScanTest, ArrayWithoutUsableSizeReadsOnlyWhatIsThere) {
  double grid[4] = {9, 9, 9, 9};
  long rows = 2, cols = 2;
  const int index = AddEntry("Grid", ARRAYD, grid);
  ParameterEntry& entry = State().Param[index];
  const struct {
    const char* name;
    long* sizeI;
    long* sizeJ;
    long r, c;
    std::string log;
    double first;
  } cases[] = {
      {"NoRowCount", nullptr, &cols, 2, 2, "Grid (8)\nError - 1 keyword not recognized !", 9},
      {"NoColumnCount", &rows, nullptr, 2, 2, "Grid (8)\nError - 1 keyword not recognized !", 9},
      {"NoRows", &rows, &cols, 0, 2, "Grid (8)\nError - 1 keyword not recognized !", 9},
      {"NegativeColumns", &rows, &cols, 2, -1, "Grid (8)\nError - 1 keyword not recognized !", 9},
      // A size past the long range reads until the numbers run out.
      {"HugeSize", &rows, &cols, LONG_MAX, 2, "Grid (8)1.000000 <-Error - not enough data", 1},
  };
  for (const auto& c : cases) {
    entry.SizeI = c.sizeI;
    entry.SizeJ = c.sizeJ;
    rows = c.r;
    cols = c.c;
    grid[0] = 9;
    EXPECT_EQ(ReadParametersToLog("Grid 1"), c.log) << c.name;
    EXPECT_EQ(grid[0], c.first) << c.name;
    EXPECT_EQ(grid[1], 9) << c.name;
  }
}

TEST_F(ParameterScanTest, DamagedTableSizeNeverReachesOutsideTheTable) {
  long value = 0;
  double real = 0;
  int integer = 0;
  State().ParamTableSize = -3;
  EXPECT_EQ(AddParameterLong("X", &value), -1);
  EXPECT_EQ(AddParameterDouble("X", &real), -1);
  EXPECT_EQ(AddParameterInteger("X", &integer), -1);
  EXPECT_EQ(FindParam("Edge"), -3);
  EXPECT_EQ(CheckParam("Edge"), 0);
  EXPECT_EQ(ReadParametersToLog("Edge 3"),
            "\nError - Edge keyword not recognized !\nError - 3 keyword not recognized !");
  EXPECT_EQ(State().EdgeGrid, 32);
  EXPECT_EQ(WriteParameters("table.txt"), 0);
  EXPECT_EQ(ReadFile("table.txt"), "");
  int size = -1;
  EXPECT_EQ(ParamTableInit(size), 0);
  EXPECT_EQ(size, -1);

  State().ParamTableSize = kParamTableCapacity + 5;
  EXPECT_EQ(AddParameterLong("X", &value), -1);
  EXPECT_EQ(FindParam("Edge"), 4);
  EXPECT_EQ(FindParam("Nothing"), kParamTableCapacity + 5);
  EXPECT_EQ(CheckParam("Nothing"), 0);
  EXPECT_EQ(ReadParametersToLog("Edge 3"), "Edge (4)= 3\n");
}

TEST_F(ParameterScanTest, EntriesWithoutNameAreSkipped) {
  long value = 5;
  AddEntry(nullptr, LONG, &value);
  EXPECT_EQ(FindParam("Nothing"), 9);
  EXPECT_EQ(ReadParametersToLog("Edge 3"), "Edge (4)= 3\n");
  EXPECT_EQ(WriteParameters("table.txt"), 0);
  const std::string table = ReadFile("table.txt");
  ASSERT_GE(table.size(), 4u);
  EXPECT_EQ(table.substr(table.size() - 4), "\n 5\n");
}

TEST_F(ParameterScanTest, FullTableRefusesRegistration) {
  long value = 0;
  for (int k = 8; k < kParamTableCapacity; ++k) ASSERT_EQ(AddParameterLong("X", &value), k);
  double real = 0;
  int integer = 0;
  EXPECT_EQ(AddParameterDouble("Y", &real), -1);
  EXPECT_EQ(AddParameterInteger("Y", &integer), -1);
  EXPECT_EQ(State().ParamTableSize, kParamTableCapacity);
  EXPECT_EQ(FindParam("Y"), kParamTableCapacity);
}

}  // namespace
}  // namespace zmr
