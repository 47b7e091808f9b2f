// The thin layer over what differs between operating systems: how paths are
// joined, how a directory's entries are read, and how a file is moved without
// ever replacing another. One source file per system implements it.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace platform {

// How paths are spelled on one system. Plain data, so the naming rules can be
// checked for either system on any machine.
struct PathStyle {
    char separator;                 // joins a directory path and a name
    std::string_view root_endings;  // a root ending in one of these gets no separator added
};

inline constexpr PathStyle posix_style{'/', "/"};
inline constexpr PathStyle windows_style{'\\', "\\/"};

// The style of the system this program was built for.
const PathStyle& native_style();

// One entry of a directory: its own name, and whether it is a directory.
// Links are reported as the system sees the entry itself.
struct DirectoryEntry {
    std::string name;
    bool is_directory = false;
};

// An open enumeration of one directory; closed when the handle goes away.
struct EnumerationState;
struct EnumerationCloser {
    void operator()(EnumerationState* state) const;
};
using Enumeration = std::unique_ptr<EnumerationState, EnumerationCloser>;

// Opens the enumeration that the search pattern (a directory path, the
// separator and "*.*") names. Returns an empty handle on failure.
Enumeration open_enumeration(const std::string& pattern);

enum class Fetch { entry, end, failed };

// Fetches the next entry into `entry`. `end` is the normal end of the
// directory; `failed` means entries may be missing, so the listing is unusable.
Fetch next_entry(EnumerationState& enumeration, DirectoryEntry& entry);

// Moves the file (or link, or other non-directory entry) at `source` to
// `destination`. Fails, touching neither path, when the destination exists.
bool move_file_no_replace(const std::string& source, const std::string& destination);

// Catches the signals that ask the program to stop (interrupt, terminate,
// hang-up where the system has them). The handler only records the signal;
// the walk looks at it between steps, so a move under way always completes.
void catch_stop_signals();

// The number of the first stop signal caught, or 0 when none was.
int caught_stop_signal();

}  // namespace platform
