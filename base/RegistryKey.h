#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <QString>

class QSettings;

namespace veltrane {

// The per-user store of the remembered path: on Windows the registry key
// HKEY_CURRENT_USER\Software\Veltrane, elsewhere the user's settings file of "Veltrane"
// (~/.config/Veltrane.conf on Linux). A key is opened and closed within one event.
//
// Open, Create and Close return 0 on success or a platform-style error code, which is also kept as
// the last status. The object closes an open key when it is destroyed.
class CRegistryKey {
public:
    static constexpr int32_t kSuccess = 0;
    static constexpr int32_t kFileNotFound = 2;  // the key does not exist
    static constexpr int32_t kAccessDenied = 5;  // the key exists but cannot be read and written
    static constexpr int32_t kBadKey = 1010;     // no key is open

    // The value that holds the remembered path.
    static QString LastPathValue() { return QStringLiteral("LastPath"); }
    // What a newly created key holds: "C:\Program Files\" on Windows, the home folder with a
    // trailing separator elsewhere.
    static QString DefaultLastPath();

    CRegistryKey();
    ~CRegistryKey();
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // Opens the existing key for reading and writing; closes an open key first.
    int32_t Open();
    // Creates the key (or opens it when it exists) for writing; closes an open key first.
    int32_t Create();
    // Writes pending changes out and closes the key; kBadKey when none is open.
    int32_t Close();

    // The string stored under name, or nothing when no key is open or the value is missing or not
    // a string.
    std::optional<QString> QueryString(const QString& name) const;
    // Stores text under name. kBadKey when no key is open, otherwise the last status.
    int32_t SetString(const QString& name, const QString& text);

private:
    // Takes the settings store as this key's, once it proved readable and writable.
    int32_t Attach();

    std::unique_ptr<QSettings> m_key;
    int32_t m_lastStatus = 0;
};

}  // namespace veltrane
