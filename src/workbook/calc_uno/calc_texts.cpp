// The texts are written here in UTF-8 (this file is not compiled to Shift-JIS) and converted.
#include "workbook/calc_uno/calc_texts.h"

#include "platform/text_codec.h"

namespace kovrisk::calc_texts {

namespace {

std::string sjis(std::string_view utf8) {
    return toShiftJis(NativeString(utf8));
}

std::string_view folderFault(FolderFault fault) {
    switch (fault) {
        case FolderFault::symbolicLink:
            return "シンボリックリンクです";
        case FolderFault::notAFolder:
            return "フォルダではありません";
        case FolderFault::otherOwner:
            return "別の利用者のフォルダです";
        case FolderFault::writableByOthers:
            return "グループか他の利用者が書き込めます";
        case FolderFault::none:
        case FolderFault::cannotMake:
            break;
    }
    return "利用者専用ではありません";
}

}  // namespace

std::string officeMissing(const NativePath& program) {
    return sjis("LibreOffice を起動できません（プログラムがありません）: ") + toShiftJis(program);
}

std::string officeNotStarted(const NativePath& program, int status, std::string_view words) {
    std::string text = sjis("LibreOffice が応答する前に終了しました（終了コード ") +
                       std::to_string(status) + "): " + toShiftJis(program);
    if (!words.empty())
        text += sjis("（LibreOffice の出力: ") + sjis(words) + sjis("）");
    return text;
}

std::string officeNoAnswer(const NativePath& program) {
    return sjis("LibreOffice が応答しません: ") + toShiftJis(program);
}

std::string processFailed(std::string_view reason) {
    return sjis("LibreOffice のプロセスを作成できません: ") + sjis(reason);
}

std::string profileFolderFailed(const NativePath& folder, std::string_view reason) {
    return sjis("LibreOffice のプロファイル用フォルダを作成できません: ") + toShiftJis(folder) +
           " (" + sjis(reason) + ")";
}

std::string profileFolderRefused(const NativePath& folder, FolderFault fault) {
    return sjis("LibreOffice のプロファイル用フォルダを使えません（") + sjis(folderFault(fault)) +
           sjis("）: ") + toShiftJis(folder);
}

std::string noProfileFolder() {
    return sjis(
        "LibreOffice のプロファイル用フォルダが決まりません（XDG_CACHE_HOME もホームフォルダも"
        "ありません）");
}

std::string profilesBusy(const NativePath& folder) {
    return sjis("LibreOffice のプロファイルがすべて使用中です: ") + toShiftJis(folder);
}

std::string notLoaded(const NativePath& file) {
    return sjis("ブックを開けません: ") + toShiftJis(file);
}

std::string notSaved(const NativePath& file) {
    return sjis("ブックを保存できません: ") + toShiftJis(file);
}

std::string notEncrypted(const NativePath& file, std::string_view reason) {
    return sjis("ブックを暗号化できません（") + sjis(reason) + "): " + toShiftJis(file);
}

std::string notASpreadsheet(const NativePath& file) {
    return sjis("スプレッドシートではありません: ") + toShiftJis(file);
}

std::string tooLarge(const NativePath& file, std::uintmax_t size) {
    return sjis("ブックとして開くには大きすぎます（" + std::to_string(size) + " バイト）: ") +
           toShiftJis(file);
}

std::string officeTookTooLong(const NativePath& file) {
    return sjis("LibreOffice が時間内に応答しなかったため終了させました: ") + toShiftJis(file);
}

std::string plantedFile(const NativePath& file) {
    return sjis(
               "LibreOffice が読むファイル（ロックファイル .~lock.ファイル名# "
               "かブック）の場所に通常の"
               "ファイルでないものが置かれたため、LibreOffice を終了させました: ") +
           toShiftJis(file);
}

std::string noPasswordFormat(const NativePath& file) {
    return sjis("この形式ではパスワード付きで保存できません: ") + toShiftJis(file);
}

std::string applicationEnded() {
    return sjis("LibreOffice は終了しています");
}

std::string workbookClosed() {
    return sjis("ブックは閉じられています");
}

std::string badColorIndex(int index) {
    return sjis("色番号が範囲外です: ") + std::to_string(index);
}

std::string foreignWorksheet() {
    return sjis("別のブックのワークシートです");
}

}  // namespace kovrisk::calc_texts
