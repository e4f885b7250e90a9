// A Delaunay triangulation of distinct points with exact geometric predicates, used to find the
// few triples of points that the triangulation's empty-circle search has to examine. The
// orientation and in-circle signs are exact for every finite input whose products do not
// overflow or underflow (coordinates of moderate magnitude, see kDelaunayMaxMagnitude): a
// floating-point evaluation decides when its error bound allows, the rest is computed exactly
// with floating-point expansions. The triangulation is incremental (points inserted in a
// randomised, spatially sorted order; each one removes the triangles whose circumcircle holds
// it strictly and fans the hole) with a vertex at infinity closing the convex hull, so every
// triangle it returns has an empty circumcircle: no point strictly inside.
//
// Threads: any thread; no shared state. BuildDelaunay polls the cancel flag it is given.
#pragma once

#include <atomic>
#include <vector>

namespace zmr {

// Largest and smallest nonzero coordinate magnitudes the predicates are exact for; smaller
// magnitudes are too when they are multiples of kDelaunayGranularity (DelaunayExactCoordinate).
inline constexpr double kDelaunayMaxMagnitude = 1e40;
inline constexpr double kDelaunayMinMagnitude = 1e-40;
// Every double from kDelaunayMinMagnitude up is a multiple of 2^-185 (its last bit is worth at
// least 2^-185). When all coordinates are such multiples, every value the predicates form is a
// sum of products of at most four coordinate differences (or two, times the limit of
// PowerBelowSign), a multiple of 2^-740 or more, so no product or rounding error falls below
// the smallest normal double and the arithmetic stays exact. Floats, however small, qualify.
inline constexpr double kDelaunayGranularity = 0x1p-185;

// True when the predicates are exact for c: finite, |c| <= kDelaunayMaxMagnitude and a multiple
// of kDelaunayGranularity (every c from kDelaunayMinMagnitude up, zero, and tiny multiples).
bool DelaunayExactCoordinate(double c);

// The sign (1, 0 or -1) of (b - a) x (c - a): 1 when a, b, c turn counter-clockwise in a
// coordinate system with y upwards.
int OrientationSign(double ax, double ay, double bx, double by, double cx, double cy);

// OrientationSign for any coordinates: exact, after scaling all six by one power of two (which
// keeps the sign) when that brings them within the predicates' range; 2 when it cannot (a
// coordinate that is not finite, or coordinates spanning more than about 300 binary orders of
// magnitude).
int OrientationSignScaled(double ax, double ay, double bx, double by, double cx, double cy);

// 1 when d lies strictly inside the circle through a, b, c, 0 on it, -1 outside; a, b, c must
// turn counter-clockwise (OrientationSign 1), otherwise the sign is reversed.
int InCircleSign(double ax, double ay, double bx, double by, double cx, double cy, double dx,
                 double dy);

// For a, b, c counter-clockwise and limit >= 0 (finite): 1 when the power of d with respect to
// their circumcircle, |d - centre|^2 - R^2, is below limit, 0 when equal, -1 above; exact.
int PowerBelowSign(double ax, double ay, double bx, double by, double cx, double cy, double dx,
                   double dy, double limit);

// The triangles of a triangulation, three entries per triangle.
struct DelaunayMesh {
  // Point indices of each triangle, counter-clockwise (OrientationSign 1).
  std::vector<int> vertices;
  // For corner e of triangle t, neighbours[3t + e] is the triangle across the edge opposite
  // that corner, or -1 when the edge lies on the convex hull.
  std::vector<int> neighbours;
  long Size() const { return static_cast<long>(vertices.size() / 3); }
};

// Triangulates the points ids[0 .. ids.size() - 1] of the coordinate arrays x, y. The points
// must have distinct coordinates, all finite with magnitudes within the kDelaunay bounds (or
// zero). The result holds every triangle; it is empty when the points are fewer than three or
// all collinear. Returns false, leaving the mesh empty, when cancel became nonzero on the way.
bool BuildDelaunay(const double* x, const double* y, const std::vector<int>& ids,
                   const std::atomic<int>& cancel, DelaunayMesh* mesh);

}  // namespace zmr
