#pragma once

#include <QApplication>

namespace veltrane {

// The program: creates the main sheet, runs it until the user quits, and ends.
class CVeltraneApp : public QApplication {
    Q_OBJECT

public:
    CVeltraneApp(int& argc, char** argv);

    // Shows the main sheet modally, startPath (when not empty) in the first page's path box;
    // returns the program's exit code (0).
    int Run(const QString& startPath = QString());

    // Delivers an event; an exception thrown by a handler ends there instead of ending the program.
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace veltrane
