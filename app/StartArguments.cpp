#include "app/StartArguments.h"

#include <QDir>
#include <QFileInfo>

namespace veltrane {

StartArguments ParseStartArguments(const QStringList& arguments) {
    StartArguments start;
    bool optionsEnded = false;
    for (const QString& argument : arguments) {
        if (!optionsEnded && argument == QStringLiteral("--")) {
            optionsEnded = true;
        } else if (!optionsEnded &&
                   (argument == QStringLiteral("--version") || argument == QStringLiteral("-v"))) {
            start.showVersion = true;
        } else if (!optionsEnded &&
                   (argument == QStringLiteral("--help") || argument == QStringLiteral("-h"))) {
            start.showHelp = true;
        } else if (!optionsEnded && argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            if (start.error.isEmpty()) {
                start.error = QStringLiteral("unknown option: %1").arg(argument);
            }
        } else if (start.path.isEmpty() && !argument.isEmpty()) {
            // A relative path would mean another folder once it is remembered and used later.
            start.path = QDir::toNativeSeparators(QFileInfo(argument).absoluteFilePath());
        }
    }
    return start;
}

QString StartUsage() {
    return QStringLiteral(
        "Usage: veltrane [--version] [--help] [PATH]\n"
        "Checks Poser content packages before they are published.\n"
        "PATH goes into the path box of the first page.\n");
}

}  // namespace veltrane
