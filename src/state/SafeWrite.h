// Whole-file writes that never leave a damaged file behind: the content goes to a temporary
// file in the target's folder, which replaces the target only once every byte was written and
// flushed. On failure the previous file is untouched and the temporary is removed.
// Any thread may call these.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

namespace zmr {

// Calls write with the open temporary file. The target is replaced only when write returns
// true and the stream reports no error. False when the file could not be created or written.
bool WriteWholeFile(const char* path, const std::function<bool(std::FILE*)>& write);

// The same for a block of bytes.
bool WriteWholeFileBytes(const char* path, const std::vector<std::uint8_t>& bytes);

}  // namespace zmr
