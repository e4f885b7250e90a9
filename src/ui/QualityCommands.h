// The quality report command: Run > "Calibration Quality..." and the zmrcal step `report`.
// Main thread only; the report itself is computed on a worker under its progress dialog.
#pragma once

namespace zmr {

class Platform;

// Asks for the report's file name (PREFIX, or PREFIX.json / PREFIX.html), computes the report
// of the current calibration, writes PREFIX.json and PREFIX.html, shows the summary and adds
// its one-line form as a note. Without a calibration a message says so and nothing is written.
// The calibration is not changed.
void CmdQualityReport(Platform& platform);

// View > Residuals: toggles the overlay that colours each point by its leave-one-out error
// from the last report (bit kDrawResiduals of cfDrawMode).
void CmdViewResiduals(Platform& platform);

}  // namespace zmr
