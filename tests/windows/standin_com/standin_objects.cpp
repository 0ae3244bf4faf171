#include "standin_com/standin_objects.h"

namespace kovrisk::testing {

namespace {

// msoAutomationSecurityForceDisable.
constexpr int kForceDisableMacros = 3;

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
        return objectResult(new FontDispatch(server(), range_->font()));
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
                return objectResult(new RangeDispatch(server(), sheet_->range(arguments.text(0))));
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
    enum Member { kWorksheets, kSaveAs, kClose, kFileFormat, kProtectStructure, kReadOnly };
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
            {L"ReadOnly", kGet, {}}};
        return table;
    }
    // XlFileFormat of what the workbook was read from ("FileFormat <n>" in the stand-in's name).
    int fileFormatNumber() {
        const std::string name = book_->fileFormat().name;
        return std::stoi(name.substr(name.find(' ') + 1));
    }
    UniqueVariant run(std::size_t index, bool, const InvokeArguments& arguments) override {
        switch (index) {
            case kFileFormat:
                return integerResult(fileFormatNumber());
            case kProtectStructure:
                return booleanResult(book_->protectsStructure());
            case kReadOnly:
                return booleanResult(book_->readOnly());
            case kWorksheets:
                if (!arguments.given(0)) {
                    return objectResult(new WorksheetsDispatch(server(), book_->worksheets()));
                }
                if ((arguments.type(0) & ~VT_BYREF) == VT_BSTR) {
                    return objectResult(
                        new WorksheetDispatch(server(), book_->worksheet(arguments.text(0))));
                }
                return objectResult(
                    new WorksheetDispatch(server(), book_->worksheet(arguments.integer(0))));
            case kSaveAs: {
                for (std::size_t p : {3, 4, 5}) {
                    if (arguments.given(p))
                        typeMismatch();
                }
                // Without FileFormat, Excel keeps the format it read the workbook in.
                const int format = arguments.given(1) ? arguments.integer(1) : fileFormatNumber();
                const WorkbookFormat kind = format == 56 || format == -4143
                                                ? WorkbookFormat::Excel97
                                            : format == 51 ? WorkbookFormat::Ooxml
                                            : format == 52 ? WorkbookFormat::OoxmlMacroEnabled
                                                           : WorkbookFormat::Other;
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
    UniqueVariant run(std::size_t, bool, const InvokeArguments& arguments) override {
        for (std::size_t p : {1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13}) {
            if (arguments.given(p))
                typeMismatch();
        }
        std::unique_ptr<Workbook> book = books_->open(
            arguments.wideText(0), arguments.given(4) ? arguments.text(4) : std::string());
        // With xlNormalLoad (0, also when CorruptLoad is omitted) a workbook Excel cannot read
        // whole does not open; xlRepairFile or xlExtractData would open what could be saved of it.
        const bool normalLoad = !arguments.given(14) || arguments.integer(14) == 0;
        if (normalLoad && !book->loadedWhole()) {
            book->close(false);
            throw AutomationError("Excel cannot open the file: it is damaged.");
        }
        return objectResult(new WorkbookDispatch(server(), std::move(book)));
    }
    std::unique_ptr<Workbooks> books_;
};

class ApplicationDispatch : public StandinDispatch {
public:
    ApplicationDispatch(std::shared_ptr<StandinServer> server,
                        std::unique_ptr<Application> application)
        : StandinDispatch(std::move(server), L"Application", members()),
          application_(std::move(application)) {}

private:
    enum Member { kApplication, kVisible, kDisplayAlerts, kAutomationSecurity, kWorkbooks, kQuit };
    static const std::vector<MemberSpec>& members() {
        static const std::vector<MemberSpec> table{{L"Application", kGet, {}},
                                                   {L"Visible", kGet | kPut, {}},
                                                   {L"DisplayAlerts", kGet | kPut, {}},
                                                   {L"AutomationSecurity", kGet | kPut, {}},
                                                   {L"WorkBooks", kGet, {}},
                                                   {L"Quit", kMethod, {}}};
        return table;
    }
    UniqueVariant run(std::size_t index, bool put, const InvokeArguments& arguments) override {
        switch (index) {
            case kApplication:
                AddRef();
                return objectResult(this);
            case kVisible:
                if (!put)
                    typeMismatch();
                application_->setVisible(arguments.boolean(InvokeArguments::kValue));
                return {};
            case kDisplayAlerts:
                if (!put)
                    typeMismatch();
                application_->setDisplayAlerts(arguments.boolean(InvokeArguments::kValue));
                return {};
            case kAutomationSecurity:
                if (!put || arguments.integer(InvokeArguments::kValue) != kForceDisableMacros) {
                    typeMismatch();
                }
                application_->disableMacros();
                return {};
            case kWorkbooks:
                return objectResult(new WorkbooksDispatch(server(), application_->workbooks()));
            default:
                application_->quit();
                return {};
        }
    }
    std::unique_ptr<Application> application_;
};

}  // namespace

IDispatch* makeStandinApplicationDispatch(std::shared_ptr<StandinServer> server,
                                          std::unique_ptr<Application> application) {
    return new ApplicationDispatch(std::move(server), std::move(application));
}

}  // namespace kovrisk::testing
