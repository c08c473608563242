#include "app/MainSheet.h"

#include <algorithm>

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTabWidget>

#include "app/AboutDlg.h"
#include "app/AppIcon.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif
#ifdef Q_OS_MACOS
#include <QMenuBar>
#endif

namespace veltrane {

namespace {

QString AboutText() {
    return QStringLiteral("&About Veltrane...");
}

}  // namespace

CMainSheet::CMainSheet(QWidget* parent) : CPropertySheet(QStringLiteral("Veltrane"), parent) {
    setObjectName(QStringLiteral("mainSheet"));
    AddPage(&m_fileNames);
    AddPage(&m_versionNumber);
    AddPage(&m_checkPaths);
    AddPage(&m_listMaker);
    AddPage(&m_packageCheck);
    setWindowIcon(AppIcon());
    setAcceptDrops(true);

    m_about = new QAction(AboutText(), this);
    m_about->setObjectName(QStringLiteral("aboutAction"));
    m_about->setMenuRole(QAction::AboutRole);
    connect(m_about, &QAction::triggered, this, &CMainSheet::ShowAbout);
}

CMainSheet::~CMainSheet() {
    // The pages are members: take them out of the tab widget before they go, without the tab
    // changes that this makes counting as the user's (they would store the remembered path).
    const QSignalBlocker block(TabWidget());
    while (TabWidget()->count() > 0) {
        QWidget* page = TabWidget()->widget(0);
        TabWidget()->removeTab(0);
        page->setParent(nullptr);
    }
}

void CMainSheet::OnInitDialog() {
#ifdef Q_OS_WIN
    // The system menu of the window gets a separator and the About entry.
    if (HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE)) {
        const std::wstring text = AboutText().toStdWString();
        if (!text.empty()) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(menu, MF_STRING, kAboutCommand, text.c_str());
        }
    }
#elif defined(Q_OS_MACOS)
    auto* bar = new QMenuBar(this);
    bar->addMenu(QStringLiteral("Help"))->addAction(m_about);
#else
    // No system menu here: the same entry in the window's context menu.
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    addAction(separator);
    addAction(m_about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
#endif

    OkButton()->hide();
    QuitButton()->setText(QStringLiteral("Quit"));
    QuitButton()->setObjectName(QStringLiteral("quitButton"));
    QuitButton()->show();
    WidenForReports();
}

// A report line wraps only at its spaces, so a long path breaks in the middle when the results box
// is narrower than it. The longest path the installed sample package gives Package Check is 112
// characters (/usr/share/veltrane/examples/SamplePackage/Runtime/libraries/props/...).
void CMainSheet::WidenForReports() {
    const auto* page = dynamic_cast<const CPageFrame*>(GetActivePage());
    const QScreen* where = screen();
    if (page == nullptr || page->ResultsBox() == nullptr || where == nullptr) {
        return;
    }
    // Every page's results box spans the page, so the current one tells how much the sheet must grow.
    const QPlainTextEdit* results = page->ResultsBox();
    const int wanted =
        QFontMetrics(results->font()).horizontalAdvance(QString(kReportColumns, QLatin1Char('x')));
    const int widened =
        std::min(width() + wanted - results->viewport()->width(), where->availableGeometry().width());
    if (widened > width()) {
        resize(widened, height());
    }
}

void CMainSheet::SetStartPath(const QString& path) {
    m_fileNames.SetStartPath(path);
}

void CMainSheet::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    CPropertySheet::keyPressEvent(event);
}

void CMainSheet::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData() != nullptr && !CPageFrame::DroppedPath(*event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CMainSheet::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData() != nullptr && !CPageFrame::DroppedPath(*event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CMainSheet::dropEvent(QDropEvent* event) {
    auto* page = dynamic_cast<CPageFrame*>(GetActivePage());
    if (page != nullptr && event->mimeData() != nullptr && page->TakeDrop(*event->mimeData())) {
        event->acceptProposedAction();
    }
}

void CMainSheet::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}

#ifdef Q_OS_WIN
bool CMainSheet::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    const MSG* msg = static_cast<const MSG*>(message);
    if (eventType == "windows_generic_MSG" && msg->message == WM_SYSCOMMAND &&
        (msg->wParam & 0xFFF0) == kAboutCommand) {
        ShowAbout();
        *result = 0;
        return true;
    }
    return CPropertySheet::nativeEvent(eventType, message, result);
}
#endif

}  // namespace veltrane
