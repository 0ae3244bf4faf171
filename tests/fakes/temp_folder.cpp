#include "fakes/temp_folder.h"

#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

namespace kovrisk::testing {

TempFolder::TempFolder() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        path_ = base / ("kovrisk-test-" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(path_, error))
            break;
    }
}

TempFolder::~TempFolder() {
    std::error_code error;
    // Read-only files and folders made by a test must not keep their folder alive.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, error);
    }
    std::filesystem::remove_all(path_, error);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace kovrisk::testing
