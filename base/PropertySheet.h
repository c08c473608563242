#pragma once

#include <vector>

#include <QDialog>

class QDialogButtonBox;
class QPushButton;
class QTabWidget;

namespace veltrane {

class CPropertyPage;

// A tabbed dialog: one tab per page, with OK and Cancel buttons under the tabs. Changing tabs
// deactivates the page left, then activates the page chosen; showing the sheet activates the
// current page. Cancel and the window's close command end the dialog without asking any page.
// Keyboard: the current page's default button is the dialog's; its initial control takes the
// focus when it becomes current; Tab runs through the page's controls, the tab bar and the
// visible buttons, and round again.
class CPropertySheet : public QDialog {
    Q_OBJECT

public:
    explicit CPropertySheet(const QString& title, QWidget* parent = nullptr);
    ~CPropertySheet() override;

    // Adds page as the next tab, captioned with the page's caption.
    void AddPage(CPropertyPage* page);

    int GetPageCount() const;
    CPropertyPage* GetPage(int index) const;
    CPropertyPage* GetActivePage() const;
    int GetActiveIndex() const;
    // Makes the page at index the current tab (with the same deactivate/activate steps as a click).
    void SetActivePage(int index);

    QTabWidget* TabWidget() const { return m_tabs; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

protected:
    // Runs once, when the sheet is first shown, before the first page is activated.
    virtual void OnInitDialog() {}

    void showEvent(QShowEvent* event) override;
    // Ctrl+Tab and Ctrl+Page Down go to the next tab, with Shift or Page Up to the one before,
    // wherever the focus is (the tab widget itself sees them only from inside a page).
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

    // The controls that Tab visits now, in order.
    QList<QWidget*> TabCycle() const;

private:
    void OnCurrentChanged(int index);
    // Activates the page and hands it the default button and, unless the user is moving along the
    // tab bar, the focus.
    void ActivatePage(CPropertyPage* page);

    QTabWidget* m_tabs;
    QDialogButtonBox* m_buttons;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    std::vector<CPropertyPage*> m_pages;
    int m_active = -1;  // the page that was last activated
    bool m_shown = false;
};

}  // namespace veltrane
