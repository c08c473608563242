#pragma once

#include <QWidget>

class QLabel;

namespace veltrane {

// The small "Processing....." window shown while a run lasts. It is application-modal and kept on
// top, so no other input reaches the program during the run; the Escape key sets a request that
// the run collects through TakeEscapeRequest. It has no buttons and cannot be closed by the user:
// its frame is a title bar only (no system menu, no close box), wide enough for its caption, and
// it stays centred over its owner when that moves.
class CProgressWindow : public QWidget {
    Q_OBJECT

public:
    explicit CProgressWindow(QWidget* owner);

    // Centres the window over its owner, shows it and has it painted at once.
    void ShowNow();
    // True once for each Escape pressed since the last call.
    bool TakeEscapeRequest();
    // Closes the window (the user cannot).
    void CloseNow();

    // Puts the window's centre on its owner's (or the screen's when the owner is hidden).
    void Centre();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* Owner() const;
    // Whether the window draws its caption itself instead of taking the window manager's frame.
    static bool DrawsOwnCaption();

    QLabel* m_text;
    int m_escapeRequests = 0;
    bool m_closing = false;
};

}  // namespace veltrane
