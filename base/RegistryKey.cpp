#include "base/RegistryKey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>

namespace veltrane {

namespace {

#ifdef Q_OS_WIN
const char* const kParentKey = "HKEY_CURRENT_USER\\Software";
const char* const kKeyPath = "HKEY_CURRENT_USER\\Software\\Veltrane";

bool KeyExists() {
    QSettings parent(QString::fromLatin1(kParentKey), QSettings::NativeFormat);
    return parent.childGroups().contains(QStringLiteral("Veltrane"), Qt::CaseInsensitive);
}

std::unique_ptr<QSettings> MakeSettings() {
    return std::make_unique<QSettings>(QString::fromLatin1(kKeyPath), QSettings::NativeFormat);
}
#else
std::unique_ptr<QSettings> MakeSettings() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Veltrane"));
}

// The settings file stands for the key: it exists when the file does.
QString StoreFile() {
    return MakeSettings()->fileName();
}

bool KeyExists() {
    return QFileInfo(StoreFile()).isFile();
}
#endif

}  // namespace

QString CRegistryKey::DefaultLastPath() {
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\Program Files\\");
#else
    QString home = QDir::toNativeSeparators(QDir::homePath());
    if (!home.endsWith(QDir::separator())) {
        home += QDir::separator();
    }
    return home;
#endif
}

CRegistryKey::CRegistryKey() = default;

CRegistryKey::~CRegistryKey() {
    if (m_key) {
        Close();
    }
}

int32_t CRegistryKey::Attach() {
    auto key = MakeSettings();
    if (key->status() != QSettings::NoError || !key->isWritable()) {
        m_lastStatus = kAccessDenied;
        return m_lastStatus;
    }
    m_key = std::move(key);
    m_lastStatus = kSuccess;
    return m_lastStatus;
}

int32_t CRegistryKey::Open() {
    if (m_key) {
        Close();
    }
    if (!KeyExists()) {
        m_lastStatus = kFileNotFound;
        return m_lastStatus;
    }
    return Attach();
}

int32_t CRegistryKey::Create() {
    if (m_key) {
        Close();
    }
#ifndef Q_OS_WIN
    // Creating the key is creating the settings file, so that a failure shows here and not only
    // when the first value is written.
    const QString path = StoreFile();
    if (!QFileInfo(path).isFile()) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
            m_lastStatus = kAccessDenied;
            return m_lastStatus;
        }
    }
#endif
    return Attach();
}

int32_t CRegistryKey::Close() {
    if (!m_key) {
        m_lastStatus = kBadKey;
        return m_lastStatus;
    }
    m_key->sync();
    m_lastStatus = m_key->status() == QSettings::NoError ? kSuccess : kAccessDenied;
    m_key.reset();
    return m_lastStatus;
}

std::optional<QString> CRegistryKey::QueryString(const QString& name) const {
    if (!m_key) {
        return std::nullopt;
    }
    const QVariant value = m_key->value(name);
    if (!value.isValid() || value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString();
}

int32_t CRegistryKey::SetString(const QString& name, const QString& text) {
    if (!m_key) {
        return kBadKey;
    }
    m_key->setValue(name, text);
    return m_lastStatus;
}

}  // namespace veltrane
