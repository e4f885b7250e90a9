// Builds a regular triangle mesh in the program state for the geometry tests: nx x ny points
// row by row from (x0, y0), two triangles per cell in the stored orientation, each point's
// ideal position given by a function of its measured one.
#pragma once

#include <functional>
#include <utility>

#include "state/ProgramState.h"

namespace zmr::test {

using Ideal = std::function<std::pair<double, double>(double, double)>;

inline void SetGridMesh(double x0, double y0, double stepX, double stepY, int nx, int ny,
                        const Ideal& ideal) {
  ProgramState& s = State();
  long k = 0;
  for (int gy = 0; gy < ny; ++gy) {
    for (int gx = 0; gx < nx; ++gx, ++k) {
      const double x = x0 + gx * stepX;
      const double y = y0 + gy * stepY;
      const auto [X, Y] = ideal(x, y);
      double* row = s.PointsInput.data() + 4 * k;
      row[0] = x;
      row[1] = y;
      row[2] = X;
      row[3] = Y;
    }
  }
  s.NumberOfPoints = k;
  long t = 0;
  for (int gy = 0; gy + 1 < ny; ++gy) {
    for (int gx = 0; gx + 1 < nx; ++gx) {
      const int a = gy * nx + gx;
      const int tri[2][3] = {{a, a + 1, a + nx + 1}, {a, a + nx + 1, a + nx}};
      for (const auto& v : tri) {
        for (int m = 0; m < 3; ++m) s.Tpoints[3 * t + m] = v[m];
        ++t;
      }
    }
  }
  s.NumberOfTriangles = t;
}

}  // namespace zmr::test
