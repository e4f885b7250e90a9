// The triangle mesh over the calibration points and the small geometric helpers it is built
// from. The mesh is defined by an exhaustive empty-circumcircle search over every triple of
// points in a fixed order, with an edge-crossing test that settles the ties of co-circular
// points (triangles it lets overlap earlier ones, on points very close together or far apart,
// are kept and counted in a note); Triangulate produces exactly its result (the same triangles in
// the same order, the same log bytes, progress and cancel behaviour) in about N log N time, by
// examining only the triples a Delaunay triangulation marks as possible (see Delaunay.h) with the
// search's own arithmetic. Degenerate sets (points in a band too thin for any triangle, copies of
// points, many points on one circle, coordinates beyond the predicates) are recognised or bounded
// in work: see TriangulateWithin. Accepted triangles go to the record's Tpoints (three point
// indices each) and NumberOfTriangles; every stored triangle (a, b, c) has (xb - xa)(yc - ya) - (yb
// - ya)(xc - xa) >= 0 over the triangulated coordinates, which the point-in-triangle test relies
// on. Each candidate that passes the circle test is logged to kTraceLogName ("Trace.log").
//
// Threads: one worker thread at a time runs the triangulation; meanwhile the main thread only
// reads iProgressStatus and iTriangles and may set fTerminated to cancel. The helpers
// (GetVectors ... Angle) touch no state except TestTriangleOverlap, which reads Tpoints and
// NumberOfTriangles.
#pragma once

namespace zmr {

struct ProgramState;

// True when n points can be triangulated: 0 <= n <= MAXPoints - 1 (the coordinate vectors of
// PointsBuffer start at element 1 of each half) and the point arrays are allocated. Commands
// check this first and tell the user; MakeTriangulation refuses otherwise.
bool TriangulationCapacityOk(const ProgramState& s, long n);

// Triangulates the N = NumberOfPoints points. flag 1: sets fTerminated to 0, copies columns 0
// and 1 of PointsInput into the x vector (PointsBuffer + 1) and the y vector
// (PointsBuffer + MAXPoints + 1), and truncates the log. Any other flag: triangulates what
// PointsBuffer holds, leaves fTerminated as it is (so a cancelled detection skips this step)
// and appends to the log. A stream already in OUT_LOG is closed first; the log is opened into
// OUT_LOG and closed again (OUT_LOG is null afterwards). When the log cannot be opened the
// search runs without logging. With N <= 2 no triangle is made.
// Always returns 0. NumberOfTriangles and iTriangles start at 0 and meshIncomplete false; when
// TriangulationCapacityOk(N) is false nothing else is done (no copy, no log, no triangle).
int MakeTriangulation(ProgramState& s, int flag);

// MakeTriangulation for the workers: the same, except that flag 1 leaves fTerminated as it is.
// Their command clears the flag before the worker starts, so a Cancel that comes before the
// triangulation begins (during the extrapolation, say) stops it instead of being lost.
int MakeTriangulationOnWorker(ProgramState& s, int flag);

// The triangulation of the N = NumberOfPoints points whose coordinates are PX[k], PY[k], with
// the result of the exhaustive search: for every triple i < j < k in lexicographic order whose
// circumcircle (as GetVectors and FindIntersection compute it) has no other point strictly
// closer than point i, "%i [%i %i %i] ->" (index it would get, i, j, k) goes to OUT_LOG when it
// is open, then either " [%i %i %i]\n" (the stored order) or "Rejected\n" when it crosses an
// accepted triangle; the log starts with "Automatic triangulation \n". iProgressStatus rises
// with the (i, j) pair of each candidate to 100 at the end; iTriangles follows
// NumberOfTriangles. The search polls fTerminated throughout and stops when it is set, keeping
// the triangles accepted so far (a prefix of the full result). Appends to the triangles
// already counted in NumberOfTriangles (they block crossing candidates); never writes beyond
// Tpoints: the search ends when no slot is left for a candidate, sets meshIncomplete and adds a
// note saying how many triangles fit. Allocates working memory in proportion to N. Always
// returns 0. TriangulateWithin with TriangulationWorkLimit(NumberOfPoints).
int Triangulate(ProgramState& s, const double* PX, const double* PY);

// The work Triangulate allows itself, in units of about one distance computation (a few
// nanoseconds): one to three seconds. A calibration grid of 4780 points needs a tenth of it,
// most of that the overlap test's look along a row of the grid (see Triangulate.cpp).
inline constexpr long long kTriangulationWorkLimit = 500000000;
// The limit for a set of n points: kTriangulationWorkLimit up to the 5000 points the
// threshold-and-walk detection can give, and beyond that growing as N^1.5, as a grid's search
// does, so that the robust detection's large grids (60 000 spots and more) keep the same
// headroom.
long long TriangulationWorkLimit(long n);

// Triangulate, stopping when its work would exceed workLimit units: it then keeps the triangles
// accepted so far (a prefix of the full result, as for a cancel), sets meshIncomplete and adds a
// note. Only degenerate sets come near the limit: many points on one circle (every triple is
// then visited, up to N^3 / 6), coordinates beyond the exact predicates (likewise), millions of
// passing triples (copies of the same few points). Sets in which no triple can pass GetVectors
// (all points in a band thinner than the sine rule allows) end at once with no triangle.
int TriangulateWithin(ProgramState& s, const double* PX, const double* PY, long long workLimit);

// The perpendicular bisectors of the edges i->j (Oa + s*Va) and i->k (Ob + t*Vb), with unit
// directions, and O = point i. Returns 1 when the triple can form a triangle, 0 when the two
// edges from i are (nearly) parallel (|sin| < 0.001) or two of its points (nearly) coincide.
int GetVectors(long i, long j, long k, const double* PX, const double* PY, double* Oa, double* Va,
               double* Ob, double* Vb, double* O);

// Normalises P in place and returns 1; returns 0 and leaves P unchanged when its length is
// <= 0.001.
int UnitVector(double* P);

// Intersects the lines Oa + s*Va and Ob + t*Vb: stores the crossing point in P and its
// parameters in s and t, and returns 0. Parallel lines (determinant exactly 0): s = t = 1000,
// P unchanged, result 1.
int FindIntersection(const double* Oa, const double* Va, const double* Ob, const double* Vb,
                     double* P, double* s, double* t);

// 1 when the segment from point i1 to i2 and the segment from i3 to i4 properly cross: both
// crossing parameters strictly between 0.01 and 0.99. Touching, shared ends, crossings within
// 1 % of an end, parallel and collinear segments give 0.
int EdgeIntercept(int i1, int i2, int i3, int i4, const double* PX, const double* PY);

// 1 when the interiors of the triangles a and b (three point indices each) overlap, decided
// exactly (OrientationSignScaled): no edge line of either has the other on its far side or on
// it. Also 1 when that cannot be decided (coordinates spanning more binary orders of magnitude
// than the predicates take). 0 when a corner is not finite or either has no area.
int TrianglesOverlap(const int* a, const int* b, const double* PX, const double* PY);

// Compares the triangle in slot m of Tpoints with the accepted triangles 0 .. NumberOfTriangles
// - 1 in order. Returns 0 when none is crossed, else the number of edge crossings (EdgeIntercept
// over the 9 edge pairs) with the first triangle that is crossed.
int TestTriangleOverlap(const ProgramState& s, long m, const double* PX, const double* PY);

// The angle in degrees between B - O and C - O, in (0, 360]: the inner angle when the cross
// product (B - O) x (C - O) is negative, else 360 minus it, so equal directions give 360.
// A zero-length vector gives NaN. Unused by the rest of the system.
double Angle(const double* O, const double* B, const double* C);

}  // namespace zmr
