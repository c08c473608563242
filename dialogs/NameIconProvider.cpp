#include "dialogs/NameIconProvider.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStyle>

namespace veltrane {

namespace {

// The icon of a kind, from the desktop's theme or, where it has none, from the style.
QIcon KindIcon(const QFileIconProvider& provider, QFileIconProvider::IconType kind,
               QStyle::StandardPixmap fallback) {
    QIcon icon = provider.QFileIconProvider::icon(kind);
    if (icon.isNull()) {
        icon = QApplication::style()->standardIcon(fallback);
    }
    return icon;
}

bool IsRoot(const QFileInfo& info) {
    return info.isRoot() || QDir::cleanPath(info.absoluteFilePath()) == QDir::rootPath();
}

}  // namespace

CNameIconProvider::CNameIconProvider()
    : m_folderIcon(KindIcon(*this, QFileIconProvider::Folder, QStyle::SP_DirIcon)),
      m_fileIcon(KindIcon(*this, QFileIconProvider::File, QStyle::SP_FileIcon)),
      m_driveIcon(KindIcon(*this, QFileIconProvider::Drive, QStyle::SP_DriveHDIcon)) {}

CNameIconProvider* CNameIconProvider::Shared() {
    static auto* const provider = new CNameIconProvider;  // never deleted: models may outlive main
    return provider;
}

QIcon CNameIconProvider::icon(const QFileInfo& info) const {
    if (IsRoot(info)) {
        return m_driveIcon;
    }
    return info.isDir() ? m_folderIcon : m_fileIcon;
}

QString CNameIconProvider::type(const QFileInfo& info) const {
    if (IsRoot(info)) {
        return QStringLiteral("Drive");
    }
    if (info.isDir()) {
        return QStringLiteral("Folder");
    }
    // By the name only: the database reads no content in this mode.
    static const QMimeDatabase database;
    const QMimeType mime = database.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    if (mime.isValid() && !mime.isDefault()) {
        return mime.comment().isEmpty() ? mime.name() : mime.comment();
    }
    const QString suffix = info.suffix();
    return suffix.isEmpty() ? QStringLiteral("File") : suffix.toUpper() + QStringLiteral(" File");
}

}  // namespace veltrane
