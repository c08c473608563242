#include "base/ProgressWindow.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QVBoxLayout>

namespace veltrane {

CProgressWindow::CProgressWindow(QWidget* owner)
    // CustomizeWindowHint with the title hint alone: no system menu, no minimise, maximise or
    // close buttons.
    : QWidget(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
      m_text(new QLabel(QStringLiteral("ESCAPE to cancel....."), this)) {
    setWindowTitle(QStringLiteral("Processing....."));
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFocusPolicy(Qt::StrongFocus);

    QFont font = m_text->font();
    font.setPointSizeF(font.pointSizeF() * 1.25);
    m_text->setFont(font);
    m_text->setAlignment(Qt::AlignCenter);

    auto* layout = new QVBoxLayout(this);
    if (DrawsOwnCaption()) {
        // X11 window managers give every framed window the buttons they like (openbox ignores
        // the hints that would remove them): there the window has no frame of the manager's and
        // draws its caption itself, in the colours of a title bar.
        setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        auto* caption = new QLabel(windowTitle(), this);
        caption->setObjectName(QStringLiteral("caption"));
        caption->setAlignment(Qt::AlignCenter);
        caption->setAutoFillBackground(true);
        caption->setContentsMargins(6, 3, 6, 3);
        QPalette colours = caption->palette();
        colours.setColor(QPalette::Window, colours.color(QPalette::Active, QPalette::Highlight));
        colours.setColor(QPalette::WindowText, colours.color(QPalette::Active, QPalette::HighlightedText));
        caption->setPalette(colours);
        QFont bold = caption->font();
        bold.setBold(true);
        caption->setFont(bold);
        layout->setContentsMargins(1, 1, 1, 1);
        layout->addWidget(caption);
        setAutoFillBackground(true);
    }
    layout->addWidget(m_text, 1);

    // About 113 by 34 dialog units of the window's font, and room for the whole caption in a
    // title bar (whose font is often bold and larger) besides the frame's own icon and margins.
    const QFontMetrics metrics(this->font());
    const int unitX = qMax(1, metrics.averageCharWidth());
    const int unitY = qMax(1, metrics.height());
    QFont titleFont = this->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    const int captionWidth = QFontMetrics(titleFont).horizontalAdvance(windowTitle()) + 96;
    const int height = qMax(34 * unitY / 8, 48) + (DrawsOwnCaption() ? metrics.height() + 8 : 0);
    setFixedSize(std::max({113 * unitX / 4, m_text->sizeHint().width() + 24, captionWidth}), height);
    if (QWidget* main = Owner()) {
        main->installEventFilter(this);
    }
}

bool CProgressWindow::DrawsOwnCaption() {
    return QGuiApplication::platformName() == QStringLiteral("xcb");
}

void CProgressWindow::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (DrawsOwnCaption()) {
        // The thin frame a window manager's border would have drawn.
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

QWidget* CProgressWindow::Owner() const {
    return parentWidget() != nullptr ? parentWidget()->window() : nullptr;
}

void CProgressWindow::Centre() {
    QWidget* owner = Owner();
    QRect area;
    if (owner != nullptr && owner->isVisible()) {
        area = owner->frameGeometry();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (area.isValid()) {
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

bool CProgressWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Owner() && isVisible() &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        Centre();
    }
    return QWidget::eventFilter(watched, event);
}

void CProgressWindow::ShowNow() {
    Centre();
    show();
    raise();
    activateWindow();
    setFocus(Qt::OtherFocusReason);
    repaint();
    // Let the window system map and paint the window before the run takes the thread.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    repaint();
}

bool CProgressWindow::TakeEscapeRequest() {
    if (m_escapeRequests == 0) {
        return false;
    }
    --m_escapeRequests;
    return true;
}

void CProgressWindow::CloseNow() {
    m_closing = true;
    close();
    m_closing = false;
}

void CProgressWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        ++m_escapeRequests;
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CProgressWindow::closeEvent(QCloseEvent* event) {
    // Only the run closes the window; Alt+F4 and the like are ignored.
    if (m_closing) {
        event->accept();
    } else {
        event->ignore();
    }
}

}  // namespace veltrane
