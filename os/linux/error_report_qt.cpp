// The error report of the Linux edition and its owner window: a Qt message box over the program's
// window. Apart from os_linux, which is Qt Core only, because it needs Qt Widgets.
#include "os/errors.h"
#include "os/platform.h"

#include <QMessageBox>
#include <QWidget>

#include <unistd.h>

namespace os {
namespace {

QWidget* g_mainWindow = nullptr;

} // namespace

void SetMainWindow(void* window) { g_mainWindow = static_cast<QWidget*>(window); }

void EndWithErrorReport(const std::exception& error)
{
    // Over its window while that shows; a window not yet shown, or hidden in the tray, has no place
    // to centre on, and the report takes the screen's centre.
    QWidget* owner = g_mainWindow && g_mainWindow->isVisible() ? g_mainWindow : nullptr;
    QMessageBox report(QMessageBox::Critical, QString::fromStdWString(ExeName()),
                       QString::fromStdWString(ErrorReportText(error)), QMessageBox::Ok, owner);
    report.exec();
    _exit(1);
}

} // namespace os
