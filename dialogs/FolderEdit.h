#pragma once

#include <QLineEdit>

namespace veltrane {

// The folder box of the folder picker: a line edit that keeps Enter and Escape for itself instead
// of leaving them to the dialog, and reports every processed character and Delete so the picker
// can go to typed folders and complete folder names. Tab moves on to the Select button, which
// follows the box in the dialog's tab order.
class CFolderEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit CFolderEdit(QWidget* parent = nullptr);

signals:
    // Enter or Return was pressed; nothing was inserted.
    void EnterPressed();
    // A character key has been processed by the box (typed, Backspace, or a control key).
    void CharacterProcessed(bool backspace);
    // The Delete key has been processed by the box.
    void DeleteProcessed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace veltrane
