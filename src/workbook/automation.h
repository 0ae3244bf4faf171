// The spreadsheet application as the workbook operations drive it: one small interface per object
// kind, with the members the operations use.  Each backend (Excel through COM, LibreOffice Calc
// through UNO, the in-memory stand-in of the tests) implements them.
//
// Every object returned is an owning reference: dropping it releases the reference, never the
// object in the application.  Texts are Shift-JIS; file names are native paths.  Every failure of
// a call is an AutomationError.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "platform/files.h"
#include "workbook/control_sheet_writer.h"

namespace kovrisk {

// A refused or failed automation call.  what() is the application's own text, in Shift-JIS.
class AutomationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The application was stopped because something that is no regular file was put where it reads
// while it opened the workbook (the office's lock file beside it, or the workbook's own name):
// it would have waited on it for ever.
class PlantedFileError : public AutomationError {
public:
    using AutomationError::AutomationError;
};

// The real format of a workbook file, as the application read it (whatever its name says).
enum class WorkbookFormat {
    Excel97,            // Excel 97-2003 (BIFF8)
    Ooxml,              // Excel workbook (Office Open XML)
    OoxmlMacroEnabled,  // Excel macro-enabled workbook: the same, marked to carry macros
    Other,              // anything else the application reads: older Excel, HTML, XML, text, ...
};

struct LoadedFormat {
    WorkbookFormat kind = WorkbookFormat::Other;
    // The application's own name for it (a filter name, a FileFormat number), for the log.
    std::string name{};
};

class Font {
public:
    virtual ~Font() = default;
    virtual void setColorIndex(int index) = 0;
};

class Range {
public:
    virtual ~Range() = default;
    virtual std::string value() = 0;
    virtual void setValue(const std::string& text) = 0;
    virtual std::unique_ptr<Font> font() = 0;
};

class Worksheet {
public:
    virtual ~Worksheet() = default;
    virtual std::string name() = 0;
    virtual void setName(const std::string& name) = 0;
    // Visible: false for a hidden sheet, a very hidden one included.
    virtual bool visible() = 0;
    virtual void setVisible(bool visible) = 0;
    virtual void remove() = 0;  // Delete
    virtual void activate() = 0;
    virtual std::unique_ptr<Range> range(const std::string& address) = 0;
    virtual void protect(const std::string& password, bool drawingObjects, bool contents,
                         bool scenarios) = 0;
};

class Worksheets {
public:
    virtual ~Worksheets() = default;
    virtual int count() = 0;
    // Add with Before omitted and After = `after`.
    virtual void addAfter(Worksheet& after) = 0;
};

class Workbook {
public:
    virtual ~Workbook() = default;
    virtual std::unique_ptr<Worksheets> worksheets() = 0;
    // 1-based.
    virtual std::unique_ptr<Worksheet> worksheet(int index) = 0;
    virtual std::unique_ptr<Worksheet> worksheet(const std::string& name) = 0;
    // FileFormat: the format the application read the file in.
    virtual LoadedFormat fileFormat() = 0;
    // Whether the application read the file whole: no warning and no repair while it loaded.
    virtual bool loadedWhole() = 0;
    // ProtectStructure: sheets cannot be added, removed, renamed or hidden.
    virtual bool protectsStructure() = 0;
    // ReadOnly: opened read-only, because another user or application has the file open or it
    // cannot be written.
    virtual bool readOnly() = 0;
    // HasVBProject: whether the workbook carries macros of its own.
    virtual bool hasMacros() = 0;
    // Whether it was opened read-only because another application (another office, another user)
    // has the file open; false where the application cannot tell.
    virtual bool heldByAnotherApplication() { return false; }
    // Saves under `fileName` in `format` (Excel97 or Ooxml), with `password` as its open password.
    virtual void saveAs(const NativePath& fileName, WorkbookFormat format,
                        const std::string& password) = 0;
    virtual void close(bool saveChanges) = 0;
};

class Workbooks {
public:
    virtual ~Workbooks() = default;
    // Fails at once, without asking anybody, when `password` does not open the workbook.
    virtual std::unique_ptr<Workbook> open(const NativePath& fileName,
                                           const std::string& password) = 0;
};

class Application {
public:
    virtual ~Application() = default;
    // Application.Visible.  True hands the application, with what it has open and what it opens
    // from then on, to the user.
    virtual void setVisible(bool visible) = 0;
    // Application.Visible as it is now: false when the application could not be shown.
    virtual bool visible() = 0;
    virtual void setDisplayAlerts(bool displayAlerts) = 0;
    // No macro of a workbook opened from now on runs (AutomationSecurity ForceDisable).
    virtual void disableMacros() = 0;
    // The user's own macro security settings decide about the macros of a workbook opened from now
    // on, as when the user opens it (AutomationSecurity ByUI): only for a workbook that is the
    // user's, in an application shown to the user, who is asked what those settings ask.
    virtual void useUsersMacroSettings() = 0;
    // Why the user's own macro security settings could not be understood for the last workbook
    // opened under them, in which no macro then runs; empty when they were.
    virtual std::string usersSettingsNotice() { return {}; }
    virtual std::unique_ptr<Workbooks> workbooks() = 0;
    virtual void quit() = 0;
};

// Creates an application object, as "Excel.Application" does.
class ApplicationFactory {
public:
    virtual ~ApplicationFactory() = default;
    virtual std::unique_ptr<Application> create() = 0;
    // The longest full path, in characters, that the application opens and saves; 0: no limit.
    virtual std::size_t longestPath() const { return 0; }
    // Where the application's own save would not keep the rest of a workbook as it was: what
    // writes the control sheet into the file instead, the application only reading it.  nullptr:
    // the application adds the sheet and saves.
    virtual ControlSheetWriter* controlSheetWriter() { return nullptr; }
};

}  // namespace kovrisk
