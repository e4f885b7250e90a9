// Why a file could not be read or written, in words for the line under a message box
// ("sample.txt: no such file"). They look at the file again after a command failed, so they
// name the likeliest reason, not necessarily the one the reader met. Qt-free; any thread.
#pragma once

#include <string>

namespace zmr {

struct TextCount;

// The file's name without its folder.
std::string BaseName(const std::string& path);

// "NAME: no such file", "NAME: is a folder, not a file", "NAME: cannot be read (permission
// denied)", "NAME: the file is empty"; empty when the file can be read and holds something.
std::string ReadProblem(const std::string& path);

// Why a text image with this count was refused ("NAME: holds something that is not a number
// after 12 values", "NAME: 7 values make no width x height"), the file's own problem first.
std::string TextImageProblem(const std::string& path, const TextCount& counted);

// Why a bitmap file was refused: the file's own problem, else what its headers say ("header
// says 4096 x 4096 but the file holds 1094 bytes", "no BM signature"), else the decoder's
// reason when one is given. Reads only the first bytes; opens no FIFO or device.
std::string BitmapProblem(const std::string& path, const std::string& decoderReason = {});

// Why a file cannot be written there: "the folder /x does not exist", "NAME: is a folder, not
// a file", "NAME: permission denied"; empty when nothing stands in the way.
std::string WriteProblem(const std::string& path);

}  // namespace zmr
