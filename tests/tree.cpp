#include "tree.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace testing_tree {

namespace {

// The user that runs the program when permissions must bite: nobody.
constexpr uid_t runner_uid = 65534;
constexpr gid_t runner_gid = 65534;

bool is_root() { return geteuid() == 0; }

std::string read_file(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void write_file(const fs::path& file, const std::string& content) {
    std::ofstream out(file, std::ios::binary);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

void make_special(const fs::path& path, const std::string& kind) {
    if (kind == "fifo") {
        if (mkfifo(path.c_str(), 0644) != 0) throw std::system_error(errno, std::generic_category(), "mkfifo");
        return;
    }
    // A socket file stays behind when the socket bound to it is closed.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = path.string();
    if (kind != "socket" || name.size() >= sizeof address.sun_path) throw std::runtime_error("cannot make " + name);
    name.copy(address.sun_path, name.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    const int bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    close(fd);
    if (bound != 0) throw std::system_error(errno, std::generic_category(), "bind " + name);
}

void open_up_directories(const fs::path& base) {
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(base, fs::directory_options::skip_permission_denied, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
    }
}

}  // namespace

TempDir::TempDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/flatten-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::system_error(errno, std::generic_category(), "mkdtemp");
    path_ = pattern;
}

TempDir::~TempDir() {
    // Restore access first: a test may have locked a directory. A second pass
    // finds directories that the first could not enter.
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    open_up_directories(path_);
    open_up_directories(path_);
    fs::remove_all(path_, ignored);
}

void make_tree(const fs::path& base, const std::vector<std::string>& entries) {
    for (const std::string& entry : entries) {
        if (entry.ends_with('/')) {
            fs::create_directories(base / entry);
            continue;
        }
        if (const auto at = entry.find('@'); at != std::string::npos) {
            const fs::path link = base / entry.substr(0, at);
            fs::create_directories(link.parent_path());
            fs::create_symlink(entry.substr(at + 1), link);
            continue;
        }
        if (const auto bar = entry.find('|'); bar != std::string::npos) {
            const fs::path special = base / entry.substr(0, bar);
            fs::create_directories(special.parent_path());
            make_special(special, entry.substr(bar + 1));
            continue;
        }
        fs::create_directories((base / entry).parent_path());
        write_file(base / entry, entry);
    }
}

Snapshot snapshot(const fs::path& base) {
    Snapshot entries;
    for (auto it = fs::recursive_directory_iterator(base); it != fs::recursive_directory_iterator(); ++it) {
        const std::string relative = it->path().lexically_relative(base).string();
        if (it->is_symlink()) {
            entries[relative] = "@" + fs::read_symlink(it->path()).string();
        } else if (it->is_fifo()) {
            entries[relative] = "|fifo";
        } else if (it->is_socket()) {
            entries[relative] = "|socket";
        } else if (it->is_directory()) {
            entries[relative + "/"] = "/";
        } else {
            entries[relative] = read_file(it->path());
        }
    }
    return entries;
}

Snapshot expected_snapshot(const std::vector<std::string>& entries) {
    Snapshot expected;
    for (const std::string& entry : entries) {
        const std::string path = entry.substr(0, entry.find_first_of("@=|"));
        // Every directory on the way is there too.
        for (auto slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
            expected[path.substr(0, slash + 1)] = "/";
        }
        if (path.ends_with('/')) continue;
        if (path.size() == entry.size()) {
            expected[path] = path;
        } else if (entry[path.size()] != '=') {
            expected[path] = entry.substr(path.size());
        } else {
            expected[path] = entry.substr(path.size() + 1);
        }
    }
    return expected;
}

void give_to_runner(const fs::path& base) {
    if (!is_root()) return;
    if (lchown(base.c_str(), runner_uid, runner_gid) != 0) throw std::system_error(errno, std::generic_category());
    for (const auto& entry : fs::recursive_directory_iterator(base)) {
        if (lchown(entry.path().c_str(), runner_uid, runner_gid) != 0) {
            throw std::system_error(errno, std::generic_category(), "lchown " + entry.path().string());
        }
    }
}

namespace {

struct Started {
    pid_t pid;
    int out;
    int err;  // -1 when standard error is discarded
};

Started start(std::vector<std::string> command, bool capture_err) {
    std::vector<char*> raw;
    for (std::string& word : command) raw.push_back(word.data());
    raw.push_back(nullptr);
    int out_pipe[2];
    int err_pipe[2] = {-1, -1};
    if (pipe2(out_pipe, O_CLOEXEC) != 0 || (capture_err && pipe2(err_pipe, O_CLOEXEC) != 0)) {
        throw std::system_error(errno, std::generic_category(), "pipe");
    }
    const pid_t child = fork();
    if (child < 0) throw std::system_error(errno, std::generic_category(), "fork");
    if (child == 0) {
        dup2(out_pipe[1], STDOUT_FILENO);
        const int err = capture_err ? err_pipe[1] : open("/dev/null", O_WRONLY);
        dup2(err, STDERR_FILENO);
        execvp(raw[0], raw.data());
        _exit(127);
    }
    close(out_pipe[1]);
    if (capture_err) close(err_pipe[1]);
    return {child, out_pipe[0], err_pipe[0]};
}

int wait_for(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

RunResult run(const std::vector<std::string>& argv, bool unprivileged) {
    std::vector<std::string> command;
    if (unprivileged && is_root()) {
        command = {"setpriv", "--reuid=" + std::to_string(runner_uid), "--regid=" + std::to_string(runner_gid),
                   "--clear-groups", "--"};
    }
    command.insert(command.end(), argv.begin(), argv.end());
    const Started started = start(command, true);
    RunResult result;
    pollfd fds[2] = {{started.out, POLLIN, 0}, {started.err, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_pipes = 2;
    while (open_pipes > 0) {
        if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[65536];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_pipes;
            }
        }
    }
    result.status = wait_for(started.pid);
    return result;
}

Spawned spawn(const std::vector<std::string>& argv) {
    const Started started = start(argv, false);
    return {started.pid, started.out};
}

RunResult finish(Spawned spawned, std::string out_so_far) {
    RunResult result;
    result.out = std::move(out_so_far);
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(spawned.out, buffer, sizeof buffer);
        if (got > 0) {
            result.out.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    close(spawned.out);
    result.status = wait_for(spawned.pid);
    return result;
}

std::vector<std::string> under_strace(const std::vector<std::string>& options) {
    // LeakSanitizer cannot work under ptrace; the sanitizer build's other
    // runs still look for leaks.
    std::vector<std::string> command = {"strace", "-f", "-E", "ASAN_OPTIONS=detect_leaks=0"};
    command.insert(command.end(), options.begin(), options.end());
    command.push_back("--");
    return command;
}

std::string move_failed(const std::string& source, const std::string& destination) {
    return "\n\n*** Failed to move: " + source + "\n to " + destination + "\n\n";
}

bool is_message_line(const std::string& line) {
    return line.starts_with("*** Failed to move: ") || line.starts_with(" to ") || line == "***Failed" ||
           line.starts_with("ERROR scanning for ");
}

std::vector<std::string> with_program(std::vector<std::string> command, const std::vector<std::string>& args) {
    command.push_back(program_under_test());
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

std::string program_under_test() {
    const char* program = std::getenv("FLATTEN_EXE");
    if (program == nullptr) throw std::runtime_error("FLATTEN_EXE must name the program to test");
    return program;
}

}  // namespace testing_tree
