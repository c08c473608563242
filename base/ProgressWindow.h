#pragma once

#include <QWidget>

class QLabel;

namespace veltrane {

// The small "Processing....." window shown while a run lasts. It is application-modal and kept on
// top, so no other input reaches the program during the run; the Escape key sets a request that
// the run collects through TakeEscapeRequest. It has no buttons and cannot be closed by the user.
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

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* m_text;
    int m_escapeRequests = 0;
    bool m_closing = false;
};

}  // namespace veltrane
