// Replacing a file's content at once: the new content goes to a temporary file in the same folder, is
// flushed to the disk and then renamed over the file, so a reader sees the old content or the new one and
// a failed write leaves the old one.
#pragma once

#include <string>
#include <string_view>

namespace kv::presets {

// Writes Content as the file Path (a link is followed: the file it points to is replaced). A new file gets
// the usual permissions (0666 less the umask), an existing one keeps its own. False, with the file as it
// was, when the folder or the file cannot be written.
bool WriteFileAtomically(const std::string& Path, std::string_view Content);

}  // namespace kv::presets
