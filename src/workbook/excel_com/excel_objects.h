// Excel's objects as the object model sees them, each a late-bound automation object.
#pragma once

#include <optional>

#include "workbook/automation.h"
#include "workbook/excel_com/dispatch.h"

namespace kovrisk {

class ExcelFont : public Font {
public:
    explicit ExcelFont(Dispatch font) : font_(std::move(font)) {}
    void setColorIndex(int index) override;

private:
    Dispatch font_;
};

class ExcelRange : public Range {
public:
    explicit ExcelRange(Dispatch range) : range_(std::move(range)) {}
    std::string value() override;
    void setValue(const std::string& text) override;
    std::unique_ptr<Font> font() override;

private:
    Dispatch range_;
};

class ExcelWorksheet : public Worksheet {
public:
    explicit ExcelWorksheet(Dispatch sheet) : sheet_(std::move(sheet)) {}
    std::string name() override;
    void setName(const std::string& name) override;
    bool visible() override;
    void setVisible(bool visible) override;
    void remove() override;
    void activate() override;
    std::unique_ptr<Range> range(const std::string& address) override;
    void protect(const std::string& password, bool drawingObjects, bool contents,
                 bool scenarios) override;

    IDispatch* dispatch() const { return sheet_.get(); }

private:
    Dispatch sheet_;
};

class ExcelWorksheets : public Worksheets {
public:
    explicit ExcelWorksheets(Dispatch sheets) : sheets_(std::move(sheets)) {}
    int count() override;
    void addAfter(Worksheet& after) override;

private:
    Dispatch sheets_;
};

class ExcelWorkbook : public Workbook {
public:
    explicit ExcelWorkbook(Dispatch book) : book_(std::move(book)) {}
    std::unique_ptr<Worksheets> worksheets() override;
    std::unique_ptr<Worksheet> worksheet(int index) override;
    std::unique_ptr<Worksheet> worksheet(const std::string& name) override;
    LoadedFormat fileFormat() override;
    bool loadedWhole() override;
    bool protectsStructure() override;
    bool readOnly() override;
    bool hasMacros() override;
    void saveAs(const NativePath& fileName, WorkbookFormat format,
                const std::string& password) override;
    void close(bool saveChanges) override;

private:
    Dispatch book_;
    // The FileFormat read, sent back on SaveAs: Excel 2003 knows Excel 97-2003 only as
    // xlWorkbookNormal, and has no xlExcel8.
    std::optional<int> readFormat_;
};

class ExcelWorkbooks : public Workbooks {
public:
    explicit ExcelWorkbooks(Dispatch books) : books_(std::move(books)) {}
    std::unique_ptr<Workbook> open(const NativePath& fileName,
                                   const std::string& password) override;

private:
    Dispatch books_;
};

class ExcelApplication : public Application {
public:
    explicit ExcelApplication(Dispatch application) : application_(std::move(application)) {}
    // Let go of: the bound of its watch ends with it.
    ~ExcelApplication() override;
    ExcelApplication(const ExcelApplication&) = delete;
    ExcelApplication& operator=(const ExcelApplication&) = delete;
    // Follows the process of this Excel (its main window's), to end it should a call outlast the
    // bound of its watch.
    void followProcess();
    void setVisible(bool visible) override;
    bool visible() override;
    void setDisplayAlerts(bool displayAlerts) override;
    void disableMacros() override;
    void useUsersMacroSettings() override;
    std::unique_ptr<Workbooks> workbooks() override;
    void quit() override;

private:
    Dispatch application_;
};

}  // namespace kovrisk
