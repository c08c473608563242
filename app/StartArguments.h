#pragma once

#include <QString>
#include <QStringList>

namespace veltrane {

// What the program's command line asks for: "veltrane [--version | --help] [PATH...]". A file
// manager passes the folders or files opened with the program (%F); the first one is shown.
struct StartArguments {
    bool showVersion = false;
    bool showHelp = false;
    QString path;   // absolute, native separators; empty when none was given
    QString error;  // an option the program does not know
};

// arguments: the command line without the program's own name.
StartArguments ParseStartArguments(const QStringList& arguments);

// The text of --help.
QString StartUsage();

}  // namespace veltrane
