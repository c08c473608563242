#include "dialogs/FolderEdit.h"

#include <QKeyEvent>
#include <QKeySequence>

namespace veltrane {

CFolderEdit::CFolderEdit(QWidget* parent) : QLineEdit(parent) {
    setObjectName(QStringLiteral("folderBox"));
}

void CFolderEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();  // never reaches the dialog's default button
            emit EnterPressed();
            return;
        case Qt::Key_Escape:
            event->accept();  // the box keeps Escape, as it keeps Enter
            return;
        case Qt::Key_Delete:
            QLineEdit::keyPressEvent(event);
            emit DeleteProcessed();
            return;
        case Qt::Key_Backspace:
            QLineEdit::keyPressEvent(event);
            emit CharacterProcessed(true);
            return;
        default:
            break;
    }
    // Printed characters and the shortcuts that change the text count as typing; other control
    // keys (copy, select all, arrows) leave the text alone and run nothing.
    const QString text = event->text();
    const bool typing = (!text.isEmpty() && text.at(0).isPrint()) || event->matches(QKeySequence::Paste) ||
                        event->matches(QKeySequence::Cut);
    QLineEdit::keyPressEvent(event);
    if (typing) {
        emit CharacterProcessed(false);
    }
}

}  // namespace veltrane
