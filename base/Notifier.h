#pragma once

#include <functional>

#include <QString>

#include "fs/run/RunContext.h"

class QWidget;

namespace veltrane {

// The one way the program shows a message box. Every box of the program (pages, runs, the
// folder chooser, the remembered path) goes through Show, so a handler can record and answer
// them instead of a person (tests, scripted screenshots).
class CNotifier {
public:
    // Receives a box instead of the screen and returns the answer to act on.
    using Handler = std::function<NoticeAnswer(QWidget* owner, const Notice& notice)>;

    // Shows a modal QMessageBox owned by owner with the title, text, icon and buttons given and
    // returns what the user pressed (Ok for an OK-only box; Cancel or No when it was closed).
    static NoticeAnswer Show(QWidget* owner, NoticeKind kind, const QString& title, const QString& text,
                             NoticeButtons buttons = NoticeButtons::Ok);

    // Routes every following box to handler; an empty handler shows real boxes again.
    // Returns the handler that was installed before.
    static Handler SetHandler(Handler handler);

    // The program's name: the title of boxes that have none of their own.
    static QString AppTitle();
};

}  // namespace veltrane
