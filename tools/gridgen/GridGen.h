// Synthetic calibration-grid images: a square lattice of dark spots on a bright background,
// turned, scaled and radially distorted, with optional noise and missing spots, together with
// the true position of every spot. Writers for the image file formats the calibration program
// reads (Ostrel text, ASCII matrix, 24-bit bitmap) and for the list of true positions.
//
// Geometry. Coordinates are pixels, x to the right and y downwards, pixel (i, j) at (i, j).
// The centre C is the middle of the pixel array, ((width - 1) / 2, (height - 1) / 2), and R is
// the distance from C to the corner pixel (0, 0). Node (row, col) of the lattice, counted from
// the node at C (negative rows above, negative columns to the left), has
//   ideal    = C + scale * Rot(rotation) * (col * pitch, row * pitch)
//   measured = C + d * (1 + distortion * (|d| / R)^2),  d = ideal - C,
// where Rot is the usual rotation matrix applied to (x, y); since y points down, a positive
// angle turns the grid clockwise on screen. A negative distortion pulls the outer spots towards
// the centre (barrel), a positive one pushes them out (pincushion). Only nodes whose ideal
// distance from C stays below both 2 R and the radius where the mapping stops growing are
// used, so no two nodes ever land on the same spot. Each spot is drawn undistorted around its
// measured position, so measured is the true centroid of what is drawn.
//
// Random numbers come from std::mt19937 with our own conversions (no std distributions, whose
// results differ between library versions): the same GridSpec gives the same image everywhere.
//
// Threads: every function works on its arguments only and may be called from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zmr {

enum class SpotShape {
  kDisc,      // a disc of the given radius
  kGaussian,  // darkness min(1, 2^(1 - 2 (r/radius)^2)): fully dark out to radius / 2,
              // half dark at the radius, ending smoothly at 2 radius
  kSquare,    // a square of side 2 radius, turned with the grid
};

struct GridSpec {
  int width = 769;
  int height = 769;
  double pitch = 38.0;  // lattice step in pixels before scaling
  SpotShape shape = SpotShape::kDisc;
  double radius = 13.0;  // a disc of radius 13 covers about 530 pixels
  int backgroundGrey = 200;
  int spotGrey = 40;
  // A background ramp from rampLeft at the left column to rampRight at the right one, in place
  // of backgroundGrey; off while rampLeft is negative.
  int rampLeft = -1;
  int rampRight = -1;
  bool invert = false;  // every grey g becomes 255 - g before the noise: bright spots
  double rotationDegrees = 0.5;
  double scale = 1.0;
  double distortion = -0.02;  // mild barrel: the outermost default spots move ~8 pixels inwards
  double noiseSigma = 0.0;    // standard deviation of the Gaussian pixel noise, in grey levels
  double missingFraction = 0.0;
  std::uint32_t seed = 1;
  int countScale = 16;    // Ostrel counts per grey level
  int countsScale = 257;  // counts per grey level of the 16-bit TIFF and PNG (255 x 257 = 65535)
};

struct GridSpot {
  int row = 0;
  int col = 0;
  double idealX = 0.0;
  double idealY = 0.0;
  double measuredX = 0.0;
  double measuredY = 0.0;
  bool present = true;  // false: left out by missingFraction, not drawn
};

struct GridImage {
  int width = 0;
  int height = 0;
  std::vector<int> pixels;      // row-major grey levels 0..255
  std::vector<GridSpot> spots;  // every spot inside the image, drawn or missing, row by row
};

// Parses "disc", "gaussian" or "square". Returns false and leaves *shape unchanged otherwise.
bool ParseSpotShape(const std::string& text, SpotShape* shape);
const char* SpotShapeName(SpotShape shape);

// How far the drawing of a spot reaches from its centre: radius for a disc, radius * sqrt(2)
// for a square, 2 * radius for a Gaussian spot.
double SpotReach(SpotShape shape, double radius);

// Returns an empty string when the grid description can be drawn, else a one-line reason. Limits: a
// size the program accepts as an image; pitch * scale at least 4; 0 < radius <= pitch * scale;
// grey levels and the Ostrel count scale such that counts fit an int, the 16-bit count scale
// such that they fit 16 bits; finite values throughout.
std::string GridSpecProblem(const GridSpec& gridSpec);

// Renders the grid. A spot is kept (listed, and drawn unless missing) only when its measured
// position lies at least SpotReach + 2 pixels inside every border. Of the kept spots,
// round(missingFraction * count) are chosen at random and not drawn. Each pixel is the
// background grey blended towards the spot grey by the spot's coverage, found on a 4 x 4 grid of
// samples per pixel (overlapping spots add up, to full darkness at most), then the noise is
// added and the value rounded and clamped to 0..255. Returns an empty image (width and height 0)
// when GridSpecProblem reports a problem.
GridImage GenerateGrid(const GridSpec& gridSpec);

// Ostrel text file: every pixel as the raw count grey * countScale in lowercase hexadecimal,
// row-major, 16 values per line separated by one blank. Returns false (writing nothing) when
// countScale is not in 1..INT_MAX/255, the image is malformed or holds a grey outside 0..255;
// false also when the file cannot be created or written (a partial file may then remain).
bool WriteOstrelFile(const std::string& path, const GridImage& image, int countScale);

// 16-bit grey TIFF and PNG files: every pixel as the count grey * countsScale, written whole
// through the program's safe write. Return false (writing nothing) when countsScale is not in
// 1..kMaxCountsScale, the image is malformed or holds a grey outside 0..255, or the file cannot
// be written.
inline constexpr int kMaxCountsScale = 65535 / 255;
bool WriteTiff16File(const std::string& path, const GridImage& image, int countsScale);
bool WritePng16File(const std::string& path, const GridImage& image, int countsScale);

// ASCII image file (one line per row, decimal values) and 24-bit bitmap file, through the
// program's own writers. Return false when the image is malformed or the file cannot be written.
bool WriteAsciiFile(const std::string& path, const GridImage& image);
bool WriteBitmapFile(const std::string& path, const GridImage& image);

// True positions: one line "row col idealX idealY measuredX measuredY" per drawn spot, in the
// order of GridImage::spots. Returns false when the file cannot be created or written.
bool WriteTruthFile(const std::string& path, const GridImage& image);

// Command line of zmr_gridgen.
struct GridGenOptions {
  GridSpec gridSpec;
  std::string prefix = "sample";
  bool counts = false;  // also write PREFIX.tif and PREFIX.png (16-bit counts)
  bool help = false;
};

// Parses the arguments after the program name into *options (which keeps the defaults for
// options not given). Returns false with a one-line reason in *error on an unknown option, a
// missing or malformed value, or a grid description that GridSpecProblem rejects.
bool ParseGridGenArguments(const std::vector<std::string>& args, GridGenOptions* options,
                           std::string* error);

// The usage text, with the defaults, ending in a line break.
std::string GridGenUsage();

}  // namespace zmr
