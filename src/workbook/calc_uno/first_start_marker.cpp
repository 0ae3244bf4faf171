#include "workbook/calc_uno/first_start_marker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <optional>
#include <system_error>

#include "platform/posix/unique_fd.h"

namespace kovrisk {

namespace {

// The installation's main configuration is a few MB; the profile's settings, written by the
// program's own offices, far less.  Anything larger is not what is looked for.
constexpr off_t kLargestXcd = 64L << 20;
constexpr off_t kLargestSettings = 16L << 20;

constexpr std::string_view kSettingsName = "registrymodifications.xcu";
constexpr std::string_view kNewSettingsName = "registrymodifications.xcu.kovrisk-new";
constexpr std::string_view kItemsEnd = "</oor:items>";
constexpr std::string_view kMarkerName = "ooSetupLastVersion";

// The whole of the regular file `name` in the folder open as `folder`, never through a link,
// when it is at most `largest` bytes; nullopt when it is not there, not regular or larger.
std::optional<std::string> readRegular(int folder, const char* name, off_t largest) {
    const UniqueFd file(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!file || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size > largest) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(file.get(), bytes.data() + done, bytes.size() - done);
        if (got <= 0)
            return std::nullopt;
        done += static_cast<std::size_t>(got);
    }
    return bytes;
}

bool isVersion(std::string_view text) {
    // Digits, one dot, digits: what the office compares as major.minor.
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == text.size() || text.size() > 16)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i != dot && !std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    }
    return true;
}

// Writes `text` as the file `name` in the folder open as `folder`: a new private file under
// another name first, then renamed into place.
bool writeInPlace(int folder, std::string_view name, const std::string& text) {
    const std::string temporary(kNewSettingsName);
    ::unlinkat(folder, temporary.c_str(), 0);
    UniqueFd file(::openat(folder, temporary.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file)
        return false;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t got = ::write(file.get(), text.data() + done, text.size() - done);
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    const bool written = done == text.size() && ::fsync(file.get()) == 0;
    if (!file.reset() || !written ||
        ::renameat(folder, temporary.c_str(), folder, std::string(name).c_str()) != 0) {
        ::unlinkat(folder, temporary.c_str(), 0);
        return false;
    }
    return true;
}

}  // namespace

std::string productVersionIn(std::string_view xcd) {
    // The product's node sets it as <prop oor:name="ooSetupVersion"><value>7.4</value>; the
    // schema declares the same name with an oor:type and no value of its own.
    constexpr std::string_view kProp = "<prop oor:name=\"ooSetupVersion\">";
    constexpr std::string_view kValue = "<value>";
    constexpr std::string_view kValueEnd = "</value>";
    const std::size_t prop = xcd.find(kProp);
    if (prop == std::string_view::npos)
        return {};
    std::string_view rest = xcd.substr(prop + kProp.size());
    std::size_t i = 0;
    while (i < rest.size() && std::isspace(static_cast<unsigned char>(rest[i])))
        ++i;
    rest.remove_prefix(i);
    if (rest.substr(0, kValue.size()) != kValue)
        return {};
    rest.remove_prefix(kValue.size());
    const std::size_t end = rest.substr(0, 32).find(kValueEnd);
    if (end == std::string_view::npos || !isVersion(rest.substr(0, end)))
        return {};
    return std::string(rest.substr(0, end));
}

std::string installedOfficeVersion(const NativePath& officeProgram) {
    std::error_code error;
    const NativePath program = std::filesystem::canonical(officeProgram, error);
    if (error)
        return {};
    const NativePath registry = program.parent_path().parent_path() / "share" / "registry";
    const UniqueFd folder(::open(registry.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        return {};
    const std::optional<std::string> xcd = readRegular(folder.get(), "main.xcd", kLargestXcd);
    return xcd ? productVersionIn(*xcd) : std::string();
}

std::string withFirstStartMarker(std::string_view settings, const std::string& version) {
    const std::string item = "<item oor:path=\"/org.openoffice.Setup/Product\"><prop oor:name=\"" +
                             std::string(kMarkerName) + "\" oor:op=\"fuse\"><value>" + version +
                             "</value></prop></item>\n";
    if (settings.empty()) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
               "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
               "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n" +
               item + std::string(kItemsEnd) + "\n";
    }
    // The office writes one item a line, and the end of the items last: the marker goes before
    // that end.  Anything else is not touched.
    const std::size_t end = settings.rfind(kItemsEnd);
    if (settings.find(kMarkerName) != std::string_view::npos || end == std::string_view::npos ||
        end == 0 || settings[end - 1] != '\n' ||
        settings.find_first_not_of(" \t\r\n", end + kItemsEnd.size()) != std::string_view::npos ||
        settings.substr(0, 5) != "<?xml") {
        return {};
    }
    return std::string(settings.substr(0, end)) + item + std::string(settings.substr(end));
}

bool presetFirstStartMarker(const NativePath& profile, const std::string& version) {
    if (!isVersion(version))
        return false;
    const UniqueFd folder(::open(profile.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder)
        return false;
    ::mkdirat(folder.get(), "user", 0700);
    const UniqueFd user(
        ::openat(folder.get(), "user", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!user || ::fstat(user.get(), &info) != 0 || info.st_uid != ::geteuid())
        return false;
    const std::string name(kSettingsName);
    struct stat there {};
    const bool exists = ::fstatat(user.get(), name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0;
    std::string settings;
    if (exists) {
        const std::optional<std::string> read =
            readRegular(user.get(), name.c_str(), kLargestSettings);
        if (!read)
            return false;
        if (read->find(kMarkerName) != std::string::npos)
            return true;
        settings = *read;
        if (settings.empty())
            return false;
    }
    const std::string marked = withFirstStartMarker(settings, version);
    return !marked.empty() && writeInPlace(user.get(), kSettingsName, marked);
}

}  // namespace kovrisk
