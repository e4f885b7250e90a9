#include "quality/LatticeFit.h"

#include <cmath>
#include <limits>

namespace zmr {

bool FitSquareLattice(const std::vector<double>& x, const std::vector<double>& y,
                      const std::vector<int>& row, const std::vector<int>& col, LatticeFit& fit,
                      std::string& problem) {
  const std::size_t n = x.size();
  if (y.size() != n || row.size() != n || col.size() != n || n < 2) {
    problem = "fewer than two spots to fit a lattice to";
    return false;
  }
  // A similarity in closed form: with the centroids removed, the scaled rotation (a, b) of the
  // column step solves two decoupled normal equations.
  double mx = 0, my = 0, mr = 0, mc = 0;
  for (std::size_t k = 0; k < n; ++k) {
    mx += x[k];
    my += y[k];
    mr += row[k];
    mc += col[k];
  }
  const double count = static_cast<double>(n);
  mx /= count;
  my /= count;
  mr /= count;
  mc /= count;
  double sa = 0, sb = 0, norm = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const double c = col[k] - mc;
    const double r = row[k] - mr;
    const double dx = x[k] - mx;
    const double dy = y[k] - my;
    sa += c * dx + r * dy;
    sb += c * dy - r * dx;
    norm += c * c + r * r;
  }
  if (!(norm > 0) || !std::isfinite(sa) || !std::isfinite(sb)) {
    problem = norm > 0 ? "the spot centres are not finite numbers"
                       : "the spots all sit on one lattice node";
    return false;
  }
  const double a = sa / norm;
  const double b = sb / norm;
  fit.pitch = std::hypot(a, b);
  fit.angle = std::atan2(b, a);
  fit.originX = mx - mc * a + mr * b;
  fit.originY = my - mc * b - mr * a;
  fit.residualX.resize(n);
  fit.residualY.resize(n);
  fit.residual.resize(n);
  for (std::size_t k = 0; k < n; ++k) {
    const double nodeX = fit.originX + col[k] * a - row[k] * b;
    const double nodeY = fit.originY + col[k] * b + row[k] * a;
    fit.residualX[k] = x[k] - nodeX;
    fit.residualY[k] = y[k] - nodeY;
    fit.residual[k] = std::hypot(fit.residualX[k], fit.residualY[k]);
  }
  return true;
}

bool LatticeIndices(const std::vector<double>& X, const std::vector<double>& Y,
                    std::vector<int>& row, std::vector<int>& col, std::string& problem) {
  const std::size_t n = X.size();
  if (Y.size() != n || n < 3) {
    problem = "fewer than three spots on the grid";
    return false;
  }
  double cx = 0, cy = 0;
  for (std::size_t k = 0; k < n; ++k) {
    cx += X[k];
    cy += Y[k];
  }
  cx /= static_cast<double>(n);
  cy /= static_cast<double>(n);
  const auto nearest = [&](double px, double py, auto accept) {
    std::size_t best = n;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < n; ++k) {
      const double d = std::hypot(X[k] - px, Y[k] - py);
      if (d < bestDistance && accept(k)) {
        bestDistance = d;
        best = k;
      }
    }
    return best;
  };
  const std::size_t centre = nearest(cx, cy, [](std::size_t) { return true; });
  if (centre == n) {
    problem = "the ideal positions are not finite numbers";
    return false;
  }
  const double ox = X[centre];
  const double oy = Y[centre];
  const std::size_t first =
      nearest(ox, oy, [&](std::size_t k) { return std::hypot(X[k] - ox, Y[k] - oy) > 1e-9; });
  if (first == n) {
    problem = "the ideal positions all coincide";
    return false;
  }
  const double ux = X[first] - ox;
  const double uy = Y[first] - oy;
  const double ulen = std::hypot(ux, uy);
  const std::size_t second = nearest(ox, oy, [&](std::size_t k) {
    const double wx = X[k] - ox;
    const double wy = Y[k] - oy;
    return std::fabs(ux * wy - uy * wx) > 0.5 * ulen * std::hypot(wx, wy);
  });
  if (second == n) {
    problem = "the ideal positions lie on one line";
    return false;
  }
  double vx = X[second] - ox;
  double vy = Y[second] - oy;
  if (ux * vy - uy * vx < 0) {
    vx = -vx;
    vy = -vy;
  }
  const double det = ux * vy - uy * vx;
  row.resize(n);
  col.resize(n);
  for (std::size_t k = 0; k < n; ++k) {
    const double dx = X[k] - ox;
    const double dy = Y[k] - oy;
    const double c = (dx * vy - dy * vx) / det;
    const double r = (ux * dy - uy * dx) / det;
    const double rc = std::round(c);
    const double rr = std::round(r);
    if (!(std::fabs(c - rc) <= 0.25 && std::fabs(r - rr) <= 0.25) || std::fabs(rc) > 1e6 ||
        std::fabs(rr) > 1e6) {
      problem = "the ideal positions do not form a lattice";
      return false;
    }
    col[k] = static_cast<int>(rc);
    row[k] = static_cast<int>(rr);
  }
  return true;
}

}  // namespace zmr
