#include "app/linux/message_box.h"
#include "app/linux/qt_text.h"
#include "support/texts.h"

#include <QAbstractButton>
#include <QIcon>
#include <QMessageBox>

namespace kovrisk {

namespace {

// Plain buttons, as the system's own boxes have them.
void setButtons(QMessageBox& box, QMessageBox::StandardButtons buttons,
                QMessageBox::StandardButton preferred) {
    box.setStandardButtons(buttons);
    for (QAbstractButton* button : box.buttons())
        button->setIcon(QIcon());
    box.setDefaultButton(preferred);
    box.setEscapeButton(preferred);
}

}  // namespace

BoxAnswer showMessageBox(const QString& text, BoxButtons buttons) {
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

    QMessageBox box;
    const QString caption = qtText(texts::kCaption);
    box.setObjectName(caption);
    box.setWindowTitle(caption);
    box.setIcon(QMessageBox::NoIcon);
    box.setTextFormat(Qt::PlainText);
    box.setText(lines);
    if (buttons == BoxButtons::Ok) {
        setButtons(box, QMessageBox::Ok, QMessageBox::Ok);
        box.exec();
        return BoxAnswer::Ok;
    }
    setButtons(box, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    box.exec();
    return box.clickedButton() == box.button(QMessageBox::Ok) ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

}  // namespace kovrisk
