#pragma once

#include <string>
#include <vector>

#include <QDialog>
#include <QString>
#include <QStringList>

#include "dialogs/FolderPickerRules.h"
#include "dialogs/FolderPickerView.h"
#include "dialogs/NameIconProvider.h"
#include "dialogs/NativeFolderFileSystem.h"

class QComboBox;
class QFileSystemModel;
class QListView;
class QModelIndex;
class QPushButton;
class QToolButton;

namespace veltrane {

class CFolderEdit;

// The folder picker behind the Browse buttons: a folder list, a folder box that always holds the
// folder shown (and completes folder names while the user types), and a Select button that
// validates the box, offers to create a missing folder and closes with that folder.
class CFolderDialog : public QDialog, private CFolderPickerView {
    Q_OBJECT

public:
    // The default filter: folders only, or every file as well.
    static const QString kDefaultFilter;

    // initialFolder: where to start (may be empty, relative or name nothing; the nearest existing
    // folder above it is shown). filter: "label|pattern|label|pattern||", or empty for the
    // default. owner: the window the dialog is centred on.
    explicit CFolderDialog(const QString& initialFolder = QString(), const QString& filter = QString(),
                           QWidget* owner = nullptr);
    ~CFolderDialog() override;

    // Replaces the title "Select Folder".
    void SetTitle(const QString& title);

    // After OK: the folder chosen, ending in the native separator. While the dialog is open: the
    // folder shown.
    QString ChosenFolder() const { return m_folder; }

    // Showing the dialog leaves the caret at the end of the folder box, nothing selected.
    void setVisible(bool visible) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The rules' view of this dialog.
    std::string BoxText() const override;
    void SetBoxText(const std::string& text) override;
    size_t SelectionStart() const override;
    size_t SelectionEnd() const override;
    size_t CaretPosition() const override;
    void SetSelection(size_t start, size_t end) override;
    std::string ShownFolder() const override;
    bool ShowFolder(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    void FocusFolderBox() override;
    void AcceptDialog() override;

    void BuildControls();
    void SetFilters(const QString& filter);
    void ApplyFilter(int index);
    // Shows folder (absolute, native or '/' separators) in the list and tracks it in the box.
    void ShowPath(const QString& folder);
    void GoUp();
    void ActivateEntry(const QModelIndex& index);
    QString StartFolder(const QString& initialFolder) const;

    CNameIconProvider m_icons;            // the destructor removes the model, which uses it, first
    QString m_folder;                     // the folder shown, ending in a separator; the result
    std::vector<QStringList> m_patterns;  // per filter entry
    CNativeFolderFileSystem m_fs;
    CFolderPickerRules m_rules;

    QComboBox* m_lookIn = nullptr;
    QToolButton* m_upButton = nullptr;
    QFileSystemModel* m_model = nullptr;
    QListView* m_list = nullptr;
    CFolderEdit* m_box = nullptr;
    QPushButton* m_select = nullptr;
    QPushButton* m_cancel = nullptr;
    QComboBox* m_filterBox = nullptr;
};

}  // namespace veltrane
