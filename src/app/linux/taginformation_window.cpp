#include "app/linux/taginformation_window.h"

#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QRegularExpressionValidator>
#include <QTimer>

#include "app/linux/message_box.h"
#include "app/linux/qt_text.h"
#include "app/linux/status_window_layout.h"
#include "app/linux/x11_taskbar.h"
#include "support/texts.h"

// The picture lives in a static library: its resource is registered by hand.
static void loadStatusWindowResources() {
    Q_INIT_RESOURCE(status_window);
}

namespace kovrisk {

namespace {

// The named faces first; where they are not installed the Japanese face installed with the
// program takes their place.
QFont font(const QStringList& faces, int pixels) {
    QFont font;
    font.setFamilies(faces + QStringList{QStringLiteral("Noto Sans CJK JP")});
    font.setPixelSize(pixels);
    return font;
}

// Each face with the name it goes by in English, which some installations know it by.
QFont pGothic(int pixels) {
    return font({qtText(layout::kWindowFontFace), QStringLiteral("MS PGothic")}, pixels);
}

QFont maruGothic(int pixels) {
    return font({qtText(layout::kLblMessageFontFace), QStringLiteral("HGMaruGothicMPRO")}, pixels);
}

QString toText(const NativePath& path) {
    return QFile::decodeName(path.native().c_str());
}

}  // namespace

TaginformationWindow::TaginformationWindow(ProgramEnd& end)
    : QWidget(nullptr,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
      end_(end),
      Image1(new QLabel(this)),
      lblMessage(new QLabel(this)),
      Edit1(new QLineEdit(this)),
      Timer1(new QTimer(this)) {
    loadStatusWindowResources();
    setObjectName(QStringLiteral("taginformation"));
    setWindowTitle(qtText(texts::kWindowCaption));
    setFixedSize(layout::kClientSize);
    move(101, 77);  // replaced by the top-left corner when shown
    setFont(pGothic(layout::kWindowFontPixels));
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Button));
    setPalette(colours);
    setAutoFillBackground(true);

    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(layout::kImage1Rect);
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap(QStringLiteral(":/kovrisk/status_window.png")));

    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    lblMessage->setGeometry(layout::kLblMessageRect);
    lblMessage->setFixedSize(layout::kLblMessageRect.size());
    lblMessage->setAlignment(Qt::AlignCenter);
    lblMessage->setAutoFillBackground(false);  // transparent: the picture shows through
    lblMessage->setFont(maruGothic(layout::kLblMessageFontPixels));
    QPalette navy = lblMessage->palette();
    navy.setColor(QPalette::WindowText, layout::kNavy);
    lblMessage->setPalette(navy);
    lblMessage->setText(QStringLiteral("lblMessage"));

    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(layout::kEdit1Rect);
    Edit1->setFont(pGothic(layout::kEdit1FontPixels));
    Edit1->setFrame(false);
    Edit1->setFocusPolicy(Qt::ClickFocus);
    // The limit holds for typing only (a validator does not touch setText); the program's own
    // path is kept whole.
    Edit1->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^.{0,%1}$").arg(layout::kEdit1TypingLimit)), Edit1));
    Edit1->setText(QStringLiteral("Edit1"));
    Edit1->setVisible(false);

    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(layout::kTimer1Interval);

    keepOffTaskbar(*this);
}

void TaginformationWindow::setTimer1Handler(std::function<void()> handler) {
    connect(Timer1, &QTimer::timeout, this, std::move(handler));
}

void TaginformationWindow::showTaginformation() {
    show();
}

void TaginformationWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TaginformationWindow::FormShow() {
    lblMessage->clear();
    move(0, 0);
    putOnTop();
    // The program's main window comes up active, as it would with a window manager.
    activateWindow();
    Timer1->start();
}

void TaginformationWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        FormDeactivate();
}

void TaginformationWindow::FormDeactivate() {
    putOnTop();
}

void TaginformationWindow::putOnTop() {
    // The window stays in the always-on-top band (its flags); this puts it back at the top of
    // that band, above what took the focus.
    raise();
}

void TaginformationWindow::closeEvent(QCloseEvent* event) {
    // FormClose does nothing: the default close action, and as the main window its closing ends
    // the program.
    event->accept();
    end_.request();
}

void TaginformationWindow::disableTimer() {
    Timer1->stop();
}

void TaginformationWindow::setStatusText(const std::string& text) {
    lblMessage->setText(qtText(text));
    // The caller keeps the thread busy: paint now, before returning.
    repaint();
}

NativePath TaginformationWindow::targetPath() {
    // Edit1 holds the path; the bytes given are used as long as its text is theirs, so that a
    // name that is not valid text in the locale reaches the file system unchanged.
    if (Edit1->text() == toText(givenPath_))
        return givenPath_;
    return NativePath(QFile::encodeName(Edit1->text()).toStdString());
}

void TaginformationWindow::setTargetPath(const NativePath& path) {
    givenPath_ = path;
    Edit1->setText(toText(path));
}

void TaginformationWindow::closeWindow() {
    close();
}

void TaginformationWindow::terminate() {
    end_.request();
}

// The boxes have no owner: they come up in the middle of the screen, clear of the status window,
// which stays above them in the corner.
BoxAnswer TaginformationWindow::messageBox(const std::string& text, BoxButtons buttons) {
    return showMessageBox(qtText(text), buttons);
}

}  // namespace kovrisk
