#pragma once

#include <memory>
#include <optional>

#include <QString>

class QWidget;

namespace veltrane {

// Lets the user choose a folder for a page's Browse button.
class CFolderChooser {
public:
    virtual ~CFolderChooser() = default;

    // Shows a modal folder chooser owned by owner, titled title, starting at initial (the path
    // box text, which may be empty, relative or name nothing). Returns the chosen folder ending
    // in the native separator, or nothing when the user cancelled.
    virtual std::optional<QString> ChooseFolder(QWidget* owner, const QString& title,
                                                const QString& initial) = 0;
};

// The program's folder chooser (FolderChooserFactory.cpp). Every page gets its chooser here
// unless one is handed to it.
std::unique_ptr<CFolderChooser> MakeFolderChooser();

}  // namespace veltrane
