// Cancel of the five long commands at many points: a platform runs each worker on a real thread
// and sets fTerminated from the calling thread at a seeded moment, as the progress dialog's
// Cancel does. After each cancel the state must hold together, and the next run of the command
// must give, whole, what a run that was never cancelled gives.
#include <array>
#include <map>
#include <random>
#include <span>

#include "gridgen/GridGen.h"
#include "support/FakePlatform.h"
#include "support/GridImageLoad.h"
#include "support/TestSupport.h"
#include "ui/CommandTable.h"
#include "ui/Startup.h"
#include "ui/resource.h"

namespace zmr {
namespace {

// Runs each worker on a real thread and presses Cancel from the calling thread: before the
// worker starts (kind 0), after `value` spins (1), or once the progress (2) or the triangle
// counter (3) has reached `value`; never for kind -1.
class CancellingPlatform : public test::FakePlatform {
 public:
  void RunWorker(ProgressDialog, const std::function<void()>& work) override {
    ProgramState& s = State();
    if (kind == 0) s.fTerminated.store(1);
    std::thread worker(work);
    // The worker sets fTerminated itself when it ends.
    for (int spin = 0; kind > 0 && s.fTerminated.load() == 0; ++spin, std::this_thread::yield()) {
      const int reached[] = {0, spin, s.iProgressStatus.load(), s.iTriangles.load()};
      if (int running = 0; reached[kind] >= value) {
        s.fTerminated.compare_exchange_strong(running, 1);
        break;
      }
    }
    worker.join();
  }
  int kind = -1, value = 0;
};

// Calls f(name, s.member...) for every member of the states that a command may change.
#define EACH(m) f(#m, s.m...)
template <typename F, typename... S>
void Visit(F&& f, S&... s) {
  EACH(Msource), EACH(Mtarget), EACH(SourceCounts), EACH(TargetCounts), EACH(deltaX), EACH(deltaY),
      EACH(Signal), EACH(Area), EACH(PointsInput), EACH(PointsOutput), EACH(PointsBuffer),
      EACH(Tpoints), EACH(SX), EACH(SY), EACH(Pi), EACH(Pj), EACH(Pflag), EACH(PMatrix),
      EACH(NumberOfPoints), EACH(NumberOfTriangles), EACH(ORBIKPoints), EACH(ImageM), EACH(ImageN),
      EACH(cxDib), EACH(cyDib), EACH(TraceFlag), EACH(OccupiedPoints), EACH(cCurrentBitmap),
      EACH(Edge), EACH(Origin), EACH(ug), EACH(vg), EACH(Pc), EACH(WX_LS), EACH(fBitmap);
  for (std::size_t k = 0; k < 6; ++k)
    EACH(hBitmap[k].pixels), EACH(hBitmap[k].width), EACH(hBitmap[k].height);
}
#undef EACH

template <typename T>
auto BytesOf(const T& m) {
  if constexpr (std::ranges::contiguous_range<T>)
    return std::as_bytes(std::span(m));
  else
    return std::as_bytes(std::span(&m, 1));
}

// What a command may change: the state and the files of the folder.
struct Snapshot {
  std::unique_ptr<ProgramState> state = std::make_unique<ProgramState>();
  std::map<std::string, std::string> files;
};

const auto kAssign = [](const char*, auto& to, const auto& from) {
  if constexpr (std::is_array_v<std::remove_reference_t<decltype(to)>>)
    std::ranges::copy(from, to);
  else
    to = from;
};

Snapshot Take() {
  Snapshot out;
  Visit(kAssign, *out.state, State());
  for (const auto& entry : std::filesystem::directory_iterator("."))
    out.files[entry.path().filename()] = test::ReadFile(entry.path());
  return out;
}

void Put(const Snapshot& in) {
  Visit(kAssign, State(), *in.state);
  for (const auto& entry : std::filesystem::directory_iterator("."))
    std::filesystem::remove_all(entry.path());
  for (const auto& [name, bytes] : in.files) test::WriteFile(name, bytes);
}

// The names whose bytes differ, for the failure message.
std::string Differences(const Snapshot& a, const Snapshot& b) {
  std::string out;
  const auto compare = [&out](const auto& name, const auto& x, const auto& y) {
    if (!std::ranges::equal(BytesOf(x), BytesOf(y))) out += std::string(name) + " ";
  };
  Visit(compare, *a.state, *b.state);
  for (const auto& [name, bytes] : a.files)
    compare("file " + name, bytes, b.files.contains(name) ? b.files.at(name) : "?");
  for (const auto& [name, bytes] : b.files)
    if (!a.files.contains(name)) out += "file " + name + " ";
  return out;
}

std::vector<int> Triangles(const ProgramState& s) {
  return std::vector<int>(s.Tpoints.begin(), s.Tpoints.begin() + 3 * s.NumberOfTriangles);
}

// Sizes and indices that every command may rely on.
void ExpectConsistent() {
  const ProgramState& s = State();
  const auto pixels = static_cast<std::size_t>(s.cxDib) * static_cast<std::size_t>(s.cyDib);
  EXPECT_EQ(s.fTerminated.load(), 1);
  EXPECT_EQ((std::vector{s.Msource.size(), s.Mtarget.size(), s.deltaX.size(), s.deltaY.size(),
                         s.Signal.size(), s.Area.size()}),
            std::vector<std::size_t>(6, pixels));
  ASSERT_TRUE(s.NumberOfPoints >= 0 && s.NumberOfPoints < s.MAXPoints) << s.NumberOfPoints;
  ASSERT_TRUE(s.NumberOfTriangles >= 0 && 3 * s.NumberOfTriangles <= std::ssize(s.Tpoints));
  EXPECT_EQ(s.iTriangles.load(), s.NumberOfTriangles);
  for (int index : Triangles(s)) ASSERT_TRUE(index >= 0 && index < s.NumberOfPoints) << index;
}

// The command of a worker; whether it triangulates anew (a cancel at start leaves no triangle);
// whether a cancelled run leaves the state it started from (but its log); the TransformMode.
using Worker = std::tuple<const char*, int, bool, bool, int>;

class CancellationTest : public test::StateTest, public ::testing::WithParamInterface<Worker> {
 protected:
  ~CancellationTest() override { EndProgram(State()); }

  void Run(int id) {
    platform_.fileAnswers = {"points.txt"};
    ASSERT_TRUE(RunCommand(id, platform_)) << id;
    ASSERT_TRUE(platform_.messages.empty()) << platform_.messages[0].text;
  }

  CancellingPlatform platform_;
};

TEST_P(CancellationTest, StateHoldsTogetherAndTheNextRunIsWhole) {
  const auto& [name, command, remeshes, undone, transformMode] = GetParam();
  // A program with a detected grid, and its points in "points.txt": where each command starts.
  State().MAXPoints = 300;  // small point arrays keep the snapshots cheap
  StartProgram(platform_);
  ASSERT_TRUE(
      test::PutGridImage(GenerateGrid({.width = 151, .height = 141, .pitch = 19, .radius = 6})));
  State().MinPatchSize = 50;
  State().EdgeGrid = 8;
  State().TransformMode = transformMode;
  if (command != IDM_AUTODETECT) {
    Run(IDM_AUTODETECT);
    Run(IDM_POINTS_SAVE);
  }
  // The corrected points of an earlier adjustment, which a cancelled one must keep.
  if (command == IDM_ADJUST) test::WriteFile("CorrectedPoints.txt", "earlier run\n");
  const Snapshot before = Take();
  Run(command);
  const Snapshot reference = Take();
  const ProgramState &start = *before.state, &full = *reference.state;
  ASSERT_GT(full.NumberOfTriangles, 10);
  for (unsigned seed = 0; seed < 24; ++seed) {
    SCOPED_TRACE(std::string(name) + " seed " + std::to_string(seed));
    Put(before);
    std::mt19937 random(seed);
    platform_.kind = seed == 0 ? 0 : 1 + int(random() % 3);
    platform_.value = int(random() % std::array{1u, 3000u, 100u, 150u}[platform_.kind]);
    Run(command);
    ExpectConsistent();
    const Snapshot cancelled = Take();
    const ProgramState& now = *cancelled.state;
    EXPECT_TRUE(seed != 0 || !remeshes || now.NumberOfTriangles == 0);
    // Over the same points a cancelled triangulation keeps a prefix of the full one.
    const std::vector<int> triangles = Triangles(now), fullTriangles = Triangles(full);
    EXPECT_TRUE(now.PointsInput != full.PointsInput || now.NumberOfPoints != full.NumberOfPoints ||
                (triangles.size() <= fullTriangles.size() &&
                 std::equal(triangles.begin(), triangles.end(), fullTriangles.begin())));
    if (Differences(cancelled, reference).empty()) continue;  // cancelled after the last poll
    if (undone) {
      const std::string left = Differences(cancelled, before);
      EXPECT_TRUE(left.empty() || left == "file Trace.log ") << left;
    }
    if (command == IDM_ADJUST) {
      EXPECT_EQ(cancelled.files.at("CorrectedPoints.txt"), "earlier run\n");
      // Each point keeps its ideal position or has its full correction, in point order; a run
      // that corrected none leaves the state for a whole new run.
      const auto row = [](const ProgramState& from, long k) {
        return std::vector(&from.PointsInput[4 * k], &from.PointsInput[4 * k + 4]);
      };
      long corrected = 0;
      while (corrected < start.NumberOfPoints && row(now, corrected) == row(full, corrected))
        ++corrected;
      for (long k = corrected; k < start.NumberOfPoints; ++k) EXPECT_EQ(row(now, k), row(start, k));
      if (corrected > 0) continue;
    }
    platform_.kind = -1;
    Run(command);
    EXPECT_EQ(Differences(Take(), reference), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Workers, CancellationTest,
                         ::testing::Values(Worker("Detection", IDM_AUTODETECT, true, false, 0),
                                           Worker("Triangulation", IDM_POINTS_OPEN, true, false, 0),
                                           Worker("Transformation", IDM_TRANSFORM, false, false, 0),
                                           Worker("FlatField", IDM_TRANSFORM, false, true, 1),
                                           Worker("Extrapolation", IDM_EXTRAPOLATE, false, true, 0),
                                           Worker("Adjustment", IDM_ADJUST, false, false, 0)),
                         [](const auto& info) { return std::string(std::get<0>(info.param)); });

}  // namespace
}  // namespace zmr
