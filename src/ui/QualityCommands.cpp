#include "ui/QualityCommands.h"

#include <limits>
#include <string>

#include "quality/QualityReport.h"
#include "state/ProgramState.h"
#include "ui/Commands.h"
#include "ui/Platform.h"

namespace zmr {
namespace {

// The report's files are PREFIX.json and PREFIX.html: a name given with either extension
// stands for its prefix.
std::string ReportPrefix(const std::string& name) {
  for (const char* extension : {".json", ".html"}) {
    const std::string e = extension;
    if (name.size() > e.size() && name.compare(name.size() - e.size(), e.size(), e) == 0) {
      return name.substr(0, name.size() - e.size());
    }
  }
  return name;
}

}  // namespace

void CmdQualityReport(Platform& platform) {
  ProgramState& s = platform.Program();
  if (const std::string problem = QualityReportProblem(s); !problem.empty()) {
    platform.Message(problem, kMessageCaption);
    return;
  }
  std::string file = "quality";
  std::string title;
  if (!platform.AskFileName(FileDialog::QualityReport, file, title)) return;
  const std::string prefix = ReportPrefix(file);
  if (prefix.empty()) {
    platform.Message("Error - the quality report needs a file name", kMessageCaption);
    return;
  }
  QualityReport report;
  s.fTerminated.store(0, std::memory_order_relaxed);
  s.iProgressStatus.store(0, std::memory_order_relaxed);
  platform.RunWorker(ProgressDialog::QualityReport, [&s, &report] {
    BuildQualityReport(s, report);
    s.fTerminated.store(1, std::memory_order_release);
  });
  if (const Result written = WriteQualityReport(s, report, prefix); !written) {
    platform.Message(written.message(), kMessageCaption);
    return;
  }
  platform.ShowReport("Calibration quality (" + prefix + ".json, " + prefix + ".html)",
                      QualitySummaryText(report));
  // The errors for the Residuals overlay, with the points they belong to.
  const auto points = static_cast<std::size_t>(s.NumberOfPoints);
  s.residualPoints.assign(2 * points, 0.0);
  s.pointResiduals.assign(points, std::numeric_limits<double>::quiet_NaN());
  for (std::size_t k = 0; k < points; ++k) {
    s.residualPoints[2 * k] = s.PointsInput[4 * k];
    s.residualPoints[2 * k + 1] = s.PointsInput[4 * k + 1];
    if (k < report.leaveOneOut.residual.size())
      s.pointResiduals[k] = report.leaveOneOut.residual[k];
  }
  AddNote(s, QualitySummaryLine(report));
  platform.Redraw();
}

void CmdViewResiduals(Platform& platform) {
  platform.Program().cfDrawMode ^= kDrawResiduals;
  platform.Redraw();
}

}  // namespace zmr
