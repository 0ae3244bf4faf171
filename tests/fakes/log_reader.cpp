#include "fakes/log_reader.h"

#include <algorithm>
#include <system_error>

#include "fakes/temp_folder.h"

namespace kovrisk::testing {

std::vector<std::string> logMessages(const NativePath& dataFolder) {
    std::vector<NativePath> days;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dataFolder / "syslog", error)) {
        days.push_back(entry.path());
    }
    std::sort(days.begin(), days.end());
    std::vector<std::string> messages;
    for (const NativePath& day : days) {
        const std::string text = readFile(day);
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find("\r\n", start);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(start, end - start);
            std::size_t column = 0;
            for (int comma = 0; comma < 3 && column != std::string::npos; ++comma) {
                column = line.find(',', column == 0 ? 0 : column + 1);
            }
            messages.push_back(column == std::string::npos ? line : line.substr(column + 1));
            start = end + 2;
        }
    }
    return messages;
}

std::vector<NativePath> filesEndingIn(const NativePath& folder, const std::string& suffix) {
    std::vector<NativePath> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() >= suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            found.push_back(entry.path());
        }
    }
    return found;
}

}  // namespace kovrisk::testing
