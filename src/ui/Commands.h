// The menu commands: one function per command, over the program state and the platform.
// The Qt window, zmrcal and the tests all run these. Main thread only.
#pragma once

#include <string>

#include "ui/Platform.h"

namespace zmr {

struct ProgramState;

// The product line of the About box and of zmrcal --version.
inline constexpr const char* kProductLine = "ZMR Image Calibration (Version 0.3-061204)";

// Message texts of the commands.
inline constexpr const char* kErrorNoSourceData = "Error - there are no source image data";
inline constexpr const char* kErrorNoTargetData = "Error - there are no target image data";
inline constexpr const char* kErrorCreatingImage = "Error in creating image file";
inline constexpr const char* kErrorCreatingPoints = "Error in creating points file";
inline constexpr const char* kErrorNoSourceImage = "Error - there is no source image";
inline constexpr const char* kErrorReadingPoints = "Error - cannot read the points file";
inline constexpr const char* kErrorNegativeFilter = "Error - the filter size must not be negative";
inline constexpr const char* kErrorNoCalibrationPoints = "Error - there are no calibration points";
inline constexpr const char* kErrorMinimum3 = "Error - minimum 3 calibration points required";
inline constexpr const char* kErrorMinimum10 = "Error - minimum 10 calibration points required";
inline constexpr const char* kErrorTooFewPoints = "Error - there are too few calibration points !";
inline constexpr const char* kErrorZmrExport = "Error during export to .zmr file";
inline constexpr const char* kErrorMeshIncomplete =
    "Error - the triangulation is incomplete; no table is exported";
inline constexpr const char* kErrorCreatingTable = "Error in creating the ORBIK table file";
inline constexpr const char* kErrorNoDetection = "Error - mesh centring needs a detection first";

// File > Image Data
void CmdOpenOstrel(Platform& platform);       // 40001
void CmdOpenBitmap(Platform& platform);       // 40002
void CmdOpenAscii(Platform& platform);        // 40028
void CmdSaveBitmap(Platform& platform);       // 40022
void CmdSaveAscii(Platform& platform);        // 40003, the source image
void CmdSaveTargetAscii(Platform& platform);  // 40023, the target image
// File > Calibration Points
void CmdPointsOpen(Platform& platform);  // 40005, then triangulates on a worker
void CmdPointsSave(Platform& platform);  // 40006
// File
void CmdExit(Platform& platform);  // 40004
// Edit
void CmdTargetToSource(Platform& platform);  // 40021; the target's counts go with it
void CmdOptions(Platform& platform);         // 40027
// View
void CmdViewVectors(Platform& platform);    // 40007, toggles bit 1 of cfDrawMode
void CmdViewNumbers(Platform& platform);    // 40008, toggles bit 8
void CmdViewMesh(Platform& platform);       // 40009, draws nothing and changes nothing
void CmdViewTriangles(Platform& platform);  // 40010, toggles bit 4
void CmdViewSource(Platform& platform);     // 40011
void CmdViewTarget(Platform& platform);     // 40012

// File > ORBIK Data
void CmdOrbikSaveAscii(Platform& platform);  // 40024
void CmdOrbikSaveZmr(Platform& platform);    // 40025
// Run
void CmdTransformation(Platform& platform);  // 40014
void CmdAdjustment(Platform& platform);      // 40016
void CmdExtrapolation(Platform& platform);   // 40026
// Help
void CmdHelpTopics(Platform& platform);  // 40029
void CmdAbout(Platform& platform);       // 40020
// View: the slot without a menu item; any slot but 0 and 1 shows the source.
void CmdViewSlot2(Platform& platform);  // 40013
// Mesh centring of the spots of the last detection (zmrcal only; no menu item).
void CmdCenterMesh(Platform& platform);
void CmdBoxFilter(Platform& platform);      // 40017
void CmdThreshold(Platform& platform);      // 40019, opens the modeless thresholding dialog
void CmdAutoDetection(Platform& platform);  // 40015, runs the detection worker

// Message of a points file with more points than the triangulation holds.
std::string TooManyPointsMessage(const ProgramState& s);

// Overlay bits of cfDrawMode.
inline constexpr int kDrawVectors = 1;
inline constexpr int kDrawMesh = 2;
inline constexpr int kDrawTriangles = 4;
inline constexpr int kDrawNumbers = 8;
inline constexpr int kDrawResiduals = 16;  // the points coloured by their quality-report error

}  // namespace zmr
