#include "quality/ReportJson.h"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "export/OrbikExport.h"
#include "quality/QualityReport.h"
#include "state/CNumericLocale.h"

namespace zmr {
namespace {

// Writes objects and arrays with two blanks of indentation per level; short arrays of numbers
// may be written on one line.
class JsonWriter {
 public:
  std::string text;

  void Open(const char* key, char bracket) {
    Key(key);
    text += bracket;
    first_.push_back(true);
  }
  void Close(char bracket) {
    const bool empty = first_.back();
    first_.pop_back();
    if (!empty) Newline();
    text += bracket;
  }
  void Number(const char* key, double value) {
    Key(key);
    Value(value);
  }
  void Integer(const char* key, long value) {
    Key(key);
    text += std::to_string(value);
  }
  void String(const char* key, const std::string& value) {
    Key(key);
    Quoted(value);
  }
  // An array of numbers on one line.
  void Numbers(const char* key, const std::vector<double>& values) {
    Key(key);
    text += '[';
    for (std::size_t k = 0; k < values.size(); ++k) {
      if (k > 0) text += ", ";
      Value(values[k]);
    }
    text += ']';
  }
  void Integers(const char* key, const std::vector<long>& values) {
    Key(key);
    text += '[';
    for (std::size_t k = 0; k < values.size(); ++k) {
      if (k > 0) text += ", ";
      text += std::to_string(values[k]);
    }
    text += ']';
  }
  void Value(double value) {
    if (!std::isfinite(value)) {
      text += "null";
      return;
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6f", value);
    // -0.000000 and 0.000000 are the same figure.
    text += std::string(buffer) == "-0.000000" ? "0.000000" : buffer;
  }
  void Quoted(const std::string& value) {
    text += '"';
    for (char c : value) {
      if (c == '"' || c == '\\') {
        text += '\\';
        text += c;
      } else if (static_cast<unsigned char>(c) < 0x20) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
        text += escape;
      } else {
        text += c;
      }
    }
    text += '"';
  }
  // The next element of an array whose elements are written by the caller.
  void Element() {
    if (!first_.back()) text += ',';
    first_.back() = false;
    Newline();
  }

 private:
  void Key(const char* key) {
    if (!first_.empty()) {
      if (!first_.back()) text += ',';
      first_.back() = false;
      Newline();
    }
    if (key != nullptr) {
      Quoted(key);
      text += ": ";
    }
  }
  void Newline() {
    text += '\n';
    text.append(2 * first_.size(), ' ');
  }
  std::vector<bool> first_;
};

double Or(bool computed, double value) { return computed ? value : NAN; }

void Stats(JsonWriter& w, const char* key, const ResidualStats& s, bool computed, double pitch) {
  w.Open(key, '{');
  w.Integer("points", computed ? s.count : 0);
  w.Number("rms_px", Or(computed && s.count > 0, s.rms));
  w.Number("p95_px", Or(computed && s.count > 0, s.p95));
  w.Number("max_px", Or(computed && s.count > 0, s.max));
  const bool fraction = computed && s.count > 0 && pitch > 0;
  w.Number("rms_pitch", Or(fraction, s.rms / pitch));
  w.Number("p95_pitch", Or(fraction, s.p95 / pitch));
  w.Number("max_pitch", Or(fraction, s.max / pitch));
  w.Close('}');
}

const char* ZoneName(ClosureZone z) {
  switch (z) {
    case ClosureZone::kMeasured:
      return "measured";
    case ClosureZone::kExtrapolated:
      return "extrapolated";
    case ClosureZone::kOutside:
      return "outside";
  }
  return "outside";
}

void WriteClosure(JsonWriter& w, const Closure& c) {
  const bool ok = c.computed;
  const double pitch = c.fit.pitch;
  w.Open("closure", '{');
  w.Integer("points", ok ? c.all.count : 0);
  w.Integer("border_excluded", ok ? c.borderExcluded : 0);
  w.Number("pitch_px", Or(ok, pitch));
  w.Number("angle_deg", Or(ok, c.fit.angle * 180.0 / std::numbers::pi));
  w.Number("rms_px", Or(ok, c.all.rms));
  w.Number("p95_px", Or(ok, c.all.p95));
  w.Number("max_px", Or(ok, c.all.max));
  w.Number("rms_pitch", Or(ok && pitch > 0, c.all.rms / pitch));
  w.Number("p95_pitch", Or(ok && pitch > 0, c.all.p95 / pitch));
  w.Number("max_pitch", Or(ok && pitch > 0, c.all.max / pitch));
  Stats(w, "measured_zone", c.measuredZone, ok, pitch);
  Stats(w, "extrapolated_zone", c.extrapolatedZone, ok, pitch);
  w.Open("spots", '[');
  if (ok) {
    for (std::size_t k = 0; k < c.x.size(); ++k) {
      w.Element();
      w.text += "{\"x\": ";
      w.Value(c.x[k]);
      w.text += ", \"y\": ";
      w.Value(c.y[k]);
      w.text += ", \"row\": ";
      w.text += std::to_string(c.row[k]);
      w.text += ", \"col\": ";
      w.text += std::to_string(c.col[k]);
      w.text += ", \"dx\": ";
      w.Value(c.fit.residualX[k]);
      w.text += ", \"dy\": ";
      w.Value(c.fit.residualY[k]);
      w.text += ", \"residual_px\": ";
      w.Value(c.fit.residual[k]);
      w.text += ", \"zone\": \"";
      w.text += ZoneName(c.zone[k]);
      w.text += "\"}";
    }
  }
  w.Close(']');
  w.Close('}');
}

void WriteLeaveOneOut(JsonWriter& w, const QualityReport& r) {
  const bool ok = r.leaveOneOutComputed;
  const LeaveOneOut& l = r.leaveOneOut;
  w.Open("leave_one_out", '{');
  w.Integer("points", ok ? l.stats.count : 0);
  w.Integer("unpredicted", ok ? l.unpredicted : 0);
  w.Number("rms_px", Or(ok, l.stats.rms));
  w.Number("p95_px", Or(ok, l.stats.p95));
  w.Number("max_px", Or(ok, l.stats.max));
  w.Open("per_point", '[');
  if (ok) {
    for (std::size_t k = 0; k < l.residual.size(); ++k) {
      w.Element();
      w.text += "{\"index\": ";
      w.text += std::to_string(k);
      w.text += ", \"dx\": ";
      w.Value(l.errorX[k]);
      w.text += ", \"dy\": ";
      w.Value(l.errorY[k]);
      w.text += ", \"residual_px\": ";
      w.Value(l.residual[k]);
      w.text += '}';
    }
  }
  w.Close(']');
  w.Close('}');
}

void WriteSampling(JsonWriter& w, const char* key, const TableSampling& t, bool ok) {
  w.Open(key, '{');
  w.Integer("step_px", t.step);
  w.Integer("nodes_in_image", t.nodes);
  w.Integer("sampled_pixels", ok ? t.pixels : 0);
  w.Number("sampling_rms_px", Or(ok && t.pixels > 0, t.rms));
  w.Number("sampling_max_px", Or(ok && t.pixels > 0, t.max));
  w.Close('}');
}

void WriteTable(JsonWriter& w, const QualityReport& r) {
  const bool ok = r.tablesComputed;
  const TableFidelity& t = r.tables;
  w.Open("table", '{');
  w.Integer("nodes_in_image", t.nodesInImage);
  w.Integer("wrapped_nodes", t.wrappedNodes);
  w.Number("quantisation_max_px", t.quantisationMax);
  w.Integer("sampled_pixels", ok ? t.zmr.pixels : 0);
  w.Number("sampling_rms_px", Or(ok && t.zmr.pixels > 0, t.zmr.rms));
  w.Number("sampling_max_px", Or(ok && t.zmr.pixels > 0, t.zmr.max));
  std::vector<long> wrapped;
  for (std::size_t k = 0; k < t.nodeWrapped.size(); ++k) {
    if (t.nodeWrapped[k] != 0) wrapped.push_back(static_cast<long>(k));
  }
  w.Integers("wrapped_node_indices", wrapped);
  WriteSampling(w, "ascii", t.ascii, ok);
  w.Close('}');
}

void WriteMesh(JsonWriter& w, const MeshHealth& m) {
  w.Open("mesh", '{');
  w.Integer("triangles", m.triangles);
  w.Integer("foldovers", m.foldovers);
  w.Number("area_change_min", m.areaChangeMin);
  w.Number("area_change_max", m.areaChangeMax);
  w.Number("pitch_px", m.pitch);
  w.Number("longest_edge_px", m.longestEdge);
  w.Number("longest_edge_pitch", m.pitch > 0 ? m.longestEdge / m.pitch : NAN);
  w.Integer("long_edges", m.longEdges);
  std::vector<long> folded(m.foldedTriangles.begin(), m.foldedTriangles.end());
  w.Integers("foldover_triangles", folded);
  w.Open("long_edge_points", '[');
  for (const auto& [a, b] : m.longEdgeList) {
    w.Element();
    // Appended piece by piece: the optimised build warns falsely (-Wrestrict) on a chain.
    w.text += '[';
    w.text += std::to_string(a);
    w.text += ", ";
    w.text += std::to_string(b);
    w.text += ']';
  }
  w.Close(']');
  w.Close('}');
}

void WriteRegion(JsonWriter& w, const ExtrapolatedRegion& e) {
  w.Open("extrapolated", '{');
  w.Integer("first_point", e.measured);
  w.Integer("points", e.extrapolated);
  w.Number("node_distance_max_px", e.nodeDistanceMax);
  w.Integer("nodes_per_row", kZmrNodesPerAxis);
  w.Open("node_distance_px", '[');
  for (int y = 0; y < kZmrNodesPerAxis; ++y) {
    const auto from = e.nodeDistance.begin() + y * kZmrNodesPerAxis;
    const std::vector<double> row(from, from + kZmrNodesPerAxis);
    w.Numbers(nullptr, row);
  }
  w.Close(']');
  w.Close('}');
}

}  // namespace

std::string QualityReportJson(const QualityReport& r) {
  CNumericLocale cLocale;
  JsonWriter w;
  w.Open(nullptr, '{');
  w.String("format", "zmrcal quality report");
  w.Integer("version", 1);
  w.Open("image", '{');
  w.Integer("width", r.width);
  w.Integer("height", r.height);
  w.Close('}');
  w.Open("points", '{');
  w.Integer("measured", r.region.measured);
  w.Integer("extrapolated", r.region.extrapolated);
  w.Close('}');
  WriteClosure(w, r.closure);
  WriteLeaveOneOut(w, r);
  WriteTable(w, r);
  WriteMesh(w, r.mesh);
  WriteRegion(w, r.region);
  w.Open("reasons", '{');
  for (const auto& [section, reason] : r.reasons) w.String(section.c_str(), reason);
  w.Close('}');
  w.Close('}');
  w.text += '\n';
  return w.text;
}

}  // namespace zmr
