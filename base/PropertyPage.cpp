#include "base/PropertyPage.h"

namespace veltrane {

CPropertyPage::CPropertyPage(const QString& caption, QWidget* parent) : QWidget(parent), m_caption(caption) {}

void CPropertyPage::Activate() {
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    OnSetActive();
}

void CPropertyPage::Deactivate() {
    if (m_initialised) {
        OnKillActive();
    }
}

}  // namespace veltrane
