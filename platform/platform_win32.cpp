// The layer on Windows, over the ANSI file calls: names are bytes in the
// system's code page, as the rest of the tool handles them.
#include <windows.h>

#include <csignal>
#include <memory>

#include "platform/platform.h"

namespace platform {

const PathStyle& native_style() { return windows_style; }

struct EnumerationState {
    HANDLE handle = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA found{};
    bool first_pending = true;  // FindFirstFileA has already delivered an entry
};

void EnumerationCloser::operator()(EnumerationState* state) const {
    FindClose(state->handle);
    delete state;
}

Enumeration open_enumeration(const std::string& pattern) {
    auto state = std::make_unique<EnumerationState>();
    state->handle = FindFirstFileA(pattern.c_str(), &state->found);
    if (state->handle == INVALID_HANDLE_VALUE) return Enumeration{};
    return Enumeration{state.release()};
}

Fetch next_entry(EnumerationState& enumeration, DirectoryEntry& entry) {
    if (!enumeration.first_pending && !FindNextFileA(enumeration.handle, &enumeration.found)) {
        return GetLastError() == ERROR_NO_MORE_FILES ? Fetch::end : Fetch::failed;
    }
    enumeration.first_pending = false;
    entry.name.assign(enumeration.found.cFileName);
    entry.is_directory = (enumeration.found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return Fetch::entry;
}

bool move_file_no_replace(const std::string& source, const std::string& destination) {
    // Without flags MoveFileA fails when the destination exists.
    return MoveFileA(source.c_str(), destination.c_str()) != 0;
}

namespace {

volatile std::sig_atomic_t stop_signal = 0;

extern "C" void record_stop_signal(int signal_number) {
    if (stop_signal == 0) stop_signal = signal_number;
    // The C runtime resets the handler after each signal.
    std::signal(signal_number, record_stop_signal);
}

}  // namespace

void catch_stop_signals() {
    for (const int signal_number : {SIGINT, SIGTERM, SIGBREAK}) std::signal(signal_number, record_stop_signal);
}

int caught_stop_signal() { return stop_signal; }

}  // namespace platform
