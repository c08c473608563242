#include "dialogs/FolderDialog.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "base/Notifier.h"
#include "dialogs/FolderEdit.h"

namespace veltrane {

namespace fs = std::filesystem;

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToUtf8(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// Offset in the UTF-8 form of text of the character at index, and back.
size_t ByteOffset(const QString& text, int index) {
    return static_cast<size_t>(text.left(index).toUtf8().size());
}

int CharacterIndex(const QString& text, size_t offset) {
    const QByteArray bytes = text.toUtf8();
    const auto length = static_cast<qsizetype>(std::min(offset, static_cast<size_t>(bytes.size())));
    return static_cast<int>(QString::fromUtf8(bytes.left(length)).size());
}

// Runs an event handler so that no exception reaches Qt's event loop.
template <typename Handler>
void Guarded(QWidget* owner, Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        CNotifier::Show(owner, NoticeKind::Error, CNotifier::AppTitle(), QString::fromUtf8(e.what()));
    } catch (...) {
        CNotifier::Show(owner, NoticeKind::Error, CNotifier::AppTitle(), QStringLiteral("Unexpected error."));
    }
}

}  // namespace

const QString CFolderDialog::kDefaultFilter = QStringLiteral("Show Folders Only|.|All Files (*.*)|*.*||");

CFolderDialog::CFolderDialog(const QString& initialFolder, const QString& filter, QWidget* owner)
    : QDialog(owner), m_folder(initialFolder), m_rules(*this, m_fs) {
    setObjectName(QStringLiteral("folderDialog"));
    setWindowTitle(QStringLiteral("Select Folder"));
    setSizeGripEnabled(true);
    BuildControls();
    SetFilters(filter.isEmpty() ? kDefaultFilter : filter);
    m_box->setText(initialFolder);
    ShowPath(StartFolder(initialFolder));
}

CFolderDialog::~CFolderDialog() {
    // The model reads folders in a thread that uses m_icons: stop it before the members go.
    m_list->setModel(nullptr);
    delete m_model;
}

void CFolderDialog::SetTitle(const QString& title) {
    setWindowTitle(title);
}

void CFolderDialog::BuildControls() {
    auto* lookInLabel = new QLabel(QStringLiteral("Look in:"), this);
    m_lookIn = new QComboBox(this);
    m_lookIn->setObjectName(QStringLiteral("lookIn"));
    m_lookIn->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    lookInLabel->setBuddy(m_lookIn);

    m_upButton = new QToolButton(this);
    m_upButton->setObjectName(QStringLiteral("upButton"));
    m_upButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    m_upButton->setToolTip(QStringLiteral("Up One Level"));
    m_upButton->setAutoRaise(true);

    m_model = new QFileSystemModel(this);
    m_model->setReadOnly(true);
    m_model->setIconProvider(&m_icons);
    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("folderList"));
    m_list->setModel(m_model);
    m_list->setViewMode(QListView::ListMode);
    m_list->setFlow(QListView::TopToBottom);
    m_list->setWrapping(true);
    m_list->setResizeMode(QListView::Adjust);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->installEventFilter(this);

    auto* folderLabel = new QLabel(QStringLiteral("Folder:"), this);
    m_box = new CFolderEdit(this);
    folderLabel->setBuddy(m_box);
    m_select = new QPushButton(QStringLiteral("Select"), this);
    m_select->setObjectName(QStringLiteral("selectButton"));
    m_select->setDefault(true);

    auto* typeLabel = new QLabel(QStringLiteral("Files of type:"), this);
    m_filterBox = new QComboBox(this);
    m_filterBox->setObjectName(QStringLiteral("filterBox"));
    typeLabel->setBuddy(m_filterBox);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_cancel->setAutoDefault(false);

    auto* top = new QHBoxLayout;
    top->addWidget(lookInLabel);
    top->addWidget(m_lookIn, 1);
    top->addWidget(m_upButton);

    auto* bottom = new QGridLayout;
    bottom->addWidget(folderLabel, 0, 0);
    bottom->addWidget(m_box, 0, 1);
    bottom->addWidget(m_select, 0, 2);
    bottom->addWidget(typeLabel, 1, 0);
    bottom->addWidget(m_filterBox, 1, 1);
    bottom->addWidget(m_cancel, 1, 2);
    bottom->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_list, 1);
    layout->addLayout(bottom);

    // The folder box, then Select (Tab in the box goes there), then Cancel.
    setTabOrder(m_lookIn, m_upButton);
    setTabOrder(m_upButton, m_list);
    setTabOrder(m_list, m_box);
    setTabOrder(m_box, m_select);
    setTabOrder(m_select, m_cancel);
    setTabOrder(m_cancel, m_filterBox);

    // Queued: going there refills the combo box, which must not happen inside its own signal.
    connect(
        m_lookIn, &QComboBox::activated, this,
        [this](int index) { Guarded(this, [&] { ShowPath(m_lookIn->itemData(index).toString()); }); },
        Qt::QueuedConnection);
    connect(m_upButton, &QToolButton::clicked, this, [this] { Guarded(this, [&] { GoUp(); }); });
    connect(m_list, &QListView::activated, this,
            [this](const QModelIndex& index) { Guarded(this, [&] { ActivateEntry(index); }); });
    connect(m_box, &CFolderEdit::EnterPressed, this, [this] { Guarded(this, [&] { m_rules.Enter(); }); });
    connect(m_box, &CFolderEdit::CharacterProcessed, this,
            [this](bool backspace) { Guarded(this, [&] { m_rules.AfterCharacter(backspace); }); });
    connect(m_box, &CFolderEdit::DeleteProcessed, this,
            [this] { Guarded(this, [&] { m_rules.AfterDelete(); }); });
    connect(m_select, &QPushButton::clicked, this, [this] { Guarded(this, [&] { m_rules.Select(); }); });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_filterBox, &QComboBox::currentIndexChanged, this,
            [this](int index) { Guarded(this, [&] { ApplyFilter(index); }); });

    resize(560, 360);
}

void CFolderDialog::SetFilters(const QString& filter) {
    // "label|pattern|label|pattern||": pairs up to the first empty label.
    const QStringList parts = filter.split(QLatin1Char('|'));
    const QSignalBlocker blocker(m_filterBox);
    for (qsizetype i = 0; i + 1 < parts.size() && !parts[i].isEmpty(); i += 2) {
        m_patterns.push_back(parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts));
        m_filterBox->addItem(parts[i]);
    }
    m_filterBox->setCurrentIndex(0);
    ApplyFilter(0);
}

void CFolderDialog::ApplyFilter(int index) {
    const QDir::Filters folders = QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives;
    if (index < 0 || static_cast<size_t>(index) >= m_patterns.size()) {
        m_model->setFilter(folders);
        return;
    }
    QStringList names;
    for (QString pattern : m_patterns[static_cast<size_t>(index)]) {
        pattern = pattern.trimmed();
        if (pattern == QStringLiteral("*.*")) {
            pattern = QStringLiteral("*");  // every name, with a dot or not
        }
        if (!pattern.isEmpty() && pattern != QStringLiteral(".")) {  // "." matches no file
            names << pattern;
        }
    }
    if (names.isEmpty()) {
        m_model->setNameFilters({});
        m_model->setFilter(folders);
        return;
    }
    // Folders always show; the patterns choose among the files.
    m_model->setNameFilterDisables(false);
    m_model->setNameFilters(names);
    m_model->setFilter(folders | QDir::Files);
}

QString CFolderDialog::StartFolder(const QString& initialFolder) const {
    const std::string text = ToUtf8(initialFolder);
    if (!text.empty()) {
        std::error_code ec;
        fs::path path = fs::absolute(CNativeFolderFileSystem::PathFromUtf8(text), ec);
        if (!ec) {
            // The nearest existing folder at or above the text.
            path = path.lexically_normal();
            while (true) {
                if (fs::is_directory(path, ec)) {
                    return FromUtf8(CNativeFolderFileSystem::Utf8FromPath(path));
                }
                fs::path parent = path.parent_path();
                if (parent.empty() || parent == path) {
                    break;
                }
                path = std::move(parent);
            }
        }
    }
    return QDir::homePath();
}

void CFolderDialog::ShowPath(const QString& folder) {
    const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(folder));
    m_model->setRootPath(clean);
    m_list->setRootIndex(m_model->index(clean));
    m_list->setCurrentIndex(QModelIndex());

    m_folder = QDir::toNativeSeparators(clean);
    if (!m_folder.endsWith(QDir::separator())) {
        m_folder += QDir::separator();
    }
    m_fs.SetBaseFolder(ToUtf8(m_folder));

    // The folder and every folder above it, for going up several levels at once.
    m_lookIn->clear();
    QDir dir(clean);
    do {
        m_lookIn->addItem(QDir::toNativeSeparators(dir.absolutePath()), dir.absolutePath());
    } while (dir.cdUp());
    m_lookIn->setCurrentIndex(0);
    m_upButton->setEnabled(m_lookIn->count() > 1);

    m_box->setText(m_folder);
    m_box->end(false);
    m_box->setFocus(Qt::OtherFocusReason);
}

void CFolderDialog::GoUp() {
    QDir dir(QDir::cleanPath(QDir::fromNativeSeparators(m_folder)));
    if (dir.cdUp()) {
        ShowPath(dir.absolutePath());
    }
}

void CFolderDialog::ActivateEntry(const QModelIndex& index) {
    // A folder opens; a file never closes the picker.
    if (index.isValid() && m_model->isDir(index)) {
        ShowPath(m_model->filePath(index));
    }
}

void CFolderDialog::setVisible(bool visible) {
    QDialog::setVisible(visible);
    if (visible) {
        // The dialog has just handed the focus to the box as if by Tab, which selects everything.
        m_box->setFocus(Qt::OtherFocusReason);
        m_box->end(false);
    }
}

bool CFolderDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Opens the entry instead of pressing Select.
            Guarded(this, [&] { ActivateEntry(m_list->currentIndex()); });
            return true;
        }
        if (key == Qt::Key_Backspace) {
            Guarded(this, [&] { GoUp(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

std::string CFolderDialog::BoxText() const {
    return ToUtf8(m_box->text());
}

void CFolderDialog::SetBoxText(const std::string& text) {
    m_box->setText(FromUtf8(text));
}

size_t CFolderDialog::SelectionStart() const {
    const int start = m_box->hasSelectedText() ? m_box->selectionStart() : m_box->cursorPosition();
    return ByteOffset(m_box->text(), start);
}

size_t CFolderDialog::SelectionEnd() const {
    const int end = m_box->hasSelectedText() ? m_box->selectionEnd() : m_box->cursorPosition();
    return ByteOffset(m_box->text(), end);
}

size_t CFolderDialog::CaretPosition() const {
    return ByteOffset(m_box->text(), m_box->cursorPosition());
}

void CFolderDialog::SetSelection(size_t start, size_t end) {
    const QString text = m_box->text();
    const int from = CharacterIndex(text, start);
    const int to = CharacterIndex(text, end);
    if (from == to) {
        m_box->setCursorPosition(to);
    } else {
        m_box->setSelection(from, to - from);  // the caret ends at to
    }
}

std::string CFolderDialog::ShownFolder() const {
    return ToUtf8(m_folder);
}

bool CFolderDialog::ShowFolder(const std::string& text) {
    if (text.empty()) {
        return false;
    }
    const fs::path target = m_fs.Resolve(text);
    std::error_code ec;
    if (!fs::is_directory(target, ec)) {
        return false;
    }
    ShowPath(FromUtf8(CNativeFolderFileSystem::Utf8FromPath(target.lexically_normal())));
    return true;
}

void CFolderDialog::ShowMessage(const std::string& text) {
    CNotifier::Show(this, NoticeKind::Warning, CNotifier::AppTitle(), FromUtf8(text), NoticeButtons::Ok);
}

bool CFolderDialog::AskYesNo(const std::string& text) {
    return CNotifier::Show(this, NoticeKind::Warning, CNotifier::AppTitle(), FromUtf8(text),
                           NoticeButtons::YesNo) == NoticeAnswer::Yes;
}

void CFolderDialog::FocusFolderBox() {
    m_box->setFocus(Qt::OtherFocusReason);
}

void CFolderDialog::AcceptDialog() {
    accept();
}

}  // namespace veltrane
