#include "imagefiles/EdfImage.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string_view>

#include "state/Numeric.h"

namespace zmr {

namespace {

struct EdfType {
  const char* name;
  int bytes;
  bool isSigned;
  bool isFloat;
};

constexpr EdfType kEdfTypes[] = {
    {"UnsignedByte", 1, false, false},    {"SignedByte", 1, true, false},
    {"UnsignedShort", 2, false, false},   {"SignedShort", 2, true, false},
    {"UnsignedInteger", 4, false, false}, {"SignedInteger", 4, true, false},
    {"UnsignedLong", 4, false, false},    {"SignedLong", 4, true, false},
    {"FloatValue", 4, true, true},        {"DoubleValue", 8, true, true},
};

const EdfType* FindType(std::string_view name) {
  for (const EdfType& t : kEdfTypes) {
    if (name == t.name) return &t;
  }
  return nullptr;
}

std::string_view Trim(std::string_view s) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && space(s.front())) s.remove_prefix(1);
  while (!s.empty() && space(s.back())) s.remove_suffix(1);
  return s;
}

// A whole non-negative decimal number of at most 12 digits.
bool ParseCount(std::string_view s, long long& value) {
  if (s.empty() || s.size() > 12) return false;
  value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

double SampleAt(const std::uint8_t* p, const EdfType& t, bool highByteFirst) {
  std::uint8_t b[8];
  for (int i = 0; i < t.bytes; ++i) b[i] = highByteFirst ? p[t.bytes - 1 - i] : p[i];
  std::uint64_t raw = 0;
  for (int i = t.bytes - 1; i >= 0; --i) raw = (raw << 8) | b[i];
  if (t.isFloat) {
    if (t.bytes == 4) {
      const auto bits = static_cast<std::uint32_t>(raw);
      float f;
      std::memcpy(&f, &bits, 4);
      return f;
    }
    double d;
    std::memcpy(&d, &raw, 8);
    return d;
  }
  if (!t.isSigned) return static_cast<double>(raw);
  const int shift = 64 - 8 * t.bytes;
  return static_cast<double>(static_cast<std::int64_t>(raw << shift) >> shift);
}

}  // namespace

bool LooksLikeEdf(ImageBytes bytes) {
  if (bytes.empty() || bytes[0] != '{') return false;
  const std::string_view head(reinterpret_cast<const char*>(bytes.data()),
                              std::min(bytes.size(), kEdfHeaderBlock));
  return head.find("Dim_1") != std::string_view::npos;
}

ResultOf<CountImage> ReadEdf(ImageBytes bytes, const ImageReadLimits& limits) {
  if (bytes.empty() || bytes[0] != '{') return Result::Fail("not an EDF file");
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const std::size_t close = text.find('}');
  if (close == std::string_view::npos) return Result::Fail("the EDF header has no closing '}'");
  const std::size_t dataStart =
      (close + 1 + kEdfHeaderBlock - 1) / kEdfHeaderBlock * kEdfHeaderBlock;

  std::map<std::string, std::string, std::less<>> keys;
  std::string_view header = text.substr(1, close - 1);
  while (!header.empty()) {
    const std::size_t end = header.find(';');
    const std::string_view item = header.substr(0, end);
    const std::size_t eq = item.find('=');
    if (eq != std::string_view::npos) {
      keys.emplace(std::string(Trim(item.substr(0, eq))), std::string(Trim(item.substr(eq + 1))));
    }
    if (end == std::string_view::npos) break;
    header.remove_prefix(end + 1);
  }
  const auto value = [&](const char* key) -> const std::string* {
    const auto it = keys.find(key);
    return it == keys.end() ? nullptr : &it->second;
  };

  long long width = 0, height = 0;
  const std::string* dim1 = value("Dim_1");
  const std::string* dim2 = value("Dim_2");
  if (dim1 == nullptr || dim2 == nullptr)
    return Result::Fail("the EDF header has no Dim_1 or Dim_2");
  if (!ParseCount(*dim1, width) || !ParseCount(*dim2, height)) {
    return Result::Fail("the EDF dimensions '" + *dim1 + "' x '" + *dim2 + "' are not numbers");
  }
  const std::string* typeName = value("DataType");
  const EdfType* type = typeName == nullptr ? nullptr : FindType(*typeName);
  if (type == nullptr) {
    return Result::Fail("the EDF DataType '" + (typeName == nullptr ? std::string() : *typeName) +
                        "' is not one that is read");
  }
  bool highByteFirst = false;
  if (const std::string* order = value("ByteOrder"); order != nullptr) {
    if (*order == "HighByteFirst") {
      highByteFirst = true;
    } else if (*order != "LowByteFirst") {
      return Result::Fail("the EDF ByteOrder '" + *order +
                          "' is neither LowByteFirst nor HighByteFirst");
    }
  }
  if (Result size = CheckImageSize(width, height, limits); !size) return size;
  const unsigned long long need = static_cast<unsigned long long>(width * height) * type->bytes;
  if (const std::string* sizeText = value("Size"); sizeText != nullptr) {
    long long stated = 0;
    if (!ParseCount(*sizeText, stated) || static_cast<unsigned long long>(stated) != need) {
      return Result::Fail("the EDF Size " + *sizeText + " does not match " +
                          SizeText(width, height) + " values of " + type->name);
    }
  }
  const std::size_t held = bytes.size() > dataStart ? bytes.size() - dataStart : 0;
  if (held < need) {
    return Result::Fail("header says " + SizeText(width, height) + " but the file holds " +
                        std::to_string(held) + " bytes");
  }
  CountImage image;
  if (Result ok = AllocateCountImage(image, width, height, limits); !ok) return ok;
  for (std::size_t i = 0; i < image.values.size(); ++i) {
    image.values[i] = SampleAt(bytes.data() + dataStart + i * type->bytes, *type, highByteFirst);
  }
  if (type->isFloat) ZeroNonFinite(image);
  return image;
}

ResultOf<std::vector<std::uint8_t>> EncodeEdf(int width, int height,
                                              const std::vector<double>& values,
                                              const std::string& dataType, bool highByteFirst) {
  const EdfType* type = FindType(dataType);
  if (type == nullptr || width < 1 || height < 1 ||
      values.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    return Result::Fail("no image to write");
  }
  const std::size_t dataBytes = values.size() * type->bytes;
  std::string header = "{\nHeaderID = EH:000001:000000:000000 ;\nImage = 1 ;\nByteOrder = " +
                       std::string(highByteFirst ? "HighByteFirst" : "LowByteFirst") +
                       " ;\nDataType = " + type->name + " ;\nDim_1 = " + std::to_string(width) +
                       " ;\nDim_2 = " + std::to_string(height) +
                       " ;\nSize = " + std::to_string(dataBytes) + " ;\n";
  const std::size_t total =
      (header.size() + 2 + kEdfHeaderBlock - 1) / kEdfHeaderBlock * kEdfHeaderBlock;
  header.append(total - header.size() - 2, ' ');
  header += "}\n";
  std::vector<std::uint8_t> out(header.begin(), header.end());
  out.reserve(out.size() + dataBytes);
  for (double v : values) {
    std::uint64_t raw = 0;
    if (type->isFloat && type->bytes == 4) {
      const float f = static_cast<float>(v);
      std::uint32_t bits;
      std::memcpy(&bits, &f, 4);
      raw = bits;
    } else if (type->isFloat) {
      std::memcpy(&raw, &v, 8);
    } else if (type->isSigned) {
      const std::int64_t lo = -(std::int64_t{1} << (8 * type->bytes - 1));
      const std::int64_t hi = (std::int64_t{1} << (8 * type->bytes - 1)) - 1;
      raw = static_cast<std::uint64_t>(
          std::clamp<std::int64_t>(TruncateToward0<std::int64_t>(v), lo, hi));
    } else {
      const std::int64_t hi = (std::int64_t{1} << (8 * type->bytes)) - 1;
      raw = static_cast<std::uint64_t>(
          std::clamp<std::int64_t>(TruncateToward0<std::int64_t>(v), 0, hi));
    }
    std::uint8_t b[8];
    for (int i = 0; i < type->bytes; ++i) b[i] = static_cast<std::uint8_t>(raw >> (8 * i));
    for (int i = 0; i < type->bytes; ++i) out.push_back(b[highByteFirst ? type->bytes - 1 - i : i]);
  }
  return out;
}

}  // namespace zmr
