// zmr_gui_adjust_bench: the desktop program's Run > Adjustment as a person meets it, in the main
// window shown on the display (run it under Xvfb): the demo grid opened through File > Open,
// its spots detected and the grid extrapolated through the menu, then Adjustment run again and
// again on the same points, each timed from the menu command to its end (the worker under its
// progress dialog, the window repainting). Built twice: zmr_gui_adjust_bench as the program is,
// and zmr_gui_adjust_bench_unfixed linked with a ClearUpperVectorState that does nothing, as the
// program was before the upper halves of the vector registers were cleared for each worker.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "gridgen/GridGen.h"
#include "state/ProgramState.h"
#include "ui/CommandTable.h"
#include "ui/Startup.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/QtPlatform.h"
#include "ui/resource.h"

namespace {

using namespace zmr;

// A person who accepts every dialog as it comes and reads each message on standard error.
class BenchPlatform : public QtPlatform {
 public:
  void Message(const std::string& text, const std::string& caption) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
  void MessageWithReason(const std::string& text, const std::string& caption,
                         const std::string& reason) override {
    std::fprintf(stderr, "%s: %s (%s)\n", caption.c_str(), text.c_str(), reason.c_str());
  }
  bool RunImageFormatDialog(ImageFormatDialogData&) override { return true; }
};

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int runs = 9;
  for (int k = 1; k + 1 < argc; ++k) {
    if (std::string(argv[k]) == "--runs") runs = std::max(1, std::atoi(argv[k + 1]));
  }
  std::string folder = (std::filesystem::temp_directory_path() / "zmr_gui_bench_XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) return 1;
  std::filesystem::current_path(folder);
  const GridImage grid = GenerateGrid(GridSpec{});
  if (!WriteOstrelFile("demo.txt", grid, 16)) return 1;

  int status = 0;
  {
    BenchPlatform platform;
    StartProgram(platform);
    platform.SetProgressPollMilliseconds(10);
    MainWindow window(platform);
    window.show();
    QApplication::processEvents();
    platform.PresetFileName((std::filesystem::path(folder) / "demo.txt").string());
    RunCommand(IDM_OPEN_OSTREL, platform);
    RunCommand(IDM_AUTODETECT, platform);
    RunCommand(IDM_EXTRAPOLATE, platform);
    ProgramState& s = platform.Program();
    if (s.NumberOfPoints < 100) {
      std::fprintf(stderr, "the demo calibration did not detect its grid (%ld points)\n",
                   s.NumberOfPoints);
      status = 1;
    } else {
      const std::vector<double> points(s.PointsInput.begin(), s.PointsInput.end());
      std::vector<double> times;
      for (int r = 0; r < runs; ++r) {
        std::copy(points.begin(), points.end(), s.PointsInput.begin());
        QApplication::processEvents();  // the window repaints, as between two menu commands
        const auto start = std::chrono::steady_clock::now();
        RunCommand(IDM_ADJUST, platform);
        times.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
      }
      std::sort(times.begin(), times.end());
      std::printf(
          "%s: Run > Adjustment of the 769 x 769 demo, %d runs: min %.1f ms, median %.1f ms\n",
          argv[0], runs, times.front(), times[times.size() / 2]);
    }
    EndProgram(s);
  }
  std::filesystem::current_path("/");
  std::filesystem::remove_all(folder);
  return status;
}
