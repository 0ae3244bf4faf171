// The file operations the program needs, behind one interface so that the operations and the
// run can be tested with injected failures.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kovrisk {

using NativePath = std::filesystem::path;

// A file's attribute word as the platform keeps it: the Windows attribute bits, or the POSIX
// permission bits.  Saved and put back whole.
struct FileAttributes {
    std::uint32_t word = 0;
    friend bool operator==(const FileAttributes&, const FileAttributes&) = default;
};

// Which file a path leads to: the same device and index node is the same file under any name.
// `links` counts the file's names.  A platform that cannot tell gives every file the empty identity
// with one name.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t links = 1;
    bool sameFile(const FileIdentity& other) const {
        return device == other.device && inode == other.inode;
    }
};

enum class AppendResult { Written, Busy, Failed };

// Why a file cannot be replaced by a new version of it.
enum class ReplacementRefusal {
    None,
    // Something other than a regular file (a folder, a device, a symbolic link) is at the path.
    NotARegularFile,
    // The new version could not belong to the file's owner, and the owner could not read it.
    OwnerCannotBeKept,
    // The new version could not belong to the file's group.
    GroupCannotBeKept,
    // No private folder could be made beside the file.
    NoPrivateFolder,
};

// The longest name the private folder of a replacement (below) has.
inline constexpr std::size_t kLongestPrivateFolderName = 17;

// A new version of one file, made in a folder beside it that only this process may write, so that
// nobody can plant a link or a file in the new version's place.  Committing puts the new version
// in the file's place in one step, with the owner, group, mode, access control lists and extended
// attributes of the file it replaces.  The private folder goes, with whatever is left in it, when
// the object does.
class FileReplacement {
public:
    virtual ~FileReplacement() = default;

    // The file to be replaced, as settled when the replacement began.
    virtual const NativePath& target() const = 0;
    // Where the new version is to be written.
    virtual const NativePath& newVersion() const = 0;
    // Fails, changing nothing, when the new version is not a regular file written by this process
    // or the file at the target is no longer the one that was there when the replacement began.
    virtual bool commit() = 0;
    // Folders beside the file that looked like private folders of killed runs but could not be
    // shown to be one, and were left as they are.
    virtual std::vector<NativePath> foldersLeftAlone() const { return {}; }
    // After a failed commit: whether the file at the target had gone and was put back, and where
    // it is when it could not be put back (empty: at the target, as it was).
    virtual bool originalPutBack() const { return false; }
    virtual NativePath strandedOriginal() const { return {}; }
};

class Files {
public:
    virtual ~Files() = default;

    // Missing or unreadable: nullopt.
    virtual std::optional<FileAttributes> attributes(const NativePath& path) = 0;
    virtual bool setAttributes(const NativePath& path, FileAttributes attributes) = 0;
    virtual bool isReadOnly(FileAttributes attributes) const = 0;
    virtual FileAttributes withoutReadOnly(FileAttributes attributes) const = 0;

    virtual bool fileExists(const NativePath& path) = 0;
    virtual bool isDirectory(const NativePath& path) = 0;
    // Creates the folder and every missing folder above it.
    virtual bool createDirectories(const NativePath& path) = 0;
    virtual bool remove(const NativePath& path) = 0;
    // Copies `from` into a new file `to`; fails when anything is at `to` already.
    virtual bool copy(const NativePath& from, const NativePath& to) = 0;
    // The whole content of the regular file at `path`; nullopt when it cannot be read.
    virtual std::optional<std::string> readAll(const NativePath& path) = 0;
    // Writes `bytes` into a new file `path` that only this user may read, never through a link,
    // and flushes it to the disk; fails, leaving no file, when anything is at `path` already or
    // the write fails.
    virtual bool writeNew(const NativePath& path, std::string_view bytes) = 0;

    // The path of the file that `path` leads to, symbolic links resolved; `path` itself when it
    // leads nowhere.
    virtual NativePath settledPath(const NativePath& path) = 0;
    // The identity of the file `path` leads to, symbolic links followed (on Windows a reparse point
    // at `path` is the file itself); nullopt when nothing is there.
    virtual std::optional<FileIdentity> identity(const NativePath& path) {
        return fileExists(path) ? std::optional<FileIdentity>(FileIdentity{}) : std::nullopt;
    }
    // The attribute word a file of the user's own data folder gets for `attributes`: nobody
    // else's bits where the platform keeps the data folder private.
    virtual FileAttributes privateAttributes(FileAttributes attributes) const { return attributes; }
    // Whether the file at `target` (missing is fine) could be replaced keeping what it has.
    virtual ReplacementRefusal replacementRefusal(const NativePath& target) = 0;
    // Begins a replacement of the file at `target`, whose new version is to be written under the
    // file's own name followed by `suffix`; on failure nullptr and the reason in `refusal`.
    virtual std::unique_ptr<FileReplacement> beginReplacement(const NativePath& target,
                                                              std::string_view suffix,
                                                              ReplacementRefusal& refusal) = 0;

    // Whether another program has the file at `path` open now, so that it cannot be opened
    // exclusively (an Excel of the user's own with the workbook open); false where the platform
    // cannot tell.
    virtual bool heldOpenElsewhere(const NativePath&) { return false; }

    // Opens `path` exclusively (created when missing, contents kept), writes `bytes` at its end
    // and closes it.  Busy: another holder has it open at this instant.
    virtual AppendResult appendExclusive(const NativePath& path, std::string_view bytes) = 0;
};

}  // namespace kovrisk
