#include <QDialog>

#include "dialogs/FolderDialog.h"
#include "pages/FolderChooser.h"

namespace veltrane {

namespace {

// The program's folder picker, titled by the page.
class CPickerFolderChooser final : public CFolderChooser {
public:
    std::optional<QString> ChooseFolder(QWidget* owner, const QString& title,
                                        const QString& initial) override {
        CFolderDialog picker(initial, QString(), owner);
        picker.SetTitle(title);
        if (picker.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return picker.ChosenFolder();
    }
};

}  // namespace

std::unique_ptr<CFolderChooser> MakeFolderChooser() {
    return std::make_unique<CPickerFolderChooser>();
}

}  // namespace veltrane
