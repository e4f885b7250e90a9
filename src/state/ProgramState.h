// The one record of all process-wide variables: working image geometry, the six image arrays,
// the calibration point arrays, the tunable values, the worker progress counters and the
// display state, with their defaults. Every computation and file operation takes the record it
// works on; State() is the process-wide instance, reached only where a command or a worker
// starts. A second record can hold a second image and calibration: records share nothing, and
// each writes its fixed-name files ("Trace.log" and the like) into its own workFolder.
// Also the allocation functions of the arrays and Coor_double2long.
//
// Threads: a record belongs to one thread at a time (for State(), the main thread); while a
// worker runs on it, the worker writes the arrays it computes and the atomic counters, and the
// owning thread reads only the counters.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "state/ImageAllocator.h"
#include "state/ParameterTypes.h"

namespace zmr {

// A display picture in memory: 0xAARRGGBB per pixel, rows top-down.
struct DisplayBitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

// A window point (the result of Coor_double2long).
struct WindowPoint {
  long x = 0;
  long y = 0;
};

inline constexpr int kFileNameBuffer = 260;

// The log shared by detection, tracing, triangulation and the rotation and scale fit.
inline constexpr const char* kTraceLogName = "Trace.log";
inline constexpr int kMaxImageFormats = 50;

struct ProgramState {
  // --- working image and the six image arrays (cxDib x cyDib each, row-major; empty = absent)
  int cxDib = 769;
  int cyDib = 769;
  ImageVector<int> Msource;
  ImageVector<int> Mtarget;
  ImageVector<double> deltaX;
  ImageVector<double> deltaY;
  ImageVector<double> Signal;
  ImageVector<int> Area;
  // The source image's own values (counts) as read from an image file or taken from the target
  // by Target->Source, cxDib x cyDib; empty when the source image has none (text and bitmap
  // images, or a target without counts taken by Target->Source).
  std::vector<double> SourceCounts;
  // The target image's counts as a transformation in counts (TransformMode 1 or 2) left them,
  // cxDib x cyDib; empty when it holds none. Mtarget shows them scaled to 0..255. The commands
  // that write Mtarget otherwise (detection, thresholding, the box filter, the grey-level
  // transformation) empty them; the saves use them only while Mtarget is still their picture
  // (TargetHoldsCounts in geometry/CountTransform.h).
  std::vector<double> TargetCounts;

  // --- point arrays, allocated by AllocateArrays (capacities from MAXPoints)
  long MAXPoints = 5000;
  std::vector<double> PointsInput;   // MAXPoints rows of (x, y, X, Y)
  std::vector<double> PointsOutput;  // MAXPoints rows of (x, y, x', y')
  std::vector<double> PointsBuffer;  // x half then y half, MAXPoints each; slot 0 reserved
  std::vector<int> Tpoints;          // 3 vertex indices per triangle, room for 2*MAXPoints
  std::vector<double> SX;
  std::vector<double> SY;
  std::vector<int> Pi;
  std::vector<int> Pj;
  std::vector<int> Pflag;

  long NumberOfPoints = 0;
  long NumberOfTriangles = 0;
  // True when the last triangulation stopped at its work limit (points too degenerate to search
  // in full): the triangles in Tpoints are only part of the mesh, and the correction tables are
  // not exported from them. Cleared when a triangulation starts (MakeTriangulation).
  bool meshIncomplete = false;
  long ORBIKPoints = 0;
  double InpCoor[2] = {0.0, 0.0};
  double Pc[2] = {0.0, 0.0};
  int TraceFlag = 0;

  // --- tunable values (the first eight are options)
  int IMAGE_X = 769;
  int IMAGE_Y = 769;
  long FilterSize = 5;
  long MinPatchSize = 400;
  long EdgeGrid = 32;
  double Ethresh = 0.2;
  int xoffset = 128;
  int yoffset = 128;
  // Options added after the eight; 0 keeps each step as the original program does it.
  int TransformMode = 0;  // 0 grey levels, 1 flat field in counts, 2 counts conserved
  int DetectionMode = 0;  // 0 the threshold-and-walk detection, 1 the robust detection
  int AdjustMode = 0;     // 0 per-point similarity removal, 1 the ideal lattice moved whole
  // Not an option: the robust detection leaves out spots that lie off the lattice through their
  // neighbours, except for the quality report's closure, which measures just that.
  bool keepOffLatticeSpots = false;
  int ORBIKE = 1024;
  int imxoff = 0;
  int imyoff = 0;
  double Threshold = 128.0;
  int iThreshold = 128;
  long Centering = 0;
  int DebugSwitch = 0;
  int RectangleMarkWidth = 2;
  int cCurrentBitmap = 0;
  int cfDrawMode = 1;

  // --- progress counters shared with the worker thread
  std::atomic<int> iProgressStatus{0};
  std::atomic<int> fTerminated{0};
  std::atomic<int> iDetectedAreas{0};
  std::atomic<int> iAssignedPoints{0};
  std::atomic<int> iTriangles{0};

  // --- user-interface state
  void* hDlgModeless = nullptr;  // the open thresholding dialog (opaque to the core), or none
  std::array<DisplayBitmap, 6> hBitmap;
  // False where nothing ever shows or renders the display bitmaps (zmrcal without a render
  // step): the slots then keep their size and validity but hold no pixels (4 bytes per image
  // pixel each otherwise).
  bool keepDisplayBitmaps = true;
  std::array<int, 6> fBitmap = {0, 0, 0, 0, 0, 0};
  int cxClient = 0;
  int cyClient = 0;
  int ImageArea = 0;
  std::string pzHelpDir;
  int NFormats = 0;
  int FormatIndex = 0;
  std::array<int, 2 * kMaxImageFormats> ImageFormat = {};
  std::vector<std::string> FormatBuffer;  // the lines of the image-format list, one per entry

  // The last bitmap file opened, whole (empty when none).
  std::vector<std::uint8_t> pbmfh;

  // File names remembered by the file dialogs of each group.
  std::string szImageFile;
  std::string szImageTitle;
  std::string szPointsFile;
  std::string szPointsTitle;
  std::string szOrbikFile;

  // --- options table (see ParameterScan.h)
  std::array<ParameterEntry, kParamTableCapacity> Param = {};
  int ParamTableSize = 0;
  int IMAGEX = 0;         // bound by ParamTableInit only
  double MaxSlope = 0.0;  // bound by ParamTableInit only

  // --- array files (see Array.h)
  int PrintMode = 0;

  // --- log stream "Trace.log" shared by detection, tracing and geometry (null when closed)
  std::FILE* OUT_LOG = nullptr;

  // --- spot detection and grid tracing
  long ImageM = 0;  // size of the image being analysed
  long ImageN = 0;
  std::vector<int> PMatrix;  // 100 x 100 grid nodes, the spot index of each (see GridTrace.h)
  int istart = 50;
  int jstart = 50;
  int OccupiedPoints = 0;
  double Edge = 768.0;  // search radius of the second spot, then the measured grid pitch
  double Origin[2] = {0.0, 0.0};
  double ug[2] = {0.0, 0.0};
  double vg[2] = {0.0, 0.0};

  // --- rotation and scale fit, boundary extrapolation
  double CenterLimit = 50.0;  // pixels this close to the centre stay out of the estimate
  double WX_LS[20] = {};      // least-squares coefficients: x displacement 0..9, y 10..19
  // The last complete Adjustment on this record, for the summaries shown after a command:
  // its centre, rotation (radians) and scale; scale 0 when nothing could be estimated.
  // Written by the adjustment worker, read once it has ended.
  bool adjusted = false;
  double adjustedCenter[2] = {0.0, 0.0};
  double adjustedRotation = 0.0;
  double adjustedScale = 0.0;

  // --- where the fixed-name files of the computations go; empty: the current folder
  std::string workFolder;
  // Whether the points writers announce their files on standard output ("Writing to file ...");
  // false on a record worked on out of sight (the quality report's corrected copy).
  bool announceFiles = true;

  // --- non-fatal information for the user (a cap reached, values wrapped, a file not read),
  // added by whatever runs on the record, worker included, and handed to the platform's note
  // channel by the command once the work has ended
  std::vector<std::string> notes;

  // --- the leave-one-out error of each point from the last quality report, for the Residuals
  // overlay: the measured (x, y) of the points it was computed for and the error (NaN: none).
  // The overlay shows them only while the points are still those.
  std::vector<double> residualPoints;
  std::vector<double> pointResiduals;

  ProgramState() = default;
  ProgramState(const ProgramState&) = delete;
  ProgramState& operator=(const ProgramState&) = delete;
  ~ProgramState();  // closes OUT_LOG when it is open
};

// The path of one of the record's fixed-name files: name inside workFolder.
std::string WorkFile(const ProgramState& s, const char* name);

// Adds a note for the user to the record (see ProgramState::notes).
void AddNote(ProgramState& s, std::string text);

// The process-wide instance.
ProgramState& State();

// Replaces the process-wide instance by a fresh one holding every default.
void ResetProgramState();

// Allocates the nine point arrays (sizes from MAXPoints). Returns 1 on success, 0 when memory
// ran out; on failure the previous arrays are kept.
int AllocateArrays(ProgramState& s);
void ReleaseArrays(ProgramState& s);

// Allocates the six image arrays of cx x cy elements (zero-filled) and empties SourceCounts and
// TargetCounts.
// Returns 1 on success, 0 on failure (non-positive size, above the image cap, or out of memory);
// on failure the previous arrays and counts are kept whole.
int AllocateImageArrays(ProgramState& s, int cx, int cy);
void ReleaseImageArrays(ProgramState& s);

// Largest number of pixels an image may have; larger images are refused before allocation.
inline constexpr long long kMaxImagePixels = 1LL << 26;
inline constexpr int kMaxImageSide = 32768;
bool ImageSizeAllowed(long long width, long long height);

// Image coordinates (Source[0], Source[1]) to a window point of the current client area.
void Coor_double2long(const ProgramState& s, WindowPoint& Target, const double* Source);
// The same conversion for a given client area and image size.
WindowPoint ImageToWindow(double x, double y, int clientWidth, int clientHeight, int cxDib,
                          int cyDib);

}  // namespace zmr
