// SHA-256 (FIPS 180-4) of a byte string, for the golden files' manifests.
#pragma once

#include <string>
#include <string_view>

namespace zmr::test {

// The digest as 64 lowercase hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

}  // namespace zmr::test
