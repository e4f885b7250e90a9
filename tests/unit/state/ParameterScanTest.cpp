#include "state/ParameterScan.h"

#include "state/CNumericLocale.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

using ParameterScanTest = test::StateTest;

TEST_F(ParameterScanTest, OptionsAreLoggedAndAssignedExactly) {
  const std::string x(1000000, 'x'), nines(100000, '9');
  std::string junk;
  for (int i = 0; i < 20000; ++i) junk += std::string("\0\xff*\n\"", 5);
  const struct {
    std::string options, log, values;  // values: the eight options; "%.9g" shows a float
  } cases[] = {
      {"FilterSize 7\nMaxSlope 0.1\n", "FilterSize (2)= 7\nMaxSlope (5)= 0.100000\n",
       "769 769 7 400 32 0.100000001 128 128"},
      {"FilterSize 010\nImageWidth 0x300\nImageHeight -0X1f\nORBIKyoffset +12\n",
       "FilterSize (2)= 8\nImageWidth (0)= 768\nImageHeight (1)= -31\nORBIKyoffset (7)= 12\n",
       "768 -31 8 400 32 0.2 128 12"},
      {"FilterSize=5 Edge\t6\n",
       "\nError - FilterSize5 keyword not recognized !\nError - Edge6 keyword not recognized !",
       "769 769 5 400 32 0.2 128 128"},
      {"FilterSize = 5\n",
       "FilterSize (2)cannot read parameter value (long)\nError - 5 keyword not recognized !",
       "769 769 5 400 32 0.2 128 128"},
      {"MinPatchSize\n\n   250\nEdge 16\nEdge 64\n",
       "MinPatchSize (3)= 250\nEdge (4)= 16\nEdge (4)= 64\n", "769 769 5 250 64 0.2 128 128"},
      {"ImageWidth 1024\nfoo 3\nMaxSlope x\n",
       "ImageWidth (0)= 1024\n\nError - foo keyword not recognized !\nError - 3 keyword not "
       "recognized !MaxSlope (5)cannot read parameter value\nError - x keyword not recognized !",
       "1024 769 5 400 32 0.2 128 128"},
      {"Filter// note\nSize 6\r\nEdge 9x\r\n",
       "FilterSize (2)= 6\nEdge (4)= 9\n\nError - x keyword not recognized !",
       "769 769 6 400 9 0.2 128 128"},
      {"/* FilterSize 1\nEdge 2 */ Edge 3 // a */ FilterSize 4\n/*/ MinPatchSize 5 */\n",
       "Edge (4)= 3\nMinPatchSize (3)= 5\n", "769 769 5 5 3 0.2 128 128"},
      // Hostile files: overflowing integers, not-a-number and infinite values, endless words,
      // unterminated comments and strings; each is read to its end.
      {"ImageWidth 99999999999999999999\nImageHeight 4294967306\nFilterSize -" + nines + "\n",
       "ImageWidth (0)= -1\nImageHeight (1)= 10\nFilterSize (2)= 0\n",
       "-1 10 0 400 32 0.2 128 128"},
      {"MaxSlope nan\nEdge inf\nMinPatchSize 7\n",
       "MaxSlope (5)= nan\nEdge (4)cannot read parameter value (long)\nError - inf keyword not "
       "recognized !MinPatchSize (3)= 7\n",
       "769 769 5 7 32 nan 128 128"},
      {"MaxSlope 1e999\n", "MaxSlope (5)= inf\n", "769 769 5 400 32 inf 128 128"},
      {"ImageWidth" + x + " 5\nImageHeight 9\n",
       "\nError - ImageWidth" + x.substr(0, 239) +
           " keyword not recognized !\nError - 5 keyword not recognized !ImageHeight (1)= 9\n",
       "769 9 5 400 32 0.2 128 128"},
      {"ImageWidth 640\n/* ImageHeight 9\n" + junk, "ImageWidth (0)= 640\n",
       "640 769 5 400 32 0.2 128 128"},
      {"ImageWidth \"640\nImageHeight 9\nFilterSize \"",
       "ImageWidth (0)cannot read parameter value (integer)\nError - 640 keyword not recognized "
       "!ImageHeight (1)= 9\nFilterSize (2)cannot read parameter value (long)",
       "769 9 5 400 32 0.2 128 128"},
  };
  for (const auto& c : cases) {
    ResetProgramState();
    InitParameters(State());
    EXPECT_EQ(ReadParametersToLog(State(), c.options), c.log) << c.options.substr(0, 60);
    const ProgramState& s = State();
    char values[256];
    const CNumericLocale cLocale;
    std::snprintf(values, sizeof values, "%i %i %li %li %li %.9g %i %i", s.IMAGE_X, s.IMAGE_Y,
                  s.FilterSize, s.MinPatchSize, s.EdgeGrid, s.Ethresh, s.xoffset, s.yoffset);
    EXPECT_EQ(values, c.values) << c.options.substr(0, 60);
  }
}

}  // namespace
}  // namespace zmr
