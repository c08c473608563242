#pragma once

#include "pages/CheckerPage.h"

namespace veltrane {

// The "File Names" page: reports file and folder names too long for the Mac file system.
class CFileNameCheck : public CCheckerPage {
    Q_OBJECT

public:
    explicit CFileNameCheck(QWidget* parent = nullptr);

protected:
    void OnBrowse() override;
    // A dropped file gives its folder.
    QString DroppedPathText(const QString& path) const override { return FolderOf(path); }
    void OnCheck() override;
};

}  // namespace veltrane
