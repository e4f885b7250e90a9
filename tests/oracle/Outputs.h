// What a run leaves, as named outputs, so that two runs compare output by output and a
// difference is named by the output and the place where it starts instead of whole dumps.
#pragma once

#include <algorithm>
#include <string>
#include <type_traits>
#include <vector>

namespace zmr::oracle {

struct Output {
  std::string name;
  std::string bytes;
  std::size_t size = 1;  // of an element; 1 for a text
};

// The elements of an array of numbers (compared bit for bit).
template <typename Array>
Output Elements(std::string name, const Array& v) {
  using T = std::remove_cvref_t<decltype(*v.data())>;
  const char* p = reinterpret_cast<const char*>(v.data());
  return {std::move(name), std::string(p, p + v.size() * sizeof(T)), sizeof(T)};
}

// A text, compared byte for byte.
inline Output Text(std::string name, std::string text) {
  return {std::move(name), std::move(text)};
}

// "" when two runs left the same outputs, else their first difference: the output, the first
// element (or byte of a text) that differs and the two sizes.
inline std::string FirstDifference(const std::vector<Output>& a, const std::vector<Output>& b) {
  if (a.size() != b.size()) return "different numbers of outputs";
  for (std::size_t k = 0; k < a.size(); ++k) {
    const std::string &x = a[k].bytes, &y = b[k].bytes;
    if (x == y) continue;
    const auto at = static_cast<std::size_t>(
        std::mismatch(x.begin(), x.end(), y.begin(), y.end()).first - x.begin());
    const std::size_t size = a[k].size;
    return a[k].name + ": first difference at " + std::to_string(at / size) + " of " +
           std::to_string(x.size() / size) + " vs " + std::to_string(y.size() / size);
  }
  return "";
}

}  // namespace zmr::oracle
