#pragma once

#include <QAccessibleWidget>

class QAbstractButton;

// A push or radio button as assistive technology sees it: role, name and states as the toolkit
// reports them, but every action that presses it is a click. The toolkit's "Toggle" only sets the
// check mark and its "Press" clicks a tenth of a second later, while the window acts on clicks:
// a press from a screen reader must reopen the port or reach the panel as the operator's does.
// The toolkit's own button interface is not exported, so this one stands in for it.
class CButtonAccessible : public QAccessibleWidget {
public:
    explicit CButtonAccessible(QAbstractButton* button);

    // For QAccessible::installFactory: this interface for radio buttons and for push buttons
    // without a menu; none (the toolkit's) for anything else.
    [[nodiscard]] static QAccessibleInterface* Create(const QString& className, QObject* object);

    [[nodiscard]] QAccessible::Role role() const override;
    [[nodiscard]] QAccessible::State state() const override;
    [[nodiscard]] QString text(QAccessible::Text t) const override;
    [[nodiscard]] QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

private:
    [[nodiscard]] QAbstractButton* Button() const;
};
