#include "pages/PageFrame.h"

#include <exception>

#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QUrl>

#include "base/Notifier.h"
#include "base/RegistryKey.h"
#include "fs/text/ControlEscape.h"
#include "fs/tree/ArchiveSource.h"
#include "pages/FileChooser.h"
#include "pages/FolderChooser.h"
#include "pages/GuiRunContext.h"

namespace veltrane {

CPageFrame::CPageFrame(const QString& caption, QWidget* parent) : CPropertyPage(caption, parent) {
    setAcceptDrops(true);
}

CPageFrame::~CPageFrame() = default;

void CPageFrame::SetFolderChooser(std::unique_ptr<CFolderChooser> chooser) {
    m_folderChooser = std::move(chooser);
}

void CPageFrame::SetFileChooser(std::unique_ptr<CFileChooser> chooser) {
    m_fileChooser = std::move(chooser);
}

QString CPageFrame::DisplayText(std::string_view report) {
    // A name's control characters are shown escaped, never interpreted.
    const std::string shown = EscapeControls(report);
    QString text = QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

std::string CPageFrame::ToNativePath(const QString& text) {
    return text.toStdString();
}

QLabel* CPageFrame::CreateBanner(const QString& text) {
    auto* banner = new QLabel(text, this);
    banner->setAlignment(Qt::AlignCenter);
    banner->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    banner->setContentsMargins(4, 3, 4, 3);
    return banner;
}

QGroupBox* CPageFrame::CreatePathGroup() {
    auto* group = new QGroupBox(QStringLiteral("Path:"), this);
    m_pathBox = new QLineEdit(group);
    m_pathBox->setObjectName(QStringLiteral("pathBox"));
    m_browse = new QPushButton(QStringLiteral("&Browse..."), group);
    m_browse->setObjectName(QStringLiteral("browseButton"));
    m_browse->setAutoDefault(false);
    auto* row = new QHBoxLayout(group);
    row->addWidget(m_pathBox, 1);
    row->addWidget(m_browse);
    connect(m_pathBox, &QLineEdit::textChanged, this, &CPageFrame::HandlePathEdited);
    connect(m_browse, &QPushButton::clicked, this, [this] { RunGuarded([this] { OnBrowse(); }); });
    return group;
}

void CPageFrame::CreateCounterBoxes(int digitsWidth) {
    const auto make = [this, digitsWidth](const char* name) {
        auto* box = new QLineEdit(QStringLiteral("0"), this);
        box->setObjectName(QString::fromLatin1(name));
        box->setReadOnly(true);
        box->setAlignment(Qt::AlignCenter);
        const QFontMetrics metrics(box->font());
        box->setFixedWidth(metrics.horizontalAdvance(QString(digitsWidth, QLatin1Char('0'))) + 14);
        return box;
    };
    m_counterBox1 = make("firstCounter");
    m_counterBox2 = make("secondCounter");
}

QPlainTextEdit* CPageFrame::CreateResultsBox(bool readOnly) {
    m_results = new QPlainTextEdit(this);
    m_results->setObjectName(QStringLiteral("resultsBox"));
    m_results->setReadOnly(readOnly);
    m_results->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_results->setTabChangesFocus(true);
    return m_results;
}

QWidget* CPageFrame::InitialFocus() const {
    return m_pathBox;
}

void CPageFrame::SetFocusOrder(const QList<QWidget*>& order) {
    m_focusOrder = order;
    for (qsizetype i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

QString CPageFrame::DroppedPath(const QMimeData& data) {
    if (!data.hasUrls()) {
        return {};
    }
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) {
            return QDir::toNativeSeparators(url.toLocalFile());
        }
    }
    return {};
}

QString CPageFrame::FolderOf(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir()) {
        return path;
    }
    return QDir::toNativeSeparators(info.absolutePath());
}

QLineEdit* CPageFrame::DropTarget(QObject* /*watched*/) const {
    return m_pathBox;
}

bool CPageFrame::TakeDrop(const QMimeData& data) {
    return TakeDropAt(nullptr, data);
}

bool CPageFrame::TakeDropAt(QObject* watched, const QMimeData& data) {
    const QString path = DroppedPath(data);
    if (path.isEmpty()) {
        return false;
    }
    QLineEdit* target = DropTarget(watched);
    const QString text = DroppedPathText(path);
    target->setFocus(Qt::OtherFocusReason);
    if (target == m_pathBox) {
        SetPathText(text);
        OnPathArrived(path);
    } else {
        target->setText(text);
        OnPathChanged();
    }
    return true;
}

void CPageFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData() != nullptr && !DroppedPath(*event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CPageFrame::dropEvent(QDropEvent* event) {
    if (event->mimeData() != nullptr && TakeDrop(*event->mimeData())) {
        event->acceptProposedAction();
    }
}

bool CPageFrame::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            // The boxes take dropped text themselves; a dropped file or folder is the page's.
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (drag->mimeData() != nullptr && !DroppedPath(*drag->mimeData()).isEmpty()) {
                drag->acceptProposedAction();
                return true;
            }
            break;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (drop->mimeData() != nullptr && TakeDropAt(watched, *drop->mimeData())) {
                drop->acceptProposedAction();
                return true;
            }
            break;
        }
        case QEvent::MouseButtonDblClick:
            if (m_results != nullptr && watched == m_results->viewport()) {
                const auto* click = static_cast<QMouseEvent*>(event);
                const QString line = m_results->cursorForPosition(click->position().toPoint()).block().text();
                RunGuarded([this, &line] { ShowInFileManager(line); });
            }
            break;  // the box selects the word as usual
        default:
            break;
    }
    return CPropertyPage::eventFilter(watched, event);
}

QString CPageFrame::PathInReportLine(const QString& line) {
    QStringList candidates{line.trimmed()};
    for (const QString& separator : {QStringLiteral(", line "), QStringLiteral(": ")}) {
        const qsizetype at = line.indexOf(separator);
        if (at > 0) {
            candidates << line.left(at).trimmed();
        }
    }
    for (const QString& candidate : candidates) {
        const QFileInfo info(candidate);
        if (!candidate.isEmpty() && info.isAbsolute() && info.exists()) {
            return candidate;
        }
    }
    return {};
}

void CPageFrame::ShowInFileManager(const QString& line) {
    const QString path = PathInReportLine(line);
    if (!path.isEmpty()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(FolderOf(path)));
    }
}

void CPageFrame::OnSetActive() {
    if (!m_dropFiltersInstalled) {
        // Every box of the page, and the results box's viewport for double-clicks.
        m_dropFiltersInstalled = true;
        for (QWidget* child : findChildren<QWidget*>()) {
            if (child->acceptDrops() || (m_results != nullptr && child == m_results->viewport())) {
                child->installEventFilter(this);
            }
        }
    }
    LoadLastPath();
}

void CPageFrame::OnKillActive() {
    StoreLastPath();
}

void CPageFrame::LoadLastPath() {
    CRegistryKey key;
    if (key.Open() == CRegistryKey::kSuccess) {
        // A value that cannot be read leaves the page path as it was.
        if (const auto stored = key.QueryString(CRegistryKey::LastPathValue())) {
            m_pagePath = *stored;
        }
    } else if (key.Create() != CRegistryKey::kSuccess) {
        CNotifier::Show(this, NoticeKind::Error, QStringLiteral("ERROR"),
                        QStringLiteral("Unable to retrieve last path..."));
    } else {
        // The default shows only at a later load.
        key.SetString(CRegistryKey::LastPathValue(), CRegistryKey::DefaultLastPath());
    }
    key.Close();
    std::optional<QString> startPath;
    startPath.swap(m_startPath);
    if (startPath) {
        m_pagePath = *startPath;
    }
    SetPathText(m_pagePath);
    if (startPath) {
        OnPathArrived(*startPath);
    }
}

void CPageFrame::StoreLastPath() {
    CRegistryKey key;
    if (key.Open() == CRegistryKey::kSuccess) {
        key.SetString(CRegistryKey::LastPathValue(), m_pagePath);
    }
    key.Close();
}

void CPageFrame::SetPathText(const QString& text) {
    if (m_pathBox->text() == text) {
        HandlePathEdited();
    } else {
        m_pathBox->setText(text);
    }
}

void CPageFrame::HandlePathEdited() {
    m_pagePath = m_pathBox->text();
    OnPathChanged();
}

bool CPageFrame::BrowseForFolder(const QString& title) {
    const auto chosen = FolderChooser().ChooseFolder(this, title, PathBox()->text());
    if (!chosen) {
        return false;
    }
    SetPathText(*chosen);
    Reset();
    return true;
}

bool CPageFrame::BrowseForFolderOrArchive(const QString& title, const QString& archiveTitle) {
    ArchivePath inArchive;
    if (!SplitArchivePath(ToNativePath(PathBox()->text()), inArchive)) {
        return BrowseForFolder(title);
    }
    const auto chosen = FileChooser().OpenFile(
        this, archiveTitle, PathBox()->text(),
        {QStringLiteral("Archives (*.zip *.7z *.tar.gz)"), QStringLiteral("All files (*)")});
    if (!chosen) {
        return false;
    }
    SetPathText(*chosen);
    Reset();
    return true;
}

void CPageFrame::Reset() {
    m_counter1 = 0;
    m_counter2 = 0;
    ClearResults();
    RefreshCounters();
}

void CPageFrame::RefreshCounters() {
    m_counterBox1->setText(QString::number(m_counter1));
    m_counterBox2->setText(QString::number(m_counter2));
    if (m_counterBox1->isVisible()) {
        m_counterBox1->repaint();
        m_counterBox2->repaint();
    }
}

void CPageFrame::ShowReport(std::string_view report) {
    m_results->setPlainText(DisplayText(report));
    if (m_results->isVisible()) {
        m_results->viewport()->repaint();
    }
}

void CPageFrame::ClearResults() {
    m_results->clear();
}

CFolderChooser& CPageFrame::FolderChooser() {
    if (!m_folderChooser) {
        m_folderChooser = MakeFolderChooser();
    }
    return *m_folderChooser;
}

CFileChooser& CPageFrame::FileChooser() {
    if (!m_fileChooser) {
        m_fileChooser = MakeFileChooser();
    }
    return *m_fileChooser;
}

void CPageFrame::RunGuarded(const std::function<void()>& action) {
    QString failure;
    try {
        action();
        return;
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    } catch (...) {
    }
    QString text = QStringLiteral("An unknown error occurred while accessing %1.").arg(PathBox()->text());
    if (!failure.isEmpty()) {
        text += QStringLiteral("\n\n") + failure;
    }
    CNotifier::Show(this, NoticeKind::Error, CNotifier::AppTitle(), text);
}

std::unique_ptr<CGuiRunContext> CPageFrame::MakeRunContext() {
    return std::make_unique<CGuiRunContext>(this, [this](int32_t first, int32_t second) {
        m_counter1 = first;
        m_counter2 = second;
        RefreshCounters();
    });
}

}  // namespace veltrane
