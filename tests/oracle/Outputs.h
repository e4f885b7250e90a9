// What a run leaves, as named outputs, so that two runs compare output by output and a
// difference is named by the output, the index and both values instead of whole dumps.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace zmr::oracle {

struct Output {
  std::string name;
  std::string bytes;
  std::size_t size = 0;                        // of an element; 0 for a text
  std::string (*show)(const char*) = nullptr;  // the value of the element at the bytes given
};

// The elements of an array of numbers (compared bit for bit).
template <typename Array>
Output Elements(std::string name, const Array& v) {
  using T = std::remove_cvref_t<decltype(*v.data())>;
  const auto show = [](const char* p) {
    T x;
    std::memcpy(&x, p, sizeof x);
    if constexpr (!std::is_floating_point_v<T>) return std::to_string(x);
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", static_cast<double>(x));
    return std::string(text);
  };
  const char* p = reinterpret_cast<const char*>(v.data());
  return {std::move(name), std::string(p, p + v.size() * sizeof(T)), sizeof(T), show};
}

// A text, compared line by line.
inline Output Text(std::string name, std::string text) {
  return {std::move(name), std::move(text)};
}

// "" when two runs left the same outputs, else their first difference: "name[index]: a vs b",
// "name line n: 'a' vs 'b'" (lines cut to 200 characters) or the two sizes of an output.
inline std::string FirstDifference(const std::vector<Output>& a, const std::vector<Output>& b) {
  if (a.size() != b.size()) return "different numbers of outputs";
  for (std::size_t k = 0; k < a.size(); ++k) {
    const std::string &x = a[k].bytes, &y = b[k].bytes, &name = a[k].name;
    const std::size_t size = a[k].size;
    if (x == y) continue;
    if (size == 0) {
      const auto at = std::mismatch(x.begin(), x.end(), y.begin(), y.end()).first - x.begin();
      const std::size_t start = at == 0 ? 0 : x.rfind('\n', at - 1) + 1;  // npos + 1 is 0
      // Appended piece by piece: "'" + std::string trips a false -Wrestrict of GCC 12 at -O3.
      const auto line = [start](const std::string& t) {
        std::string quoted = "'";
        quoted.append(t, start, std::min<std::size_t>(t.find('\n', start) - start, 200));
        return quoted += '\'';
      };
      const auto number = std::count(x.begin(), x.begin() + start, '\n') + 1;
      return name + " line " + std::to_string(number) + ": " + line(x) + " vs " + line(y);
    }
    if (x.size() != y.size()) {
      return name + ": " + std::to_string(x.size() / size) + " vs " +
             std::to_string(y.size() / size) + " elements";
    }
    std::size_t i = 0;
    while (std::memcmp(&x[i * size], &y[i * size], size) == 0) ++i;
    return name + "[" + std::to_string(i) + "]: " + a[k].show(&x[i * size]) + " vs " +
           b[k].show(&y[i * size]);
  }
  return "";
}

}  // namespace zmr::oracle
