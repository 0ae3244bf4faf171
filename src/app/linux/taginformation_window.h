// Ttaginformation's window on Linux, with Qt Widgets: a small fixed-size tool window, always on
// top in the top-left corner of the screen, that shows one line of status text over a gradient
// picture.  It holds the target path in the hidden Edit1 and runs the workflow from Timer1.
#pragma once

#include <QWidget>

#include "app/linux/linux_view.h"
#include "app/linux/program_end.h"

class QLabel;
class QLineEdit;
class QTimer;

namespace kovrisk {

class TaginformationWindow : public QWidget, public LinuxView {
    Q_OBJECT

public:
    explicit TaginformationWindow(ProgramEnd& end);

    void setTimer1Handler(std::function<void()> handler) override;
    void showTaginformation() override;

    void disableTimer() override;
    void setStatusText(const std::string& text) override;
    NativePath targetPath() override;
    void setTargetPath(const NativePath& path) override;
    void closeWindow() override;
    void terminate() override;
    BoxAnswer messageBox(const std::string& text, BoxButtons buttons) override;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Just before the window first appears: puts it on top in its corner and arms the timer.
    void FormShow();
    // When the window stops being the active one: puts it back on top.
    void FormDeactivate();
    void putOnTop();

    ProgramEnd& end_;
    QLabel* Image1;      // the gradient picture behind the text
    QLabel* lblMessage;  // the one line of status text
    QLineEdit* Edit1;    // hidden; holds the target path
    QTimer* Timer1;      // one tick, which starts the lock-or-open run
    // The path as given, byte for byte; Edit1 shows it as text.
    NativePath givenPath_;
};

}  // namespace kovrisk
