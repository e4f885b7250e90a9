// Cancel of the five long commands at many points: a platform runs each worker on a real thread
// and sets fTerminated from the calling thread at a seeded moment, as the progress dialog's
// Cancel does. After each cancel the state must hold together, and the next run of the command
// must give, whole, what a run that was never cancelled gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "gridgen/GridGen.h"
#include "state/ProgramState.h"
#include "support/FakePlatform.h"
#include "support/GridImageLoad.h"
#include "support/TestSupport.h"
#include "ui/CommandTable.h"
#include "ui/Startup.h"
#include "ui/resource.h"

namespace zmr {
namespace {

// When the calling thread presses Cancel: before the worker starts, after a number of spins,
// or once a counter has reached a value.
struct CancelPlan {
  enum Kind { kNever, kAtStart, kAfterSpins, kAtProgress, kAtTriangles } kind = kNever;
  int value = 0;
};

CancelPlan PlanFromSeed(unsigned seed) {
  if (seed == 0) return {CancelPlan::kAtStart, 0};
  std::mt19937 rng(seed);
  const auto kind = static_cast<CancelPlan::Kind>(CancelPlan::kAfterSpins + rng() % 3);
  const unsigned range[] = {3000, 100, 150};
  return {kind, static_cast<int>(rng() % range[kind - CancelPlan::kAfterSpins])};
}

class CancellingPlatform : public test::FakePlatform {
 public:
  void RunWorker(ProgressDialog dialog, const std::function<void()>& work) override {
    workers.push_back(dialog);
    ProgramState& s = State();
    if (plan.kind == CancelPlan::kAtStart) s.fTerminated.store(1, std::memory_order_release);
    std::thread worker(work);
    for (int spin = 0; plan.kind > CancelPlan::kAtStart; ++spin) {
      const bool due = (plan.kind == CancelPlan::kAfterSpins && spin >= plan.value) ||
                       (plan.kind == CancelPlan::kAtProgress &&
                        s.iProgressStatus.load(std::memory_order_relaxed) >= plan.value) ||
                       (plan.kind == CancelPlan::kAtTriangles &&
                        s.iTriangles.load(std::memory_order_relaxed) >= plan.value);
      int running = 0;
      if (due) {
        s.fTerminated.compare_exchange_strong(running, 1, std::memory_order_acq_rel);
        break;
      }
      if (s.fTerminated.load(std::memory_order_acquire) != 0) break;  // the worker has finished
      std::this_thread::yield();
    }
    worker.join();
  }
  CancelPlan plan;
};

// Everything a command may change, as named bytes: the state and the files of the folder.
using Snapshot = std::map<std::string, std::string>;

// Calls f(name, member) for every member of the state that a command may change.
template <typename F>
void VisitState(ProgramState& s, F&& f) {
  f("Msource", s.Msource), f("Mtarget", s.Mtarget), f("deltaX", s.deltaX);
  f("deltaY", s.deltaY), f("Signal", s.Signal), f("Area", s.Area);
  f("PointsInput", s.PointsInput), f("PointsOutput", s.PointsOutput);
  f("PointsBuffer", s.PointsBuffer), f("Tpoints", s.Tpoints), f("SX", s.SX), f("SY", s.SY);
  f("Pi", s.Pi), f("Pj", s.Pj), f("Pflag", s.Pflag), f("PMatrix", s.PMatrix);
  f("NumberOfPoints", s.NumberOfPoints), f("NumberOfTriangles", s.NumberOfTriangles);
  f("ORBIKPoints", s.ORBIKPoints), f("ImageM", s.ImageM), f("ImageN", s.ImageN);
  f("cxDib", s.cxDib), f("cyDib", s.cyDib), f("TraceFlag", s.TraceFlag);
  f("OccupiedPoints", s.OccupiedPoints), f("cCurrentBitmap", s.cCurrentBitmap);
  f("Edge", s.Edge), f("Origin", s.Origin), f("ug", s.ug), f("vg", s.vg), f("Pc", s.Pc);
  f("WX_LS", s.WX_LS), f("fBitmap", s.fBitmap);
  for (DisplayBitmap& bitmap : s.hBitmap) {
    f("hBitmap pixels", bitmap.pixels), f("hBitmap width", bitmap.width);
    f("hBitmap height", bitmap.height);
  }
}

template <typename T>
void Keep(Snapshot& out, const std::string& name, const T* data, std::size_t count) {
  const std::string index = std::to_string(100 + out.size()).substr(1);  // keeps the order
  out[index + " " + name] = std::string(reinterpret_cast<const char*>(data), count * sizeof(T));
}

Snapshot Take() {
  Snapshot out;
  VisitState(State(), [&out](const char* name, auto& member) {
    if constexpr (requires {
                    member.data();
                    member.resize(0);
                  }) {
      Keep(out, name, member.data(), member.size());
    } else {
      Keep(out, name, &member, 1);
    }
  });
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    out["file " + entry.path().filename().string()] = test::ReadFile(entry.path().string());
  }
  return out;
}

// Puts back the state and the files of a snapshot.
void Put(const Snapshot& in) {
  auto next = in.begin();
  VisitState(State(), [&next](const char*, auto& member) {
    const std::string& bytes = (next++)->second;
    if constexpr (requires {
                    member.data();
                    member.resize(0);
                  }) {
      member.resize(bytes.size() / sizeof(member[0]));
      if (!bytes.empty()) std::memcpy(member.data(), bytes.data(), bytes.size());
    } else {
      std::memcpy(&member, bytes.data(), bytes.size());
    }
  });
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    std::filesystem::remove_all(entry.path());
  }
  for (; next != in.end(); ++next) test::WriteFile(next->first.substr(5), next->second);
}

// The names whose bytes differ, for the failure message.
std::string Differences(const Snapshot& a, const Snapshot& b) {
  std::string out;
  for (const auto& [name, bytes] : a) {
    const auto other = b.find(name);
    if (other == b.end() || other->second != bytes) out += name + " ";
  }
  for (const auto& entry : b) {
    if (a.count(entry.first) == 0) out += entry.first + " ";
  }
  return out;
}

// The triangles as index triples.
std::vector<int> Triangles() {
  const ProgramState& s = State();
  return std::vector<int>(s.Tpoints.begin(), s.Tpoints.begin() + 3 * s.NumberOfTriangles);
}

// The measured positions of the points (the triangulated coordinates).
std::vector<double> MeasuredPoints() {
  const ProgramState& s = State();
  std::vector<double> out;
  for (long k = 0; k < s.NumberOfPoints; ++k) {
    out.insert(out.end(), &s.PointsInput[4 * k], &s.PointsInput[4 * k + 2]);
  }
  return out;
}

// Sizes and indices that every command may rely on.
void ExpectConsistent() {
  const ProgramState& s = State();
  const auto maxPoints = static_cast<std::size_t>(s.MAXPoints);
  EXPECT_EQ(s.fTerminated.load(), 1);
  EXPECT_EQ(s.PointsInput.size(), 4 * maxPoints);
  EXPECT_EQ(s.PointsOutput.size(), 4 * maxPoints);
  EXPECT_EQ(s.PointsBuffer.size(), 2 * maxPoints);
  for (const auto* v : {&s.Pi, &s.Pj, &s.Pflag}) EXPECT_EQ(v->size(), maxPoints);
  for (const auto* v : {&s.SX, &s.SY}) EXPECT_EQ(v->size(), maxPoints);
  ASSERT_GE(s.NumberOfPoints, 0);
  ASSERT_LT(s.NumberOfPoints, s.MAXPoints);
  ASSERT_GE(s.NumberOfTriangles, 0);
  ASSERT_LE(3 * static_cast<std::size_t>(s.NumberOfTriangles), s.Tpoints.size());
  EXPECT_EQ(s.iTriangles.load(), s.NumberOfTriangles);
  for (int index : Triangles()) {
    ASSERT_GE(index, 0);
    ASSERT_LT(index, s.NumberOfPoints);
  }
  const auto pixels = static_cast<std::size_t>(s.cxDib) * static_cast<std::size_t>(s.cyDib);
  EXPECT_EQ(s.Msource.size(), pixels);
  EXPECT_EQ(s.Mtarget.size(), pixels);
  for (const auto* v : {&s.deltaX, &s.deltaY, &s.Signal}) EXPECT_EQ(v->size(), pixels);
  EXPECT_EQ(s.Area.size(), pixels);
}

struct Worker {
  const char* name;
  int command;
  bool remeshes;  // the worker triangulates anew: a cancel at start leaves no triangle
  bool undone;    // a cancelled run leaves the state it started from (but its log)
};

class CancellationTest : public test::StateTest, public ::testing::WithParamInterface<Worker> {
 protected:
  ~CancellationTest() override { EndProgram(); }

  void Run(int id) {
    if (id == IDM_POINTS_OPEN) platform_.fileAnswers = {"points.txt"};
    ASSERT_TRUE(RunCommand(id, platform_)) << id;
    ASSERT_TRUE(platform_.messages.empty()) << platform_.messages[0].text;
  }

  // A program with a detected grid, and its points in "points.txt": the state each command
  // starts from.
  void Prepare() {
    State().MAXPoints = 300;  // small point arrays keep the snapshots cheap
    StartProgram(platform_);
    GridSpec gridSpec;
    gridSpec.width = 151;
    gridSpec.height = 141;
    gridSpec.pitch = 19;
    gridSpec.radius = 6;
    ASSERT_TRUE(test::PutGridImage(GenerateGrid(gridSpec)));
    ProgramState& s = State();
    s.MinPatchSize = 50;
    s.EdgeGrid = 8;
    if (GetParam().command == IDM_AUTODETECT) return;
    Run(IDM_AUTODETECT);
    platform_.fileAnswers = {"points.txt"};
    Run(IDM_POINTS_SAVE);
  }

  CancellingPlatform platform_;
};

TEST_P(CancellationTest, StateHoldsTogetherAndTheNextRunIsWhole) {
  const Worker& worker = GetParam();
  Prepare();
  const Snapshot before = Take();
  const long pointsBefore = State().NumberOfPoints;
  const std::vector<double> oldInput = State().PointsInput;
  Run(worker.command);
  const Snapshot reference = Take();
  const std::vector<double> fullInput = State().PointsInput;
  const std::vector<int> fullTriangles = Triangles();
  const std::vector<double> fullPoints = MeasuredPoints();
  ASSERT_GT(State().NumberOfTriangles, 10);

  for (unsigned seed = 0; seed < 24; ++seed) {
    SCOPED_TRACE(std::string(worker.name) + " seed " + std::to_string(seed));
    Put(before);
    ASSERT_EQ(Differences(Take(), before), "");
    platform_.plan = PlanFromSeed(seed);
    Run(worker.command);
    ExpectConsistent();
    if (seed == 0 && worker.remeshes) {
      EXPECT_EQ(State().NumberOfTriangles, 0);
    }
    // Over the same points a cancelled triangulation keeps a prefix of the full one.
    if (MeasuredPoints() == fullPoints) {
      const std::vector<int> triangles = Triangles();
      ASSERT_LE(triangles.size(), fullTriangles.size());
      EXPECT_TRUE(std::equal(triangles.begin(), triangles.end(), fullTriangles.begin()));
    }
    const Snapshot cancelled = Take();
    if (cancelled == reference) continue;  // the cancel came after the last poll
    if (worker.undone) {
      EXPECT_EQ(Differences(cancelled, before), "file Trace.log ");
    }

    if (worker.command == IDM_ADJUST) {
      // Each point keeps its ideal position or has its full correction, in point order; a run
      // that corrected none leaves the state for a whole new run.
      const double* input = State().PointsInput.data();
      const std::size_t row = 4 * sizeof(double);
      long corrected = 0;
      while (corrected < pointsBefore &&
             std::memcmp(&input[4 * corrected], &fullInput[4 * corrected], row) == 0) {
        ++corrected;
      }
      for (long k = corrected; k < pointsBefore; ++k) {
        EXPECT_EQ(std::memcmp(&input[4 * k], &oldInput[4 * k], row), 0) << k;
      }
      if (corrected > 0) continue;
    }
    platform_.plan = CancelPlan();
    Run(worker.command);
    EXPECT_EQ(Differences(Take(), reference), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Workers, CancellationTest,
                         ::testing::Values(Worker{"Detection", IDM_AUTODETECT, true, false},
                                           Worker{"Triangulation", IDM_POINTS_OPEN, true, false},
                                           Worker{"Transformation", IDM_TRANSFORM, false, false},
                                           Worker{"Extrapolation", IDM_EXTRAPOLATE, false, true},
                                           Worker{"Adjustment", IDM_ADJUST, false, false}),
                         [](const ::testing::TestParamInfo<Worker>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace zmr
