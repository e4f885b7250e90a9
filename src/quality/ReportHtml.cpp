#include "quality/ReportHtml.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "geometry/TriangleLocation.h"
#include "geometry/TriangleMap.h"
#include "quality/QualityReport.h"
#include "state/CNumericLocale.h"
#include "state/ProgramState.h"

namespace zmr {
namespace {

// Largest side of a picture in the page.
constexpr long kPictureSide = 800;
constexpr int kHistogramBins = 24;

struct Colour {
  std::uint8_t r, g, b;
};

constexpr Colour kVectorColour = {220, 30, 30};
constexpr Colour kClosureColour = {30, 90, 230};
constexpr Colour kFoldColour = {230, 40, 40};
constexpr Colour kLongEdgeColour = {250, 140, 0};
constexpr Colour kNoValue = {90, 90, 90};

// Blue, cyan, green, yellow, red from 0 to 1.
Colour Ramp(double v) {
  static constexpr Colour kStops[] = {
      {20, 30, 140}, {0, 170, 220}, {40, 180, 60}, {240, 220, 30}, {220, 30, 30}};
  if (!(v > 0)) return kStops[0];
  if (v >= 1) return kStops[4];
  const double at = v * 4;
  const int k = static_cast<int>(at);
  const double f = at - k;
  const auto mix = [f](std::uint8_t a, std::uint8_t b) {
    return static_cast<std::uint8_t>(std::lround(a + f * (b - a)));
  };
  return {mix(kStops[k].r, kStops[k + 1].r), mix(kStops[k].g, kStops[k + 1].g),
          mix(kStops[k].b, kStops[k + 1].b)};
}

std::string Fixed(const char* format, double v) {
  CNumericLocale cLocale;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, v);
  return buffer;
}

// A picture of the image at 1 / scale of its size.
struct Canvas {
  RgbPicture picture;
  long scale = 1;

  Canvas(long M, long N, std::uint8_t grey) {
    scale = std::max<long>(1, (std::max(M, N) + kPictureSide - 1) / kPictureSide);
    picture.width = static_cast<int>(std::max<long>(1, (M + scale - 1) / scale));
    picture.height = static_cast<int>(std::max<long>(1, (N + scale - 1) / scale));
    picture.rgb.assign(static_cast<std::size_t>(picture.width) * picture.height * 3, grey);
  }
  void Set(long x, long y, Colour c) {
    if (x < 0 || y < 0 || x >= picture.width || y >= picture.height) return;
    std::uint8_t* p = picture.rgb.data() + 3 * (y * picture.width + x);
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
  }
  // A line between two image positions, `thick` pixels wide.
  void Line(double x0, double y0, double x1, double y1, Colour c, int thick = 1) {
    x0 /= scale;
    y0 /= scale;
    x1 /= scale;
    y1 /= scale;
    if (!std::isfinite(x0 + y0 + x1 + y1)) return;
    // Clipped to the picture first, so that a point far outside the image costs nothing.
    double t0 = 0.0;
    double t1 = 1.0;
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    const double edges[4][2] = {{-dx, x0 + thick},
                                {dx, picture.width + thick - x0},
                                {-dy, y0 + thick},
                                {dy, picture.height + thick - y0}};
    for (const auto& [p, q] : edges) {
      if (p == 0) {
        if (q < 0) return;
        continue;
      }
      const double r = q / p;
      if (p < 0) {
        t0 = std::max(t0, r);
      } else {
        t1 = std::min(t1, r);
      }
    }
    if (t0 > t1) return;
    x1 = x0 + t1 * dx;
    y1 = y0 + t1 * dy;
    x0 += t0 * dx;
    y0 += t0 * dy;
    const double length = std::max(std::fabs(x1 - x0), std::fabs(y1 - y0));
    const auto steps = static_cast<long>(std::ceil(length)) + 1;
    for (long k = 0; k <= steps; ++k) {
      const double f = steps > 0 ? static_cast<double>(k) / steps : 0.0;
      const long x = std::lround(x0 + f * (x1 - x0));
      const long y = std::lround(y0 + f * (y1 - y0));
      for (int a = 0; a < thick; ++a) {
        for (int b = 0; b < thick; ++b) Set(x + a - thick / 2, y + b - thick / 2, c);
      }
    }
  }
  void Dot(double x, double y, Colour c, int radius) {
    const long cx = std::lround(x / scale);
    const long cy = std::lround(y / scale);
    for (long b = -radius; b <= radius; ++b) {
      for (long a = -radius; a <= radius; ++a) {
        if (a * a + b * b <= radius * radius) Set(cx + a, cy + b, c);
      }
    }
  }
  // The image positions of the picture's pixels along each axis.
  std::vector<double> Axis(int count) const {
    std::vector<double> axis(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k)
      axis[static_cast<std::size_t>(k)] = static_cast<double>(k * scale);
    return axis;
  }
};

// The source image, faded, as the background of the vector picture.
void DrawSource(const ProgramState& s, Canvas& canvas) {
  const long M = s.cxDib;
  const long N = s.cyDib;
  if (s.Msource.size() < static_cast<std::size_t>(M * N) || M <= 0 || N <= 0) return;
  const auto [lo, hi] = std::minmax_element(s.Msource.begin(), s.Msource.begin() + M * N);
  const double range = std::max(1, *hi - *lo);
  for (int y = 0; y < canvas.picture.height; ++y) {
    for (int x = 0; x < canvas.picture.width; ++x) {
      const long i = std::min<long>(x * canvas.scale, M - 1);
      const long j = std::min<long>(y * canvas.scale, N - 1);
      const double v = (s.Msource[static_cast<std::size_t>(j * M + i)] - *lo) / range;
      const auto g = static_cast<std::uint8_t>(std::lround(150 + 100 * v));
      canvas.Set(x, y, {g, g, g});
    }
  }
}

// A round number (1, 2 or 5 times a power of ten) at or below v.
double RoundDown125(double v) {
  if (!(v > 0) || !std::isfinite(v)) return 1.0;
  const double decade = std::pow(10.0, std::floor(std::log10(v)));
  for (double m : {5.0, 2.0, 1.0}) {
    if (m * decade <= v) return m * decade;
  }
  return decade;
}

std::string PngImage(const RgbPicture& picture, const std::string& alt) {
  return "<img alt=\"" + alt + "\" src=\"data:image/png;base64," + Base64(EncodeRgbPng(picture)) +
         "\">";
}

std::string Legend(double max, const char* unit) {
  return "<div class=\"legend\"><span>0</span><span class=\"ramp\"></span><span>" +
         Fixed("%.3f", max) + " " + unit + "</span></div>";
}

std::string VectorPicture(const ProgramState& s, const QualityReport& r, double pitch) {
  Canvas canvas(s.cxDib, s.cyDib, 235);
  DrawSource(s, canvas);
  double largest = 0.0;
  for (double v : r.leaveOneOut.residual) {
    if (std::isfinite(v)) largest = std::max(largest, v);
  }
  if (r.closure.computed) largest = std::max(largest, r.closure.all.max);
  // The largest residual drawn about half a pitch long.
  const double target = pitch > 0 ? 0.5 * pitch : 20.0;
  const double factor = largest > 0 ? std::max(1.0, RoundDown125(target / largest)) : 1.0;
  const double* p = s.PointsInput.data();
  for (std::size_t k = 0; k < r.leaveOneOut.residual.size(); ++k) {
    if (!std::isfinite(r.leaveOneOut.residual[k])) continue;
    const double x = p[4 * k];
    const double y = p[4 * k + 1];
    canvas.Line(x, y, x + factor * r.leaveOneOut.errorX[k], y + factor * r.leaveOneOut.errorY[k],
                kVectorColour, 2);
    canvas.Dot(x, y, kVectorColour, 1);
  }
  if (r.closure.computed) {
    for (std::size_t k = 0; k < r.closure.x.size(); ++k) {
      const double x = r.closure.x[k];
      const double y = r.closure.y[k];
      canvas.Line(x, y, x + factor * r.closure.fit.residualX[k],
                  y + factor * r.closure.fit.residualY[k], kClosureColour, 2);
    }
  }
  // The scale bar: a round residual at the same exaggeration, bottom left.
  const double bar = RoundDown125(largest > 0 ? largest : 1.0);
  const double y0 = (canvas.picture.height - 12) * static_cast<double>(canvas.scale);
  const double x0 = 12.0 * canvas.scale;
  canvas.Line(x0, y0, x0 + factor * bar, y0, {0, 0, 0}, 3);
  return PngImage(canvas.picture, "residual vectors") + "<p>Red: leave-one-out error at each " +
         "measured point; blue: closure residual of each re-detected spot. Vectors are drawn " +
         Fixed("%g", factor) + " times their length; the black bar at the bottom left stands for " +
         Fixed("%g", bar) + " px.</p>";
}

std::string HeatPicture(const ProgramState& s, const QualityReport& r) {
  Canvas canvas(s.cxDib, s.cyDib, 255);
  const std::vector<double> xs = canvas.Axis(canvas.picture.width);
  const std::vector<double> ys = canvas.Axis(canvas.picture.height);
  std::vector<int> map;
  const double largest = r.leaveOneOut.stats.max;
  if (MapTriangles(s, xs, ys, map)) {
    const double* p = s.PointsInput.data();
    const auto value = [&](int point) {
      return static_cast<std::size_t>(point) < r.leaveOneOut.residual.size()
                 ? r.leaveOneOut.residual[static_cast<std::size_t>(point)]
                 : std::numeric_limits<double>::quiet_NaN();
    };
    for (std::size_t b = 0; b < ys.size(); ++b) {
      for (std::size_t a = 0; a < xs.size(); ++a) {
        const int t = map[b * xs.size() + a];
        if (t < 0) continue;
        const int* v = s.Tpoints.data() + 3 * t;
        const double* A = p + 4 * v[0];
        const double* B = p + 4 * v[1];
        const double* C = p + 4 * v[2];
        const double area = (B[0] - A[0]) * (C[1] - A[1]) - (B[1] - A[1]) * (C[0] - A[0]);
        const double P[2] = {xs[a], ys[b]};
        const double wa = SideCross(B, C, P) / area;
        const double wb = SideCross(C, A, P) / area;
        const double wc = 1.0 - wa - wb;
        const double e = wa * value(v[0]) + wb * value(v[1]) + wc * value(v[2]);
        canvas.Set(static_cast<long>(a), static_cast<long>(b),
                   std::isfinite(e) ? Ramp(largest > 0 ? e / largest : 0.0) : kNoValue);
      }
    }
  }
  return PngImage(canvas.picture, "leave-one-out heat map") + Legend(largest, "px") +
         "<p>The leave-one-out error interpolated over the mesh; grey: triangles with a corner "
         "that has no leave-one-out figure (an extrapolated or boundary point); white: outside "
         "the mesh.</p>";
}

std::string FidelityPicture(const QualityReport& r) {
  const TableFidelity& t = r.tables;
  RgbPicture picture;
  picture.width = t.mapWidth;
  picture.height = t.mapHeight;
  picture.rgb.assign(static_cast<std::size_t>(picture.width) * picture.height * 3, 255);
  const double largest = t.zmr.max;
  for (std::size_t k = 0; k < t.errorMap.size(); ++k) {
    const double e = t.errorMap[k];
    if (!std::isfinite(e)) continue;
    const Colour c = Ramp(largest > 0 ? e / largest : 0.0);
    picture.rgb[3 * k] = c.r;
    picture.rgb[3 * k + 1] = c.g;
    picture.rgb[3 * k + 2] = c.b;
  }
  return PngImage(picture, "table fidelity map") + Legend(largest, "px") +
         "<p>The largest difference, over blocks of " + std::to_string(t.mapScale) + " x " +
         std::to_string(t.mapScale) +
         " pixels, between the .zmr table read back (bilinear between its nodes) and the full "
         "model; white: outside the zone or the table.</p>";
}

std::string MeshPicture(const ProgramState& s, const QualityReport& r) {
  Canvas canvas(s.cxDib, s.cyDib, 255);
  const double* p = s.PointsInput.data();
  const long triangles = SearchableTriangleCount(s);
  for (int t : r.mesh.foldedTriangles) {
    const int* v = s.Tpoints.data() + 3 * t;
    // Filled by drawing lines from one corner to points along the opposite edge.
    for (int k = 0; k <= 64; ++k) {
      const double f = k / 64.0;
      const double* B = p + 4 * v[1];
      const double* C = p + 4 * v[2];
      canvas.Line(p[4 * v[0]], p[4 * v[0] + 1], B[0] + f * (C[0] - B[0]), B[1] + f * (C[1] - B[1]),
                  kFoldColour);
    }
  }
  for (long t = 0; t < triangles; ++t) {
    const int* v = s.Tpoints.data() + 3 * t;
    for (int e = 0; e < 3; ++e) {
      const double* a = p + 4 * v[e];
      const double* b = p + 4 * v[(e + 1) % 3];
      canvas.Line(a[0], a[1], b[0], b[1], {150, 150, 150});
    }
  }
  for (const auto& [a, b] : r.mesh.longEdgeList) {
    canvas.Line(p[4 * a], p[4 * a + 1], p[4 * b], p[4 * b + 1], kLongEdgeColour, 3);
  }
  const long points = std::min<long>(s.NumberOfPoints, static_cast<long>(s.PointsInput.size() / 4));
  for (long k = 0; k < points; ++k) {
    canvas.Dot(p[4 * k], p[4 * k + 1],
               k < r.region.measured ? Colour{0, 0, 0} : Colour{40, 90, 230}, 1);
  }
  return PngImage(canvas.picture, "mesh") +
         "<p>The mesh at the measured positions; black: measured points, blue: extrapolated "
         "points, red: fold-overs, orange: edges longer than 1.6 pitches.</p>";
}

std::string Histogram(const std::vector<double>& values, const char* title) {
  double largest = 0.0;
  for (double v : values) {
    if (std::isfinite(v)) largest = std::max(largest, v);
  }
  int counts[kHistogramBins] = {};
  int top = 0;
  for (double v : values) {
    if (!std::isfinite(v)) continue;
    const int bin =
        largest > 0 ? std::min(kHistogramBins - 1, static_cast<int>(v / largest * kHistogramBins))
                    : 0;
    top = std::max(top, ++counts[bin]);
  }
  const int width = 480;
  const int height = 200;
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
                    "\" height=\"" + std::to_string(height + 30) + "\">";
  const int barWidth = width / kHistogramBins;
  for (int k = 0; k < kHistogramBins; ++k) {
    const int h = top > 0 ? counts[k] * height / top : 0;
    svg += "<rect x=\"" + std::to_string(k * barWidth) + "\" y=\"" + std::to_string(height - h) +
           "\" width=\"" + std::to_string(barWidth - 1) + "\" height=\"" + std::to_string(h) +
           "\" fill=\"#3a6fd8\"><title>" + std::to_string(counts[k]) + "</title></rect>";
  }
  svg += "<text x=\"0\" y=\"" + std::to_string(height + 20) + "\">0 px</text>";
  svg += "<text x=\"" + std::to_string(width) + "\" y=\"" + std::to_string(height + 20) +
         "\" text-anchor=\"end\">" + Fixed("%.3f", largest) + " px</text>";
  svg += "</svg>";
  return std::string("<h3>") + title + "</h3>" + svg + "<p>Tallest bar: " + std::to_string(top) +
         " points.</p>";
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void WritePng(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void FlushPng(png_structp /*png*/) {}

}  // namespace

std::vector<std::uint8_t> EncodeRgbPng(const RgbPicture& picture) {
  std::vector<std::uint8_t> out;
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.rgb.size() != static_cast<std::size_t>(picture.width) * picture.height * 3) {
    return out;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return out;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, WritePng, FlushPng);
  // The pictures are mostly flat colour: the fastest level compresses them nearly as well.
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width),
               static_cast<png_uint_32>(picture.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < picture.height; ++y) {
    png_write_row(png, const_cast<png_bytep>(picture.rgb.data() + 3 * y * picture.width));
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::string Base64(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t k = 0; k < bytes.size(); k += 3) {
    const std::uint32_t a = bytes[k];
    const std::uint32_t b = k + 1 < bytes.size() ? bytes[k + 1] : 0;
    const std::uint32_t c = k + 2 < bytes.size() ? bytes[k + 2] : 0;
    const std::uint32_t triple = (a << 16) | (b << 8) | c;
    out += kDigits[(triple >> 18) & 63];
    out += kDigits[(triple >> 12) & 63];
    out += k + 1 < bytes.size() ? kDigits[(triple >> 6) & 63] : '=';
    out += k + 2 < bytes.size() ? kDigits[triple & 63] : '=';
  }
  return out;
}

std::string QualityReportHtml(const ProgramState& s, const QualityReport& r) {
  std::string page =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Calibration quality</title>\n"
      "<style>body{font-family:sans-serif;margin:2em;max-width:60em}"
      "table{border-collapse:collapse}td{padding:2px 12px;border-bottom:1px solid #ddd}"
      "img{max-width:100%;border:1px solid #999}"
      ".legend{display:flex;gap:8px;align-items:center;margin:4px 0}"
      ".ramp{display:inline-block;width:240px;height:12px;background:linear-gradient(to right,"
      "#141e8c,#00aadc,#28b43c,#f0dc1e,#dc1e1e)}</style></head><body>\n"
      "<h1>Calibration quality</h1>\n<h2>Summary</h2>\n<table>\n";
  // The summary table: the lines of the text summary, split at the column.
  const std::string text = QualitySummaryText(r);
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end - start);
    start = end == std::string::npos ? text.size() : end + 1;
    page += "<tr><td>" + Escape(line.substr(0, std::min<std::size_t>(34, line.size()))) +
            "</td><td>" + Escape(line.size() > 35 ? line.substr(35) : std::string()) +
            "</td></tr>\n";
  }
  page += "</table>\n";
  if (!r.reasons.empty()) {
    page += "<h2>Figures not computed</h2>\n<ul>\n";
    for (const auto& [section, reason] : r.reasons) {
      page += "<li>" + Escape(section) + ": " + Escape(reason) + "</li>\n";
    }
    page += "</ul>\n";
  }
  const double pitch = r.mesh.pitch;
  page += "<h2>Residual vectors</h2>\n" + VectorPicture(s, r, pitch) + "\n";
  page += "<h2>Leave-one-out heat map</h2>\n" + HeatPicture(s, r) + "\n";
  page += "<h2>Histograms</h2>\n" + Histogram(r.leaveOneOut.residual, "Leave-one-out error") + "\n";
  if (r.closure.computed) page += Histogram(r.closure.fit.residual, "Closure residual") + "\n";
  if (r.tablesComputed) page += "<h2>Table fidelity (.zmr)</h2>\n" + FidelityPicture(r) + "\n";
  page += "<h2>Mesh</h2>\n" + MeshPicture(s, r) + "\n";
  page += "</body></html>\n";
  return page;
}

}  // namespace zmr
