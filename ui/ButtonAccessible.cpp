#include "ButtonAccessible.h"

#include <QKeySequence>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

CButtonAccessible::CButtonAccessible(QAbstractButton* button)
    : QAccessibleWidget(button) {
    // What the button tells those who listen for its changes, as the toolkit's interface says.
    addControllingSignal(button->isCheckable() ? QStringLiteral("toggled(bool)")
                                               : QStringLiteral("clicked()"));
}

QAccessibleInterface* CButtonAccessible::Create(const QString& className, QObject* object) {
    // Asked for each class from the object's own up to QObject: the toolkit's other buttons
    // (check boxes, tool buttons) keep the toolkit's interface.
    // The toolkit's cache of interfaces owns what this returns.
    if (className == QLatin1String("QRadioButton"))
        return new CButtonAccessible(qobject_cast<QRadioButton*>(object));
    if (className == QLatin1String("QPushButton")) {
        auto* button = qobject_cast<QPushButton*>(object);
        return button->menu() ? nullptr : new CButtonAccessible(button);
    }
    return nullptr;
}

QAbstractButton* CButtonAccessible::Button() const {
    return static_cast<QAbstractButton*>(widget());
}

QAccessible::Role CButtonAccessible::role() const {
    // Only an auto-exclusive button is a radio button to a screen reader.
    if (Button()->isCheckable())
        return Button()->autoExclusive() ? QAccessible::RadioButton : QAccessible::CheckBox;
    return QAccessible::Button;
}

QAccessible::State CButtonAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.checkable = Button()->isCheckable();
    state.checked = Button()->isChecked();
    state.pressed = Button()->isDown();
    if (const auto* push = qobject_cast<const QPushButton*>(Button()))
        state.defaultButton = push->isDefault();
    return state;
}

QString CButtonAccessible::text(QAccessible::Text t) const {
    QString text;
    if (t == QAccessible::Name) {
        text = widget()->accessibleName();
        if (text.isEmpty()) // the caption as read, without its mnemonic marks ("&&" is "&")
            text = Button()->text().replace(QRegularExpression(QStringLiteral("&(.)")),
                                            QStringLiteral("\\1"));
    } else if (t == QAccessible::Accelerator) {
        // Enter for the default button, else the caption's mnemonic.
        const auto* push = qobject_cast<const QPushButton*>(Button());
        text = QKeySequence(push && push->isDefault() ? QKeySequence(Qt::Key_Enter)
                                                      : QKeySequence::mnemonic(Button()->text()))
                   .toString(QKeySequence::NativeText);
    }
    return text.isEmpty() ? QAccessibleWidget::text(t) : text;
}

QStringList CButtonAccessible::actionNames() const {
    QStringList names;
    if (widget()->isEnabled())
        names << (Button()->isCheckable() ? toggleAction() : pressAction());
    return names << QAccessibleWidget::actionNames();
}

void CButtonAccessible::doAction(const QString& actionName) {
    if (actionName == pressAction() || actionName == toggleAction()) {
        // A click does nothing to a disabled button.
        Button()->click();
        return;
    }
    QAccessibleWidget::doAction(actionName);
}
