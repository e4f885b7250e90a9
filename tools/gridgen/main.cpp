// zmr_gridgen: writes a synthetic calibration-grid image in the program's input formats,
// with the true spot positions beside it. See GridGenUsage() for the options.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "gridgen/GridGen.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  zmr::GridGenOptions options;
  std::string error;
  if (!zmr::ParseGridGenArguments(args, &options, &error)) {
    std::fprintf(stderr, "zmr_gridgen: %s\n%s", error.c_str(), zmr::GridGenUsage().c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(zmr::GridGenUsage().c_str(), stdout);
    return 0;
  }

  const zmr::GridImage image = zmr::GenerateGrid(options.gridSpec);
  if (image.width == 0) {
    std::fprintf(stderr, "zmr_gridgen: not enough memory for a %dx%d image\n",
                 options.gridSpec.width, options.gridSpec.height);
    return 1;
  }

  const std::string& prefix = options.prefix;
  struct Output {
    std::string name;
    bool written;
  };
  // Each writer runs even when an earlier one failed, so every failure is reported.
  std::vector<Output> outputs = {
      {prefix + ".txt", zmr::WriteOstrelFile(prefix + ".txt", image, options.gridSpec.countScale)},
      {prefix + ".dat", zmr::WriteAsciiFile(prefix + ".dat", image)},
      {prefix + ".bmp", zmr::WriteBitmapFile(prefix + ".bmp", image)},
      {prefix + "_truth.txt", zmr::WriteTruthFile(prefix + "_truth.txt", image)},
  };
  if (options.counts) {
    const int scale = options.gridSpec.countsScale;
    outputs.push_back({prefix + ".tif", zmr::WriteTiff16File(prefix + ".tif", image, scale)});
    outputs.push_back({prefix + ".png", zmr::WritePng16File(prefix + ".png", image, scale)});
  }
  int status = 0;
  for (const Output& output : outputs) {
    if (!output.written) {
      std::fprintf(stderr, "zmr_gridgen: cannot write %s\n", output.name.c_str());
      status = 1;
    }
  }

  if (status != 0) return status;

  int drawn = 0;
  for (const zmr::GridSpot& spot : image.spots) drawn += spot.present ? 1 : 0;
  std::printf("%dx%d image with %d spots drawn, %d missing\n", image.width, image.height, drawn,
              static_cast<int>(image.spots.size()) - drawn);
  return 0;
}
