#include "standin_com/standin_objects.h"

#include "fakes/standin_workbook_file.h"

namespace kovrisk::testing {

namespace {

// MsoAutomationSecurity: Low (macros run), ByUI (the user's settings), ForceDisable.
constexpr int kMacrosRun = 1;
constexpr int kMacrosByUserSettings = 2;
constexpr int kForceDisableMacros = 3;

// XlFileFormat: Excel 97-2003 as Excel 2007 and later name it, and as Excel 2003 does.
constexpr int kExcel8 = 56;
constexpr int kWorkbookNormal = -4143;

// The longest full path Excel opens or saves.
constexpr std::size_t kLongestPath = 218;

void requireShortPath(const std::wstring& path) {
    if (path.size() > kLongestPath)
        throw AutomationError("The file name or path is too long.");
}

[[noreturn]] void typeMismatch() {
    throw InvokeFailure{DISP_E_TYPEMISMATCH};
}

class FontDispatch : public StandinDispatch {
public:
    FontDispatch(std::shared_ptr<StandinServer> server, std::unique_ptr<Font> font)
        : StandinDispatch(std::move(server), L"Font", members()), font_(std::move(font)) {}

private:
    static const std::vector<MemberSpec>& members() {
        static const std::vector<MemberSpec> table{{L"ColorIndex", kPut, {}}};
        return table;
    }
    UniqueVariant run(std::size_t, bool, const InvokeArguments& arguments) override {
        font_->setColorIndex(arguments.integer(InvokeArguments::kValue));
        return {};
    }
    std::unique_ptr<Font> font_;
};

class RangeDispatch : public StandinDispatch {
public:
    RangeDispatch(std::shared_ptr<StandinServer> server, std::unique_ptr<Range> range)
        : StandinDispatch(std::move(server), L"Range", members()), range_(std::move(range)) {}

private:
    enum Member { kValue, kFont };
    static const std::vector<MemberSpec>& members() {
        static const std::vector<MemberSpec> table{{L"Value", kGet | kPut, {L"RangeValueDataType"}},
                                                   {L"Font", kGet, {}}};
        return table;
    }
    UniqueVariant run(std::size_t index, bool put, const InvokeArguments& arguments) override {
        if (index == kValue && put) {
            range_->setValue(arguments.text(InvokeArguments::kValue));
            return {};
        }
        if (index == kValue)
            return textResult(range_->value());
        return child(new FontDispatch(server(), range_->font()));
    }
    std::unique_ptr<Range> range_;
};

class WorksheetDispatch : public StandinDispatch {
public:
    WorksheetDispatch(std::shared_ptr<StandinServer> server, std::unique_ptr<Worksheet> sheet)
        : StandinDispatch(std::move(server), L"Worksheet", members()), sheet_(std::move(sheet)) {}

    Worksheet& sheet() { return *sheet_; }

private:
    enum Member { kName, kVisible, kDelete, kActivate, kRange, kProtect };
    static const std::vector<MemberSpec>& members() {
        static const std::vector<MemberSpec> table{
            {L"Name", kGet | kPut, {}},
            {L"Visible", kGet | kPut, {}},
            {L"Delete", kMethod, {}},
            {L"Activate", kMethod, {}},
            {L"Range", kGet, {L"Cell1", L"Cell2"}},
            {L"Protect",
             kMethod,
             {L"Password", L"DrawingObjects", L"Contents", L"Scenarios", L"UserInterfaceOnly"}}};
        return table;
    }
    UniqueVariant run(std::size_t index, bool put, const InvokeArguments& arguments) override {
        switch (index) {
            case kName:
                if (!put)
                    return textResult(sheet_->name());
                sheet_->setName(arguments.text(InvokeArguments::kValue));
                return {};
            case kVisible:
                // XlSheetVisibility: xlSheetVisible (-1) or xlSheetHidden (0).
                if (!put)
                    return integerResult(sheet_->visible() ? -1 : 0);
                sheet_->setVisible(arguments.boolean(InvokeArguments::kValue));
                return {};
            case kDelete:
                sheet_->remove();
                return {};
            case kActivate:
                sheet_->activate();
                return {};
            case kRange:
                if (arguments.given(1))
                    typeMismatch();  // one cell only
                return child(new RangeDispatch(server(), sheet_->range(arguments.text(0))));
            default: {
                // Excel's defaults: no password, every protection flag true.
                auto flag = [&arguments](std::size_t p) {
                    return arguments.given(p) ? arguments.boolean(p) : true;
                };
                if (arguments.given(4))
                    typeMismatch();
                sheet_->protect(arguments.given(0) ? arguments.text(0) : std::string(), flag(1),
                                flag(2), flag(3));
                return {};
            }
        }
    }
    std::unique_ptr<Worksheet> sheet_;
};

class WorksheetsDispatch : public StandinDispatch {
public:
    WorksheetsDispatch(std::shared_ptr<StandinServer> server, std::unique_ptr<Worksheets> sheets)
        : StandinDispatch(std::move(server), L"Worksheets", members()),
          sheets_(std::move(sheets)) {}

private:
    enum Member { kCount, kAdd };
    static const std::vector<MemberSpec>& members() {
        static const std::vector<MemberSpec> table{
            {L"Count", kGet, {}}, {L"Add", kMethod, {L"Before", L"After", L"Count", L"Type"}}};
        return table;
    }
    UniqueVariant run(std::size_t index, bool, const InvokeArguments& arguments) override {
        if (index == kCount)
            return integerResult(sheets_->count());
        // The stand-in adds after a sheet only.
        if (arguments.given(0) || arguments.given(2) || arguments.given(3))
            typeMismatch();
        auto* after = dynamic_cast<WorksheetDispatch*>(ours(arguments.object(1)));
        if (after == nullptr)
            typeMismatch();
        sheets_->addAfter(after->sheet());
        return {};
    }
    std::unique_ptr<Worksheets> sheets_;
};

class WorkbookDispatch : public StandinDispatch {
public:
    WorkbookDispatch(std::shared_ptr<StandinServer> server, std::unique_ptr<Workbook> book)
        : StandinDispatch(std::move(server), L"Workbook", members()), book_(std::move(book)) {}

private:
    enum Member {
        kWorksheets,
        kSaveAs,
        kClose,
        kFileFormat,
        kProtectStructure,
        kReadOnly,
        kHasVBProject,
        kCheckCompatibility,
        kAutoSaveOn
    };
    static const std::vector<MemberSpec>& members() {
        static const std::vector<MemberSpec> table{
            {L"WorkSheets", kGet, {L"Index"}},
            {L"SaveAs",
             kMethod,
             {L"Filename", L"FileFormat", L"Password", L"WriteResPassword", L"ReadOnlyRecommended",
              L"CreateBackup"}},
            {L"Close", kMethod, {L"SaveChanges", L"Filename", L"RouteWorkbook"}},
            {L"FileFormat", kGet, {}},
            {L"ProtectStructure", kGet, {}},
            {L"ReadOnly", kGet, {}},
            {L"HasVBProject", kGet, {}},
            {L"CheckCompatibility", kGet | kPut, {}},
            {L"AutoSaveOn", kGet | kPut, {}}};
        return table;
    }
    // XlFileFormat of what the workbook was read from ("FileFormat <n>" in the stand-in's name);
    // Excel 2003 names Excel 97-2003 xlWorkbookNormal.
    int fileFormatNumber() {
        const std::string name = book_->fileFormat().name;
        const int format = std::stoi(name.substr(name.find(' ') + 1));
        return format == kExcel8 && server()->excel2003() ? kWorkbookNormal : format;
    }
    UniqueVariant run(std::size_t index, bool put, const InvokeArguments& arguments) override {
        switch (index) {
            case kFileFormat:
                return integerResult(fileFormatNumber());
            case kProtectStructure:
                return booleanResult(book_->protectsStructure());
            case kReadOnly:
                return booleanResult(book_->readOnly());
            case kHasVBProject:
                return booleanResult(book_->hasMacros());
            case kAutoSaveOn:
                if (!put)
                    return booleanResult(standinAutoSave(*book_));
                setStandinAutoSave(*book_, arguments.boolean(InvokeArguments::kValue));
                return {};
            case kCheckCompatibility:
                if (server()->excel2003())
                    throw InvokeFailure{DISP_E_MEMBERNOTFOUND};
                if (!put)
                    return booleanResult(checkCompatibility_);
                checkCompatibility_ = arguments.boolean(InvokeArguments::kValue);
                return {};
            case kWorksheets:
                if (!arguments.given(0)) {
                    return child(new WorksheetsDispatch(server(), book_->worksheets()));
                }
                if ((arguments.type(0) & ~VT_BYREF) == VT_BSTR) {
                    return child(
                        new WorksheetDispatch(server(), book_->worksheet(arguments.text(0))));
                }
                return child(
                    new WorksheetDispatch(server(), book_->worksheet(arguments.integer(0))));
            case kSaveAs: {
                for (std::size_t p : {3, 4, 5}) {
                    if (arguments.given(p))
                        typeMismatch();
                }
                // Without FileFormat, Excel keeps the format it read the workbook in.
                const int format = arguments.given(1) ? arguments.integer(1) : fileFormatNumber();
                if (format == kExcel8 && server()->excel2003())
                    throw AutomationError("SaveAs method of Workbook class failed");
                const bool excel97 = format == kExcel8 || format == kWorkbookNormal;
                if (excel97 && checkCompatibility_ && !server()->excel2003())
                    server()->dialog("Compatibility Checker: features not kept in Excel 97-2003");
                const WorkbookFormat kind = excel97        ? WorkbookFormat::Excel97
                                            : format == 51 ? WorkbookFormat::Ooxml
                                            : format == 52 ? WorkbookFormat::OoxmlMacroEnabled
                                                           : WorkbookFormat::Other;
                requireShortPath(arguments.wideText(0));
                book_->saveAs(arguments.wideText(0), kind,
                              arguments.given(2) ? arguments.text(2) : std::string());
                return {};
            }
            default:
                if (arguments.given(1) || arguments.given(2))
                    typeMismatch();
                book_->close(arguments.given(0) && arguments.boolean(0));
                return {};
        }
    }
    std::unique_ptr<Workbook> book_;
    bool checkCompatibility_ = true;
};

class WorkbooksDispatch : public StandinDispatch {
public:
    WorkbooksDispatch(std::shared_ptr<StandinServer> server, std::unique_ptr<Workbooks> books)
        : StandinDispatch(std::move(server), L"Workbooks", members()), books_(std::move(books)) {}

private:
    static const std::vector<MemberSpec>& members() {
        static const std::vector<MemberSpec> table{
            {L"Open",
             kMethod,
             {L"Filename", L"UpdateLinks", L"ReadOnly", L"Format", L"Password", L"WriteResPassword",
              L"IgnoreReadOnlyRecommended", L"Origin", L"Delimiter", L"Editable", L"Notify",
              L"Converter", L"AddToMru", L"Local", L"CorruptLoad"}}};
        return table;
    }
    enum Parameter {
        kFilename = 0,
        kUpdateLinks = 1,
        kPassword = 4,
        kWriteResPassword = 5,
        kIgnoreReadOnlyRecommended = 6,
        kNotify = 10,
        kAddToMru = 12,
        kCorruptLoad = 14
    };
    UniqueVariant run(std::size_t, bool, const InvokeArguments& arguments) override {
        for (std::size_t p : {2, 3, 7, 8, 9, 11, 13}) {
            if (arguments.given(p))
                typeMismatch();
        }
        const std::wstring path = arguments.wideText(kFilename);
        requireShortPath(path);
        // Excel looks for a relative name in its own current folder, never in its caller's.
        if (NativePath(path).is_relative())
            throw AutomationError("Excel cannot find the file in its own current folder.");
        if (arguments.given(kUpdateLinks) &&
            (arguments.integer(kUpdateLinks) < 0 || arguments.integer(kUpdateLinks) > 3)) {
            typeMismatch();
        }
        if (arguments.given(kAddToMru))
            arguments.boolean(kAddToMru);
        askWhatExcelWouldAsk(path, arguments);
        std::unique_ptr<Workbook> book = books_->open(
            path, arguments.given(kPassword) ? arguments.text(kPassword) : std::string());
        // With xlNormalLoad (0, also when CorruptLoad is omitted) a workbook Excel cannot read
        // whole does not open; xlRepairFile or xlExtractData would open what could be saved of it.
        const bool normalLoad =
            !arguments.given(kCorruptLoad) || arguments.integer(kCorruptLoad) == 0;
        if (normalLoad && !book->loadedWhole()) {
            book->close(false);
            throw AutomationError("Excel cannot open the file: it is damaged.");
        }
        return child(new WorkbookDispatch(server(), std::move(book)));
    }
    // The questions Excel puts to the user when it opens the file at `path` with these arguments:
    // each fails the call.  A file the stand-in cannot read fails later, as the application opens
    // it.
    void askWhatExcelWouldAsk(const std::wstring& path, const InvokeArguments& arguments) {
        StandinWorkbook file;
        try {
            file = loadStandinWorkbook(path);
        } catch (const AutomationError&) {
            return;
        }
        if (!file.openPassword.empty() && !arguments.given(kPassword))
            server()->dialog("Password to open?");
        if (!file.writePassword.empty()) {
            if (!arguments.given(kWriteResPassword))
                server()->dialog("Password to modify, or open read-only?");
            if (arguments.text(kWriteResPassword) != file.writePassword)
                throw AutomationError("The password you supplied is not correct.");
        }
        if (file.readOnlyRecommended && !(arguments.given(kIgnoreReadOnlyRecommended) &&
                                          arguments.boolean(kIgnoreReadOnlyRecommended))) {
            server()->dialog("Open as read-only, as its author recommends?");
        }
        if (file.externalLinks && !arguments.given(kUpdateLinks))
            server()->dialog("Update the links to other workbooks?");
        if (file.inUse && !(arguments.given(kNotify) && !arguments.boolean(kNotify)))
            server()->dialog("File in use: open read-only, or notify when it is free?");
    }

    std::unique_ptr<Workbooks> books_;
};

class ApplicationDispatch : public StandinDispatch {
public:
    ApplicationDispatch(std::shared_ptr<StandinServer> server,
                        std::unique_ptr<Application> application, std::size_t instance)
        : StandinDispatch(std::move(server), L"Application", members()),
          application_(std::move(application)),
          instance_(instance),
          window_(::CreateWindowExW(0, L"STATIC", L"Kovrisk stand-in Excel", WS_OVERLAPPEDWINDOW,
                                    CW_USEDEFAULT, CW_USEDEFAULT, 480, 320, nullptr, nullptr,
                                    nullptr, nullptr)) {}

    // The last reference went.  As Excel does, an application the user does not control quits,
    // closing its workbooks unsaved; one the user controls stays, with its window.
    ~ApplicationDispatch() override {
        if (!quit_ && !userControl_) {
            server()->wire(L"(released: the application quits, not under the user's control)");
            server()->application().endUnattended(instance_);
            server()->flush();
        }
        if (userControl_ && visible_ && !quit_) {
            server()->handedOver();
        } else if (window_ != nullptr) {
            ::DestroyWindow(window_);
        }
    }

private:
    enum Member {
        kApplication,
        kVisible,
        kDisplayAlerts,
        kAutomationSecurity,
        kWorkbooks,
        kQuit,
        kUserControl,
        kHwnd
    };
    static const std::vector<MemberSpec>& members() {
        static const std::vector<MemberSpec> table{{L"Application", kGet, {}},
                                                   {L"Visible", kGet | kPut, {}},
                                                   {L"DisplayAlerts", kGet | kPut, {}},
                                                   {L"AutomationSecurity", kGet | kPut, {}},
                                                   {L"WorkBooks", kGet, {}},
                                                   {L"Quit", kMethod, {}},
                                                   {L"UserControl", kGet | kPut, {}},
                                                   {L"Hwnd", kGet, {}}};
        return table;
    }
    UniqueVariant run(std::size_t index, bool put, const InvokeArguments& arguments) override {
        switch (index) {
            case kApplication:
                AddRef();
                return objectResult(this);
            case kVisible:
                if (!put)
                    return booleanResult(application_->visible());
                visible_ = arguments.boolean(InvokeArguments::kValue);
                application_->setVisible(visible_);
                if (window_ != nullptr)
                    ::ShowWindow(window_, visible_ ? SW_SHOWNORMAL : SW_HIDE);
                return {};
            case kDisplayAlerts:
                if (!put)
                    return booleanResult(displayAlerts_);
                displayAlerts_ = arguments.boolean(InvokeArguments::kValue);
                application_->setDisplayAlerts(displayAlerts_);
                return {};
            case kAutomationSecurity: {
                if (!put)
                    return integerResult(automationSecurity_);
                const int level = arguments.integer(InvokeArguments::kValue);
                if (level < kMacrosRun || level > kForceDisableMacros)
                    throw AutomationError("Unable to set the AutomationSecurity property.");
                if (level == kForceDisableMacros)
                    application_->disableMacros();
                else if (level == kMacrosByUserSettings)
                    application_->useUsersMacroSettings();
                else if (automationSecurity_ != kMacrosRun)
                    throw AutomationError("The stand-in does not go back to Low.");
                automationSecurity_ = level;
                return {};
            }
            case kWorkbooks:
                return child(new WorkbooksDispatch(server(), application_->workbooks()));
            case kUserControl:
                if (!put)
                    return booleanResult(userControl_);
                userControl_ = arguments.boolean(InvokeArguments::kValue);
                return {};
            case kHwnd:
                return integerResult(static_cast<int>(reinterpret_cast<INT_PTR>(window_)));
            default:
                try {
                    application_->quit();
                } catch (const AutomationError&) {
                    server()->refusedToQuit();
                    throw;
                }
                quit_ = true;
                return {};
        }
    }
    std::unique_ptr<Application> application_;
    std::size_t instance_;
    HWND window_;
    bool visible_ = false;
    bool displayAlerts_ = true;
    // Created through automation, it is not the user's until told so.
    bool userControl_ = false;
    // msoAutomationSecurityLow: what Excel started through automation begins with.
    int automationSecurity_ = kMacrosRun;
    bool quit_ = false;
};

}  // namespace

IDispatch* makeStandinApplicationDispatch(std::shared_ptr<StandinServer> server,
                                          std::unique_ptr<Application> application) {
    // The application just created is the newest instance.
    const std::size_t instance = server->application().instances().size() - 1;
    return new ApplicationDispatch(std::move(server), std::move(application), instance);
}

}  // namespace kovrisk::testing
