// The quality report of the current calibration: how many points were measured and how many
// the extrapolation added, the closure test, the leave-one-out error, the fidelity of the
// correction tables and the health of the mesh; the files PREFIX.json and PREFIX.html that
// hold it, and the one-line and the several-line summaries shown to the user.
//
// Threads: BuildQualityReport runs on the report worker (it updates iProgressStatus and polls
// fTerminated of the record); the rest on whichever thread holds the report.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "quality/Closure.h"
#include "quality/Extrapolated.h"
#include "quality/LeaveOneOut.h"
#include "quality/MeshHealth.h"
#include "quality/TableFidelity.h"
#include "state/Result.h"

namespace zmr {

struct ProgramState;

inline constexpr const char* kErrorNoCalibrationForReport =
    "Error - the quality report needs a calibration: at least 3 calibration points and their "
    "triangles";

struct QualityReport {
  long width = 0;  // the image the tables are assessed over
  long height = 0;
  ExtrapolatedRegion region;
  Closure closure;
  bool leaveOneOutComputed = false;
  LeaveOneOut leaveOneOut;
  bool tablesComputed = false;
  TableFidelity tables;
  MeshHealth mesh;
  // Why a figure is missing: (section, reason), in section order.
  std::vector<std::pair<std::string, std::string>> reasons;
};

// Why BuildQualityReport would refuse, as a message for the user; "" when it can run.
std::string QualityReportProblem(const ProgramState& s);

// The report of the calibration s holds, over its cxDib x cyDib image. Reads s only, apart
// from its progress counters; a cancel (fTerminated) leaves the sections not yet done missing,
// with a reason. False when QualityReportProblem reports a problem.
bool BuildQualityReport(ProgramState& s, QualityReport& report);

// One line: the closure figures when there are any, the leave-one-out figures, the wrapped
// nodes and the fold-overs.
std::string QualitySummaryLine(const QualityReport& report);

// The summary table as lines of text, for the dialog and the console.
std::string QualitySummaryText(const QualityReport& report);

// PREFIX.json and PREFIX.html, each replaced whole. On failure the message names the file
// that could not be written.
Result WriteQualityReport(const ProgramState& s, const QualityReport& report,
                          const std::string& prefix);

}  // namespace zmr
