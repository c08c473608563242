#include "base/PropertySheet.h"

#include <QDialogButtonBox>
#include <QIcon>
#include <QKeyEvent>
#include <QPushButton>
#include <QShowEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "base/PropertyPage.h"

namespace veltrane {

CPropertySheet::CPropertySheet(const QString& title, QWidget* parent)
    : QDialog(parent),
      m_tabs(new QTabWidget(this)),
      m_buttons(new QDialogButtonBox(this)),
      m_ok(m_buttons->addButton(QDialogButtonBox::Ok)),
      m_cancel(m_buttons->addButton(QDialogButtonBox::Cancel)) {
    setWindowTitle(title);
    // A dialog without a parent still gets the minimise button of a main window.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    // Enter belongs to the default button of the current page, never to these two.
    // Every tab caption shows whole; the sheet is as wide as its tabs need.
    m_tabs->setUsesScrollButtons(false);
    m_ok->setIcon(QIcon());
    m_cancel->setIcon(QIcon());
    m_ok->setAutoDefault(false);
    m_cancel->setAutoDefault(false);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs, 1);
    layout->addWidget(m_buttons);

    connect(m_tabs, &QTabWidget::currentChanged, this, &CPropertySheet::OnCurrentChanged);
}

CPropertySheet::~CPropertySheet() = default;

void CPropertySheet::AddPage(CPropertyPage* page) {
    m_pages.push_back(page);
    // Adding the first tab makes it current; activation waits until the sheet is shown.
    const QSignalBlocker block(m_tabs);
    m_tabs->addTab(page, page->Caption());
}

int CPropertySheet::GetPageCount() const {
    return static_cast<int>(m_pages.size());
}

CPropertyPage* CPropertySheet::GetPage(int index) const {
    if (index < 0 || index >= GetPageCount()) {
        return nullptr;
    }
    return m_pages[static_cast<size_t>(index)];
}

CPropertyPage* CPropertySheet::GetActivePage() const {
    return GetPage(m_tabs->currentIndex());
}

int CPropertySheet::GetActiveIndex() const {
    return m_tabs->currentIndex();
}

void CPropertySheet::SetActivePage(int index) {
    m_tabs->setCurrentIndex(index);
}

void CPropertySheet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_shown || event->spontaneous()) {
        return;
    }
    m_shown = true;
    OnInitDialog();
    m_active = m_tabs->currentIndex();
    ActivatePage(GetPage(m_active));
}

void CPropertySheet::OnCurrentChanged(int index) {
    if (!m_shown || index == m_active) {
        return;
    }
    // The page left stores its state before the new page loads it.
    if (CPropertyPage* left = GetPage(m_active)) {
        left->Deactivate();
    }
    m_active = index;
    ActivatePage(GetPage(index));
}

void CPropertySheet::ActivatePage(CPropertyPage* page) {
    if (page == nullptr) {
        return;
    }
    page->Activate();
    // One dialog keeps one default button: the pages' buttons take turns, or Enter on a page
    // would go to a button of a page that was current before.
    if (QPushButton* button = page->DefaultButton()) {
        button->setDefault(true);
    }
    if (QWidget* first = page->InitialFocus(); first != nullptr && !m_tabs->tabBar()->hasFocus()) {
        first->setFocus(Qt::TabFocusReason);
    }
}

QList<QWidget*> CPropertySheet::TabCycle() const {
    QList<QWidget*> cycle;
    if (const CPropertyPage* page = GetActivePage()) {
        cycle = page->FocusOrder();
    }
    if (cycle.isEmpty()) {
        return cycle;
    }
    cycle << m_tabs->tabBar() << m_ok << m_cancel;
    QList<QWidget*> usable;
    for (QWidget* widget : cycle) {
        if (widget->isVisible() && widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus)) {
            usable << widget;
        }
    }
    return usable;
}

void CPropertySheet::keyPressEvent(QKeyEvent* event) {
    const int count = m_tabs->count();
    if (count > 0 && (event->modifiers() & Qt::ControlModifier)) {
        int step = 0;
        if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_PageDown) {
            step = (event->modifiers() & Qt::ShiftModifier) ? -1 : 1;
        } else if (event->key() == Qt::Key_Backtab || event->key() == Qt::Key_PageUp) {
            step = -1;
        }
        if (step != 0) {
            m_tabs->setCurrentIndex((m_tabs->currentIndex() + step + count) % count);
            event->accept();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

bool CPropertySheet::focusNextPrevChild(bool next) {
    // The toolkit's own chain passes through the tab widget, whose focus goes on to the tab bar,
    // and so never leaves the tab bar: the sheet walks its own cycle instead.
    const QList<QWidget*> cycle = TabCycle();
    if (cycle.isEmpty()) {
        return QDialog::focusNextPrevChild(next);
    }
    const QWidget* focus = focusWidget();
    qsizetype at = -1;
    for (qsizetype i = 0; i < cycle.size() && at < 0; ++i) {
        if (cycle[i] == focus || (focus != nullptr && cycle[i]->isAncestorOf(focus))) {
            at = i;
        }
    }
    const qsizetype count = cycle.size();
    const qsizetype to = at < 0 ? (next ? 0 : count - 1) : (at + (next ? 1 : count - 1)) % count;
    cycle[to]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

}  // namespace veltrane
