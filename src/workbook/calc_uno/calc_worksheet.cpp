#include "workbook/calc_uno/calc_worksheet.h"

#include <com/sun/star/awt/PosSize.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/util/XProtectable.hpp>

#include "workbook/calc_uno/calc_texts.h"
#include "workbook/calc_uno/excel_palette.h"
#include "workbook/calc_uno/uno_error.h"
#include "workbook/calc_uno/uno_text.h"

namespace kovrisk {

namespace css = com::sun::star;

namespace {

// A position no screen reaches.
constexpr sal_Int32 kOffScreen = -32000;

rtl::OUString nameOf(const css::uno::Reference<css::sheet::XSpreadsheet>& sheet) {
    return css::uno::Reference<css::container::XNamed>(sheet, css::uno::UNO_QUERY_THROW)->getName();
}

}  // namespace

int CalcWorksheets::count() {
    return unoCall([&] {
        return static_cast<int>(
            css::uno::Reference<css::container::XIndexAccess>(sheets_, css::uno::UNO_QUERY_THROW)
                ->getCount());
    });
}

void CalcWorksheets::addAfter(Worksheet& after) {
    auto* sheet = dynamic_cast<CalcWorksheet*>(&after);
    if (sheet == nullptr || !sheet->belongsTo(model_)) {
        throw AutomationError(calc_texts::foreignWorksheet());
    }
    const int position = sheet->position();
    unoCall([&] {
        int number = count() + 1;
        while (sheets_->hasByName("Sheet" + rtl::OUString::number(number)))
            ++number;
        sheets_->insertNewByName("Sheet" + rtl::OUString::number(number),
                                 static_cast<sal_Int16>(position + 1));
    });
}

std::string CalcWorksheet::name() {
    return unoCall([&] { return fromUno(nameOf(sheet_)); });
}

void CalcWorksheet::setName(const std::string& name) {
    unoCall([&] {
        css::uno::Reference<css::container::XNamed>(sheet_, css::uno::UNO_QUERY_THROW)
            ->setName(toUno(name));
    });
}

bool CalcWorksheet::visible() {
    return unoCall([&] {
        bool shown = false;
        css::uno::Reference<css::beans::XPropertySet>(sheet_, css::uno::UNO_QUERY_THROW)
            ->getPropertyValue("IsVisible") >>= shown;
        return shown;
    });
}

void CalcWorksheet::setVisible(bool visible) {
    unoCall([&] {
        css::uno::Reference<css::beans::XPropertySet>(sheet_, css::uno::UNO_QUERY_THROW)
            ->setPropertyValue("IsVisible", css::uno::Any(visible));
    });
}

void CalcWorksheet::remove() {
    unoCall([&] { sheets_->removeByName(nameOf(sheet_)); });
}

void CalcWorksheet::activate() {
    unoCall([&] {
        const auto controller = model_->getCurrentController();
        // The Excel export filters take the active sheet from a visible view only: the view of a
        // document loaded hidden is shown, as small as can be and off the screen, for as long as
        // the document stays open (a headless office shows nothing at all).
        const auto window = controller->getFrame()->getContainerWindow();
        window->setPosSize(kOffScreen, kOffScreen, 1, 1, css::awt::PosSize::POSSIZE);
        window->setVisible(true);
        css::uno::Reference<css::sheet::XSpreadsheetView>(controller, css::uno::UNO_QUERY_THROW)
            ->setActiveSheet(sheet_);
    });
}

std::unique_ptr<Range> CalcWorksheet::range(const std::string& address) {
    return unoCall(
        [&] { return std::make_unique<CalcRange>(sheet_->getCellRangeByName(toUno(address))); });
}

void CalcWorksheet::protect(const std::string& password, bool, bool, bool) {
    unoCall([&] {
        css::uno::Reference<css::util::XProtectable>(sheet_, css::uno::UNO_QUERY_THROW)
            ->protect(toUno(password));
    });
}

int CalcWorksheet::position() {
    return unoCall([&] {
        return static_cast<int>(css::uno::Reference<css::sheet::XCellRangeAddressable>(
                                    sheet_, css::uno::UNO_QUERY_THROW)
                                    ->getRangeAddress()
                                    .Sheet);
    });
}

bool CalcWorksheet::belongsTo(const css::uno::Reference<css::frame::XModel>& model) const {
    return model_ == model;
}

std::string CalcRange::value() {
    return unoCall([&] {
        return fromUno(css::uno::Reference<css::text::XText>(range_->getCellByPosition(0, 0),
                                                             css::uno::UNO_QUERY_THROW)
                           ->getString());
    });
}

void CalcRange::setValue(const std::string& text) {
    unoCall([&] {
        const auto address = css::uno::Reference<css::sheet::XCellRangeAddressable>(
                                 range_, css::uno::UNO_QUERY_THROW)
                                 ->getRangeAddress();
        const rtl::OUString unicode = toUno(text);
        for (sal_Int32 row = 0; row <= address.EndRow - address.StartRow; ++row) {
            for (sal_Int32 column = 0; column <= address.EndColumn - address.StartColumn;
                 ++column) {
                css::uno::Reference<css::text::XText>(range_->getCellByPosition(column, row),
                                                      css::uno::UNO_QUERY_THROW)
                    ->setString(unicode);
            }
        }
    });
}

std::unique_ptr<Font> CalcRange::font() {
    return unoCall([&] {
        return std::make_unique<CalcFont>(
            css::uno::Reference<css::beans::XPropertySet>(range_, css::uno::UNO_QUERY_THROW));
    });
}

void CalcFont::setColorIndex(int index) {
    std::int32_t color = -1;  // automatic
    if (index != kColorIndexAutomatic) {
        const auto entry = excelPaletteColor(index);
        if (!entry)
            throw AutomationError(calc_texts::badColorIndex(index));
        color = *entry;
    }
    unoCall([&] {
        cells_->setPropertyValue("CharColor", css::uno::Any(static_cast<sal_Int32>(color)));
    });
}

}  // namespace kovrisk
