#include "pages/PackageCheck.h"

#include <algorithm>
#include <string>
#include <vector>

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "base/RegistryKey.h"
#include "checks/PackageCheck.h"
#include "checks/ReportHtml.h"
#include "pages/FileChooser.h"
#include "pages/FolderChooser.h"
#include "pages/GuiRunContext.h"

namespace veltrane {

CPackageCheck::CPackageCheck(QWidget* parent) : CPageFrame(QStringLiteral("  Package Check  "), parent) {
    setObjectName(QStringLiteral("packageCheckPage"));
    QLabel* banner = CreateBanner(QStringLiteral(
        "Check that a package holds every file its Poser files refer to\nand that its paths load on "
        "Windows and Mac."));
    QGroupBox* pathGroup = CreatePathGroup();

    auto* runtimeGroup = new QGroupBox(QStringLiteral("Also look in:"), this);
    m_runtimeBox = new QLineEdit(runtimeGroup);
    m_runtimeBox->setObjectName(QStringLiteral("runtimeBox"));
    m_runtimeBox->setPlaceholderText(QStringLiteral("a Poser installation the package relies on (optional)"));
    m_runtimeBrowse = new QPushButton(QStringLiteral("B&rowse..."), runtimeGroup);
    m_runtimeBrowse->setObjectName(QStringLiteral("runtimeBrowseButton"));
    m_runtimeBrowse->setAutoDefault(false);
    auto* runtimeRow = new QHBoxLayout(runtimeGroup);
    runtimeRow->addWidget(m_runtimeBox, 1);
    runtimeRow->addWidget(m_runtimeBrowse);

    // The page has no modes: the button stands on its own beside the counters, in no frame.
    m_check = new QPushButton(QStringLiteral("&Check!"), this);
    m_check->setObjectName(QStringLiteral("checkButton"));
    m_check->setDefault(true);
    m_check->setEnabled(false);
    m_fix = new QPushButton(QStringLiteral("&Fix References..."), this);
    m_fix->setObjectName(QStringLiteral("fixReferencesButton"));
    m_fix->setAutoDefault(false);
    m_fix->setEnabled(false);
    m_saveReport = new QPushButton(QStringLiteral("Save &Report..."), this);
    m_saveReport->setObjectName(QStringLiteral("saveReportButton"));
    m_saveReport->setAutoDefault(false);
    m_saveReport->setEnabled(false);
    auto* checkRow = new QVBoxLayout;
    checkRow->addStretch(1);
    checkRow->addWidget(m_check, 0, Qt::AlignHCenter);
    checkRow->addWidget(m_fix, 0, Qt::AlignHCenter);
    checkRow->addWidget(m_saveReport, 0, Qt::AlignHCenter);
    checkRow->addStretch(1);

    auto* statistics = new QGroupBox(QStringLiteral("Statistics:"), this);
    auto* label1 = new QLabel(QString::fromUtf8(kPackageFilesLabel), statistics);
    CreateCounterBoxes(6);
    auto* label2 = new QLabel(QString::fromUtf8(kPackageProblemsLabel), statistics);
    FirstCounterBox()->setParent(statistics);
    SecondCounterBox()->setParent(statistics);
    label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* grid = new QGridLayout(statistics);
    grid->setColumnStretch(0, 1);
    grid->addWidget(label1, 0, 0);
    grid->addWidget(FirstCounterBox(), 0, 1);
    grid->addWidget(label2, 1, 0);
    grid->addWidget(SecondCounterBox(), 1, 1);

    auto* resultsGroup = new QGroupBox(QStringLiteral("Results:"), this);
    QPlainTextEdit* results = CreateResultsBox(false);
    results->setParent(resultsGroup);
    auto* resultsLayout = new QVBoxLayout(resultsGroup);
    resultsLayout->addWidget(results);

    auto* middle = new QHBoxLayout;
    middle->addLayout(checkRow, 1);
    middle->addWidget(statistics, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(banner);
    layout->addWidget(pathGroup);
    layout->addWidget(runtimeGroup);
    layout->addLayout(middle);
    layout->addWidget(resultsGroup, 1);

    SetFocusOrder({PathBox(), BrowseButton(), m_runtimeBox, m_runtimeBrowse, m_check, m_fix, m_saveReport,
                   FirstCounterBox(), SecondCounterBox(), results});

    // A new folder to look in makes the shown result stale, as a new path does.
    connect(m_runtimeBox, &QLineEdit::textEdited, this, [this] { OnPathChanged(); });
    connect(m_runtimeBrowse, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { OnBrowseRuntime(); }); });
    connect(m_check, &QPushButton::clicked, this, [this] { RunGuarded([this] { OnCheck(); }); });
    connect(m_fix, &QPushButton::clicked, this, [this] { RunGuarded([this] { OnFix(); }); });
    connect(m_saveReport, &QPushButton::clicked, this, [this] { RunGuarded([this] { OnSaveReport(); }); });
}

CPackageCheck::~CPackageCheck() = default;

void CPackageCheck::OnInitDialog() {
    m_counter1 = 0;
    m_counter2 = 0;
    RefreshCounters();
    m_check->setEnabled(false);
    m_fix->setEnabled(false);
    m_lastRun.reset();
    m_saveReport->setEnabled(false);
    ClearResults();
}

void CPackageCheck::OnSetActive() {
    // The folder first: loading the path resets the page, which must then show the loaded folder.
    CRegistryKey key;
    if (key.Open() == CRegistryKey::kSuccess) {
        if (const auto stored = key.QueryString(LastRuntimeValue())) {
            m_runtimeBox->setText(*stored);
        }
    }
    key.Close();
    CPageFrame::OnSetActive();
}

void CPackageCheck::OnKillActive() {
    CPageFrame::OnKillActive();
    CRegistryKey key;
    if (key.Open() == CRegistryKey::kSuccess) {
        key.SetString(LastRuntimeValue(), m_runtimeBox->text());
    }
    key.Close();
}

QLineEdit* CPackageCheck::DropTarget(QObject* watched) const {
    return watched == m_runtimeBox ? m_runtimeBox : CPageFrame::DropTarget(watched);
}

void CPackageCheck::OnPathChanged() {
    Reset();
    m_saveReport->setEnabled(false);  // the shown result, and so its report, is gone
    m_check->setEnabled(!PathBox()->text().isEmpty());
    m_fix->setEnabled(false);  // the shown result, and with it the fix, is stale
    m_lastRun.reset();
}

void CPackageCheck::OnBrowse() {
    if (BrowseForFolderOrArchive(QStringLiteral("Select Package Folder to check"),
                                 QStringLiteral("Select Package Archive to check"))) {
        m_check->setEnabled(true);
    }
}

void CPackageCheck::OnBrowseRuntime() {
    const auto chosen = FolderChooser().ChooseFolder(
        this, QStringLiteral("Select a Poser Runtime to also look in"), m_runtimeBox->text());
    if (chosen) {
        m_runtimeBox->setText(*chosen);
        OnPathChanged();
    }
}

void CPackageCheck::OnCheck() {
    m_counter1 = 0;
    m_counter2 = 0;
    std::vector<std::string> runtimes;
    const QString runtime = m_runtimeBox->text().trimmed();
    if (!runtime.isEmpty()) {
        runtimes.push_back(ToNativePath(runtime));
    }
    PackageCheckRun run;
    {
        const auto ctx = MakeRunContext();
        run = RunPackageCheck(ToNativePath(PathBox()->text()), runtimes, *ctx);
    }
    if (run.disableCheckButton) {
        m_check->setEnabled(false);
    }
    if (!run.refreshCounters) {
        return;  // stopped at an error box: results and counters stay as they were
    }
    m_counter1 = run.filesChecked;
    m_counter2 = run.problemsFound;
    ShowReport(run.report);
    RefreshCounters();
    // Offered when a reference finding has a rewrite; an archive's files get the box that says why not.
    const bool fixable =
        !run.cancelled && std::any_of(run.rewrites.begin(), run.rewrites.end(), [](const auto& file) {
            return std::any_of(file.byReference.begin(), file.byReference.end(),
                               [](const auto& entry) { return !entry.second.value.empty(); });
        });
    m_lastPath = PathBox()->text();
    m_reportPath = ToNativePath(m_lastPath);
    m_reportRun = run;
    m_reportTime = ReportTimeNow();
    m_saveReport->setEnabled(true);
    m_lastRun = fixable ? std::make_unique<PackageCheckRun>(std::move(run)) : nullptr;
    m_fix->setEnabled(fixable);
}

void CPackageCheck::OnFix() {
    if (!m_lastRun) {
        return;
    }
    m_fix->setEnabled(false);  // once per check: what it found has now been dealt with
    std::unique_ptr<PackageCheckRun> run = std::move(m_lastRun);
    ReferenceFixRun fix;
    {
        const auto ctx = MakeRunContext();
        fix = RunReferenceFix(*run, ToNativePath(m_lastPath), false, *ctx);
    }
    if (fix.asked && !fix.ran) {
        m_lastRun = std::move(run);  // Cancel: the fix stays on offer
        m_fix->setEnabled(true);
        return;
    }
    ShowReport(run->report);
    m_reportRun = std::move(*run);  // a report saved now says what the fix did
}

void CPackageCheck::OnSaveReport() {
    // Beside the package, named after it.
    const QString package = QString::fromStdString(m_reportPath);
    const QString suggested = QDir(QFileInfo(package).absolutePath())
                                  .filePath(QString::fromStdString(HtmlReportName(m_reportPath)));
    const auto chosen = FileChooser().SaveFile(this, QDir::toNativeSeparators(suggested),
                                               QStringLiteral("HTML pages (*.html)"), QStringLiteral("html"));
    if (!chosen) {
        return;
    }
    const auto ctx = MakeRunContext();
    if (!SaveHtmlReport(ToNativePath(*chosen), PackageHtmlReport(m_reportPath, m_reportRun, m_reportTime),
                        *ctx)) {
        return;
    }
    if (ctx->Notify(NoticeKind::Question, "Save Report", "The report is saved. Open it in the browser?",
                    NoticeButtons::YesNo) == NoticeAnswer::Yes) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(*chosen));
    }
}

}  // namespace veltrane
