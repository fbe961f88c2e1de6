// Saving a state over the user's file without ever leaving it half-written.
#pragma once

#include <cstdint>
#include <string>

// Puts the bytes of `source` at `target`. When `mayMoveSource` (a temporary state nobody needs
// afterwards) it is renamed over the target if both lie on one file system; otherwise the bytes
// are written to a hidden file in the target's own folder, flushed to disk and renamed over the
// target. Either way the target is the old file or the whole new one, never a mix, and it keeps
// its permission bits. False with `error` set on failure; the target is then untouched.
bool SaveFileOver(const std::string& source, const std::string& target, bool mayMoveSource,
                  std::string& error);

// The permission bits a file saved as `target` should carry: the old target's, or those of a
// new file under the process's umask.
unsigned SaveFileMode(const std::string& target);

// Tests: make the next copies fail with "No space left on device" once this many bytes were
// written (-1 turns it off) and refuse the rename shortcut, so the copy path is taken.
void SetSaveFaultForTesting(int64_t failAfterBytes);
