#include "pages/PageFrame.h"

#include <exception>

#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "base/Notifier.h"
#include "base/RegistryKey.h"
#include "pages/FileChooser.h"
#include "pages/FolderChooser.h"
#include "pages/GuiRunContext.h"

namespace veltrane {

CPageFrame::CPageFrame(const QString& caption, QWidget* parent) : CPropertyPage(caption, parent) {}

CPageFrame::~CPageFrame() = default;

void CPageFrame::SetFolderChooser(std::unique_ptr<CFolderChooser> chooser) {
    m_folderChooser = std::move(chooser);
}

void CPageFrame::SetFileChooser(std::unique_ptr<CFileChooser> chooser) {
    m_fileChooser = std::move(chooser);
}

QString CPageFrame::DisplayText(std::string_view report) {
    QString text = QString::fromUtf8(report.data(), static_cast<qsizetype>(report.size()));
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

void CPageFrame::OnSetActive() {
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
    SetPathText(m_pagePath);
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
