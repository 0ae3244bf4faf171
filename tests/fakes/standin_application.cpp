#include "fakes/standin_application.h"

#include <algorithm>
#include <filesystem>

#include "support/shift_jis.h"

namespace kovrisk::testing {

// The application state behind the objects.  Objects share it; dropping an object never changes
// it, as releasing a reference does not change the real application.
namespace standin_state {

struct Sheet {
    StandinSheet data;
    bool deleted = false;
};

struct Book {
    NativePath path;
    std::string password;
    bool autoRunMacro = false;
    std::string format{kDefaultFormat};
    bool damaged = false;
    bool structureProtected = false;
    bool inUse = false;  // opened read-only: in use elsewhere, or a read-only file
    bool externalLinks = false;
    bool open = true;
    bool changed = false;
    // AutoSave (a workbook in a synced folder): every change is saved into its file at once.
    bool autoSave = false;
    std::vector<std::shared_ptr<Sheet>> sheets;
};

struct App {
    StandinInstance state;
    std::vector<std::shared_ptr<Book>> books;
};

}  // namespace standin_state

struct StandinCore {
    StandinCallRecord record;
    std::vector<std::shared_ptr<standin_state::App>> instances;
    std::vector<NativePath> macrosRun;
    StandinUsersMacros usersMacros = StandinUsersMacros::Ask;
    std::vector<std::string> usersQuestions;
    std::vector<std::string> prompts;
    bool promptsFail = false;
    bool autoSaveOnOpen = false;
};

namespace {

using standin_state::App;
using standin_state::Book;
using standin_state::Sheet;
using SheetPtr = std::shared_ptr<Sheet>;

std::string flag(bool value) {
    return value ? "true" : "false";
}

[[noreturn]] void refuse(const std::string& text) {
    throw AutomationError(text);
}

StandinWorkbook toFile(const Book& book, const std::string& password) {
    StandinWorkbook file{.openPassword = password,
                         .autoRunMacro = book.autoRunMacro,
                         .format = book.format,
                         .damaged = false,  // what is saved is what was read
                         .structureProtected = book.structureProtected,
                         .inUse = false,
                         .externalLinks = book.externalLinks};
    for (const auto& sheet : book.sheets)
        file.sheets.push_back(sheet->data);
    return file;
}

void makeActive(Book& book, const Sheet* active) {
    for (auto& sheet : book.sheets)
        sheet->data.active = sheet.get() == active;
}

std::shared_ptr<Book> fromFile(const NativePath& path, const StandinWorkbook& file) {
    auto book = std::make_shared<Book>();
    book->path = path;
    book->password = file.openPassword;
    book->autoRunMacro = file.autoRunMacro;
    book->format = file.format;
    book->damaged = file.damaged;
    book->structureProtected = file.structureProtected;
    book->inUse = file.inUse;
    book->externalLinks = file.externalLinks;
    for (const auto& data : file.sheets)
        book->sheets.push_back(std::make_shared<Sheet>(Sheet{data}));
    // The first visible sheet marked active is the active one; without one, the first visible.
    auto isActive = [](const SheetPtr& s) { return s->data.active && s->data.visible; };
    auto isVisible = [](const SheetPtr& s) { return s->data.visible; };
    auto active = std::find_if(book->sheets.begin(), book->sheets.end(), isActive);
    if (active == book->sheets.end()) {
        active = std::find_if(book->sheets.begin(), book->sheets.end(), isVisible);
    }
    makeActive(*book, active == book->sheets.end() ? nullptr : active->get());
    return book;
}

std::size_t positionOf(const Book& book, const Sheet& sheet) {
    return std::find_if(book.sheets.begin(), book.sheets.end(),
                        [&](const SheetPtr& s) { return s.get() == &sheet; }) -
           book.sheets.begin();
}

SheetPtr findSheet(const Book& book, std::string_view name) {
    const auto wanted = asciiUpper(name);
    for (const auto& sheet : book.sheets) {
        if (asciiUpper(sheet->data.name) == wanted)
            return sheet;
    }
    return nullptr;
}

long visibleSheets(const Book& book) {
    return std::count_if(book.sheets.begin(), book.sheets.end(),
                         [](const SheetPtr& s) { return s->data.visible; });
}

// Before `sheet` is hidden or deleted: if it is the active one, the next visible sheet to its
// right, else to its left, becomes active.
void moveActivationAway(Book& book, const Sheet& sheet) {
    if (!sheet.data.active)
        return;
    const std::size_t at = positionOf(book, sheet);
    for (std::size_t i = at + 1; i < book.sheets.size(); ++i) {
        if (book.sheets[i]->data.visible)
            return makeActive(book, book.sheets[i].get());
    }
    for (std::size_t i = at; i-- > 0;) {
        if (book.sheets[i]->data.visible)
            return makeActive(book, book.sheets[i].get());
    }
}

bool validSheetName(std::string_view name) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < name.size(); ++i, ++characters) {
        if (isLeadByte(static_cast<unsigned char>(name[i])) && i + 1 < name.size()) {
            ++i;  // a trail byte is never one of the forbidden characters
        } else if (std::string_view(":\\/?*[]").find(name[i]) != std::string_view::npos) {
            return false;
        }
    }
    return characters >= 1 && characters <= 31;
}

void saveBook(Book& book, const NativePath& path, const std::string& password) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        refuse("Cannot save over a folder.");
    // As Excel does, a format that cannot carry an open password is saved without it.
    const bool carriesPassword =
        book.format == "xls" || book.format == "xlsx" || book.format == "xlsm";
    writeStandinWorkbook(path, toFile(book, carriesPassword ? password : std::string()));
    book.path = path;
    book.password = carriesPassword ? password : std::string();
    book.changed = false;
}

// A change to the workbook; with AutoSave on, saved into its file at once, as it is now.
void markChanged(Book& book) {
    book.changed = true;
    if (book.autoSave)
        writeStandinWorkbook(book.path, toFile(book, book.password));
}

// What every object holds: the shared core, and the instance, workbook and sheet it belongs to,
// as far as it has them.
struct Context {
    std::shared_ptr<StandinCore> core{};
    std::shared_ptr<App> app{};
    std::shared_ptr<Book> book{};
    SheetPtr sheet{};
    std::string label{};  // how the sheet or range is named in the record

    // Every call starts here: it is recorded, may be made to fail, and fails on an object that
    // is gone.
    void enter(const std::string& name, const std::string& arguments = "") const {
        core->record.enter(name, arguments);
        if (app->state.quit)
            refuse("The application has quit.");
        if (book && !book->open)
            refuse("The workbook has been closed.");
        if (sheet && sheet->deleted)
            refuse("The worksheet has been deleted.");
    }
    void prompt(const std::string& question) const {
        if (!app->state.displayAlerts)
            return;
        core->prompts.push_back(question);
        if (core->promptsFail)
            refuse("A dialog waits for an answer: " + question);
    }
    // Whether the auto-run macro of the workbook at `path` runs as it opens.
    bool macrosRunOnOpen(const NativePath& path) const {
        switch (app->state.macroSecurity) {
            case StandinMacroSecurity::Low:
                return true;
            case StandinMacroSecurity::ForceDisable:
                return false;
            case StandinMacroSecurity::ByUsersSettings:
                break;
        }
        if (core->usersMacros != StandinUsersMacros::Ask)
            return core->usersMacros == StandinUsersMacros::Enable;
        // Excel's security notice, which DisplayAlerts does not silence.
        const std::string question = "Enable the macros of " + path.string() + "?";
        if (app->state.visible) {
            core->usersQuestions.push_back(question);
            return true;
        }
        core->prompts.push_back(question);
        if (core->promptsFail)
            refuse("A dialog waits for an answer: " + question);
        return false;
    }
    void requireEditable() const {
        const auto& protection = sheet->data.protection;
        if (protection && protection->contents)
            refuse("The cell is on a protected sheet.");
    }
    void requireStructureUnprotected() const {
        if (book->structureProtected)
            refuse("Workbook is protected and cannot be changed.");
    }
    Context with(SheetPtr s, std::string l) const { return {core, app, book, std::move(s), l}; }
};

class StandinFont : public Font {
public:
    StandinFont(Context context, std::string address)
        : ctx_(std::move(context)), address_(std::move(address)) {}

    void setColorIndex(int index) override {
        ctx_.enter(ctx_.label + ".Font.ColorIndex", "=" + std::to_string(index));
        ctx_.requireEditable();
        if ((index < 1 || index > 56) && index != -4105 && index != -4142) {
            refuse("Unable to set the ColorIndex property of the Font class.");
        }
        ctx_.sheet->data.colorIndexes[address_] = index;
        markChanged(*ctx_.book);
    }

private:
    Context ctx_;
    std::string address_;
};

class StandinRange : public Range {
public:
    StandinRange(Context context, std::string address)
        : ctx_(std::move(context)), address_(std::move(address)) {}

    std::string value() override {
        ctx_.enter(ctx_.label + ".Value");
        const auto& cells = ctx_.sheet->data.cells;
        const auto cell = cells.find(address_);
        return cell == cells.end() ? std::string() : cell->second;
    }
    void setValue(const std::string& text) override {
        ctx_.enter(ctx_.label + ".Value", "=" + text);
        ctx_.requireEditable();
        auto& cells = ctx_.sheet->data.cells;
        if (text.empty()) {
            cells.erase(address_);
        } else {
            cells[address_] = text;
        }
        markChanged(*ctx_.book);
    }
    std::unique_ptr<Font> font() override {
        ctx_.enter(ctx_.label + ".Font");
        return std::make_unique<StandinFont>(ctx_, address_);
    }

private:
    Context ctx_;
    std::string address_;
};

class StandinWorksheet : public Worksheet {
public:
    explicit StandinWorksheet(Context context) : ctx_(std::move(context)) {}
    const Context& context() const { return ctx_; }

    std::string name() override {
        ctx_.enter(ctx_.label + ".Name");
        return ctx_.sheet->data.name;
    }
    bool visible() override {
        ctx_.enter(ctx_.label + ".Visible");
        return ctx_.sheet->data.visible;
    }
    void setName(const std::string& name) override {
        ctx_.enter(ctx_.label + ".Name", "=" + name);
        ctx_.requireStructureUnprotected();
        if (!validSheetName(name))
            refuse("That sheet name is not allowed.");
        const auto holder = findSheet(*ctx_.book, name);
        if (holder && holder != ctx_.sheet)
            refuse("That name is already taken.");
        ctx_.sheet->data.name = name;
        markChanged(*ctx_.book);
    }
    void setVisible(bool visible) override {
        ctx_.enter(ctx_.label + ".Visible", "=" + flag(visible));
        ctx_.requireStructureUnprotected();
        auto& data = ctx_.sheet->data;
        if (!visible && data.visible) {
            if (visibleSheets(*ctx_.book) == 1)
                refuse("A workbook must keep a visible sheet.");
            moveActivationAway(*ctx_.book, *ctx_.sheet);
            data.active = false;
        }
        data.visible = visible;
        markChanged(*ctx_.book);
    }
    void remove() override {
        ctx_.enter(ctx_.label + ".Delete");
        ctx_.requireStructureUnprotected();
        auto& book = *ctx_.book;
        if (ctx_.sheet->data.visible && visibleSheets(book) == 1) {
            refuse("A workbook must keep a visible sheet.");
        }
        if (!ctx_.sheet->data.cells.empty())
            ctx_.prompt("Delete " + ctx_.label + "?");
        moveActivationAway(book, *ctx_.sheet);
        book.sheets.erase(book.sheets.begin() + positionOf(book, *ctx_.sheet));
        ctx_.sheet->deleted = true;
        markChanged(book);
    }
    void activate() override {
        ctx_.enter(ctx_.label + ".Activate");
        if (!ctx_.sheet->data.visible)
            refuse("Activate method of Worksheet class failed.");
        makeActive(*ctx_.book, ctx_.sheet.get());
    }
    std::unique_ptr<Range> range(const std::string& address) override {
        ctx_.enter(ctx_.label + ".Range", "(" + address + ")");
        const auto cell = canonicalCellAddress(address);
        if (!cell)
            refuse("Method 'Range' of object 'Worksheet' failed.");
        return std::make_unique<StandinRange>(
            ctx_.with(ctx_.sheet, ctx_.label + ".Range(" + address + ")"), *cell);
    }
    void protect(const std::string& password, bool drawingObjects, bool contents,
                 bool scenarios) override {
        ctx_.enter(ctx_.label + ".Protect",
                   "(Password=" + password + ", DrawingObjects=" + flag(drawingObjects) +
                       ", Contents=" + flag(contents) + ", Scenarios=" + flag(scenarios) + ")");
        ctx_.sheet->data.protection =
            StandinProtection{password, drawingObjects, contents, scenarios};
        markChanged(*ctx_.book);
    }

private:
    Context ctx_;
};

class StandinWorksheets : public Worksheets {
public:
    explicit StandinWorksheets(Context context) : ctx_(std::move(context)) {}

    int count() override {
        ctx_.enter("Worksheets.Count");
        return static_cast<int>(ctx_.book->sheets.size());
    }
    void addAfter(Worksheet& after) override {
        const auto* ours = dynamic_cast<StandinWorksheet*>(&after);
        ctx_.enter("Worksheets.Add", "(After=" + (ours ? ours->context().label : "?") + ")");
        if (!ours || ours->context().book != ctx_.book || ours->context().sheet->deleted) {
            refuse("Method 'Add' of object 'Sheets' failed.");
        }
        ctx_.requireStructureUnprotected();
        auto& book = *ctx_.book;
        auto sheet = std::make_shared<Sheet>();
        for (int n = static_cast<int>(book.sheets.size()) + 1; sheet->data.name.empty(); ++n) {
            if (!findSheet(book, "Sheet" + std::to_string(n))) {
                sheet->data.name = "Sheet" + std::to_string(n);
            }
        }
        book.sheets.insert(book.sheets.begin() + positionOf(book, *ours->context().sheet) + 1,
                           sheet);
        makeActive(book, sheet.get());
        markChanged(book);
    }

private:
    Context ctx_;
};

class StandinWorkbookObject : public Workbook {
public:
    explicit StandinWorkbookObject(Context context) : ctx_(std::move(context)) {}

    bool autoSave() const { return ctx_.book->autoSave; }
    void setAutoSave(bool on) { ctx_.book->autoSave = on; }

    std::unique_ptr<Worksheets> worksheets() override {
        ctx_.enter("Workbook.Worksheets");
        return std::make_unique<StandinWorksheets>(ctx_);
    }
    std::unique_ptr<Worksheet> worksheet(int index) override {
        ctx_.enter("Workbook.Worksheet", "(" + std::to_string(index) + ")");
        const auto& sheets = ctx_.book->sheets;
        if (index < 1 || index > static_cast<int>(sheets.size()))
            refuse("Subscript out of range.");
        return std::make_unique<StandinWorksheet>(
            ctx_.with(sheets[index - 1], "Worksheet(" + std::to_string(index) + ")"));
    }
    std::unique_ptr<Worksheet> worksheet(const std::string& name) override {
        ctx_.enter("Workbook.Worksheet", "(" + name + ")");
        auto sheet = findSheet(*ctx_.book, name);
        if (!sheet)
            refuse("Subscript out of range.");
        return std::make_unique<StandinWorksheet>(ctx_.with(sheet, "Worksheet(" + name + ")"));
    }
    LoadedFormat fileFormat() override {
        ctx_.enter("Workbook.FileFormat");
        const std::string& format = ctx_.book->format;
        if (format == "xls")
            return {WorkbookFormat::Excel97, "FileFormat 56"};
        if (format == "xlsx")
            return {WorkbookFormat::Ooxml, "FileFormat 51"};
        if (format == "xlsm")
            return {WorkbookFormat::OoxmlMacroEnabled, "FileFormat 52"};
        return {WorkbookFormat::Other, "FileFormat " + format};
    }
    // Not an Excel member but what the backend learnt while loading: no call, nothing recorded.
    bool loadedWhole() override {
        if (!ctx_.book->open)
            refuse("The workbook has been closed.");
        return !ctx_.book->damaged;
    }
    bool protectsStructure() override {
        ctx_.enter("Workbook.ProtectStructure");
        return ctx_.book->structureProtected;
    }
    bool readOnly() override {
        ctx_.enter("Workbook.ReadOnly");
        return ctx_.book->inUse;
    }
    bool hasMacros() override {
        ctx_.enter("Workbook.HasVBProject");
        return ctx_.book->autoRunMacro;
    }
    void saveAs(const NativePath& fileName, WorkbookFormat format,
                const std::string& password) override {
        const std::string formatName = format == WorkbookFormat::Excel97             ? "xls"
                                       : format == WorkbookFormat::Ooxml             ? "xlsx"
                                       : format == WorkbookFormat::OoxmlMacroEnabled ? "xlsm"
                                                                                     : "other";
        ctx_.enter("Workbook.SaveAs", "(" + fileName.string() + ", FileFormat=" + formatName +
                                          ", Password=" + password + ")");
        std::error_code error;
        if (std::filesystem::exists(fileName, error)) {
            ctx_.prompt("Replace " + fileName.string() + "?");
        }
        // Without one of the two workbook formats, the format the workbook was read in stays.
        if (format != WorkbookFormat::Other)
            ctx_.book->format = formatName;
        saveBook(*ctx_.book, fileName, password);
    }
    void close(bool saveChanges) override {
        ctx_.enter("Workbook.Close", "(" + flag(saveChanges) + ")");
        auto& book = *ctx_.book;
        if (saveChanges && book.changed)
            saveBook(book, book.path, book.password);
        book.open = false;
        std::erase(ctx_.app->books, ctx_.book);
    }

private:
    Context ctx_;
};

class StandinWorkbooks : public Workbooks {
public:
    explicit StandinWorkbooks(Context context) : ctx_(std::move(context)) {}

    std::unique_ptr<Workbook> open(const NativePath& fileName,
                                   const std::string& password) override {
        ctx_.enter("Workbooks.Open", "(" + fileName.string() + ", Password=" + password + ")");
        const auto file = loadStandinWorkbook(fileName);
        if (!file.openPassword.empty() && file.openPassword != password) {
            refuse("The password you supplied is not correct.");
        }
        auto book = fromFile(fileName, file);
        book->autoSave = ctx_.core->autoSaveOnOpen;
        // As Excel does, a file with the read-only attribute opens read-only.
        std::error_code error;
        const auto permissions = std::filesystem::status(fileName, error).permissions();
        book->inUse = file.inUse || (permissions & std::filesystem::perms::owner_write) ==
                                        std::filesystem::perms::none;
        if (book->autoRunMacro && ctx_.macrosRunOnOpen(fileName))
            ctx_.core->macrosRun.push_back(fileName);
        ctx_.app->books.push_back(book);
        return std::make_unique<StandinWorkbookObject>(Context{ctx_.core, ctx_.app, book});
    }

private:
    Context ctx_;
};

class StandinApplication : public Application {
public:
    explicit StandinApplication(Context context) : ctx_(std::move(context)) {}

    void setVisible(bool visible) override {
        ctx_.enter("Application.Visible", "=" + flag(visible));
        ctx_.app->state.visible = visible;
    }
    void setDisplayAlerts(bool displayAlerts) override {
        ctx_.enter("Application.DisplayAlerts", "=" + flag(displayAlerts));
        ctx_.app->state.displayAlerts = displayAlerts;
    }
    bool visible() override {
        ctx_.enter("Application.Visible");
        return ctx_.app->state.visible;
    }
    void disableMacros() override {
        ctx_.enter("Application.DisableMacros");
        ctx_.app->state.macroSecurity = StandinMacroSecurity::ForceDisable;
    }
    void useUsersMacroSettings() override {
        ctx_.enter("Application.UsersMacroSettings");
        ctx_.app->state.macroSecurity = StandinMacroSecurity::ByUsersSettings;
    }
    std::unique_ptr<Workbooks> workbooks() override {
        ctx_.enter("Application.Workbooks");
        return std::make_unique<StandinWorkbooks>(ctx_);
    }
    void quit() override {
        ctx_.enter("Application.Quit");
        for (const auto& book : ctx_.app->books) {
            if (book->changed)
                ctx_.prompt("Save changes to " + book->path.string() + "?");
            book->open = false;
        }
        ctx_.app->books.clear();
        ctx_.app->state.quit = true;
    }

private:
    Context ctx_;
};

}  // namespace

StandinApplicationFactory::StandinApplicationFactory() : core_(std::make_shared<StandinCore>()) {}
StandinApplicationFactory::~StandinApplicationFactory() = default;

std::unique_ptr<Application> StandinApplicationFactory::create() {
    core_->record.enter("Application.Create");
    auto app = std::make_shared<App>();
    core_->instances.push_back(app);
    return std::make_unique<StandinApplication>(Context{core_, app});
}

const std::vector<std::string>& StandinApplicationFactory::calls() const {
    return core_->record.calls();
}

const std::vector<std::string>& StandinApplicationFactory::callNames() const {
    return core_->record.callNames();
}

void StandinApplicationFactory::clearCalls() {
    core_->record.clearCalls();
}

void StandinApplicationFactory::countEarlierCall(const std::string& line) {
    core_->record.countEarlier(line);
}

void StandinApplicationFactory::failCall(std::string call, std::string text, int occurrence) {
    core_->record.failCall(std::move(call), std::move(text), occurrence);
}

void StandinApplicationFactory::onCall(std::string call, std::function<void()> hook,
                                       int occurrence) {
    core_->record.onCall(std::move(call), std::move(hook), occurrence);
}

std::vector<StandinInstance> StandinApplicationFactory::instances() const {
    std::vector<StandinInstance> result;
    for (const auto& app : core_->instances) {
        result.push_back(app->state);
        for (const auto& book : app->books)
            result.back().openWorkbooks.push_back(book->path);
    }
    return result;
}

int StandinApplicationFactory::runningInstances() const {
    const auto all = instances();
    return static_cast<int>(std::count_if(
        all.begin(), all.end(), [](const StandinInstance& i) { return !i.quit && !i.visible; }));
}

int StandinApplicationFactory::handedOverInstances() const {
    const auto all = instances();
    return static_cast<int>(std::count_if(
        all.begin(), all.end(), [](const StandinInstance& i) { return !i.quit && i.visible; }));
}

const std::vector<NativePath>& StandinApplicationFactory::macrosRun() const {
    return core_->macrosRun;
}

void StandinApplicationFactory::autoSaveOnOpen() {
    core_->autoSaveOnOpen = true;
}

bool standinAutoSave(Workbook& book) {
    auto* standin = dynamic_cast<StandinWorkbookObject*>(&book);
    return standin != nullptr && standin->autoSave();
}

void setStandinAutoSave(Workbook& book, bool on) {
    if (auto* standin = dynamic_cast<StandinWorkbookObject*>(&book))
        standin->setAutoSave(on);
}

void StandinApplicationFactory::setUsersMacroSetting(StandinUsersMacros setting) {
    core_->usersMacros = setting;
}

const std::vector<std::string>& StandinApplicationFactory::usersQuestions() const {
    return core_->usersQuestions;
}

const std::vector<std::string>& StandinApplicationFactory::prompts() const {
    return core_->prompts;
}

void StandinApplicationFactory::failOnPrompts() {
    core_->promptsFail = true;
}

void StandinApplicationFactory::endUnattended(std::size_t instance) {
    if (instance >= core_->instances.size())
        return;
    App& app = *core_->instances[instance];
    if (app.state.quit)
        return;
    for (const auto& book : app.books)
        book->open = false;
    app.books.clear();
    app.state.quit = true;
}

}  // namespace kovrisk::testing
