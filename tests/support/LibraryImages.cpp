#include "support/LibraryImages.h"

#include <png.h>
#include <tiffio.h>

#include <cstdio>
#include <cstring>
// jpeglib.h needs stdio.h first.
#include <jpeglib.h>

#include "support/TestSupport.h"

namespace zmr::test {

namespace {
template <typename T>
void Append(std::vector<std::uint8_t>& out, T v) {
  std::uint8_t b[sizeof(T)];
  std::memcpy(b, &v, sizeof(T));
  out.insert(out.end(), b, b + sizeof(T));
}

std::vector<std::uint8_t> Encode(const LibraryTiff& s, const std::vector<double>& samples) {
  std::vector<std::uint8_t> out;
  for (double v : samples) {
    if (s.sampleFormat == 3) {
      if (s.bits == 32)
        Append(out, static_cast<float>(v));
      else
        Append(out, v);
    } else if (s.sampleFormat == 2) {
      if (s.bits == 8) Append(out, static_cast<std::int8_t>(v));
      if (s.bits == 16) Append(out, static_cast<std::int16_t>(v));
      if (s.bits == 32) Append(out, static_cast<std::int32_t>(v));
    } else {
      if (s.bits == 8) Append(out, static_cast<std::uint8_t>(v));
      if (s.bits == 16) Append(out, static_cast<std::uint16_t>(v));
      if (s.bits == 32) Append(out, static_cast<std::uint32_t>(v));
    }
  }
  return out;
}
}  // namespace

std::vector<std::uint8_t> WriteLibraryTiff(const LibraryTiff& s,
                                           const std::vector<double>& samples) {
  const char* name = "library.tif";
  TIFF* tif = TIFFOpen(name, "w");
  if (tif == nullptr) return {};
  const int spp = s.samplesPerPixel;
  const std::vector<std::uint8_t> contiguous = Encode(s, samples);
  const std::size_t sampleBytes = static_cast<std::size_t>(s.bits / 8);
  for (int page = 0; page < s.pages; ++page) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, s.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, s.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, s.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, s.sampleFormat);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, s.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG,
                 s.separatePlanes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, s.compression);
    if (s.compression == COMPRESSION_JPEG) {
      // Stored as YCbCr, given and read back as RGB.
      TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
      TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 100);
      TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    if (spp == 4 || spp == 2) {
      const std::uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
      TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    if (s.pages > 1) TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    const int planes = s.separatePlanes ? spp : 1;
    const int perPixel = s.separatePlanes ? 1 : spp;
    // The pixel (x, y) of plane p as stored.
    auto pixel = [&](int x, int y, int p, std::uint8_t* to) {
      const std::size_t first = (static_cast<std::size_t>(y) * s.width + x) * spp;
      for (int c = 0; c < perPixel; ++c) {
        const std::size_t k = first + (s.separatePlanes ? p : c);
        std::memcpy(to + c * sampleBytes, contiguous.data() + k * sampleBytes, sampleBytes);
      }
    };
    if (s.tileSide > 0) {
      TIFFSetField(tif, TIFFTAG_TILEWIDTH, s.tileSide);
      TIFFSetField(tif, TIFFTAG_TILELENGTH, s.tileSide);
      std::vector<std::uint8_t> tile(static_cast<std::size_t>(TIFFTileSize(tif)));
      for (int p = 0; p < planes; ++p) {
        for (int ty = 0; ty < s.height; ty += s.tileSide) {
          for (int tx = 0; tx < s.width; tx += s.tileSide) {
            std::fill(tile.begin(), tile.end(), 0);
            for (int y = ty; y < std::min(ty + s.tileSide, s.height); ++y) {
              for (int x = tx; x < std::min(tx + s.tileSide, s.width); ++x) {
                pixel(x, y, p,
                      tile.data() + ((y - ty) * s.tileSide + (x - tx)) * perPixel * sampleBytes);
              }
            }
            TIFFWriteTile(tif, tile.data(), tx, ty, 0, static_cast<std::uint16_t>(p));
          }
        }
      }
    } else {
      TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, s.rowsPerStrip);
      std::vector<std::uint8_t> row(static_cast<std::size_t>(s.width) * perPixel * sampleBytes);
      for (int p = 0; p < planes; ++p) {
        for (int y = 0; y < s.height; ++y) {
          for (int x = 0; x < s.width; ++x) pixel(x, y, p, row.data() + x * perPixel * sampleBytes);
          TIFFWriteScanline(tif, row.data(), y, static_cast<std::uint16_t>(p));
        }
      }
    }
    TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
  return ReadBytes(name);
}

std::vector<std::uint8_t> WriteLibraryPng(const LibraryPng& s,
                                          const std::vector<unsigned>& samples) {
  const char* name = "library.png";
  std::FILE* f = std::fopen(name, "wb");
  if (f == nullptr) return {};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, s.width, s.height, s.bitDepth, s.colorType,
               s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  for (std::size_t i = 0; i + 2 < s.palette.size(); i += 3) {
    palette.push_back({s.palette[i], s.palette[i + 1], s.palette[i + 2]});
  }
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  png_write_info(png, info);
  const int channels = png_get_channels(png, info);
  const std::size_t perRow = static_cast<std::size_t>(s.width) * channels;
  // Packed rows: samples of fewer than 8 bits share bytes, most significant first.
  const std::size_t rowBytes = (perRow * s.bitDepth + 7) / 8;
  std::vector<std::uint8_t> image(rowBytes * s.height, 0);
  for (int y = 0; y < s.height; ++y) {
    std::uint8_t* row = image.data() + y * rowBytes;
    for (std::size_t k = 0; k < perRow; ++k) {
      const unsigned v = samples[y * perRow + k];
      if (s.bitDepth == 16) {
        row[2 * k] = static_cast<std::uint8_t>(v >> 8);
        row[2 * k + 1] = static_cast<std::uint8_t>(v);
      } else if (s.bitDepth == 8) {
        row[k] = static_cast<std::uint8_t>(v);
      } else {
        const std::size_t bit = k * s.bitDepth;
        row[bit / 8] |= static_cast<std::uint8_t>(v << (8 - s.bitDepth - bit % 8));
      }
    }
  }
  std::vector<png_bytep> rows(s.height);
  for (int y = 0; y < s.height; ++y) rows[y] = image.data() + y * rowBytes;
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
  return ReadBytes(name);
}

std::vector<std::uint8_t> WriteLibraryJpeg(int width, int height, int components,
                                           const std::vector<std::uint8_t>& samples,
                                           bool progressive) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = width;
  info.image_height = height;
  info.input_components = components;
  info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 100, TRUE);
  if (progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(samples.data() + info.next_scanline * width * components);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<std::uint8_t> out(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return out;
}

}  // namespace zmr::test
