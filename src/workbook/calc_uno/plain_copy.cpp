#include "workbook/calc_uno/plain_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "platform/crypto.h"
#include "platform/posix/unique_fd.h"
#include "platform/text_codec.h"
#include "workbook/calc_uno/calc_texts.h"
#include "workbook/encryption/workbook_encryption.h"

namespace kovrisk {

PlainCopy::PlainCopy(const NativePath& encryptedFile) : path_(encryptedFile) {
    path_ += ".plain";
}

PlainCopy::~PlainCopy() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

namespace {

std::string readWhole(const NativePath& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in)
        throw AutomationError(calc_texts::notLoaded(path));
    return bytes.str();
}

void writeNew(const NativePath& path, std::string_view bytes) {
    UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                         S_IRUSR | S_IWUSR));
    bool written = static_cast<bool>(file);
    while (written && !bytes.empty()) {
        const ssize_t done = ::write(file.get(), bytes.data(), bytes.size());
        if (done < 0 && errno == EINTR)
            continue;
        written = done > 0;
        if (written)
            bytes.remove_prefix(static_cast<std::size_t>(done));
    }
    if (!written || ::fsync(file.get()) != 0 || !file.close()) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        throw AutomationError(calc_texts::notSaved(path));
    }
}

}  // namespace

void encryptFile(const NativePath& plain, const NativePath& encrypted, WorkbookFormat format,
                 const std::string& password) {
    const std::string bytes = readWhole(plain);
    const std::u16string unicode = shiftJisToUtf16(password);
    const std::unique_ptr<CryptoPrimitives> crypto = nativeCryptoPrimitives();
    std::string result;
    try {
        result = format == WorkbookFormat::Excel97
                     ? encryption::encryptBiff8(bytes, unicode, *crypto)
                     : encryption::encryptOoxml(bytes, unicode, *crypto);
    } catch (const std::exception& failure) {
        throw AutomationError(calc_texts::notEncrypted(encrypted, failure.what()));
    }
    writeNew(encrypted, result);
}

}  // namespace kovrisk
