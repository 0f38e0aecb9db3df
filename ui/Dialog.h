#pragma once

#include "DialogTemplate.h"

#include <QDialog>

// A fixed-layout window built from a template: its controls, tab order and radio groups
// come from the template, and OnInitDialog runs once before it is first shown.
class CDialog : public QDialog {
public:
    CDialog(const DialogSpec& spec, QWidget* parent);

    void setVisible(bool visible) override;

protected:
    // The controls exist; the window is not shown yet.
    virtual void OnInitDialog() {}

    // Tab and Shift+Tab follow the template order through every enabled tab stop, each radio
    // button included.
    bool focusNextPrevChild(bool next) override;

    [[nodiscard]] const CDialogControls& Controls() const { return m_controls; }

private:
    CDialogControls m_controls;
    bool m_bInitialised = false;
};
