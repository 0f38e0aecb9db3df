#include "Dialog.h"

CDialog::CDialog(const DialogSpec& spec, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_controls(CreateDialog(*this, spec)) {}

void CDialog::setVisible(bool visible) {
    if (visible && !m_bInitialised) {
        m_bInitialised = true;
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

bool CDialog::focusNextPrevChild(bool next) {
    QWidget* target = m_controls.NextTabStop(focusWidget(), next);
    if (!target)
        return QDialog::focusNextPrevChild(next);
    target->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}
