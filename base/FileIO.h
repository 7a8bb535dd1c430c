#pragma once

#include "base/Export.h"

#include <cstdint>
#include <string>
#include <vector>

// Reads a whole file; false (with errno kept) when it cannot be opened or read.
LINTARO_API bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& data);

// Writes a whole file safely: the data goes into a new file beside the target, is flushed to
// disk, and only then takes the target's name. On any failure the target keeps its old contents
// and false is returned. A new file gets the permissions an ordinary new file gets; a replaced
// one keeps its own.
//
// Where the file system can make unnamed files, the data is written to one, so a process killed
// while writing leaves nothing behind. It then gets its name either directly (a target that does
// not exist yet) or under a temporary name renamed over the target at once: the system cannot
// link an unnamed file over an existing name, so that step leaves a window of two system calls
// in which a kill leaves the temporary name. Elsewhere the data is written under the temporary
// name from the start. Temporary names are the target's followed by ".tmp~" and six letters or
// digits; the writer holds a lock on the file for as long as the name exists, so
// RemoveStaleTemporaryFiles can tell a leftover from a write in progress.
LINTARO_API bool WriteFileAtomically(const std::string& path,
                                     const std::vector<std::uint8_t>& data);

// The same, the file getting exactly this mode (e.g. 0600), whether new or replaced; its data is
// never readable under another mode on the way.
LINTARO_API bool WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& data,
                                     unsigned mode);

// True for a name WriteFileAtomically gives its temporary files (without the folder).
LINTARO_API bool IsTemporaryFileName(const std::string& name);

// True for a name the earlier writer gave its temporary files beside one of the given targets
// (names without the folder): the target's name, a dot and six letters or digits. That pattern
// is too loose to recognise on its own, so only the callers' own file names are tried, and six
// letters all of one case ("backup") are taken for a word someone chose, not a leftover.
LINTARO_API bool IsEarlierTemporaryFileName(const std::string& name,
                                            const std::vector<std::string>& targets);

// Removes what killed writers left in a folder: regular files with a temporary name, or the
// earlier temporary name of one of the targets, that belong to the calling user and that no
// living writer holds. Returns how many were removed.
LINTARO_API int RemoveStaleTemporaryFiles(const std::string& folder,
                                          const std::vector<std::string>& targets = {});
