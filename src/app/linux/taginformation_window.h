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
    void FormShow();
    void FormDeactivate();
    void putOnTop();

    ProgramEnd& end_;
    QLabel* Image1;
    QLabel* lblMessage;
    QLineEdit* Edit1;
    QTimer* Timer1;
    // The path as given, byte for byte; Edit1 shows it as text.
    NativePath givenPath_;
};

}  // namespace kovrisk
