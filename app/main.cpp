#include <cstdio>

#include <QStringList>

#include "app/StartArguments.h"
#include "app/VeltraneApp.h"

int main(int argc, char** argv) {
    // --version and --help answer before the window system is asked for, so they work without a
    // display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const veltrane::StartArguments start = veltrane::ParseStartArguments(arguments);
    if (!start.error.isEmpty()) {
        std::fprintf(stderr, "veltrane: %s\n%s", start.error.toLocal8Bit().constData(),
                     veltrane::StartUsage().toLocal8Bit().constData());
        return 2;
    }
    if (start.showHelp) {
        std::fputs(veltrane::StartUsage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (start.showVersion) {
        std::printf("veltrane %s\n", VELTRANE_VERSION);
        return 0;
    }
    veltrane::CVeltraneApp app(argc, argv);
    return app.Run(start.path);
}
