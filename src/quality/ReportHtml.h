// The quality report as one self-contained HTML page: the summary table, and the pictures
// embedded as base64 PNG (residual vectors over the image with their exaggeration and a scale
// bar, a heat map of the residual length, the table-fidelity map, the mesh with fold-overs and
// long edges marked) and a histogram of the residuals as inline SVG. The same report gives the
// same bytes.
//
// Threads: any thread; reads the record's source image and calibration, which must not change
// meanwhile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zmr {

struct ProgramState;
struct QualityReport;

std::string QualityReportHtml(const ProgramState& s, const QualityReport& report);

// An RGB picture, 3 bytes per pixel, rows top-down.
struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

// The PNG file of a picture; empty when the picture is empty or the encoder failed.
std::vector<std::uint8_t> EncodeRgbPng(const RgbPicture& picture);

// Standard base64 with padding.
std::string Base64(const std::vector<std::uint8_t>& bytes);

}  // namespace zmr
