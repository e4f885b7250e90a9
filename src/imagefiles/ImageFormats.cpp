#include "imagefiles/ImageFormats.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <new>

#include "imagefiles/EdfImage.h"
#include "imagefiles/JpegImage.h"
#include "imagefiles/NetpbmImage.h"
#include "imagefiles/PngImage.h"
#include "imagefiles/TiffImage.h"
#include "state/FileOpen.h"
#include "state/ProgramState.h"

namespace zmr {

namespace {

// No accepted image needs more bytes than its largest pixels (four 64-bit samples) in text.
constexpr long long kMaxImageFileBytes = kMaxImagePixels * 32;

std::string LowerExtension(const std::string& name) {
  const std::size_t slash = name.find_last_of('/');
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = name.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

}  // namespace

ResultOf<CountImage> ReadImage(ImageBytes bytes, const ImageReadLimits& limits) {
  if (LooksLikeTiff(bytes)) return ReadTiff(bytes, limits);
  if (LooksLikePng(bytes)) return ReadPng(bytes, limits);
  if (LooksLikeJpeg(bytes)) return ReadJpeg(bytes, limits);
  if (LooksLikeNetpbm(bytes)) return ReadNetpbm(bytes, limits);
  if (LooksLikeEdf(bytes)) return ReadEdf(bytes, limits);
  return Result::Fail(kNotAnImageFile);
}

ResultOf<CountImage> ReadImageFile(const std::string& path) {
  std::FILE* f = OpenFile(path.c_str(), "rb");
  if (f == nullptr) return Result::Fail(FileErrorText(errno));
  std::vector<std::uint8_t> bytes;
  std::string failure;
  struct stat info {};
  if (fstat(fileno(f), &info) == 0) {
    if (S_ISDIR(info.st_mode)) failure = "it is a folder";
    // A regular file's size is known before a byte is read.
    if (S_ISREG(info.st_mode) && info.st_size > kMaxImageFileBytes) {
      failure = "the file is larger than any image that is read";
    }
  }
  try {
    std::uint8_t chunk[1 << 16];
    while (failure.empty()) {
      const std::size_t got = std::fread(chunk, 1, sizeof chunk, f);
      if (static_cast<long long>(bytes.size() + got) > kMaxImageFileBytes) {
        failure = "the file is larger than any image that is read";
        break;
      }
      bytes.insert(bytes.end(), chunk, chunk + got);
      if (got < sizeof chunk) {
        if (std::ferror(f) != 0) failure = "it cannot be read";
        break;
      }
    }
  } catch (const std::bad_alloc&) {
    failure = "not enough memory for the file";
  }
  std::fclose(f);
  if (!failure.empty()) return Result::Fail(failure);
  return ReadImage(bytes);
}

ResultOf<std::vector<std::uint8_t>> EncodeImageForName(const std::string& fileName, int width,
                                                       int height, std::span<const int> grey,
                                                       const std::vector<double>& counts) {
  const std::size_t pixels =
      width > 0 && height > 0 ? static_cast<std::size_t>(width) * static_cast<std::size_t>(height)
                              : 0;
  if (pixels == 0 || grey.size() != pixels) return Result::Fail("there is no image to save");
  const std::string ext = LowerExtension(fileName);
  const bool tiff = ext == "tif" || ext == "tiff";
  if (!tiff && ext != "png" && ext != "pgm") {
    return Result::Fail("the name must end in .tif, .tiff, .png or .pgm");
  }
  const bool withCounts = counts.size() == pixels;
  if (!withCounts) {
    const std::vector<double> levels(grey.begin(), grey.end());
    if (tiff) return EncodeTiff(width, height, levels, TiffSamples::kUnsigned8);
    if (ext == "png") return EncodePng(width, height, levels, 8);
    return EncodePgm(width, height, levels, 8);
  }
  if (tiff) return EncodeTiff(width, height, counts, TiffSamples::kFloat32);
  for (double v : counts) {
    if (!(v >= 0.0 && v <= 65535.0) || std::floor(v) != v) {
      return Result::Fail("the counts are not all whole numbers in 0..65535, which a 16-bit " +
                          std::string(ext == "png" ? "PNG" : "PGM") +
                          " cannot hold; save as .tif to keep them");
    }
  }
  if (ext == "png") return EncodePng(width, height, counts, 16);
  return EncodePgm(width, height, counts, 16);
}

}  // namespace zmr
