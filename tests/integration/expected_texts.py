"""Every text the suites expect the program to show or log, written here by hand as the user and
the log's reader meet them: the suites state the texts independently of the program's own copy, so
that a text changed in one place and not the other fails a suite."""

# The program's names: its title (the status window's class), the status window's caption, and
# the title of its message boxes, which also starts every box on the terminal.
APPLICATION_TITLE = "コヴリスク"
CAPTION = APPLICATION_TITLE + "（フリー版）"
BOX_TITLE = "Kovrisk"

# Status texts in the status window (a line each on the terminal).
STARTING = "Excel起動中・・・"
PREPARING_OPEN = "パスワード解析 ＆ オープン準備中"
LOCKING = "パスワード生成 ＆ 施工中"
# Said on the terminal where a display would show the workbook.
NO_DISPLAY_HANDOVER = "ブックの確認は済みましたが、表示する画面（ディスプレイ）がないため閉じました。"


def box(lines):
    """On the terminal, a message box of `lines`."""
    return [f"{BOX_TITLE}: {lines[0]}"] + list(lines[1:])


# The confirmation before a lock: its box, and on the terminal the box and the question.
CONFIRM = ["パスワード未設定のファイルを検出しました。", "読み取りパスワードを設定してもよろしいですか？"]
PROMPT = "[y/N] "
CONFIRM_ON_TERMINAL = box(CONFIRM) + [PROMPT]

# Messages (in a box, most of them logged too) and the runs' own log lines.
DROP_ONE_FILE = "１ファイルずつドロップしてください。終了します。"
STARTED = "起動しました。"
NOT_INSTALLED = "Excelがインストールされていません。終了します。"
BAD_EXTENSION = "拡張子がXLSもしくはXLSXではありません。終了します。"
TOO_LARGE = "ファイルが大きすぎるため、ブックとして開けません（2 GB まで）。終了します。"
WORKBOOK_BUSY = ("このブックは別のコヴリスクが処理中です。処理が終わってから、もう一度ドロップ"
                 "してください。")
NOT_A_REGULAR_WORKBOOK = "通常のファイルではないため、ブックとして開けません。終了します。"
EMPTY_WORKBOOK = "ファイルが空（0 バイト）のため、ブックとして開けません。終了します。"
NAME_TOO_LONG = ("ファイル名が長すぎるため、処理できません（LibreOffice のロックファイルを作成できません）。"
                 "ファイル名を短くしてから、もう一度ドロップしてください。")
OFFICE_LOCK_NOT_A_FILE = ("ブックのロックファイル（.~lock.ファイル名#）が通常のファイルではないため、"
                          "処理できません。終了します。")
NOT_A_WORKBOOK_FILE = (NOT_A_REGULAR_WORKBOOK, EMPTY_WORKBOOK, NAME_TOO_LONG,
                       OFFICE_LOCK_NOT_A_FILE)
CLAIM_UNAVAILABLE = "処理中の目印を作成できないため、処理を始められません。終了します: {}"
DATA_FOLDER_TIGHTENED = "データフォルダを本人だけが使えるようにしました: {}"
LOCKED = "パスワード施工完了。"
CANCELLED = "パスワード設定キャンセル"
REMOVING_READ_ONLY = "読込み専用属性のため、ReadOnlyを外します。"
DELETE_ERROR = "ファイル削除エラー"
# Texts that name a path: str.format() them with it.
NO_WORK_FOLDER = "作業用フォルダを作成できません: {}"
FOLDER_LEFT_ALONE = "作業用フォルダと確認できないため、削除しません: {}"
OWNER_COULD_NOT_READ = "ファイルの所有者が読めなくなるため置き換えられません: {}"
# The failure text of an operation whose office was ended for not answering.
OFFICE_NOT_ANSWERING = "LibreOffice が時間内に応答しなかったため終了させました: {}"
# Something that is no regular file was put where the office reads while it opened {} (a path).
PLANTED_FILE = ("LibreOffice が読むファイル（ロックファイル .~lock.ファイル名# かブック）の場所に"
                "通常のファイルでないものが置かれたため、LibreOffice を終了させました: {}")

# Why a workbook is not locked (exit code 6).
NO_COMPUTER_NAME = "PC名を取得できないため、パスワードを設定できません。終了します。"
IN_USE = ("ブックが他のユーザーかアプリケーションで開かれているか、書き込みできないため、パスワードを"
          "設定できません。ブックを閉じてから、もう一度ドロップしてください。")
NOT_READ_WHOLE = ("ファイルの一部を読み込めなかったため、パスワードを設定しません。"
                  "ファイルが壊れていないか確認してください。")
MANY_NAMES = ("このファイルには別の名前（ハードリンク）があるため、パスワードを設定できません。"
              "別の名前ではパスワードのないままになります。")
WORKBOOK_SWAPPED = ("処理中にファイルが別のファイルに置き換えられたため、パスワードを設定しません。"
                    "何も変更していません。")
STRUCTURE_PROTECTED = ("ブックの構成が保護されているため、パスワードを設定できません。"
                       "ブックの保護を解除してから、もう一度ドロップしてください。")
PATH_TOO_LONG_START = "パスが長すぎるため"
OPEN_PATH_TOO_LONG_START = "パスが長すぎるため、ブックを開けません"
_ACTUAL_FORMAT = ("ファイルの実際の形式（{}）では読み取りパスワードを設定できません。"
                  "Excel 97-2003 ブック（XLS）か Excel ブック（XLSX）として保存し直してください。")
ACTUAL_FORMAT_START = _ACTUAL_FORMAT.split("{}")[0]


def actual_format(name):
    """The refusal of a file whose content is of the format `name`, not a workbook's."""
    return _ACTUAL_FORMAT.format(name)


# Why a workbook is not locked beyond IN_USE and NO_COMPUTER_NAME, by the texts' starts: a suite
# that cannot know a file's format knows how the text begins (of one of them, no more is known).
LOCK_REFUSALS = (ACTUAL_FORMAT_START, "ファイルの形式を確認できないため",
                 NOT_READ_WHOLE.partition("、")[0], STRUCTURE_PROTECTED.partition("、")[0])

# Why a workbook is not opened (exit code 7).
NO_CONTROL_SHEET = "コヴリスクで作成された制御情報が見つかりません。"
MACRO_SETTINGS_NOT_UNDERSTOOD = ("LibreOffice のマクロのセキュリティ設定を読み取れないため、"
                                 "マクロを実行せずに開きます: ")
ALREADY_OPEN = "このブックはすでに開かれています。開いているウィンドウでご覧ください。"
_REFUSAL = "PC名 {} にはオープン許可がありません。"


def refusal(computer):
    return _REFUSAL.format(computer)


def is_refusal(line):
    head, tail = _REFUSAL.split("{}")
    return line.startswith(head) and line.endswith(tail)


# Failure ends F1 to F5: (log line, message box lines).
F1 = ("パスワード生成に失敗しました。", ["パスワード生成に失敗しました。"])
F2 = ("エクセルファイルオープンに失敗しました。",
      ["ファイルのオープンに失敗しました。次の理由が考えられます。", "",
       "・（フリー版の場合）パスワードを設定したPCとは別なPCで開いていませんか？",
       "・ファイル名を変更していませんか？",
       "・システムが付与したパスワードとは違うパスワードが設定されていませんか？"])
F3 = ("元ファイルのバックアップに失敗しました。", ["元ファイルのバックアップに失敗しました。"])
F4 = ("パスワード施工に失敗しました。", ["パスワード施工に失敗しました。"])
F5 = ("バックアップファイルのパスワード施工に失敗しました。",
      ["バックアップファイルのパスワード施工に失敗しました。"])
FAILURES = {"F1": F1, "F2": F2, "F3": F3, "F4": F4, "F5": F5}

# The program's exit codes in the terminal (README), by end: S and C, the failure ends, and the
# others by what they say.
EXIT_CODES = {"S": 0, "C": 1, "drop one file": 2, "not installed": 3, "bad extension": 4,
              "busy": 5, "lock refused": 6, "open refused": 7,
              "F1": 8, "F2": 9, "F3": 10, "F4": 11, "F5": 12, "too large": 14,
              "not a workbook file": 15, "no claim": 16}

# The control sheet the lock adds: its name and the warning in its A1.
CONTROL_SHEET = "Kovrisk"
WARNING = ("本シートは絶対に変更しないで下さい。変更しますとパスワード解除できなくなり、"
           "ファイルを開くことができなくなります。")

# The log.  The operations log their steps and their failures under their names; start-up logs
# the application's probe and the computer name.
FIND = "fucXlsFind"
PROBE = "fncXlsOpenChk"
OPEN_EXEC = "fncXlsOpenExec"
LOCK = "fncXlsPwdChg"
BACKUP_LOCK = "fncXlsPwdChgForBackup"
FIND_LINE = "fucXlsFind()"


def startup(computer):
    return [FIND_LINE, f"My Name is [ {computer} ]"]


def catch(operation):
    return f"{operation}():Catch Exception"


def office_ended(operation):
    return f"{operation}():Excel OLE終了処理"


def error(operation, text=""):
    return f"{operation}()ERROR={text}"


def failure_tail(operation, text=None, workbook_open=False):
    """An operation's lines after a failure: the catch, the failure's text when the suite reads it,
    the workbook's release when it was open, the end of the application."""
    return ([catch(operation)] + ([error(operation, text)] if text is not None else []) +
            ([f"{operation}():Excelファイル変数整理"] if workbook_open else []) +
            [office_ended(operation)])


PROBE_TRY = "fncXlsOpenChk():TRY OPEN"
PROBE_CLOSE = "fncXlsOpenChk():CLOSE"
PROBE_OPENS = [PROBE_TRY, "fncXlsOpenChk():OPEN OK", PROBE_CLOSE]


PROBE_FAILS = [PROBE_TRY] + failure_tail(PROBE)
OPEN_EXEC_TRY = "fncXlsOpenExec():TRY OPEN"
OPENED = "fncXlsOpenExec():OPEN OK"
# The lock's line when the office, not Kovrisk, writes the control sheet into the file.
LOCK_BY_APPLICATION = "fncXlsPwdChg():CONTROL SHEET BY THE APPLICATION: "
WRONG_PASSWORD = "fncXlsOpenExec():パスワードが一致しません。"
OPEN_EXEC_FAILS = [OPEN_EXEC_TRY, catch(OPEN_EXEC), WRONG_PASSWORD, office_ended(OPEN_EXEC)]
LOCK_TRY = "fncXlsPwdChg():TRY OPEN"
LOCK_CLOSE = "fncXlsPwdChg():CLOSE."
BACKUP_LOCK_TRY = "fncXlsPwdChgForBackup():TRY Backup File Open."
BACKUP_LOCK_CLOSE = "fncXlsPwdChgForBackup():CLOSE."


def machine_checks(z2_empty=False):
    """The open road's checks of the control sheet (the names' comparison ends at once on no Z2)."""
    return ["PCチェック", "PC名比較終了" if z2_empty else "PC名比較", "下位互換チェック"]


# Why the office, not Kovrisk, wrote the control sheet into an Excel 97-2003 workbook (before
# Kovrisk wrote it itself).
BINARY_WORKBOOK = "a binary workbook"


def is_binary(path):
    """Whether the file at `path` is a compound file (an Excel 97-2003 workbook)."""
    with open(path, "rb") as handle:
        return handle.read(8) == b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"


def lock_lines(workbook_read_only=None, backup_read_only=None, earlier_backup_read_only=None,
               binary=False):
    """The lock road's lines after start-up; the read-only arguments are the paths the run logs:
    a read-only earlier backup copy, the workbook, the new backup copy.  A `binary` workbook gets
    its control sheet from the office, which the log says."""
    def read_only(path):
        return [str(path), REMOVING_READ_ONLY] if path else []
    by_office = [LOCK_BY_APPLICATION + BINARY_WORKBOOK] if binary else []
    return ([STARTED] + PROBE_OPENS + read_only(earlier_backup_read_only) + [LOCK_TRY] +
            by_office + read_only(workbook_read_only) + [LOCK_CLOSE, BACKUP_LOCK_TRY] +
            read_only(backup_read_only) + [BACKUP_LOCK_CLOSE, LOCKED])


def open_lines(z2_empty=False, probe_error=None):
    """The open road's lines after start-up, the probe's failure text included when the suite
    reads it."""
    return ([STARTED, PROBE_TRY] + failure_tail(PROBE, probe_error) + [OPEN_EXEC_TRY] +
            machine_checks(z2_empty) + [OPENED])
