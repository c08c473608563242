#include "app/VeltraneApp.h"

#include <exception>

#include "app/AppIcon.h"
#include "app/MainSheet.h"

namespace veltrane {

CVeltraneApp::CVeltraneApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Veltrane"));
    setApplicationDisplayName(QString());
    setApplicationVersion(QStringLiteral(VELTRANE_VERSION));
    setDesktopFileName(QStringLiteral("org.example.Veltrane"));  // the desktop entry's id
    setWindowIcon(AppIcon());
}

int CVeltraneApp::Run(const QString& startPath) {
    CMainSheet sheet;
    if (!startPath.isEmpty()) {
        sheet.SetStartPath(startPath);
    }
    sheet.exec();  // the result is of no interest: Quit and close end the program alike
    return 0;
}

// Qt calls this for every event; nothing thrown by a handler may leave it.
bool CVeltraneApp::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception&) {
        return false;
    } catch (...) {
        return false;
    }
}

}  // namespace veltrane
