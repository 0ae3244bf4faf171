#include "workbook/calc_uno/office_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace kovrisk {

namespace {

constexpr char kFileName[] = "office-output.txt";

bool continuationByte(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

}  // namespace

OfficeOutput::OfficeOutput(const NativePath& folder) {
    if (folder.empty())
        return;
    const UniqueFd directory(
        ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!directory)
        return;
    // A name left by an ended office on the same slot goes first; what is there now is only ever
    // removed by name, never followed.
    ::unlinkat(directory.get(), kFileName, 0);
    file_ = UniqueFd(::openat(directory.get(), kFileName,
                              O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_APPEND | O_CLOEXEC, 0600));
}

std::string OfficeOutput::tail(std::size_t bytes) const {
    // Blanks collapse: a few times the words' length is read.
    const std::size_t wanted = bytes * 4;
    struct stat status {};
    if (!file_ || ::fstat(file_.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return {};
    const auto size = static_cast<std::size_t>(std::max<off_t>(status.st_size, 0));
    const std::size_t length = std::min(size, wanted);
    std::string read(length, '\0');
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(file_.get(), read.data() + done, length - done,
                                    static_cast<off_t>(size - length + done));
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    read.resize(done);
    return lastWords(read, bytes);
}

std::string lastWords(std::string_view output, std::size_t bytes) {
    std::string words;
    words.reserve(output.size());
    for (const char c : output) {
        const auto byte = static_cast<unsigned char>(c);
        const bool blank = byte < 0x20 || byte == 0x7F || byte == ' ';
        if (!blank)
            words += c;
        else if (!words.empty() && words.back() != ' ')
            words += ' ';
    }
    if (!words.empty() && words.back() == ' ')
        words.pop_back();
    std::size_t start = words.size() > bytes ? words.size() - bytes : 0;
    while (start < words.size() &&
           (continuationByte(static_cast<unsigned char>(words[start])) || words[start] == ' '))
        ++start;
    return words.substr(start);
}

}  // namespace kovrisk
