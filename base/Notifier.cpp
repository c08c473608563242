#include "base/Notifier.h"

#include <utility>

#include <QApplication>
#include <QMessageBox>

namespace veltrane {

namespace {

CNotifier::Handler& CurrentHandler() {
    static CNotifier::Handler handler;
    return handler;
}

QMessageBox::Icon IconOf(NoticeKind kind) {
    switch (kind) {
        case NoticeKind::Information:
            return QMessageBox::Information;
        case NoticeKind::Warning:
            return QMessageBox::Warning;
        case NoticeKind::Error:
            return QMessageBox::Critical;
        case NoticeKind::Question:
            return QMessageBox::Question;
        case NoticeKind::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

NoticeAnswer CNotifier::Show(QWidget* owner, NoticeKind kind, const QString& title, const QString& text,
                             NoticeButtons buttons) {
    if (CurrentHandler()) {
        Notice notice;
        notice.kind = kind;
        notice.title = title.toStdString();
        notice.text = text.toStdString();
        notice.buttons = buttons;
        // Copy: the handler may replace itself while it runs.
        const Handler handler = CurrentHandler();
        return handler(owner, notice);
    }

    QMessageBox box(IconOf(kind), title, text, QMessageBox::NoButton, owner);
    switch (buttons) {
        case NoticeButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            box.setDefaultButton(QMessageBox::Ok);
            box.setEscapeButton(QMessageBox::Ok);
            break;
        case NoticeButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Ok);
            box.setEscapeButton(QMessageBox::Cancel);
            break;
        case NoticeButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::No);
            break;
    }
    // A box raised during a run must stay above the progress window, which is kept on top.
    if (QWidget* modal = QApplication::activeModalWidget();
        modal != nullptr && (modal->windowFlags() & Qt::WindowStaysOnTopHint)) {
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    const int pressed = box.exec();
    switch (pressed) {
        case QMessageBox::Ok:
            return NoticeAnswer::Ok;
        case QMessageBox::Yes:
            return NoticeAnswer::Yes;
        case QMessageBox::No:
            return NoticeAnswer::No;
        default:
            break;
    }
    switch (buttons) {
        case NoticeButtons::Ok:
            return NoticeAnswer::Ok;
        case NoticeButtons::OkCancel:
            return NoticeAnswer::Cancel;
        case NoticeButtons::YesNo:
            return NoticeAnswer::No;
    }
    return NoticeAnswer::Ok;
}

CNotifier::Handler CNotifier::SetHandler(Handler handler) {
    return std::exchange(CurrentHandler(), std::move(handler));
}

QString CNotifier::AppTitle() {
    return QStringLiteral("Veltrane");
}

}  // namespace veltrane
