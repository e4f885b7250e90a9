#include "geometry/LeastSquare.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <climits>
#include <cmath>
#include <cstddef>
#include <new>
#include <vector>

#include "geometry/TriangleLocation.h"
#include "geometry/TriangleMap.h"
#include "geometry/Triangulate.h"
#include "state/ProgramState.h"

namespace zmr {
namespace {

constexpr int kTerms = kLeastSquaresTerms;
constexpr int kNormalSize = kTerms * kTerms;

// The coordinates of one mesh axis: the multiples of the step below the size, then size - 1
// when the last multiple falls short of it. Computed on demand so that a small step over a
// large image allocates nothing and never overflows.
struct MeshAxis {
  long step = 1;
  long size = 0;
  long multiples = 0;
  long count = 0;

  MeshAxis(long meshStep, long imageSize) : step(meshStep), size(imageSize) {
    if (meshStep < 1 || imageSize < 1) return;
    multiples = (imageSize - 1) / meshStep + 1;
    count = multiples + ((multiples - 1) * meshStep < imageSize - 1 ? 1 : 0);
  }
  long At(long k) const { return k < multiples ? k * step : size - 1; }
};

// 4 x EdgeGrid, saturated: any step beyond the image gives the same two coordinates.
long ExtrapolationMeshStep(const ProgramState& s) {
  const long edge = s.EdgeGrid;
  return edge > LONG_MAX / kExtrapolationStepFactor ? LONG_MAX : edge * kExtrapolationStepFactor;
}

// The normal equations of the cubic fit: A[j * 10 + i] = sum f_j f_i, bx[i] = sum f_i u,
// by[i] = sum f_i v over the calibration points.
void BuildNormalEquations(const ProgramState& s, double* A, double* bx, double* by) {
  long n = s.NumberOfPoints;
  const long rows = static_cast<long>(s.PointsInput.size() / 4);
  if (n > rows) n = rows;
  const double* p = s.PointsInput.data();
  for (int i = 0; i < kTerms; ++i) {
    double sumU = 0.0;
    double sumV = 0.0;
    for (long k = 0; k < n; ++k) {
      const double* r = p + 4 * k;
      const double f = Factor(i, r[0], r[1]);
      sumU += f * (r[2] - r[0]);
      sumV += f * (r[3] - r[1]);
    }
    bx[i] = sumU;
    by[i] = sumV;
    for (int j = 0; j < kTerms; ++j) {
      double sum = 0.0;
      for (long k = 0; k < n; ++k) {
        const double* r = p + 4 * k;
        sum += Factor(j, r[0], r[1]) * Factor(i, r[0], r[1]);
      }
      A[j * kTerms + i] = sum;
    }
  }
}

// Both solves of the fit, into coefficients (x terms, then y terms). Returns the first nonzero
// LinearSolve code, 0 when both solved.
int SolveLeastSquares(ProgramState& s, double* coefficients) {
  double ax[kNormalSize];
  double ay[kNormalSize];
  double bx[kTerms];
  double by[kTerms];
  BuildNormalEquations(s, ax, bx, by);
  for (int k = 0; k < kNormalSize; ++k) ay[k] = ax[k];
  const int codeX = LinearSolve(s, ax, bx, kTerms);
  const int codeY = LinearSolve(s, ay, by, kTerms);
  for (int i = 0; i < kTerms; ++i) {
    coefficients[i] = bx[i];
    coefficients[kTerms + i] = by[i];
  }
  return codeX != 0 ? codeX : codeY;
}

// Whether the calibration points leave the cubic fit rank-deficient: some combination of the ten
// basis terms vanishes (up to rounding) at every point, as on a line or on three columns, and
// the least-squares problem has no unique solution. The determinant of the normal matrix cannot
// tell: its size scales with the coordinates to the 36th power, and rounding leaves a singular
// matrix with a determinant far from 0.0 (50 points on a horizontal line: 1e84, while the same
// points on the diagonal give exactly 0.0). The test here works on a copy made comparable:
// coordinates centred on the middle of the points' bounding box and divided by its half-widths
// (a change of variables that keeps the space of cubic polynomials, so the rank), the normal
// matrix of the basis terms in them, each row and column divided by the square root of its
// diagonal element. On that unit-diagonal matrix a Cholesky factorisation that always takes the
// largest remaining diagonal element leaves as each pivot the squared share of a term that the
// terms before it do not explain; the fit is rank-deficient when some pivot falls below
// kRankTolerance. Smallest pivots measured: grids of 12 to 4900 points 1e-4 to 0.13 (a 4 x 3 grid
// with 0.3 px of noise the lowest), three columns of points 0.003 px off straight 2e-8; sets of
// 5000 points on a line, an ellipse, two lines or three columns within 1e-14 of 0.
constexpr double kRankTolerance = 1e-9;

bool FitIsRankDeficient(const ProgramState& s) {
  long n = s.NumberOfPoints;
  const long rows = static_cast<long>(s.PointsInput.size() / 4);
  if (n > rows) n = rows;
  if (n < 1) return true;
  const double* p = s.PointsInput.data();
  double minX = p[0], maxX = p[0], minY = p[1], maxY = p[1];
  for (long k = 1; k < n; ++k) {
    minX = std::min(minX, p[4 * k]);
    maxX = std::max(maxX, p[4 * k]);
    minY = std::min(minY, p[4 * k + 1]);
    maxY = std::max(maxY, p[4 * k + 1]);
  }
  const double halfX = (maxX - minX) / 2;
  const double halfY = (maxY - minY) / 2;
  // All points on one horizontal or vertical line (or not numbers): the terms in y (or x) are
  // multiples of the terms in the other coordinate.
  if (!(halfX > 0) || !(halfY > 0) || !std::isfinite(halfX) || !std::isfinite(halfY)) return true;
  const double midX = minX + halfX;
  const double midY = minY + halfY;
  double m[kNormalSize] = {};
  for (long k = 0; k < n; ++k) {
    const double u = (p[4 * k] - midX) / halfX;
    const double v = (p[4 * k + 1] - midY) / halfY;
    double f[kTerms];
    for (int i = 0; i < kTerms; ++i) f[i] = Factor(i, u, v);
    for (int i = 0; i < kTerms; ++i) {
      for (int j = 0; j < kTerms; ++j) m[i * kTerms + j] += f[i] * f[j];
    }
  }
  double scale[kTerms];
  for (int i = 0; i < kTerms; ++i) {
    if (!(m[i * kTerms + i] > 0)) return true;
    scale[i] = 1 / std::sqrt(m[i * kTerms + i]);
  }
  for (int i = 0; i < kTerms; ++i) {
    for (int j = 0; j < kTerms; ++j) m[i * kTerms + j] *= scale[i] * scale[j];
  }
  bool done[kTerms] = {};
  for (int step = 0; step < kTerms; ++step) {
    int best = -1;
    for (int i = 0; i < kTerms; ++i) {
      if (!done[i] && (best < 0 || m[i * kTerms + i] > m[best * kTerms + best])) best = i;
    }
    const double pivot = m[best * kTerms + best];
    if (!(pivot >= kRankTolerance)) return true;  // also NaN
    done[best] = true;
    for (int i = 0; i < kTerms; ++i) {
      if (done[i]) continue;
      for (int j = 0; j < kTerms; ++j) {
        if (!done[j]) m[i * kTerms + j] -= m[i * kTerms + best] * m[best * kTerms + j] / pivot;
      }
    }
  }
  return false;
}

std::string TooManyPointsForExtrapolation(const ProgramState& s) {
  return "Error - the extrapolation would need more than " + std::to_string(s.MAXPoints - 1) +
         " calibration points";
}

// The checks that need neither the fit nor the mesh.
std::string InputProblem(const ProgramState& s) {
  if (s.NumberOfPoints < kMinExtrapolationPoints) return kErrorTooFewForExtrapolation;
  if (s.EdgeGrid < 1) return kErrorExtrapolationStep;
  if (!TriangulationCapacityOk(s, s.NumberOfPoints)) return TooManyPointsForExtrapolation(s);
  return "";
}

// The mesh nodes outside every triangle, in the order they are appended. False, with the list
// cut short, as soon as NumberOfPoints plus the nodes found would not fit the triangulation.
bool CollectOutsideNodes(const ProgramState& s, int M, int N,
                         std::vector<std::array<long, 2>>& nodes) {
  const long step = ExtrapolationMeshStep(s);
  const MeshAxis xs(step, M);
  const MeshAxis ys(step, N);
  const long points = s.NumberOfPoints;
  nodes.clear();
  // The triangle of every node in one pass over the triangles (the same as FindTrianglePI at
  // each node); without memory for it each node searches the triangles itself.
  std::vector<double> xValues;
  std::vector<double> yValues;
  std::vector<int> map;
  bool mapped = true;
  try {
    for (long a = 0; a < xs.count; ++a) xValues.push_back(static_cast<double>(xs.At(a)));
    for (long b = 0; b < ys.count; ++b) yValues.push_back(static_cast<double>(ys.At(b)));
  } catch (const std::bad_alloc&) {
    mapped = false;
  }
  mapped = mapped && MapTriangles(s, xValues, yValues, map);
  for (long a = 0; a < xs.count; ++a) {
    const long i = xs.At(a);
    for (long b = 0; b < ys.count; ++b) {
      const long j = ys.At(b);
      const long t = mapped ? map[static_cast<std::size_t>(b * xs.count + a)]
                            : FindTrianglePI(s, static_cast<double>(i), static_cast<double>(j));
      if (t != -1) continue;
      nodes.push_back({i, j});
      if (!TriangulationCapacityOk(s, points + static_cast<long>(nodes.size()))) return false;
    }
  }
  return true;
}

}  // namespace

double Factor(int i, double Xc, double Yc) {
  switch (i) {
    case 0:
      return 1.0;
    case 1:
      return Xc;
    case 2:
      return Yc;
    case 3:
      return Xc * Xc;
    case 4:
      return Yc * Yc;
    case 5:
      return Xc * Yc;
    case 6:
      return Xc * Xc * Xc;
    case 7:
      return Yc * Yc * Yc;
    case 8:
      return Xc * Xc * Yc;
    case 9:
      return Yc * Yc * Xc;
    default:
      return 0.0;
  }
}

int DistortionLS(const double* P, double x, double y, double* SX, double* SY) {
  double sx = 0.0;
  double sy = 0.0;
  for (int i = 0; i < kTerms; ++i) {
    const double f = Factor(i, x, y);
    sx += P[i] * f;
    sy += P[kTerms + i] * f;
  }
  *SX = sx;
  *SY = sy;
  return 1;
}

long GenerateMeshCoordinates(long* Coordinates, long MeshStep, long ImageSize) {
  const MeshAxis axis(MeshStep, ImageSize);
  for (long k = 0; k < axis.count; ++k) Coordinates[k] = axis.At(k);
  return axis.count;
}

long MeshCoordinateCount(long MeshStep, long ImageSize) {
  return MeshAxis(MeshStep, ImageSize).count;
}

double Determinant(const double* M, int Rank, int* ErrorFlag) {
  if (Rank <= 1) return M[0];
  if (ErrorFlag != nullptr && *ErrorFlag != 0) return 0.0;
  if (Rank > kMaxDeterminantOrder) {
    if (ErrorFlag != nullptr) *ErrorFlag = 1;
    return 0.0;
  }
  const int n = Rank;
  // The expansion of a minor depends only on its first row (its depth) and the set of columns
  // left, and the depth is n minus the size of that set: memo[columns] holds the determinant of
  // the minor of rows n - |columns| .. n - 1 over those columns, kept in their order. Removing
  // a column lowers the mask, so ascending masks meet every minor after its own minors.
  std::vector<double> memo;
  try {
    memo.assign(std::size_t{1} << n, 0.0);
  } catch (const std::bad_alloc&) {
    if (ErrorFlag != nullptr) *ErrorFlag = 1;
    return 0.0;
  }
  const unsigned full = (1u << n) - 1;
  for (unsigned columns = 1; columns <= full; ++columns) {
    const int size = std::popcount(columns);
    const double* row = M + static_cast<long>(n - size) * n;
    if (size == 1) {
      memo[columns] = row[std::countr_zero(columns)];
      continue;
    }
    double sum = 0.0;
    int position = 0;
    for (int c = 0; c < n; ++c) {
      const unsigned bit = 1u << c;
      if ((columns & bit) == 0) continue;
      double term = row[c] * memo[columns & ~bit];
      if (position % 2 == 1) term = -term;
      sum += term;
      ++position;
    }
    memo[columns] = sum;
  }
  return memo[full];
}

int LinearSolve(ProgramState& s, const double* Matrix, double* RHS, int Rank) {
  if (Rank < 1 || Rank > kMaxDeterminantOrder) return 1;
  const int n = Rank;
  std::vector<double> work;
  std::vector<double> b;
  try {
    work.assign(Matrix, Matrix + n * n);
    b.assign(RHS, RHS + n);
  } catch (const std::bad_alloc&) {
    return 1;
  }
  int error = 0;
  const double d = Determinant(work.data(), n, &error);
  if (error != 0) return 1;
  if (d == 0.0) return 2;
  std::atomic<int>& progress = s.iProgressStatus;
  for (int c = 0; c < n && error == 0; ++c) {
    progress.fetch_add(50 / n, std::memory_order_relaxed);
    for (int r = 0; r < n; ++r) work[r * n + c] = b[r];
    const double dc = Determinant(work.data(), n, &error);
    if (error == 0) RHS[c] = dc / d;
    for (int r = 0; r < n; ++r) work[r * n + c] = Matrix[r * n + c];
  }
  return error;
}

int EstimateLeastSquares(ProgramState& s) {
  SolveLeastSquares(s, s.WX_LS);
  return 0;
}

std::string BoundaryExtrapolationProblem(const ProgramState& s, int M, int N) {
  std::string problem = InputProblem(s);
  if (!problem.empty()) return problem;
  // Both normal systems share their matrix, so its determinant decides both solves.
  double a[kNormalSize];
  double bx[kTerms];
  double by[kTerms];
  BuildNormalEquations(s, a, bx, by);
  int error = 0;
  const double d = Determinant(a, kTerms, &error);
  if (error != 0) return kErrorFitStorage;
  if (d == 0.0 || FitIsRankDeficient(s)) return kErrorSingularFit;
  std::vector<std::array<long, 2>> nodes;
  if (!CollectOutsideNodes(s, M, N, nodes)) return TooManyPointsForExtrapolation(s);
  return "";
}

int AddBoundaryCalibrationPoints(ProgramState& s, int M, int N) {
  if (!InputProblem(s).empty()) return 0;
  std::vector<std::array<long, 2>> nodes;
  if (!CollectOutsideNodes(s, M, N, nodes)) return 0;
  if (FitIsRankDeficient(s)) return 0;
  double coefficients[2 * kTerms];
  if (SolveLeastSquares(s, coefficients) != 0) return 0;

  s.ImageM = M;
  s.ImageN = N;
  for (int k = 0; k < 2 * kTerms; ++k) s.WX_LS[k] = coefficients[k];
  for (const auto& node : nodes) {
    const double x = static_cast<double>(node[0]);
    const double y = static_cast<double>(node[1]);
    double dx = 0.0;
    double dy = 0.0;
    DistortionLS(s.WX_LS, x, y, &dx, &dy);
    double* row = s.PointsInput.data() + 4 * s.NumberOfPoints;
    row[0] = x;
    row[1] = y;
    row[2] = x + dx;
    row[3] = y + dy;
    s.NumberOfPoints += 1;
    s.iAssignedPoints.store(static_cast<int>(s.NumberOfPoints), std::memory_order_relaxed);
  }
  return 1;
}

}  // namespace zmr
