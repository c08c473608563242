#include "pages/GuiTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSettings>
#include <QStandardPaths>

#include "app/MainSheet.h"
#include "base/Notifier.h"
#include "pages/PageFrame.h"

namespace veltrane::test {

namespace {

// Lives as long as the test program: the private runtime and settings folders.
QTemporaryDir& PrivateFolder() {
    static QTemporaryDir dir;
    return dir;
}

}  // namespace

void PrepareGuiTestEnvironment() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("QTEST_FUNCTION_TIMEOUT")) {
        qputenv("QTEST_FUNCTION_TIMEOUT", "60000");
    }
    const QString root = PrivateFolder().path();
    const QString runtime = root + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    const QString config = root + QStringLiteral("/config");
    QDir().mkpath(config);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
}

QString SettingsFilePath() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Veltrane")).fileName();
}

#ifdef Q_OS_WIN
std::unique_ptr<QSettings> OpenStore() {
    return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\Veltrane"),
                                       QSettings::NativeFormat);
}

void ClearSettings() {
    QSettings(QStringLiteral("HKEY_CURRENT_USER\\Software"), QSettings::NativeFormat)
        .remove(QStringLiteral("Veltrane"));
}

bool StoreExists() {
    return QSettings(QStringLiteral("HKEY_CURRENT_USER\\Software"), QSettings::NativeFormat)
        .childGroups()
        .contains(QStringLiteral("Veltrane"), Qt::CaseInsensitive);
}
#else
std::unique_ptr<QSettings> OpenStore() {
    return std::make_unique<QSettings>(SettingsFilePath(), QSettings::IniFormat);
}

void ClearSettings() {
    const QString path = SettingsFilePath();
    const QFileInfo info(path);
    if (info.isDir()) {
        QDir(path).removeRecursively();
    } else {
        QFile::remove(path);
    }
}

bool StoreExists() {
    return QFileInfo(SettingsFilePath()).isFile();
}
#endif

void WriteStoredLastPath(const QString& text) {
    const auto settings = OpenStore();
    settings->setValue(QStringLiteral("LastPath"), text);
    settings->sync();
}

std::optional<QString> StoredLastPath() {
    if (!StoreExists()) {
        return std::nullopt;
    }
    const auto settings = OpenStore();
    const QVariant value = settings->value(QStringLiteral("LastPath"));
    if (!value.isValid()) {
        return std::nullopt;
    }
    return value.toString();
}

ScriptedBoxes::ScriptedBoxes() {
    CNotifier::SetHandler([this](QWidget* owner, const Notice& notice) {
        m_boxes.push_back(notice);
        m_owners.push_back(owner);
        if (m_onBox) {
            m_onBox(notice);
        }
        NoticeAnswer answer = NoticeAnswer::Ok;
        if (notice.buttons != NoticeButtons::Ok) {
            if (!m_answers.empty()) {
                answer = m_answers.front();
                m_answers.pop_front();
            } else {
                answer = notice.buttons == NoticeButtons::OkCancel ? NoticeAnswer::Cancel : NoticeAnswer::No;
            }
        }
        m_boxes.back().answer = notice.buttons == NoticeButtons::Ok ? NoticeAnswer::None : answer;
        return answer;
    });
}

ScriptedBoxes::~ScriptedBoxes() {
    CNotifier::SetHandler({});
}

void ScriptedBoxes::Clear() {
    m_boxes.clear();
    m_owners.clear();
    m_answers.clear();
}

QStringList ScriptedBoxes::Texts() const {
    QStringList texts;
    for (const Notice& box : m_boxes) {
        texts << QString::fromStdString(box.title + ": " + box.text);
    }
    return texts;
}

std::optional<QString> ChooserScript::Next() {
    if (answers.empty()) {
        return std::nullopt;
    }
    const bool chosen = answers.front().has_value();
    const QString value = chosen ? *answers.front() : QString();
    answers.pop_front();
    if (!chosen) {
        return std::nullopt;
    }
    return value;
}

std::optional<QString> ScriptedFolderChooser::ChooseFolder(QWidget* /*owner*/, const QString& title,
                                                           const QString& initial) {
    m_script->calls.push_back({QStringLiteral("folder"), title, initial, {}, {}});
    return m_script->Next();
}

std::optional<QString> ScriptedFileChooser::OpenFile(QWidget* /*owner*/, const QString& title,
                                                     const QString& initial, const QStringList& filters) {
    m_script->calls.push_back({QStringLiteral("open"), title, initial, filters, {}});
    return m_script->Next();
}

std::optional<QString> ScriptedFileChooser::SaveFile(QWidget* /*owner*/, const QString& initialFolder,
                                                     const QString& filter, const QString& defaultSuffix) {
    m_script->calls.push_back({QStringLiteral("save"), QString(), initialFolder, {filter}, defaultSuffix});
    return m_script->Next();
}

void UseScriptedDialogs(CPageFrame& page, const std::shared_ptr<ChooserScript>& script) {
    page.SetFolderChooser(std::make_unique<ScriptedFolderChooser>(script));
    page.SetFileChooser(std::make_unique<ScriptedFileChooser>(script));
}

ShownSheet ShowMainSheet() {
    ShownSheet shown{std::make_unique<CMainSheet>(), std::make_shared<ChooserScript>()};
    UseScriptedDialogs(shown.sheet->FileNamesPage(), shown.dialogs);
    UseScriptedDialogs(shown.sheet->VersionNumberPage(), shown.dialogs);
    UseScriptedDialogs(shown.sheet->CheckPathsPage(), shown.dialogs);
    UseScriptedDialogs(shown.sheet->ListMakerPage(), shown.dialogs);
    UseScriptedDialogs(shown.sheet->PackageCheckPage(), shown.dialogs);
    shown.sheet->show();
    if (!QTest::qWaitForWindowExposed(shown.sheet.get())) {
        qWarning("the main sheet was not exposed");
    }
    return shown;
}

TestFolder::TestFolder() = default;

QString TestFolder::Root() const {
    return QDir::toNativeSeparators(QFileInfo(m_dir.path()).canonicalFilePath());
}

QString TestFolder::Path(const QString& rel) const {
    if (rel.isEmpty()) {
        return Root();
    }
    return Root() + QDir::separator() + QDir::toNativeSeparators(rel);
}

QString TestFolder::WriteFile(const QString& rel, const QByteArray& bytes) const {
    const QString path = Path(rel);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        qWarning("cannot write %s", qPrintable(path));
    }
    return path;
}

QString TestFolder::MakeDir(const QString& rel) const {
    const QString path = Path(rel);
    QDir().mkpath(path);
    return path;
}

QByteArray TestFolder::ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

QString ResultsText(const CPageFrame& page) {
    return page.ResultsBox()->toPlainText();
}

QStringList CounterTexts(const CPageFrame& page) {
    return {page.FirstCounterBox()->text(), page.SecondCounterBox()->text()};
}

void TypePath(CPageFrame& page, const QString& text) {
    QLineEdit* box = page.PathBox();
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

}  // namespace veltrane::test
