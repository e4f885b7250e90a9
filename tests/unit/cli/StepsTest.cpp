// zmrcal's step parser and runner over the real console platform.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <string>
#include <vector>

#include "cli/ConsolePlatform.h"
#include "cli/Steps.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"
#include "ui/Startup.h"

namespace zmr {
namespace {

class StepsTest : public test::StateTest {
 protected:
  // Parses and runs the arguments; returns the exit status (2 for a parse failure).
  int Run(const std::vector<const char*>& args) {
    std::vector<Step> steps;
    std::string reason;
    if (!ParseSteps(static_cast<int>(args.size()), args.data(), 0, steps, reason)) return 2;
    StartProgram(platform_);
    const int status = RunSteps(steps, platform_);
    EndProgram();
    return status;
  }
  ConsolePlatform platform_;
};

TEST_F(StepsTest, OverlaysAreSetRatherThanToggled) {
  ASSERT_EQ(Run({"overlay", "vectors", "on", "overlay", "triangles", "on", "overlay", "triangles",
                 "on", "overlay", "numbers", "off"}),
            0);
  EXPECT_EQ(State().cfDrawMode, 1 | 4);
  ASSERT_EQ(Run({"overlay", "vectors", "off", "overlay", "vectors", "off"}), 0);
  EXPECT_EQ(State().cfDrawMode, 4);
}

TEST_F(StepsTest, SetEditsItsFieldsAndStoresTheOthersAsShown) {
  std::vector<Step> steps;
  std::string reason;
  const char* args[] = {"set", "MaxSlope", "0.3", "Edge", "-16", "set", "FilterSize", "3"};
  ASSERT_TRUE(ParseSteps(8, args, 0, steps, reason)) << reason;
  ASSERT_EQ(steps.size(), 2u);
  StartProgram(platform_);
  // The dialog shows the working size, so OK stores it as IMAGE_X even though IMAGE_X differs.
  State().IMAGE_X = 500;
  ASSERT_EQ(RunSteps(steps, platform_), 0);
  EXPECT_DOUBLE_EQ(State().Ethresh, 0.3);
  EXPECT_EQ(State().EdgeGrid, -16);
  EXPECT_EQ(State().FilterSize, 3);
  EXPECT_EQ(State().IMAGE_X, 769);
  EndProgram();
}

TEST_F(StepsTest, ViewSelectsTheDisplayedImage) {
  ASSERT_EQ(Run({"view", "target"}), 0);
  EXPECT_EQ(State().cCurrentBitmap, 1);
  ASSERT_EQ(Run({"view", "target", "view", "source"}), 0);
  EXPECT_EQ(State().cCurrentBitmap, 0);
}

TEST_F(StepsTest, ParserKeepsFileArgumentsVerbatimAndReadsFormatOptions) {
  const char* args[] = {"open-ostrel", "view", "--format",    "480x500",
                        "--offset",    "-3,4", "save-points", "--format"};
  std::vector<Step> steps;
  std::string reason;
  ASSERT_TRUE(ParseSteps(8, args, 0, steps, reason)) << reason;
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[0].file, "view");
  ASSERT_TRUE(steps[0].format.has_value());
  EXPECT_EQ(steps[0].format->width, 480);
  EXPECT_EQ(steps[0].format->height, 500);
  ASSERT_TRUE(steps[0].offset.has_value());
  EXPECT_EQ(steps[0].offset->x, -3);
  EXPECT_EQ(steps[0].offset->y, 4);
  // save-points takes no --format: the word is its file name.
  EXPECT_EQ(steps[1].file, "--format");
}

TEST_F(StepsTest, InterruptDuringAWorkerIsItsCancel) {
  // The worker runs until it is cancelled; Ctrl-C must reach it as the dialog's Cancel.
  std::atomic<bool> started{false};
  std::thread presser([&] {
    while (!started.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    kill(getpid(), SIGINT);
  });
  platform_.RunWorker(ProgressDialog::AutoDetection, [&] {
    started.store(true);
    while (State().fTerminated.load() == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  presser.join();
  EXPECT_TRUE(platform_.interrupted());
  // Outside a worker the default action of the signal is back.
  struct sigaction current {};
  sigaction(SIGINT, nullptr, &current);
  EXPECT_EQ(current.sa_handler, SIG_DFL);
}

}  // namespace
}  // namespace zmr
