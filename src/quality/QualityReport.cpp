#include "quality/QualityReport.h"

#include <cstdio>
#include <system_error>
#include <thread>

#include "geometry/TriangleLocation.h"
#include "quality/ReportHtml.h"
#include "quality/ReportJson.h"
#include "state/CNumericLocale.h"
#include "state/ProgramState.h"
#include "state/SafeWrite.h"

namespace zmr {
namespace {

// Shares of the progress bar.
constexpr int kLeaveOneOutShare = 40;
constexpr int kTablesShare = 40;

constexpr const char* kCancelled = "the report was cancelled before this was computed";

bool Cancelled(const ProgramState& s) { return s.fTerminated.load(std::memory_order_relaxed) != 0; }

std::string Format(const char* format, double value) {
  CNumericLocale cLocale;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

}  // namespace

std::string QualityReportProblem(const ProgramState& s) {
  if (s.NumberOfPoints < 3 || SearchableTriangleCount(s) <= 0 ||
      s.PointsInput.size() < 4 * static_cast<std::size_t>(s.NumberOfPoints)) {
    return kErrorNoCalibrationForReport;
  }
  return "";
}

bool BuildQualityReport(ProgramState& s, QualityReport& report) {
  report = QualityReport{};
  if (!QualityReportProblem(s).empty()) return false;
  report.width = s.cxDib;
  report.height = s.cyDib;
  s.iProgressStatus.store(0, std::memory_order_relaxed);
  report.region = DescribeExtrapolatedRegion(s, s.cxDib, s.cyDib);
  report.mesh = AssessMesh(s, report.region.measured);

  // The closure works on a record of its own and only reads s, as the other sections do: it
  // runs on a second thread meanwhile (here, when no thread can be started).
  const auto closure = [&s, &report] {
    RunClosure(s, report.region.measured, report.closure, &s.fTerminated);
  };
  std::thread closureThread;
  try {
    closureThread = std::thread(closure);
  } catch (const std::system_error&) {
  }

  report.leaveOneOutComputed =
      ComputeLeaveOneOut(s, report.region.measured, report.leaveOneOut, &s.fTerminated,
                         &s.iProgressStatus, kLeaveOneOutShare);
  if (!report.leaveOneOutComputed) {
    report.reasons.emplace_back("leave_one_out", kCancelled);
  } else if (report.leaveOneOut.stats.count == 0) {
    report.reasons.emplace_back("leave_one_out",
                                "no measured point lies inside the mesh of the other points");
  }

  if (Cancelled(s)) {
    report.reasons.emplace_back("table", kCancelled);
  } else {
    report.tablesComputed = AssessTables(s, s.cxDib, s.cyDib, report.tables, &s.fTerminated,
                                         &s.iProgressStatus, kTablesShare);
    if (!report.tablesComputed) {
      report.reasons.emplace_back(
          "table", Cancelled(s) ? kCancelled : "not enough memory to map the pixels");
    } else if (report.tables.zmr.pixels == 0) {
      report.reasons.emplace_back("table",
                                  "no pixel of the triangulated zone lies inside the .zmr table");
    }
  }

  if (closureThread.joinable()) {
    closureThread.join();
  } else {
    closure();
  }
  if (!report.closure.computed)
    report.reasons.insert(report.reasons.begin(), {"closure", report.closure.reason});
  if (!(report.mesh.pitch > 0)) {
    report.reasons.emplace_back("mesh", "no triangle joins three measured points, so no pitch");
  }
  s.iProgressStatus.store(100, std::memory_order_relaxed);
  return true;
}

std::string QualitySummaryLine(const QualityReport& r) {
  std::string line = "Quality: ";
  if (r.closure.computed) {
    line += "closure " + Format("%.3f", r.closure.all.rms) + " px RMS, " +
            Format("%.3f", r.closure.all.max) + " px max (" + std::to_string(r.closure.all.count) +
            " spots); ";
  } else {
    line += "no closure (" + r.closure.reason + "); ";
  }
  if (r.leaveOneOutComputed && r.leaveOneOut.stats.count > 0) {
    line += "leave-one-out " + Format("%.3f", r.leaveOneOut.stats.rms) + " px RMS, " +
            Format("%.3f", r.leaveOneOut.stats.max) + " px max; ";
  }
  line += std::to_string(r.tables.wrappedNodes) + " wrapped nodes, " +
          std::to_string(r.mesh.foldovers) + " fold-overs";
  return line;
}

std::string QualitySummaryText(const QualityReport& r) {
  std::string text;
  const auto add = [&text](const std::string& name, const std::string& value) {
    char line[256];
    std::snprintf(line, sizeof line, "%-34s %s\n", name.c_str(), value.c_str());
    text += line;
  };
  const auto px = [](bool ok, double v) { return ok ? Format("%.3f px", v) : std::string("-"); };
  add("Measured points", std::to_string(r.region.measured));
  add("Extrapolated points", std::to_string(r.region.extrapolated));
  const Closure& c = r.closure;
  if (c.computed) {
    add("Closure spots", std::to_string(c.all.count));
    add("Closure pitch", Format("%.3f px", c.fit.pitch));
    add("Closure RMS / p95 / max",
        px(true, c.all.rms) + " / " + px(true, c.all.p95) + " / " + px(true, c.all.max));
    add("  inside the measured zone", px(c.measuredZone.count > 0, c.measuredZone.rms) + " RMS, " +
                                          px(c.measuredZone.count > 0, c.measuredZone.max) +
                                          " max (" + std::to_string(c.measuredZone.count) + ")");
    add("  in the extrapolated zone",
        px(c.extrapolatedZone.count > 0, c.extrapolatedZone.rms) + " RMS, " +
            px(c.extrapolatedZone.count > 0, c.extrapolatedZone.max) + " max (" +
            std::to_string(c.extrapolatedZone.count) + ")");
  } else {
    add("Closure", "not computed: " + c.reason);
  }
  const bool loo = r.leaveOneOutComputed && r.leaveOneOut.stats.count > 0;
  add("Leave-one-out points", std::to_string(r.leaveOneOut.stats.count) + " (" +
                                  std::to_string(r.leaveOneOut.unpredicted) + " on the boundary)");
  add("Leave-one-out RMS / max",
      px(loo, r.leaveOneOut.stats.rms) + " / " + px(loo, r.leaveOneOut.stats.max));
  const bool tables = r.tablesComputed && r.tables.zmr.pixels > 0;
  add(".zmr nodes in the image", std::to_string(r.tables.nodesInImage));
  add(".zmr wrapped nodes", std::to_string(r.tables.wrappedNodes));
  add(".zmr quantisation max", px(true, r.tables.quantisationMax));
  add(".zmr sampling RMS / max",
      px(tables, r.tables.zmr.rms) + " / " + px(tables, r.tables.zmr.max));
  const bool ascii = r.tablesComputed && r.tables.ascii.pixels > 0;
  add("ASCII table sampling RMS / max",
      px(ascii, r.tables.ascii.rms) + " / " + px(ascii, r.tables.ascii.max));
  add("Triangles", std::to_string(r.mesh.triangles));
  add("Fold-overs", std::to_string(r.mesh.foldovers));
  add("Area change min / max",
      Format("%.4f", r.mesh.areaChangeMin) + " / " + Format("%.4f", r.mesh.areaChangeMax));
  add("Long edges (> 1.6 pitch)", std::to_string(r.mesh.longEdges));
  add("Farthest .zmr node from a point",
      px(r.region.nodeDistanceMax >= 0, r.region.nodeDistanceMax));
  return text;
}

Result WriteQualityReport(const ProgramState& s, const QualityReport& report,
                          const std::string& prefix) {
  const auto write = [](const std::string& name, const std::string& text) {
    std::string why;
    if (WriteWholeFileBytes(name.c_str(), std::vector<std::uint8_t>(text.begin(), text.end()),
                            &why)) {
      return Result::Ok();
    }
    return Result::Fail("Error - cannot write the quality report " + name +
                        (why.empty() ? std::string() : ": " + why));
  };
  if (Result json = write(prefix + ".json", QualityReportJson(report)); !json) return json;
  return write(prefix + ".html", QualityReportHtml(s, report));
}

}  // namespace zmr
