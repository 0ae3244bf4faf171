#include "workbook/file_edit/biff8_control_sheet.h"

#include <algorithm>
#include <array>
#include <limits>
#include <set>
#include <stdexcept>

#include "formats/biff_records.h"
#include "formats/compound_file_reader.h"
#include "formats/compound_file_writer.h"
#include "formats/little_endian.h"
#include "formats/shared_string_table.h"
#include "formats/sheet_password_hash.h"
#include "formats/workbook_stream_positions.h"
#include "formats/workbook_substreams.h"
#include "formats/xf_checksum.h"
#include "workbook/encryption/encryption_refusal.h"
#include "workbook/file_edit/biff8_sheet_list.h"
#include "workbook/file_edit/biff8_sheet_records.h"
#include "workbook/file_edit/biff8_workbook_globals.h"
#include "workbook/file_edit/not_taken.h"

namespace kovrisk::file_edit {

namespace {

using biff8::Globals;
using biff8::kNone;
using encryption::CompoundEntry;
using encryption::EncryptionRefusal;
using encryption::EncryptionRefused;
using encryption::load16;
using encryption::load32;
using encryption::store16;
using encryption::store32;
using encryption::biff::Record;
namespace biff = encryption::biff;

constexpr std::uint16_t kWindow1 = 0x003D;
constexpr std::uint16_t kWindow2 = 0x023E;
constexpr std::uint16_t kLabelSst = 0x00FD;
// WINDOW2: selected, and shown in the window.
constexpr std::uint16_t kSelectedAndShown = 0x0600;

[[noreturn]] void damaged(const char* what) {
    throw EncryptionRefused(EncryptionRefusal::DamagedWorkbookStream, what);
}

std::uint16_t sheetCount(std::size_t count) {
    if (count > 0xFFFF)
        throw NotTaken("more sheets than the format counts");
    return static_cast<std::uint16_t>(count);
}

class WorkbookStreamEdit {
public:
    WorkbookStreamEdit(std::string_view stream, const CompoundEntry& root)
        : stream_(stream), root_(root), records_(biff::readRecords(stream)) {}

    std::string run(const ControlSheet& control);

private:
    void emit(std::size_t i, std::string data);
    std::string editedData(std::size_t i);

    std::string_view stream_;
    const CompoundEntry& root_;
    std::vector<Record> records_;
    Globals g_;
    std::vector<biff8::SheetEntry> sheets_;
    std::set<std::size_t> removed_;
    std::size_t active_ = kNone;  // among the kept sheets
    std::set<std::size_t> keptWindows_;
    std::vector<std::uint8_t> skipped_;
    // The shared strings: counts after the edit, what the last record gains, CONTINUE records
    // that follow it.
    std::uint32_t total_ = 0, unique_ = 0;
    std::size_t lastString_ = kNone;
    std::string stringsInLast_, stringRecords_;
    std::uint16_t bucketSize_ = 8;
    std::uint32_t formatChecksum_ = 0;
    std::string out_;
    std::vector<std::size_t> newAt_;
    // Fields of copied records that hold stream positions of the original stream.
    std::vector<std::size_t> positions_;
};

void WorkbookStreamEdit::emit(std::size_t i, std::string data) {
    if (data.size() > 0xFFFF)
        throw NotTaken("a record that grows past its size");
    newAt_[i] = out_.size();
    out_ += biff8::record(records_[i].type, data);
    if (records_[i].type == biff::kBoundSheet8 || records_[i].type == biff::kIndex) {
        biff::forEachStreamPosition(records_[i], [&](std::size_t at) {
            positions_.push_back(newAt_[i] + (at - records_[i].at));
        });
    }
}

std::string WorkbookStreamEdit::editedData(std::size_t i) {
    const Record& record = records_[i];
    std::string data(stream_.substr(record.dataAt(), record.length));
    const std::size_t kept = sheets_.size() - removed_.size();
    if (i == g_.formatChecksum) {
        store16(data, 14, static_cast<std::uint16_t>(g_.formats.size() + 1));
        store32(data, 16, formatChecksum_);
    } else if (i == g_.selfBook) {
        store16(data, 0, sheetCount(kept + 1));
    } else if (i == g_.sheetIds) {
        std::string ids;
        std::uint16_t highest = 0;
        for (std::size_t s = 0; s + 1 < data.size(); s += 2) {
            const std::uint16_t id = load16(data, s);
            highest = std::max(highest, id);
            if (!removed_.count(s / 2))
                encryption::append16(ids, id);
        }
        encryption::append16(ids, static_cast<std::uint16_t>(highest + 1));
        data = ids;
    } else if (record.type == kWindow1 && active_ != kNone && data.size() >= 18) {
        store16(data, 10, static_cast<std::uint16_t>(active_));
        store16(data, 12, 0);
        store16(data, 14, 1);
    } else if (keptWindows_.count(i) && data.size() >= 2) {
        store16(data, 0, static_cast<std::uint16_t>(load16(data, 0) & ~kSelectedAndShown));
    } else if (i == g_.sst) {
        store32(data, 0, total_);
        store32(data, 4, unique_);
    } else if (i == g_.extSst) {
        data.assign(biff::extSstDataSize(unique_, bucketSize_), '\0');
    }
    if (i == lastString_)
        data += stringsInLast_;
    return data;
}

std::string WorkbookStreamEdit::run(const ControlSheet& control) {
    if (records_.empty())
        damaged("the workbook stream holds no record");
    const Record& bof = records_.front();
    if (bof.type != biff::kBof || bof.length < 4)
        damaged("the workbook stream starts with no BOF");
    if (load16(stream_, bof.dataAt()) != biff::kBiff8Version)
        throw NotTaken("a workbook older than BIFF8");
    if (load16(stream_, bof.dataAt() + 2) != biff::kGlobalsSubstream)
        damaged("the workbook stream has no globals");
    const biff::WorkbookSubstreams layout = biff::readSubstreams(records_);
    if (layout.strayRecords)
        throw NotTaken("records outside the workbook's substreams");
    g_ = biff8::scanGlobals(stream_, records_, layout.substreams.front());
    sheets_ = biff8::readSheetList(stream_, records_, layout);
    if (sheets_.empty())
        throw NotTaken("a workbook without sheets");
    for (std::size_t s = 0; s < sheets_.size(); ++s) {
        if (biff8::sameSheetName(sheets_[s].name, control.name))
            removed_.insert(s);
    }
    if (!removed_.empty())
        biff8::checkRemovable(stream_, records_, root_, g_, sheets_, removed_);

    // The first visible worksheet becomes the active sheet, the only one selected.
    std::vector<std::size_t> kept;
    for (std::size_t s = 0; s < sheets_.size(); ++s) {
        if (!removed_.count(s))
            kept.push_back(s);
    }
    for (int pass = 0; pass < 2 && active_ == kNone; ++pass) {
        for (std::size_t k = 0; k < kept.size() && active_ == kNone; ++k) {
            if (sheets_[kept[k]].visible && (pass == 1 || sheets_[kept[k]].worksheet))
                active_ = k;
        }
    }
    std::set<std::size_t> activeWindows;
    for (std::size_t k = 0; k < kept.size() && active_ != kNone; ++k) {
        const biff::Substream& sub = sheets_[kept[k]].substream;
        std::size_t depth = 0;
        for (std::size_t i = sub.first + 1; i < sub.last; ++i) {
            if (records_[i].type == biff::kBof)
                ++depth;
            else if (records_[i].type == biff::kEof && depth > 0)
                --depth;
            else if (depth == 0 && records_[i].type == kWindow2)
                (k == active_ ? activeWindows : keptWindows_).insert(i);
        }
    }

    // The strings: reused where the table holds them plainly, else added at its end.
    const std::vector<std::u16string> texts{control.warning, control.machineTag};
    const biff::SharedStrings table = biff::readSharedStrings(stream_, records_, g_.sst, texts);
    if (table.trailingData)
        throw NotTaken("a shared string table holding more than it counts");
    unique_ = table.unique;
    std::array<std::uint32_t, 2> stringIndex{};
    std::vector<std::string> added;
    for (std::size_t t = 0; t < texts.size(); ++t) {
        if (table.found[t] >= 0) {
            stringIndex[t] = static_cast<std::uint32_t>(table.found[t]);
        } else if (t == 1 && texts[1] == texts[0]) {
            stringIndex[1] = stringIndex[0];
        } else {
            stringIndex[t] = unique_++;
            added.push_back(biff::sharedString(texts[t]));
            if (added.back().size() > biff::kMaxRecordData)
                throw NotTaken("a cell text too long for a record");
        }
    }
    std::uint32_t removedCells = 0;
    for (const std::size_t s : removed_) {
        for (std::size_t i = sheets_[s].substream.first; i <= sheets_[s].substream.last; ++i)
            removedCells += records_[i].type == kLabelSst ? 1 : 0;
    }
    total_ = table.total - std::min(table.total, removedCells) + 2;
    lastString_ = table.records.back();
    std::size_t room = biff::kMaxRecordData -
                       std::min<std::size_t>(records_[lastString_].length, biff::kMaxRecordData);
    std::string continued;
    for (const std::string& string : added) {
        if (continued.empty() && string.size() <= room) {
            stringsInLast_ += string;
            room -= string.size();
            continue;
        }
        if (continued.size() + string.size() > biff::kMaxRecordData) {
            stringRecords_ += biff8::record(biff::kContinue, continued);
            continued.clear();
        }
        continued += string;
    }
    if (!continued.empty())
        stringRecords_ += biff8::record(biff::kContinue, continued);
    const std::uint16_t currentBuckets = g_.extSst != kNone && records_[g_.extSst].length >= 2
                                             ? load16(stream_, records_[g_.extSst].dataAt())
                                             : 8;
    bucketSize_ = biff::extSstBucketSize(unique_, currentBuckets);

    // The white font (the default font's face and size) and the cell format of the tag.
    const Record& defaultFont = records_[g_.fonts.front()];
    const std::string font =
        biff8::whiteFontRecord(stream_.substr(defaultFont.dataAt(), defaultFont.length));
    const std::size_t fonts = g_.fonts.size();
    // Font index 4 is never used: the fifth font record is index 5.
    const std::string format =
        biff8::cellFormatRecord(static_cast<std::uint16_t>(fonts < 4 ? fonts : fonts + 1));
    for (const std::size_t i : g_.formats) {
        formatChecksum_ = formats::xfChecksum(
            formatChecksum_, stream_.substr(records_[i].dataAt(), records_[i].length));
    }
    // A checksum that no longer matches (an application that knows no extended formats changed
    // the formats) stays as it is: the extensions stay ignored.
    if (g_.formatChecksum != kNone) {
        const std::size_t at = records_[g_.formatChecksum].dataAt();
        if (load16(stream_, at + 14) != g_.formats.size() ||
            load32(stream_, at + 16) != formatChecksum_) {
            g_.formatChecksum = kNone;
        }
    }
    formatChecksum_ = formats::xfChecksum(formatChecksum_, std::string_view(format).substr(4));

    biff8::SheetContent content;
    content.globalsBof = stream_.substr(bof.dataAt(), bof.length);
    content.calculation = biff8::calculationRecords(stream_, records_, sheets_, removed_);
    content.warning = stringIndex[0];
    content.tag = stringIndex[1];
    content.tagFormat = static_cast<std::uint16_t>(g_.formats.size());
    content.passwordHash = formats::sheetPasswordHash(control.protectionPassword);

    // The new stream, record by record.
    skipped_.assign(records_.size(), 0);
    for (const std::size_t s : removed_) {
        skipped_[sheets_[s].record] = 1;
        std::fill(skipped_.begin() + sheets_[s].substream.first,
                  skipped_.begin() + sheets_[s].substream.last + 1, 1);
    }
    newAt_.assign(records_.size(), kNone);
    out_.reserve(stream_.size() + 4096);
    const std::size_t tail = layout.substreams.back().last + 1;
    std::size_t sheetRecordAt = kNone, substreamAt = kNone, extSstAt = kNone;
    for (std::size_t i = 0; i <= records_.size(); ++i) {
        if (i == tail) {
            substreamAt = out_.size();
            out_ += biff8::controlSheetSubstream(content, substreamAt);
        }
        if (i == records_.size())
            break;
        if (!skipped_[i]) {
            std::string data = editedData(i);
            if (activeWindows.count(i) && data.size() >= 2)
                store16(data, 0, static_cast<std::uint16_t>(load16(data, 0) | kSelectedAndShown));
            emit(i, std::move(data));
        }
        if (i == g_.extSst)
            extSstAt = newAt_[i];
        if (i == g_.fonts.back())
            out_ += font;
        if (i == g_.formats.back())
            out_ += format;
        if (i == g_.lastSheet) {
            sheetRecordAt = out_.size();
            out_ += biff8::hiddenSheetRecord(control.name);
        }
        if (i == lastString_) {
            out_ += stringRecords_;
            if (g_.extSst == kNone) {
                extSstAt = out_.size();
                out_ += biff8::record(
                    biff::kExtSst, std::string(biff::extSstDataSize(unique_, bucketSize_), '\0'));
            }
        }
    }
    out_.append(stream_.substr(records_.back().end()));

    // Positions: the copied records' into the new stream, the new sheet's, the string index's.
    for (const std::size_t field : positions_) {
        const std::uint32_t old = load32(out_, field);
        auto after = std::upper_bound(records_.begin(), records_.end(), std::size_t{old},
                                      [](std::size_t at, const Record& r) { return at < r.at; });
        if (after == records_.begin())
            continue;
        const std::size_t j = static_cast<std::size_t>(after - records_.begin()) - 1;
        if (old < records_[j].end() && newAt_[j] != kNone)
            store32(out_, field, static_cast<std::uint32_t>(newAt_[j] + (old - records_[j].at)));
    }
    store32(out_, sheetRecordAt + 4, static_cast<std::uint32_t>(substreamAt));
    const std::vector<Record> written = biff::readRecords(out_);
    const auto sst = std::find_if(written.begin(), written.end(),
                                  [&](const Record& r) { return r.at == newAt_[g_.sst]; });
    if (sst == written.end())
        damaged("the shared string table is lost in the edit");
    const biff::SharedStrings rebuilt =
        biff::readSharedStrings(out_, written, static_cast<std::size_t>(sst - written.begin()), {});
    const std::string index = biff::extSstData(rebuilt, bucketSize_);
    out_.replace(extSstAt + 4, index.size(), index);
    if (out_.size() > std::numeric_limits<std::uint32_t>::max())
        throw NotTaken("a workbook stream too large for its positions");
    return std::move(out_);
}

}  // namespace

ControlSheetEdit addBiff8ControlSheet(std::string_view file, const ControlSheet& sheet) {
    using Outcome = ControlSheetEdit::Outcome;
    try {
        CompoundEntry root = encryption::readCompoundFile(file);
        CompoundEntry* workbook = root.child(u"Workbook");
        if (workbook == nullptr || workbook->kind != CompoundEntry::Kind::Stream) {
            if (root.child(u"EncryptionInfo") != nullptr)
                return {Outcome::NotTaken, {}, "an encrypted package"};
            if (root.child(u"Book") != nullptr)
                return {Outcome::NotTaken, {}, "an Excel 95 or older workbook"};
            return {Outcome::NotTaken, {}, "a compound file without a workbook stream"};
        }
        std::string edited = WorkbookStreamEdit(workbook->data, root).run(sheet);
        workbook->data = std::move(edited);
        return {Outcome::Edited, encryption::writeCompoundFile(root), {}};
    } catch (const NotTaken& error) {
        return {Outcome::NotTaken, {}, error.what()};
    } catch (const EncryptionRefused& error) {
        switch (error.reason()) {
            case EncryptionRefusal::DamagedCompoundFile:
            case EncryptionRefusal::DamagedWorkbookStream:
                return {Outcome::Damaged, {}, error.what()};
            default:
                return {Outcome::NotTaken, {}, error.what()};
        }
    } catch (const std::invalid_argument& error) {
        // Two entries of one storage under one name, say: the container does not hold together.
        return {Outcome::Damaged, {}, std::string("damaged compound file: ") + error.what()};
    }
}

}  // namespace kovrisk::file_edit
