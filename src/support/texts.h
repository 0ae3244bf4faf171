// The program's own texts, Shift-JIS in the built program.
#pragma once

#include <string_view>

namespace kovrisk::texts {

inline constexpr std::string_view kCaption = "Kovrisk";
inline constexpr std::string_view kApplicationTitle = "コヴリスク";
inline constexpr std::string_view kWindowCaption = "コヴリスク（フリー版）";
// The terminal's line when a granted workbook cannot be shown: there is no display.
inline constexpr std::string_view kNoDisplayHandover =
    "ブックの確認は済みましたが、表示する画面（ディスプレイ）がないため閉じました。";

// Start-up.
inline constexpr std::string_view kDropOneFile = "１ファイルずつドロップしてください。終了します。";
inline constexpr std::string_view kNotInstalled = "Excelがインストールされていません。終了します。";
inline constexpr std::string_view kBadExtension =
    "拡張子がXLSもしくはXLSXではありません。終了します。";
inline constexpr std::string_view kUnknownError = "不明なエラー";

// The run.
inline constexpr std::string_view kTooLarge =
    "ファイルが大きすぎるため、ブックとして開けません（2 GB まで）。終了します。";
inline constexpr std::string_view kWorkbookBusy =
    "このブックは別のコヴリスクが処理中です。処理が終わってから、もう一度ドロップしてください。";
// What is not a workbook's file is not given to the spreadsheet application.
inline constexpr std::string_view kNotARegularWorkbook =
    "通常のファイルではないため、ブックとして開けません。終了します。";
inline constexpr std::string_view kEmptyWorkbook =
    "ファイルが空（0 バイト）のため、ブックとして開けません。終了します。";
inline constexpr std::string_view kNameTooLong =
    "ファイル名が長すぎるため、処理できません（LibreOffice のロックファイルを作成できません）。"
    "ファイル名を短くしてから、もう一度ドロップしてください。";
inline constexpr std::string_view kOfficeLockNotAFile =
    "ブックのロックファイル（.~lock.ファイル名#）が通常のファイルではないため、処理できません。"
    "終了します。";
inline constexpr std::string_view kClaimUnavailable =
    "処理中の目印を作成できないため、処理を始められません。終了します: ";
// The data folder made the user's alone; its path follows.
inline constexpr std::string_view kDataFolderTightened =
    "データフォルダを本人だけが使えるようにしました: ";
inline constexpr std::string_view kStarted = "起動しました。";
inline constexpr std::string_view kStatusStarting = "Excel起動中・・・";
inline constexpr std::string_view kStatusPreparingOpen = "パスワード解析 ＆ オープン準備中";
inline constexpr std::string_view kStatusLocking = "パスワード生成 ＆ 施工中";
inline constexpr std::string_view kConfirm =
    "パスワード未設定のファイルを検出しました。\r\n読み取りパスワードを設定してもよろしいですか？";
inline constexpr std::string_view kRemovingReadOnly = "読込み専用属性のため、ReadOnlyを外します。";
inline constexpr std::string_view kLocked = "パスワード施工完了。";
inline constexpr std::string_view kCancelled = "パスワード設定キャンセル";
inline constexpr std::string_view kPasswordFailed = "パスワード生成に失敗しました。";
inline constexpr std::string_view kOpenFailedLog = "エクセルファイルオープンに失敗しました。";
inline constexpr std::string_view kOpenFailedMessage =
    "ファイルのオープンに失敗しました。次の理由が考えられます。\r\n"
    "\r\n"
    "・（フリー版の場合）パスワードを設定したPCとは別なPCで開いていませんか？\r\n"
    "・ファイル名を変更していませんか？\r\n"
    "・システムが付与したパスワードとは違うパスワードが設定されていませんか？";
inline constexpr std::string_view kBackupFailed = "元ファイルのバックアップに失敗しました。";
inline constexpr std::string_view kLockFailed = "パスワード施工に失敗しました。";
inline constexpr std::string_view kBackupLockFailed =
    "バックアップファイルのパスワード施工に失敗しました。";

// The workbook operations.
inline constexpr std::string_view kDeleteError = "ファイル削除エラー";
inline constexpr std::string_view kControlSheetName = "Kovrisk";
inline constexpr std::string_view kControlSheetWarning =
    "本シートは絶対に変更しないで下さい。変更しますとパスワード解除できなくなり、"
    "ファイルを開くことができなくなります。";
inline constexpr std::string_view kSheetProtectionPassword = "KorvenatePlume!";
inline constexpr std::string_view kNoControlSheet =
    "コヴリスクで作成された制御情報が見つかりません。";
inline constexpr std::string_view kPcCheck = "PCチェック";
inline constexpr std::string_view kPcCompareEnd = "PC名比較終了";
inline constexpr std::string_view kPcCompare = "PC名比較";
inline constexpr std::string_view kCompatCheck = "下位互換チェック";
inline constexpr std::string_view kRefusedPrefix = "PC名 ";
inline constexpr std::string_view kRefusedSuffix = " にはオープン許可がありません。";
// The user's macro security settings that could not be read; why follows.
inline constexpr std::string_view kMacroSettingsNotUnderstood =
    "LibreOffice のマクロのセキュリティ設定を読み取れないため、マクロを実行せずに開きます: ";
// An Excel call that outlasted its bound (Excel waits on a dialog nobody can answer): that Excel
// was ended.
inline constexpr std::string_view kExcelTookTooLong =
    "Excel が時間内に応答しなかったため終了させました";
inline constexpr std::string_view kAlreadyOpen =
    "このブックはすでに開かれています。開いているウィンドウでご覧ください。";

// Why a workbook is not locked; each is logged and shown, before anything changes.
inline constexpr std::string_view kNoComputerName =
    "PC名を取得できないため、パスワードを設定できません。終了します。";
inline constexpr std::string_view kFormatNotLockablePrefix = "ファイルの実際の形式（";
inline constexpr std::string_view kFormatNotLockableSuffix =
    "）では読み取りパスワードを設定できません。Excel 97-2003 ブック（XLS）か Excel "
    "ブック（XLSX）として保存し直してください。";
inline constexpr std::string_view kFormatUnknown =
    "ファイルの形式を確認できないため、パスワードを設定できません。";
inline constexpr std::string_view kNotReadWhole =
    "ファイルの一部を読み込めなかったため、パスワードを設定しません。ファイルが壊れていないか確認"
    "してください。";
inline constexpr std::string_view kInUse =
    "ブックが他のユーザーかアプリケーションで開かれているか、書き込みできないため、パスワードを設定"
    "できません。ブックを閉じてから、もう一度ドロップしてください。";
inline constexpr std::string_view kStructureProtected =
    "ブックの構成が保護されているため、パスワードを設定できません。ブックの保護を解除してから、"
    "もう一度ドロップしてください。";
// A path the spreadsheet application cannot take: the limit, the length, then the workbook's path.
inline constexpr std::string_view kPathTooLongPrefix =
    "パスが長すぎるため、パスワードを設定できません（Excel が扱えるパスは ";
inline constexpr std::string_view kPathTooLongMiddle = " 文字まで、保存に必要なパスは ";
inline constexpr std::string_view kPathTooLongSuffix = " 文字）: ";
// The same for the workbook's own path, which the spreadsheet application cannot open: the limit,
// the length, kPathTooLongSuffix, then the path.
inline constexpr std::string_view kOpenPathTooLongPrefix =
    "パスが長すぎるため、ブックを開けません（Excel が扱えるパスは ";
inline constexpr std::string_view kOpenPathTooLongMiddle = " 文字まで、このブックのパスは ";

inline constexpr std::string_view kManyNames =
    "このファイルには別の名前（ハードリンク）があるため、パスワードを設定できません。別の名前では"
    "パスワードのないままになります。";
inline constexpr std::string_view kWorkbookSwapped =
    "処理中にファイルが別のファイルに置き換えられたため、パスワードを設定しません。何も変更して"
    "いません。";

// Why a file cannot be replaced by its new version; the file's path follows.
inline constexpr std::string_view kNotARegularFile =
    "通常のファイルではないため置き換えられません: ";
inline constexpr std::string_view kOwnerCannotBeKept =
    "ファイルの所有者が読めなくなるため置き換えられません: ";
inline constexpr std::string_view kGroupCannotBeKept =
    "ファイルのグループを保てないため置き換えられません: ";
inline constexpr std::string_view kNoPrivateFolder = "作業用フォルダを作成できません: ";
// A folder named like a work folder that is not shown to be one is left; its path follows.
inline constexpr std::string_view kFolderLeftAlone =
    "作業用フォルダと確認できないため、削除しません: ";
// A replacement that failed half-way: the file went back to its place (its path follows), or it
// could not and is kept where it is (that path follows).
inline constexpr std::string_view kOriginalPutBack =
    "置き換えに失敗したため、元のファイルを元の場所に戻しました: ";
inline constexpr std::string_view kOriginalStranded =
    "置き換えに失敗し、元のファイルを元の場所に戻せませんでした。元のファイルはここにあります: ";

// Suffixes of an operation's progress lines, after its name and "():".
inline constexpr std::string_view kCatchException = "Catch Exception";
// The lock's step word when the application adds the control sheet and saves, followed by why the
// file itself could not take it.
inline constexpr std::string_view kControlSheetByApplication = "CONTROL SHEET BY THE APPLICATION: ";
// Followed by what does not hold together in a workbook the lock does not save.
inline constexpr std::string_view kDamagedWorkbook = "DAMAGED WORKBOOK: ";
inline constexpr std::string_view kWorkbookCleanup = "Excelファイル変数整理";
inline constexpr std::string_view kAutomationShutdown = "Excel OLE終了処理";
inline constexpr std::string_view kPasswordMismatch = "パスワードが一致しません。";

}  // namespace kovrisk::texts
