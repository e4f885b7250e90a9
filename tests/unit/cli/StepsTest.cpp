// zmrcal's step parser, and Ctrl-C during a worker of the console platform.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "cli/Steps.h"
#include "state/ProgramState.h"
#include "support/TestSupport.h"

namespace zmr {
namespace {

// The steps of the arguments in one line, or the reason of the refusal. Built by appending
// pieces: chains of std::string operator+ trip a false -Wrestrict of GCC 12 in optimised builds.
std::string Parse(const std::vector<const char*>& args) {
  std::vector<Step> steps;
  std::string out;
  if (!ParseSteps(static_cast<int>(args.size()), args.data(), 0, steps, out)) return out;
  const auto add = [&out](std::initializer_list<std::string> pieces) {
    for (const std::string& piece : pieces) out.append(piece);
  };
  for (const Step& s : steps) {
    add({s.name});
    if (s.command) add({"#", std::to_string(s.command->id)});
    add({" ", s.file});
    if (s.format)
      add({" ", std::to_string(s.format->width), "x", std::to_string(s.format->height)});
    if (s.offset) add({" ", std::to_string(s.offset->x), ",", std::to_string(s.offset->y)});
    for (const auto& [field, text] : s.optionsEdits) add({" ", std::to_string(field), "=", text});
    for (const auto& [field, text] : s.furtherEdits) add({" +", std::to_string(field), "=", text});
    add({"; "});
  }
  return out;
}

TEST(StepsParseTest, StepsAndTheirArgumentsOrTheReasonOfARefusal) {
  const std::pair<std::vector<const char*>, std::string> cases[] = {
      {{"open-ostrel", "view", "--format", "480x500", "--offset", "-3,4", "save-points",
        "--format"},
       "open-ostrel#40001 view 480x500 -3,4; save-points#40006 --format; "},
      {{"set", "MaxSlope", "0.3", "Edge", "-16", "set", "FilterSize", " 3", "view", "target"},
       "set#40027  5=0.3 4=-16; set#40027  2= 3; view#40012 ; "},
      {{"threshold", "255", "render", "a.png"}, "threshold#40019 ; render a.png; "},
      {{"threshold", "256"}, "threshold takes N from 0 to 255, not '256'"},
      {{"set", "Edge", "0x10"}, "set Edge: '0x10' does not convert"},
      {{"set", "ORBIKxoffset", "-2147483648", "ORBIKyoffset", "+7"},
       "set#40027  6=-2147483648 7=+7; "},
      {{"set", "ORBIKyoffset", "2147483648"}, "set ORBIKyoffset: '2147483648' does not convert"},
      {{"set", "Edge", "4", "ImageWidth", "9"}, "set#40027  4=4 0=9; "},
      {{"set", "MaxSlope", "inf"}, "set MaxSlope: 'inf' does not convert"},
      {{"set", "MaxSlope", "0"}, "set MaxSlope 0: the maximum slope must be a positive number"},
      {{"set", "TransformMode", "2", "Edge", "8", "AdjustMode", "1"},
       "set#40027  4=8 +8=2 +10=1; "},
      {{"set", "TransformMode", "3"}, "set TransformMode 3: the transform mode must be 0, 1 or 2"},
      {{"set", "DetectionMode", "-1"}, "set DetectionMode -1: the detection mode must be 0 or 1"},
      {{"set", "MinPatchSize", "-1"},
       "set MinPatchSize -1: the minimum patch size must not be negative"},
      {{"set", "FilterSize", "3 4"}, "set FilterSize: '3 4' does not convert"},
      {{"set", "Width", "3"},
       "set: unknown option 'Width' (ImageWidth, ImageHeight, FilterSize, MinPatchSize, Edge, "
       "MaxSlope, ORBIKxoffset, ORBIKyoffset, TransformMode, DetectionMode, AdjustMode)"},
      {{"open-ostrel", "a", "--format", "0x5"}, "--format takes WIDTHxHEIGHT, not '0x5'"},
      {{"overlay", "mesh", "on"},
       "overlay takes vectors, numbers, triangles or residuals, not 'mesh'"},
  };
  for (const auto& [args, parsed] : cases) EXPECT_EQ(Parse(args), parsed) << args[0];
}

using StepsRunTest = test::StateTest;

TEST_F(StepsRunTest, InterruptDuringAWorkerIsItsCancel) {
  ConsolePlatform platform;
  struct sigaction before {};
  sigaction(SIGINT, nullptr, &before);
  // The worker runs until it is cancelled; Ctrl-C must reach it as the dialog's Cancel.
  std::atomic<bool> started{false};
  // The presser blocks the signal itself, as the worker does, so the waiting thread takes it.
  // It presses again every 50 ms until the worker is cancelled: a sanitizer's runtime may drop a
  // signal that reaches a thread between the calls it watches.
  std::thread presser([&] {
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    pthread_sigmask(SIG_BLOCK, &interrupt, nullptr);
    while (!started.load()) std::this_thread::yield();
    do {
      kill(getpid(), SIGINT);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (State().fTerminated.load() == 0);
  });
  bool workerBlocksInterrupt = false;
  platform.RunWorker(ProgressDialog::AutoDetection, [&] {
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    workerBlocksInterrupt = sigismember(&mask, SIGINT) == 1;
    started.store(true);
    while (State().fTerminated.load() == 0) std::this_thread::yield();
  });
  presser.join();
  EXPECT_TRUE(platform.interrupted());
  // The worker, busy computing, leaves the signal to the thread that waits for it; this one
  // has it unblocked again.
  EXPECT_TRUE(workerBlocksInterrupt);
  sigset_t after;
  pthread_sigmask(SIG_BLOCK, nullptr, &after);
  EXPECT_EQ(sigismember(&after, SIGINT), 0);
  struct sigaction current {};  // outside a worker the signal's earlier action is back
  sigaction(SIGINT, nullptr, &current);
  EXPECT_EQ(current.sa_handler, before.sa_handler);
}

}  // namespace
}  // namespace zmr
