// The floor: only the system calls that flattening cannot avoid. Reads every
// directory named in one list once, then makes every rename of another list,
// both precomputed: no walk logic, no sorting, no output.
//   floor DIRECTORIES RENAMES   (NUL-separated; RENAMES alternates source, destination)
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

static std::vector<std::string> read_list(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> items;
    for (std::string item; std::getline(in, item, '\0');) items.push_back(item);
    return items;
}

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::vector<std::string> directories = read_list(argv[1]);
    const std::vector<std::string> renames = read_list(argv[2]);
    for (const std::string& directory : directories) {
        DIR* dir = opendir(directory.c_str());
        if (dir == nullptr) return 1;
        while (readdir(dir) != nullptr) {
        }
        closedir(dir);
    }
    for (std::size_t i = 0; i + 1 < renames.size(); i += 2) {
        if (renameat2(AT_FDCWD, renames[i].c_str(), AT_FDCWD, renames[i + 1].c_str(), RENAME_NOREPLACE) != 0) return 1;
    }
    return 0;
}
