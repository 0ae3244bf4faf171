#include "workbook/file_edit/zip_package.h"

#include <cstdio>
#include <memory>

#include "workbook/file_edit/not_taken.h"
#include "workbook/file_edit/package_names.h"

namespace kovrisk::file_edit {

namespace {

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
    archive_ = zip_open_from_source(source_, ZIP_RDONLY | ZIP_CHECKCONS, &error.error);
    if (!archive_) {
        zip_source_free(source_);
        throw ZipUnreadable(error.text());
    }
}

ZipPackage::~ZipPackage() {
    // The archive owns its source once opened.
    zip_discard(archive_);
}

std::optional<std::uint64_t> ZipPackage::find(std::string_view name) const {
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* present = zip_get_name(archive_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        if (present && samePartName(present, name))
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

void ZipPackage::replace(std::uint64_t index, std::string data) {
    replaced_[index] = std::move(data);
}

void ZipPackage::add(const std::string& name, std::string data) {
    added_.emplace_back(name, std::move(data));
}

void ZipPackage::remove(std::uint64_t index) {
    removed_.insert(index);
}

namespace {

struct ArchiveDiscard {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct SourceFree {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};

// Adds `source` as `name` to `archive` (which then owns the source).
zip_uint64_t addEntry(zip_t* archive, const char* name, zip_source_t* source) {
    if (!source)
        throw std::runtime_error(zip_strerror(archive));
    const zip_int64_t index = zip_file_add(archive, name, source, ZIP_FL_ENC_RAW);
    if (index < 0) {
        zip_source_free(source);
        throw std::runtime_error(zip_strerror(archive));
    }
    return static_cast<zip_uint64_t>(index);
}

}  // namespace

std::string ZipPackage::finish() {
    // A new archive in memory: libzip writes its own buffer, never the original's.
    ErrorText error;
    const std::unique_ptr<zip_source_t, SourceFree> target(
        zip_source_buffer_create(nullptr, 0, 0, &error.error));
    if (!target)
        throw std::runtime_error(error.text());
    zip_source_keep(target.get());
    std::unique_ptr<zip_t, ArchiveDiscard> output(
        zip_open_from_source(target.get(), ZIP_TRUNCATE, &error.error));
    if (!output) {
        zip_source_free(target.get());
        throw std::runtime_error(error.text());
    }
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        if (removed_.count(index))
            continue;
        const char* name = zip_get_name(archive_, index, ZIP_FL_ENC_RAW);
        if (!name)
            throw std::runtime_error(zip_strerror(archive_));
        if (const auto replacement = replaced_.find(index); replacement != replaced_.end()) {
            const std::string& data = replacement->second;
            addEntry(output.get(), name,
                     zip_source_buffer(output.get(), data.data(), data.size(), 0));
            continue;
        }
        // The entry's compressed bytes as they are, under the method they are compressed with.
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive_, index, 0, &stat) != 0)
            throw std::runtime_error(zip_strerror(archive_));
        const zip_uint64_t added =
            addEntry(output.get(), name,
                     zip_source_zip(output.get(), archive_, index, ZIP_FL_COMPRESSED, 0, -1));
        if (zip_set_file_compression(output.get(), added, stat.comp_method, 0) != 0)
            throw NotTaken("an entry compressed in a way libzip does not write");
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(archive_, index, 0, &system, &attributes) == 0)
            zip_file_set_external_attributes(output.get(), added, 0, system, attributes);
    }
    for (const auto& [name, data] : added_)
        addEntry(output.get(), name.c_str(),
                 zip_source_buffer(output.get(), data.data(), data.size(), 0));
    if (zip_close(output.get()) != 0)
        throw std::runtime_error(zip_strerror(output.get()));
    output.release();

    if (zip_source_open(target.get()) != 0)
        throw std::runtime_error(zip_error_strerror(zip_source_error(target.get())));
    std::string result;
    char buffer[65536];
    for (;;) {
        const zip_int64_t got = zip_source_read(target.get(), buffer, sizeof buffer);
        if (got < 0) {
            zip_source_close(target.get());
            throw std::runtime_error(zip_error_strerror(zip_source_error(target.get())));
        }
        if (got == 0)
            break;
        result.append(buffer, static_cast<std::size_t>(got));
    }
    zip_source_close(target.get());
    return result;
}

}  // namespace kovrisk::file_edit
