// Drives the workbook encryption from the command line, for the suites that check its output
// with decryptors written by others.
//
//   encrypt_tool xlsx|xls IN OUT PASSWORD-HEX [RANDOM-HEX]
//   encrypt_tool file-password FILE-NAME   the file password's Shift-JIS bytes, in hex
//   encrypt_tool unicode PASSWORD-HEX      the password as the encryption gets it: UTF-16 units
//
// PASSWORD-HEX: the password's Shift-JIS bytes in hex, converted as the program converts them.
// RANDOM-HEX: bytes every random request takes first (salts, keys), for repeatable output.
// Exit code 0: written; 3: refused (the reason on stdout); 1: failed; 2: misuse.
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "fakes/scripted_random_crypto.h"
#include "platform/text_codec.h"
#include "support/file_password.h"
#include "workbook/encryption/workbook_encryption.h"

using namespace kovrisk;
using namespace kovrisk::encryption;

namespace {

std::optional<std::string> fromHex(const std::string& text) {
    if (text.size() % 2 != 0)
        return std::nullopt;
    std::string out;
    for (std::size_t n = 0; n < text.size(); n += 2) {
        try {
            std::size_t used = 0;
            const int value = std::stoi(text.substr(n, 2), &used, 16);
            if (used != 2)
                return std::nullopt;
            out += static_cast<char>(value);
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }
    return out;
}

std::string hex(std::string_view bytes) {
    std::string out;
    char digits[3];
    for (const char c : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(c));
        out += digits;
    }
    return out;
}

int printFilePassword(const std::string& fileName) {
    PasswordBuffer buffer;
    if (!fncPwdMake(fileName, buffer))
        return 1;
    std::printf("%s\n", hex(buffer.text()).c_str());
    return 0;
}

int printUnicode(const std::string& password) {
    for (const char16_t unit : shiftJisToUtf16(password))
        std::printf("%04x ", static_cast<unsigned>(unit));
    std::printf("\n");
    return 0;
}

const char* reasonName(EncryptionRefusal reason) {
    switch (reason) {
        case EncryptionRefusal::NotAWorkbookFile:
            return "not-a-workbook-file";
        case EncryptionRefusal::DamagedCompoundFile:
            return "damaged-compound-file";
        case EncryptionRefusal::OlderBinaryFormat:
            return "older-binary-format";
        case EncryptionRefusal::DamagedWorkbookStream:
            return "damaged-workbook-stream";
        case EncryptionRefusal::AlreadyEncrypted:
            return "already-encrypted";
        case EncryptionRefusal::UnsuitablePassword:
            return "unsuitable-password";
    }
    return "unknown";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "file-password")
        return printFilePassword(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "unicode") {
        const std::optional<std::string> password = fromHex(argv[2]);
        return password ? printUnicode(*password) : 2;
    }
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: encrypt_tool xlsx|xls IN OUT PASSWORD-HEX [RANDOM-HEX]\n");
        return 2;
    }
    const std::string kind = argv[1];
    const std::optional<std::string> password = fromHex(argv[4]);
    const std::optional<std::string> random = fromHex(argc == 6 ? argv[5] : "");
    if ((kind != "xlsx" && kind != "xls") || !password || !random) {
        std::fprintf(stderr, "encrypt_tool: bad arguments\n");
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    const std::string input{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in) {
        std::fprintf(stderr, "encrypt_tool: cannot read %s\n", argv[2]);
        return 1;
    }
    try {
        testing::ScriptedRandomCrypto crypto(*random);
        const std::u16string unicode = shiftJisToUtf16(*password);
        const std::string output = kind == "xlsx" ? encryptOoxml(input, unicode, crypto)
                                                  : encryptBiff8(input, unicode, crypto);
        std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
        out.write(output.data(), static_cast<std::streamsize>(output.size()));
        out.close();
        if (!out) {
            std::fprintf(stderr, "encrypt_tool: cannot write %s\n", argv[3]);
            return 1;
        }
    } catch (const EncryptionRefused& refused) {
        std::printf("refused %s: %s\n", reasonName(refused.reason()), refused.what());
        return 3;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "encrypt_tool: %s\n", failure.what());
        return 1;
    }
    return 0;
}
