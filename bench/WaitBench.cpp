// zmr_wait_bench: the times the user waits for, each the minimum of several runs.
//  (a) the demo calibration of a 769 x 769 grid through the command layer, in this process
//      (open-ostrel detect extrapolate adjust transform save-zmr);
//  (b) the adjustment after a Qt render against the same without one (through the commands),
//      and the adjustment's worker with the upper halves of the vector registers left dirty
//      against the same with them cleared: what the clearing at the start of work prevents;
//  (c) a 4096 x 4096 grid of 4073 spots calibrated by a child zmrcal: wall time and peak
//      resident memory (ru_maxrss) in bytes per pixel, without and with a render;
//  (d) when built with OpenCV: spot detection (FindCenters) against
//      cv::connectedComponentsWithStats on the same thresholded image, and the transformation
//      (RunTransform) against cv::remap of an image of the same size.
// Ends with one table of the times and ratios.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "QuietStdout.h"
#include "cli/ConsolePlatform.h"
#include "cli/Steps.h"
#include "detection/SpotDetection.h"
#include "geometry/Transform.h"
#include "imagefiles/TextImage.h"
#include "state/ProgramState.h"
#include "state/VectorState.h"
#include "ui/Startup.h"
#include "ui/Workers.h"

#ifdef ZMR_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

#ifndef ZMR_BENCH_ZMRCAL
#error "ZMR_BENCH_ZMRCAL must name the zmrcal program"
#endif
#ifndef ZMR_BENCH_GRIDGEN
#error "ZMR_BENCH_GRIDGEN must name the zmr_gridgen program"
#endif

namespace zmr {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& work) {
  const Clock::time_point start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Min(const std::vector<double>& v) {
  return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
}

using zmr::bench::QuietStdout;

// Runs a program to its end with standard output and error to /dev/null; the exit status
// (-1 when it could not run), its wall time and its peak resident size in bytes.
struct ChildRun {
  int status = -1;
  double seconds = 0;
  long long maxRssBytes = 0;
};

ChildRun RunChild(const std::vector<std::string>& args) {
  ChildRun run;
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const Clock::time_point start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) return run;
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) != pid) return run;
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.maxRssBytes = static_cast<long long>(usage.ru_maxrss) * 1024;  // kilobytes on Linux
  return run;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> out;
  std::size_t p = 0;
  while (p < text.size()) {
    const std::size_t q = text.find(' ', p);
    const std::size_t end = q == std::string::npos ? text.size() : q;
    if (end > p) out.push_back(text.substr(p, end - p));
    p = end + 1;
  }
  return out;
}

// Runs zmrcal's steps in this process on a fresh program record (as a zmrcal run does, with
// the options file of the current folder, keeping the display bitmaps only when a render step
// will come). Returns the exit status.
class CommandSession {
 public:
  explicit CommandSession(bool render = false) {
    ResetProgramState();
    State().keepDisplayBitmaps = render;
    QuietStdout quiet;
    StartProgram(platform_);
  }
  ~CommandSession() { EndProgram(platform_.Program()); }
  CommandSession(const CommandSession&) = delete;
  CommandSession& operator=(const CommandSession&) = delete;

  int Run(const std::string& line) {
    const std::vector<std::string> words = Words(line);
    std::vector<const char*> argv = {"zmrcal"};
    for (const std::string& w : words) argv.push_back(w.c_str());
    std::vector<Step> steps;
    std::string reason;
    if (!ParseSteps(static_cast<int>(argv.size()), argv.data(), 1, steps, reason)) {
      std::fprintf(stderr, "zmr_wait_bench: %s\n", reason.c_str());
      return kExitUsage;
    }
    QuietStdout quiet;
    return RunSteps(steps, platform_);
  }

 private:
  ConsolePlatform platform_;
};

struct Result {
  std::string what;
  std::string value;
  std::string goal;
};

void Check(int status, const char* what) {
  if (status != 0) {
    std::fprintf(stderr, "zmr_wait_bench: %s ended with status %d\n", what, status);
    std::exit(1);
  }
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Leaves the upper halves of the 256-bit registers dirty, as drawing code that ends without
// clearing them does.
void DirtyUpperVectorState() {
#if defined(__x86_64__)
  if (__builtin_cpu_supports("avx")) {
    __asm__ volatile("vpcmpeqd %%ymm15, %%ymm15, %%ymm15" ::: "xmm15");
  }
#endif
}

// Two million arctangents, as the adjustment computes one per pixel; the seconds taken.
double ArctangentLoop() {
  volatile double sink = 0.0;
  return Seconds([&] {
    double sum = 0.0;
    for (int i = 0; i < 2000000; ++i) sum += std::atan2(i * 1e-3 + 0.5, 1.3 + i * 1e-6);
    sink = sum;
  });
}

constexpr const char* kCalibration =
    "open-ostrel sample.txt detect extrapolate adjust transform save-zmr detector.zmr";

// (a) the demo calibration through the command layer.
void BenchDemo(int runs, std::vector<Result>& results) {
  Check(RunChild({ZMR_BENCH_GRIDGEN, "--out", "sample"}).status, "zmr_gridgen");
  std::vector<double> times;
  for (int r = 0; r < runs; ++r) {
    CommandSession session;
    times.push_back(Seconds([&] { Check(session.Run(kCalibration), "demo calibration"); }));
  }
  results.push_back(
      {"769x769 demo calibration, commands (ms)", Format("%.1f", Min(times) * 1e3), "<= 60"});
}

// (b) the adjustment after a render and without; the worker with dirty and clean registers.
void BenchAdjust(int runs, std::vector<Result>& results) {
  const std::string prefix = "open-ostrel sample.txt detect extrapolate";
  std::vector<double> plain;
  std::vector<double> rendered;
  for (int r = 0; r < runs; ++r) {
    for (int withRender = 0; withRender < 2; ++withRender) {
      CommandSession session(withRender != 0);
      Check(session.Run(prefix), "detection and extrapolation");
      if (withRender) Check(session.Run("overlay triangles on render adjust.png"), "render");
      const double t = Seconds([&] { Check(session.Run("adjust"), "adjust"); });
      (withRender ? rendered : plain).push_back(t);
    }
  }
  std::vector<double> clean;
  std::vector<double> dirty;
  {
    CommandSession session;
    Check(session.Run(prefix), "detection and extrapolation");
    ProgramState& s = State();
    const std::vector<double> points = s.PointsInput;
    for (int r = 0; r < runs; ++r) {
      for (int withDirt = 0; withDirt < 2; ++withDirt) {
        s.PointsInput = points;
        s.fTerminated.store(0);  // the command's worker left it set when it finished
        QuietStdout quiet;
        if (withDirt) {
          DirtyUpperVectorState();
        } else {
          ClearUpperVectorState();
        }
        const double t = Seconds([&] { ThreadCenter(&s); });
        (withDirt ? dirty : clean).push_back(t);
      }
    }
  }
  // The arctangent alone: inside the adjustment the C library's vector copies clear the
  // upper halves again on some processors before its arctangents run.
  std::vector<double> atanClean;
  std::vector<double> atanDirty;
  for (int r = 0; r < runs; ++r) {
    ClearUpperVectorState();
    atanClean.push_back(ArctangentLoop());
    DirtyUpperVectorState();
    atanDirty.push_back(ArctangentLoop());
    ClearUpperVectorState();
  }
  results.push_back({"769x769 adjust without render (ms)", Format("%.2f", Min(plain) * 1e3), ""});
  results.push_back({"769x769 adjust after render (ms)", Format("%.2f", Min(rendered) * 1e3), ""});
  results.push_back(
      {"  ratio after render / without", Format("%.2fx", Min(rendered) / Min(plain)), "<= 1.2"});
  results.push_back(
      {"adjust worker, upper state clean (ms)", Format("%.2f", Min(clean) * 1e3), ""});
  results.push_back(
      {"adjust worker, upper state dirty (ms)", Format("%.2f", Min(dirty) * 1e3), ""});
  results.push_back({"  ratio dirty / clean (what the clearing prevents)",
                     Format("%.2fx", Min(dirty) / Min(clean)), ""});
  results.push_back(
      {"2M arctangents, upper state clean (ms)", Format("%.2f", Min(atanClean) * 1e3), ""});
  results.push_back(
      {"2M arctangents, upper state dirty (ms)", Format("%.2f", Min(atanDirty) * 1e3), ""});
  results.push_back(
      {"  ratio dirty / clean", Format("%.2fx", Min(atanDirty) / Min(atanClean)), ""});
}

// The 4096 x 4096 grid of (c) and (d), as large.txt in the scratch folder.
void MakeLargeGrid() {
  Check(RunChild({ZMR_BENCH_GRIDGEN, "--size", "4096x4096", "--pitch", "64", "--radius", "22",
                  "--out", "large"})
            .status,
        "zmr_gridgen 4096");
}

// (c) the 4096 x 4096 grid through a child zmrcal.
void BenchLarge(int runs, std::vector<Result>& results) {
  const double pixels = 4096.0 * 4096.0;
  const std::string steps =
      "set ImageWidth 4096 ImageHeight 4096 open-ostrel large.txt detect extrapolate adjust "
      "transform save-zmr large.zmr";
  for (int withRender = 0; withRender < 2; ++withRender) {
    std::vector<std::string> args = {ZMR_BENCH_ZMRCAL};
    for (const std::string& w : Words(steps)) args.push_back(w);
    if (withRender) {
      args.push_back("render");
      args.push_back("large.png");
    }
    std::vector<double> times;
    long long rss = std::numeric_limits<long long>::max();
    for (int r = 0; r < runs; ++r) {
      const ChildRun run = RunChild(args);
      Check(run.status, "zmrcal 4096");
      times.push_back(run.seconds);
      rss = std::min(rss, run.maxRssBytes);
    }
    const char* label = withRender ? "4096x4096 calibration + render" : "4096x4096 calibration";
    results.push_back({std::string(label) + ", zmrcal (s)", Format("%.3f", Min(times)),
                       withRender ? "" : "<= 1.5"});
    results.push_back({std::string(label) + ", peak (B/px)", Format("%.1f", rss / pixels),
                       withRender ? "" : "<= 45"});
  }
}

#ifdef ZMR_BENCH_OPENCV
// (d) detection and transformation against OpenCV on the 4096 x 4096 grid.
void BenchOpenCv(int runs, std::vector<Result>& results) {
  const int size = 4096;
  std::vector<double> detection;
  std::vector<double> components;
  std::vector<double> transform;
  std::vector<double> remap;
  {
    CommandSession session;
    Check(session.Run(
              "set ImageWidth 4096 ImageHeight 4096 open-ostrel large.txt detect extrapolate"),
          "4096 preparation");
    ProgramState& s = State();
    if (s.cxDib != size || s.cyDib != size ||
        s.Msource.size() != static_cast<std::size_t>(size) * size) {
      std::fprintf(stderr, "zmr_wait_bench: the 4096 x 4096 image did not open (%d x %d)\n",
                   s.cxDib, s.cyDib);
      std::exit(1);
    }
    const int threshold = static_cast<int>(s.Threshold);
    // The thresholded image OpenCV labels: the pixels FindCenters may take (darker than the
    // threshold) set.
    cv::Mat binary(size, size, CV_8UC1);
    for (int j = 0; j < size; ++j) {
      for (int i = 0; i < size; ++i) {
        binary.at<std::uint8_t>(j, i) =
            s.Msource[static_cast<std::size_t>(j) * size + i] < threshold ? 255 : 0;
      }
    }
    std::vector<double> px(static_cast<std::size_t>(s.MAXPoints));
    std::vector<double> py(static_cast<std::size_t>(s.MAXPoints));
    std::vector<int> table(s.Mtarget.size());
    cv::Mat labels;
    cv::Mat stats;
    cv::Mat centroids;
    // The source image as floats and a map of the same size for cv::remap: a mild barrel
    // pull towards the centre, as a correction would apply.
    cv::Mat image(size, size, CV_32FC1);
    cv::Mat mapX(size, size, CV_32FC1);
    cv::Mat mapY(size, size, CV_32FC1);
    const double c = (size - 1) / 2.0;
    for (int j = 0; j < size; ++j) {
      for (int i = 0; i < size; ++i) {
        image.at<float>(j, i) =
            static_cast<float>(s.Msource[static_cast<std::size_t>(j) * size + i]);
        const double dx = i - c;
        const double dy = j - c;
        const double k = 1.0 - 0.02 * (dx * dx + dy * dy) / (2 * c * c);
        mapX.at<float>(j, i) = static_cast<float>(c + dx * k);
        mapY.at<float>(j, i) = static_cast<float>(c + dy * k);
      }
    }
    cv::Mat warped;
    for (int r = 0; r < runs; ++r) {
      s.fTerminated.store(0);  // the command's worker left it set when it finished
      std::fill(table.begin(), table.end(), kFreeLabel);
      {
        QuietStdout quiet;
        detection.push_back(Seconds([&] {
          FindCenters(s, size, size, table.data(), s.Msource.data(), threshold, s.MinPatchSize,
                      px.data(), py.data());
        }));
      }
      components.push_back(Seconds(
          [&] { cv::connectedComponentsWithStats(binary, labels, stats, centroids, 4, CV_32S); }));
      {
        QuietStdout quiet;
        transform.push_back(Seconds([&] { RunTransform(s, size, size); }));
      }
      remap.push_back(Seconds(
          [&] { cv::remap(image, warped, mapX, mapY, cv::INTER_LINEAR, cv::BORDER_CONSTANT); }));
    }
  }
  results.push_back(
      {"4096x4096 spot detection FindCenters (ms)", Format("%.1f", Min(detection) * 1e3), ""});
  results.push_back({"4096x4096 cv::connectedComponentsWithStats (ms)",
                     Format("%.1f", Min(components) * 1e3), ""});
  results.push_back(
      {"  ratio FindCenters / OpenCV", Format("%.2fx", Min(detection) / Min(components)), "<= 1"});
  results.push_back(
      {"4096x4096 transformation RunTransform (ms)", Format("%.1f", Min(transform) * 1e3), ""});
  results.push_back(
      {"4096x4096 cv::remap, bilinear, float (ms)", Format("%.1f", Min(remap) * 1e3), ""});
  results.push_back(
      {"  ratio RunTransform / cv::remap", Format("%.2fx", Min(transform) / Min(remap)), "<= 4"});
}
#endif

int Main(int argc, char** argv) {
  int runs = 5;
  bool large = true;
  bool opencvOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--no-large") {
      large = false;
    } else if (arg == "--opencv-only") {
      opencvOnly = true;
    } else {
      std::fprintf(stderr, "usage: zmr_wait_bench [--runs N] [--no-large | --opencv-only]\n");
      return 2;
    }
  }
  // The render step draws with Qt, which needs a QGuiApplication (as in zmrcal).
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int guiArgc = 1;
  static char guiName[] = "zmr_wait_bench";
  static char* guiArgv[] = {guiName, nullptr};
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  QGuiApplication gui(guiArgc, guiArgv);
  std::setlocale(LC_ALL, "C");

  const std::filesystem::path scratch =
      std::filesystem::temp_directory_path() / ("zmr_wait_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(scratch);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(scratch);

  std::vector<Result> results;
  if (!opencvOnly) {
    std::fprintf(stderr, "zmr_wait_bench: demo calibration\n");
    BenchDemo(runs, results);
    std::fprintf(stderr, "zmr_wait_bench: adjustment\n");
    BenchAdjust(runs, results);
  }
  if (large || opencvOnly) MakeLargeGrid();
  if (large && !opencvOnly) {
    std::fprintf(stderr, "zmr_wait_bench: 4096 x 4096 calibration\n");
    BenchLarge(runs, results);
  }
  if (large || opencvOnly) {
#ifdef ZMR_BENCH_OPENCV
    std::fprintf(stderr, "zmr_wait_bench: against OpenCV\n");
    BenchOpenCv(runs, results);
#endif
  }

  std::filesystem::current_path(previous);
  std::filesystem::remove_all(scratch);

  std::printf("What the user waits for: minimum of %d runs\n\n", runs);
  std::printf("%-52s %12s %10s\n", "measurement", "value", "goal");
  for (const Result& r : results) {
    std::printf("%-52s %12s %10s\n", r.what.c_str(), r.value.c_str(), r.goal.c_str());
  }
#ifndef ZMR_BENCH_OPENCV
  if (large) std::printf("\nBuilt without OpenCV: no comparison with it.\n");
#endif
  return 0;
}

}  // namespace
}  // namespace zmr

int main(int argc, char** argv) { return zmr::Main(argc, argv); }
