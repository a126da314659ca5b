// The temporary files of atomic saves: their names, and removing those of killed saves.
#ifndef COMMON_STALE_TEMPORARIES_H
#define COMMON_STALE_TEMPORARIES_H

#include <string>

namespace KXL::sys {

// A fresh temporary name for a save of `base`: ".<base>.<16 hex digits>.tmp", the base
// shortened to stay within NAME_MAX, hidden with the leading dot.
std::string temporaryName(const std::string& base);

// Every save holds an exclusive flock on its temporary file from before the file has a
// name until after the rename, so a temporary that can be locked belongs to a save that
// was killed. Takes that lock on a fresh temporary (where the filesystem has no locks,
// a cleanup cannot take them either, and removes nothing). False when the file was made
// by openat(O_CREAT | O_EXCL) (`named`) and a cleanup removed its name before the lock was
// taken: pick another name then.
bool lockTemporary(int fd, bool named);

// Removes the temporaries of `base` in dirFd that no running save holds. Best effort:
// what cannot be opened or locked stays.
void removeStaleTemporaries(int dirFd, const std::string& base);

} // namespace KXL::sys

#endif
