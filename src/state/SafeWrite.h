// Whole-file writes that never leave a damaged file behind, done as a careful editor does:
// - the content goes to a temporary file (a short name in the target's folder), which replaces
//   the target only once every byte was written and flushed; on failure the previous file is
//   untouched and the temporary is removed, also when SIGINT, SIGTERM or SIGHUP (left at their
//   default action) end the process during the write;
// - a symbolic link is followed and its target replaced; the new file keeps the old one's mode
//   (and owner, where allowed); a file with further hard links is rewritten in place once the
//   temporary is complete, so that every link sees the new content;
// - a file its user may not write is refused; a device, FIFO or socket is written in place as
//   a stream (a FIFO without a reader is refused at once); a folder is refused.
// Any thread may call these.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace zmr {

// Calls write with the open temporary file. The target is replaced only when write returns
// true and the stream reports no error. False when the file could not be created or written;
// why (if given) then receives the reason, such as "Permission denied".
bool WriteWholeFile(const char* path, const std::function<bool(std::FILE*)>& write,
                    std::string* why = nullptr);

// The same for a block of bytes.
bool WriteWholeFileBytes(const char* path, const std::vector<std::uint8_t>& bytes,
                         std::string* why = nullptr);

}  // namespace zmr
