// Saving a file so that it is never seen half written, by the show's own watcher or by another
// program: the bytes go to a temporary file in the same folder (so that the rename stays on one
// file system), are flushed to the disk, and the temporary file is renamed over the old one. A
// failure at any step leaves the old file as it was and takes the temporary file away. The new
// file keeps the old one's permissions.
#pragma once

#include <string>

// False with "<path>: cannot save: <why>" in `message` when the file could not be replaced.
bool writeFileAtomically(const std::string& path, const std::string& bytes, std::string& message);

// The tests make one step fail as the system would (None: every step as it comes).
enum class AtomicWriteStep { None, Create, Write, Sync, Rename };
void failAtomicWriteAt(AtomicWriteStep step);
