#include "pages/QtFileChooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QPointer>

#include "dialogs/NameIconProvider.h"

namespace veltrane {

namespace {

// Qt's "*.*" matches only names that contain a dot. Where a filter's pattern is "*.*", the list
// model gets "*" instead, after the dialog has applied the filter.
void ShowDotlessNamesForStarDotStar(QFileDialog& dialog) {
    QPointer<QFileDialog> guard(&dialog);
    auto apply = [guard](const QString& filter) {
        if (!guard) {
            return;
        }
        if (!filter.endsWith(QStringLiteral("(*.*)"))) {
            return;
        }
        if (auto* model = guard->findChild<QFileSystemModel*>()) {
            model->setNameFilters({QStringLiteral("*")});
        }
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, apply);
    apply(dialog.selectedNameFilter());
}

// What both dialogs share: icons and types by name only (no file is opened to find them), and
// room for the name, size, type and date columns.
// (Both apply where the dialog is the toolkit's own, not the platform's.)
void Prepare(QFileDialog& dialog) {
    dialog.setIconProvider(CNameIconProvider::Shared());
    const QFontMetrics metrics(dialog.font());
    dialog.resize(qMax(760, metrics.averageCharWidth() * 110), qMax(460, metrics.height() * 26));
}

}  // namespace

std::unique_ptr<QFileDialog> CQtFileChooser::MakeOpenDialog(QWidget* owner, const QString& title,
                                                            const QString& initial,
                                                            const QStringList& filters) {
    auto dialog = std::make_unique<QFileDialog>(owner, title);
#ifndef Q_OS_WIN
    // The widget-based dialog, so that the filter rule above holds on every platform. Windows' own
    // dialog, which its users expect, already matches "*.*" that way.
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
#endif
    Prepare(*dialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters(filters);
    if (!filters.isEmpty()) {
        dialog->selectNameFilter(filters.front());
    }
    const QFileInfo start(initial);
    if (!initial.isEmpty() && start.isDir()) {
        dialog->setDirectory(start.absoluteFilePath());
    } else if (!initial.isEmpty() && start.absoluteDir().exists()) {
        dialog->setDirectory(start.absolutePath());
    }
    ShowDotlessNamesForStarDotStar(*dialog);
    return dialog;
}

std::unique_ptr<QFileDialog> CQtFileChooser::MakeSaveDialog(QWidget* owner, const QString& initialFolder,
                                                            const QString& filter,
                                                            const QString& defaultSuffix) {
    auto dialog = std::make_unique<QFileDialog>(owner);
    Prepare(*dialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(filter);
    dialog->setDefaultSuffix(defaultSuffix);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    const QFileInfo start(initialFolder);
    if (!initialFolder.isEmpty() && start.isDir()) {
        dialog->setDirectory(start.absoluteFilePath());
    } else if (!initialFolder.isEmpty() && start.absoluteDir().exists()) {
        dialog->setDirectory(start.absolutePath());
    }
    if (!start.isDir() && start.suffix() == defaultSuffix) {
        dialog->selectFile(start.fileName());  // a suggested name, such as a report's
    }
    return dialog;
}

std::optional<QString> CQtFileChooser::OpenFile(QWidget* owner, const QString& title, const QString& initial,
                                                const QStringList& filters) {
    const auto dialog = MakeOpenDialog(owner, title, initial, filters);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QDir::toNativeSeparators(dialog->selectedFiles().front());
}

std::optional<QString> CQtFileChooser::SaveFile(QWidget* owner, const QString& initialFolder,
                                                const QString& filter, const QString& defaultSuffix) {
    const auto dialog = MakeSaveDialog(owner, initialFolder, filter, defaultSuffix);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QDir::toNativeSeparators(dialog->selectedFiles().front());
}

std::unique_ptr<CFileChooser> MakeFileChooser() {
    return std::make_unique<CQtFileChooser>();
}

}  // namespace veltrane
