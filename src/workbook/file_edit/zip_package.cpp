#include "workbook/file_edit/zip_package.h"

#include <cstdio>
#include <memory>

namespace kovrisk::file_edit {

namespace {

char foldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view left, std::string_view right) {
    if (left.size() != right.size())
        return false;
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (foldAscii(left[i]) != foldAscii(right[i]))
            return false;
    }
    return true;
}

struct ErrorText {
    zip_error_t error;
    ErrorText() { zip_error_init(&error); }
    ~ErrorText() { zip_error_fini(&error); }
    std::string text() { return zip_error_strerror(&error); }
};

struct FileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

}  // namespace

ZipPackage::ZipPackage(std::string_view file) {
    ErrorText error;
    source_ = zip_source_buffer_create(file.data(), file.size(), 0, &error.error);
    if (!source_)
        throw ZipUnreadable(error.text());
    // The source is kept past zip_close: it then holds the written package.
    zip_source_keep(source_);
    archive_ = zip_open_from_source(source_, ZIP_CHECKCONS, &error.error);
    if (!archive_) {
        zip_source_free(source_);
        throw ZipUnreadable(error.text());
    }
}

ZipPackage::~ZipPackage() {
    if (archive_)
        zip_discard(archive_);
    zip_source_free(source_);
}

std::optional<std::uint64_t> ZipPackage::find(std::string_view name) const {
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* present = zip_get_name(archive_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        if (present && sameName(present, name))
            return static_cast<std::uint64_t>(i);
    }
    return std::nullopt;
}

std::vector<std::string> ZipPackage::names() const {
    std::vector<std::string> result;
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* present = zip_get_name(archive_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        result.emplace_back(present ? present : "");
    }
    return result;
}

std::string ZipPackage::read(std::uint64_t index, std::uint64_t bound) const {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive_, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE))
        throw ZipEntryDamaged(zip_strerror(archive_));
    if (stat.size > bound)
        throw ZipEntryDamaged("an entry larger than the editor takes");
    const std::unique_ptr<zip_file_t, FileCloser> file(zip_fopen_index(archive_, index, 0));
    if (!file)
        throw ZipEntryDamaged(zip_strerror(archive_));
    std::string data(static_cast<std::size_t>(stat.size), '\0');
    std::size_t done = 0;
    while (done < data.size()) {
        const zip_int64_t got = zip_fread(file.get(), data.data() + done, data.size() - done);
        if (got < 0)
            throw ZipEntryDamaged(zip_file_strerror(file.get()));
        if (got == 0)
            throw ZipEntryDamaged("an entry shorter than its recorded size");
        done += static_cast<std::size_t>(got);
    }
    // Reading on to the end lets libzip check the entry's checksum.
    char extra = 0;
    if (const zip_int64_t got = zip_fread(file.get(), &extra, 1); got != 0) {
        throw ZipEntryDamaged(got < 0 ? zip_file_strerror(file.get())
                                      : "an entry longer than its recorded size");
    }
    return data;
}

std::string ZipPackage::readHead(std::uint64_t index, std::size_t count) const {
    const std::unique_ptr<zip_file_t, FileCloser> file(zip_fopen_index(archive_, index, 0));
    if (!file)
        throw ZipEntryDamaged(zip_strerror(archive_));
    std::string data(count, '\0');
    std::size_t done = 0;
    while (done < count) {
        const zip_int64_t got = zip_fread(file.get(), data.data() + done, count - done);
        if (got < 0)
            throw ZipEntryDamaged(zip_file_strerror(file.get()));
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    data.resize(done);
    return data;
}

zip_source_t* ZipPackage::holdData(std::string data) {
    const std::string& held = held_.emplace_back(std::move(data));
    zip_source_t* source = zip_source_buffer(archive_, held.data(), held.size(), 0);
    if (!source)
        throw std::runtime_error(zip_strerror(archive_));
    return source;
}

void ZipPackage::replace(std::uint64_t index, std::string data) {
    zip_source_t* source = holdData(std::move(data));
    if (zip_file_replace(archive_, index, source, 0) != 0) {
        zip_source_free(source);
        throw std::runtime_error(zip_strerror(archive_));
    }
}

void ZipPackage::add(const std::string& name, std::string data) {
    zip_source_t* source = holdData(std::move(data));
    if (zip_file_add(archive_, name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
        zip_source_free(source);
        throw std::runtime_error(zip_strerror(archive_));
    }
}

void ZipPackage::remove(std::uint64_t index) {
    if (zip_delete(archive_, index) != 0)
        throw std::runtime_error(zip_strerror(archive_));
}

std::string ZipPackage::finish() {
    if (zip_close(archive_) != 0)
        throw std::runtime_error(zip_strerror(archive_));
    archive_ = nullptr;
    if (zip_source_open(source_) != 0)
        throw std::runtime_error(zip_error_strerror(zip_source_error(source_)));
    std::string result;
    char buffer[65536];
    for (;;) {
        const zip_int64_t got = zip_source_read(source_, buffer, sizeof buffer);
        if (got < 0) {
            zip_source_close(source_);
            throw std::runtime_error(zip_error_strerror(zip_source_error(source_)));
        }
        if (got == 0)
            break;
        result.append(buffer, static_cast<std::size_t>(got));
    }
    zip_source_close(source_);
    return result;
}

}  // namespace kovrisk::file_edit
