// Replacing a file so that readers and crashes see the old content or the new, never a mix.
#ifndef COMMON_ATOMIC_FILE_H
#define COMMON_ATOMIC_FILE_H

#include <functional>
#include <string>
#include <string_view>

#include "common/byte_sink.h"

namespace KXL::sys {

enum class TempFile {
    // O_TMPFILE, linked under a temporary name just before the rename, so a save killed
    // while writing leaves nothing behind; falls back to Named where the filesystem cannot.
    Anonymous,
    // A uniquely named temporary file, removed on every failure path.
    Named,
    // Either way, a temporary left by a save killed before its rename is removed by the next
    // save of the same path; the temporaries of saves still running are left alone.
};

// The new content is in place and readers see it, but a crash may still undo the rename.
inline constexpr std::string_view kFolderNotFlushed =
    "the file was replaced but its folder could not be flushed to disk";

// Produces the new content into the sink; false with `error` set abandons the save. May be
// called again, from the start, into a fresh sink (when an anonymous temporary cannot be
// linked and a named one takes its place), and must then give the same bytes.
using ContentWriter = std::function<bool(ByteSink& sink, std::string& error)>;

// Writes the content to a temporary file in path's folder, syncs it, renames it over path
// and syncs the folder. A new file gets 0664 & ~umask, a replaced regular file keeps its
// permissions; neither is ever writable by others. A symlink at path is replaced, not
// followed. False with `error` holding the reason; path is then untouched, except when only
// the final folder sync failed: the error then starts with kFolderNotFlushed.
bool replaceFileAtomically(const std::string& path, const ContentWriter& content,
                           std::string& error, TempFile temp = TempFile::Anonymous);
bool replaceFileAtomically(const std::string& path, std::string_view content, std::string& error,
                           TempFile temp = TempFile::Anonymous);

} // namespace KXL::sys

#endif
