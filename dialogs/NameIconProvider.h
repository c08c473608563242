#pragma once

#include <QFileIconProvider>
#include <QIcon>

namespace veltrane {

// Icons and type names for the file models of the program's dialogs, decided by a file's name
// and attributes alone. It never opens a file: the toolkit's own provider sniffs contents, and a
// read of some files (such as /proc/kmsg, readable by root) blocks for ever. The models ask from
// their reading thread, so the icons are made beforehand, in the window's thread.
class CNameIconProvider final : public QFileIconProvider {
public:
    CNameIconProvider();

    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;
    using QFileIconProvider::icon;

    // One provider for every dialog of the program, made at the first call (in the window's
    // thread) and kept until the program ends.
    static CNameIconProvider* Shared();

private:
    QIcon m_folderIcon;
    QIcon m_fileIcon;
    QIcon m_driveIcon;
};

}  // namespace veltrane
