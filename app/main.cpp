#include <cstdio>
#include <cstdlib>
#include <string>

#include <QStringList>

#include "app/StartArguments.h"
#include "app/VeltraneApp.h"

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <dlfcn.h>
#include <unistd.h>

#include <QDir>
#include <QLibraryInfo>
#endif

namespace {

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Whether the X server of display lets us connect. The X library is loaded only for this question
// (the toolkit's own X support loads it anyway); without it the toolkit is left to find out.
bool XDisplayAnswers(const std::string& display) {
    void* xcb = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (xcb == nullptr) {
        return true;
    }
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    const auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
    bool answers = true;
    if (connect != nullptr && hasError != nullptr && disconnect != nullptr) {
        void* connection = connect(display.c_str(), nullptr);
        answers = hasError(connection) == 0;
        disconnect(connection);  // also frees a connection that failed
    }
    dlclose(xcb);
    return answers;
}

// Whether a Wayland session can take the window: the toolkit has its Wayland plugin and the session's
// socket is there. Otherwise the toolkit falls back to X.
bool WaylandCanShow(const std::string& display) {
    const QString platforms = QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms");
    if (QDir(platforms).entryList({QStringLiteral("*wayland*")}, QDir::Files).isEmpty()) {
        return false;
    }
    const std::string socket =
        display.front() == '/' ? display : Environment("XDG_RUNTIME_DIR") + "/" + display;
    return access(socket.c_str(), F_OK) == 0;
}

// Why the window cannot open here, or empty when it can: without a display the toolkit would abort
// the program with a message about its plugins. Decided as scripts/start.sh decides: an X display
// must answer. A platform chosen in QT_QPA_PLATFORM other than X (offscreen, minimal) needs none,
// and a Wayland session the toolkit can use is left to it.
std::string WhyNoWindow() {
    const std::string platform = Environment("QT_QPA_PLATFORM");
    if (!platform.empty() && platform.rfind("xcb", 0) != 0) {
        return {};
    }
    if (const std::string wayland = Environment("WAYLAND_DISPLAY");
        platform.empty() && !wayland.empty() && WaylandCanShow(wayland)) {
        return {};
    }
    const std::string display = Environment("DISPLAY");
    if (display.empty()) {
        return "there is none here (DISPLAY is not set)";
    }
    if (!XDisplayAnswers(display)) {
        return "the display " + display + " does not answer";
    }
    return {};
}

#else

std::string WhyNoWindow() {
    return {};
}

#endif

}  // namespace

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
    if (const std::string why = WhyNoWindow(); !why.empty()) {
        std::fprintf(stderr,
                     "veltrane: the window needs a display, and %s; veltrane-cli runs the same checks "
                     "without one.\n",
                     why.c_str());
        return 1;
    }
    veltrane::CVeltraneApp app(argc, argv);
    return app.Run(start.path);
}
