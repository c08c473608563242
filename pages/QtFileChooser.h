#pragma once

#include <memory>

#include "pages/FileChooser.h"

class QFileDialog;

namespace veltrane {

// CFileChooser on QFileDialog. A filter whose pattern is "*.*" lists every file, names without a
// dot included, as the scanner's own "*.*" does.
class CQtFileChooser final : public CFileChooser {
public:
    std::optional<QString> OpenFile(QWidget* owner, const QString& title, const QString& initial,
                                    const QStringList& filters) override;
    std::optional<QString> SaveFile(QWidget* owner, const QString& initialFolder, const QString& filter,
                                    const QString& defaultSuffix) override;

    // The dialogs as OpenFile and SaveFile set them up, not yet shown.
    static std::unique_ptr<QFileDialog> MakeOpenDialog(QWidget* owner, const QString& title,
                                                       const QString& initial, const QStringList& filters);
    static std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget* owner, const QString& initialFolder,
                                                       const QString& filter, const QString& defaultSuffix);
};

}  // namespace veltrane
