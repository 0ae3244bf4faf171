// A zip package edited in memory with libzip: entries that are not replaced are copied as they
// are, their compressed data included, in their order; added entries follow.  The original is
// only read; the result is a new archive.
#pragma once

#include <zip.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kovrisk::file_edit {

// The package cannot be read as a zip archive at all (libzip's text).
class ZipUnreadable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An entry's data does not unpack (damaged compressed data, a wrong checksum, a size beyond the
// bound).
class ZipEntryDamaged : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ZipPackage {
public:
    // `file` must outlive the package.
    explicit ZipPackage(std::string_view file);
    ~ZipPackage();
    ZipPackage(const ZipPackage&) = delete;
    ZipPackage& operator=(const ZipPackage&) = delete;

    // The entry named `name`, its name compared as part names are (ASCII case folded).
    std::optional<std::uint64_t> find(std::string_view name) const;
    std::vector<std::string> names() const;
    // The entry's unpacked bytes; at most `bound` of them.
    std::string read(std::uint64_t index, std::uint64_t bound) const;
    // Its first bytes: up to `count` (fewer at its end).
    std::string readHead(std::uint64_t index, std::size_t count) const;

    void replace(std::uint64_t index, std::string data);
    void add(const std::string& name, std::string data);
    void remove(std::uint64_t index);

    // The package as it is now.  The package is done with after this.
    std::string finish();

private:
    zip_source_t* source_ = nullptr;
    zip_t* archive_ = nullptr;
    std::map<std::uint64_t, std::string> replaced_;
    std::set<std::uint64_t> removed_;
    std::vector<std::pair<std::string, std::string>> added_;
};

}  // namespace kovrisk::file_edit
