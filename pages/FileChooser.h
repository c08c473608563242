#pragma once

#include <memory>
#include <optional>

#include <QString>
#include <QStringList>

class QWidget;

namespace veltrane {

// The file dialogs of the pages: choosing a Poser file to check, and a file to save a list to.
class CFileChooser {
public:
    virtual ~CFileChooser() = default;

    // A modal open dialog owned by owner, titled title, starting at initial (a folder or a file),
    // offering filters ("Label (pattern)") with the first one selected. A typed name of a file
    // that does not exist is accepted. Returns the chosen file's full native path.
    virtual std::optional<QString> OpenFile(QWidget* owner, const QString& title, const QString& initial,
                                            const QStringList& filters) = 0;

    // A modal save dialog owned by owner with its own default title, starting in initialFolder (or at
    // a suggested file there, when it names one ending in defaultSuffix),
    // offering filter, adding defaultSuffix to a name typed without an extension and asking before
    // an existing file is replaced. Returns the chosen file's full native path.
    virtual std::optional<QString> SaveFile(QWidget* owner, const QString& initialFolder,
                                            const QString& filter, const QString& defaultSuffix) = 0;
};

// The program's file dialogs (QtFileChooser).
std::unique_ptr<CFileChooser> MakeFileChooser();

}  // namespace veltrane
