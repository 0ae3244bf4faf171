// The compound-file reader on any bytes: it refuses (EncryptionRefused) or gives a tree that the
// writer writes and the reader reads back unchanged.  Any other exception, a crash or a sanitizer
// report is a fault.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "formats/compound_file_reader.h"
#include "formats/compound_file_writer.h"
#include "workbook/encryption/encryption_refusal.h"

using namespace kovrisk::encryption;

namespace {

bool sameTree(const CompoundEntry& a, const CompoundEntry& b) {
    if (a.kind != b.kind || a.data != b.data || a.children.size() != b.children.size())
        return false;
    for (const CompoundEntry& child : a.children) {
        const CompoundEntry* other = b.child(child.name);
        if (other == nullptr || other->name != child.name || !sameTree(child, *other))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    CompoundEntry root;
    try {
        root = readCompoundFile(file);
    } catch (const EncryptionRefused&) {
        return 0;
    }
    std::string written;
    try {
        written = writeCompoundFile(root);
    } catch (const std::invalid_argument&) {
        return 0;  // two entries of one name: the writer refuses what no container may hold
    }
    if (!sameTree(root, readCompoundFile(written)))
        std::abort();
    return 0;
}
