#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QPushButton;

namespace veltrane {

// One page of a CPropertySheet. The sheet calls Activate when the page becomes the current tab
// and Deactivate when the user leaves it for another tab; the first activation initialises the
// page before anything else, as the creation of its window would.
class CPropertyPage : public QWidget {
    Q_OBJECT

public:
    explicit CPropertyPage(const QString& caption, QWidget* parent = nullptr);

    // The tab caption.
    const QString& Caption() const { return m_caption; }

    // True once the page has been initialised (its first activation).
    bool IsInitialised() const { return m_initialised; }

    void Activate();
    void Deactivate();

    // The button that Enter presses while the page is current (none by default).
    virtual QPushButton* DefaultButton() const { return nullptr; }
    // The control that takes the focus when the page becomes current (none by default).
    virtual QWidget* InitialFocus() const { return nullptr; }
    // The page's controls in Tab order; the sheet follows them with its own (tab bar, buttons).
    // Empty: the sheet leaves Tab to the toolkit.
    virtual QList<QWidget*> FocusOrder() const { return {}; }

protected:
    // Runs once, right before the first OnSetActive.
    virtual void OnInitDialog() {}
    // The page has become the current tab.
    virtual void OnSetActive() {}
    // The page stops being the current tab because another tab was chosen.
    virtual void OnKillActive() {}

private:
    QString m_caption;
    bool m_initialised = false;
};

}  // namespace veltrane
