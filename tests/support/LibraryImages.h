// Image files written by the libraries themselves (libtiff, libpng, libjpeg), with the features
// the program's own encoders never produce: every sample type, colour, palettes, tiles,
// separate planes, compression, several pages. The tests read them back through the readers.
#pragma once

#include <cstdint>
#include <vector>

namespace zmr::test {

struct LibraryTiff {
  int width = 5, height = 4;
  int bits = 8;
  int sampleFormat = 1;  // 1 unsigned, 2 signed, 3 float
  int samplesPerPixel = 1;
  int photometric = 1;  // 1 grey, 2 RGB
  bool separatePlanes = false;
  int tileSide = 0;  // 0: strips of rowsPerStrip rows
  int rowsPerStrip = 1;
  int compression = 1;  // COMPRESSION_NONE
  int pages = 1;
};
// A TIFF whose sample k (row-major, channels interleaved as stored contiguously) holds
// samples[k] converted to the sample type. Written with TIFFOpen into the current folder.
std::vector<std::uint8_t> WriteLibraryTiff(const LibraryTiff& layout,
                                           const std::vector<double>& samples);

struct LibraryPng {
  int width = 5, height = 4;
  int bitDepth = 8;
  int colorType = 0;  // PNG_COLOR_TYPE_*
  bool interlaced = false;
  std::vector<std::uint8_t> palette = {};  // RGB triples for palette images
};
// A PNG of the given samples (channels interleaved, alpha included for the alpha types).
std::vector<std::uint8_t> WriteLibraryPng(const LibraryPng& layout,
                                          const std::vector<unsigned>& samples);

// A JPEG at quality 100 of 8-bit samples (components 1 or 3, interleaved).
std::vector<std::uint8_t> WriteLibraryJpeg(int width, int height, int components,
                                           const std::vector<std::uint8_t>& samples,
                                           bool progressive = false);

}  // namespace zmr::test
