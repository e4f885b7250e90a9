// The quality report as JSON text: stable keys in a fixed order, numbers printed with six
// decimals in the C locale, null for a figure that could not be computed (with an entry in
// "reasons"), so that the same calibration always gives the same bytes. The keys are described
// in docs/quality-report.md.
//
// Threads: any thread; works on the report it is given.
#pragma once

#include <string>

namespace zmr {

struct QualityReport;

std::string QualityReportJson(const QualityReport& report);

}  // namespace zmr
