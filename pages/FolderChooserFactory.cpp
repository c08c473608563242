#include <QDir>
#include <QFileDialog>

#include "pages/FolderChooser.h"

namespace veltrane {

namespace {

// The platform's directory dialog.
class CQtFolderChooser final : public CFolderChooser {
public:
    std::optional<QString> ChooseFolder(QWidget* owner, const QString& title,
                                        const QString& initial) override {
        const QString chosen = QFileDialog::getExistingDirectory(owner, title, initial);
        if (chosen.isEmpty()) {
            return std::nullopt;
        }
        QString folder = QDir::toNativeSeparators(chosen);
        if (!folder.endsWith(QDir::separator())) {
            folder += QDir::separator();
        }
        return folder;
    }
};

}  // namespace

std::unique_ptr<CFolderChooser> MakeFolderChooser() {
    return std::make_unique<CQtFolderChooser>();
}

}  // namespace veltrane
