// The layer on Linux and other POSIX systems. Links are never followed: an
// entry's type is its own, so a link to a directory is moved like a file.
#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

const PathStyle& native_style() { return posix_style; }

struct EnumerationState {
    DIR* dir;
};

void EnumerationCloser::operator()(EnumerationState* state) const {
    closedir(state->dir);
    delete state;
}

Enumeration open_enumeration(const std::string& pattern) {
    // The pattern's "*.*" matches every entry on Windows; here the directory
    // part alone names what to read.
    constexpr std::string_view all_entries = "*.*";
    std::string directory = pattern;
    if (directory.ends_with(all_entries)) directory.resize(directory.size() - all_entries.size());
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return Enumeration{};
    return Enumeration{new EnumerationState{dir}};
}

Fetch next_entry(EnumerationState& enumeration, DirectoryEntry& entry) {
    // readdir signals both the end and an error with NULL; only errno tells.
    errno = 0;
    const dirent* found = readdir(enumeration.dir);
    if (found == nullptr) return errno == 0 ? Fetch::end : Fetch::failed;
    entry.name.assign(found->d_name);
    if (found->d_type != DT_UNKNOWN) {
        entry.is_directory = found->d_type == DT_DIR;
        return Fetch::entry;
    }
    // Some file systems do not report the type while listing.
    struct stat status {};
    if (fstatat(dirfd(enumeration.dir), found->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return Fetch::failed;
    }
    entry.is_directory = S_ISDIR(status.st_mode);
    return Fetch::entry;
}

namespace {

// The fallback where the no-replace rename is not supported: a hard link is
// created atomically and fails when the destination exists, so nothing can be
// replaced; then the old name goes. If it cannot, the new name goes again, so
// the file is never left under two names.
bool link_then_unlink(const std::string& source, const std::string& destination) {
    if (link(source.c_str(), destination.c_str()) != 0) return false;
    if (unlink(source.c_str()) == 0) return true;
    unlink(destination.c_str());
    return false;
}

bool refuses_flag(int error) { return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP; }

}  // namespace

bool move_file_no_replace(const std::string& source, const std::string& destination) {
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    // Never a plain rename and never a check before one: both could replace a
    // file that appears at the destination.
    if (!refuses_flag(errno)) return false;
    return link_then_unlink(source, destination);
}

namespace {

volatile std::sig_atomic_t stop_signal = 0;

extern "C" void record_stop_signal(int signal_number) {
    if (stop_signal == 0) stop_signal = signal_number;
}

}  // namespace

void catch_stop_signals() {
    struct sigaction action {};
    action.sa_handler = record_stop_signal;
    sigemptyset(&action.sa_mask);
    // Restart interrupted calls: a rename or a write under way completes.
    action.sa_flags = SA_RESTART;
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal_number, &action, nullptr);
}

int caught_stop_signal() { return stop_signal; }

}  // namespace platform
