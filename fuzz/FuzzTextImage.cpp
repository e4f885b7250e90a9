// Fuzz target of a text image: Ostrel ("%x") or ASCII ("%i", decimal, octal or hexadecimal)
// values, chosen when the target is built (ZMR_FUZZ_TEXT_MODE). The first two input bytes
// choose the working size and the read-ahead chunk; the rest is the file. Besides memory safety
// it checks that the chunked stream reader, at a small chunk size, converts exactly what the
// in-memory reader converts, and that the format list is sound.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imagefiles/TextImage.h"
#include "state/ProgramState.h"

namespace {

std::FILE* OpenBytes(const std::string& bytes) {
  if (bytes.empty()) return nullptr;
  return fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "r");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zmr;
  const char* mode = ZMR_FUZZ_TEXT_MODE;
  if (size < 2) return 0;
  const int cx = 1 + data[0] % 48;
  const int cy = 1 + data[1] % 48;
  const std::size_t chunk = 1 + (data[0] ^ data[1]) % 17;
  const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

  // The load counts with "%x" whatever the mode, as the program does.
  const TextCount whole = CountTextValuesInBuffer(bytes, "%x");
  if (!whole.opened || whole.count < 0) std::abort();
  if (std::FILE* f = OpenBytes(bytes)) {
    TextValueReader reader(f, "%x", chunk);
    const TextCount chunked = CountTextValues(reader);
    std::fclose(f);
    if (chunked.count != whole.count || chunked.badToken != whole.badToken) std::abort();
  }
  if (whole.badToken || whole.count <= 0) return 0;

  int formats[2 * kMaxImageFormats] = {};
  const int n = GetImageFormats(whole.count, formats);
  if (n < 0 || n > kMaxImageFormats) std::abort();
  for (int i = 0; i < n; ++i) {
    if (static_cast<long long>(formats[2 * i]) * formats[2 * i + 1] != whole.count) std::abort();
  }
  const int w = n > 0 ? formats[2 * FindOptimumFormat(n, formats)] : cx;
  const int h = n > 0 ? whole.count / w : cy;

  std::vector<int> fromBuffer(static_cast<std::size_t>(cx) * cy, -1);
  ReadTextValuesInBuffer(bytes, cx, cy, w, h, (cx - w) / 2, (cy - h) / 2, fromBuffer.data(), mode);
  if (std::FILE* f = OpenBytes(bytes)) {
    std::vector<int> fromStream(fromBuffer.size(), -1);
    TextValueReader reader(f, mode, chunk);
    ReadTextValues(reader, cx, cy, w, h, (cx - w) / 2, (cy - h) / 2, fromStream.data());
    std::fclose(f);
    if (fromStream != fromBuffer) std::abort();
  }
  return 0;
}
