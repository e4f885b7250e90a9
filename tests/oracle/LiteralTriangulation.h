// The triangulation written out literally, as the oracle for the fast one: every triple of
// points in index order, the perpendicular-bisector circumcentre, the empty-circle scan over
// all points with square-rooted distances, and the edge-crossing test against every triangle
// accepted before, with the same log lines, progress, cancel and capacity behaviour. Its cost
// grows with the fourth power of the point count (about 10 s at 576 points on a grid).
//
// Threads: the caller's thread; reads NumberOfPoints, OUT_LOG and fTerminated, writes Tpoints,
// NumberOfTriangles, iTriangles and iProgressStatus.
#pragma once

namespace zmr::oracle {

// The exhaustive search over the N = NumberOfPoints points PX[k], PY[k]: appends the accepted
// triangles to Tpoints after the NumberOfTriangles already there and logs to OUT_LOG (when
// open) exactly as the production search. Always returns 0.
int TriangulateLiteral(const double* PX, const double* PY);

// The helpers of the search, with the arithmetic of the originals (results as documented for
// the production functions of the same names).
int GetVectorsLiteral(long i, long j, long k, const double* PX, const double* PY, double* Oa,
                      double* Va, double* Ob, double* Vb, double* O);
int UnitVectorLiteral(double* P);
int FindIntersectionLiteral(const double* Oa, const double* Va, const double* Ob, const double* Vb,
                            double* P, double* s, double* t);
int EdgeInterceptLiteral(int i1, int i2, int i3, int i4, const double* PX, const double* PY);
int TestTriangleOverlapLiteral(long m, const double* PX, const double* PY);

}  // namespace zmr::oracle
