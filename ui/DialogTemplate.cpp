#include "DialogTemplate.h"

#include "ControlNames.h"
#include "Resources.h"
#include "RightTextRadioButton.h"

#include <QButtonGroup>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <algorithm>

namespace {

// Arrow keys in a group of automatic radio buttons: up and left go to the previous button,
// down and right to the next, wrapping at the ends, and each button reached is pressed.
class CRadioGroupKeys : public QObject {
public:
    explicit CRadioGroupKeys(QButtonGroup* group)
        : QObject(group)
        , m_group(group) {
        for (QAbstractButton* button : group->buttons())
            button->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        int step = 0;
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Up:
        case Qt::Key_Left:
            step = -1;
            break;
        case Qt::Key_Down:
        case Qt::Key_Right:
            step = 1;
            break;
        default:
            return false;
        }
        const QList<QAbstractButton*> buttons = m_group->buttons();
        const qsizetype from = buttons.indexOf(static_cast<QAbstractButton*>(watched));
        for (qsizetype i = 1; from >= 0 && i < buttons.size(); ++i) {
            QAbstractButton* next = buttons[(from + step * i + buttons.size()) % buttons.size()];
            if (next->isEnabled()) {
                next->setFocus(step < 0 ? Qt::BacktabFocusReason : Qt::TabFocusReason);
                next->click();
                break;
            }
        }
        return true;
    }

private:
    QButtonGroup* m_group;
};

QWidget* CreateControl(const ControlSpec& spec, QWidget& parent) {
    const QString caption = QString::fromUtf8(spec.caption ? spec.caption : "");
    switch (spec.kind) {
    case ControlKind::GroupBox:
        return new QGroupBox(caption, &parent);
    case ControlKind::RadioButton: {
        auto* radio = spec.style & kRightText ? new CRightTextRadioButton(caption, &parent)
                                              : new QRadioButton(caption, &parent);
        // Its QButtonGroup makes it exclusive either way; auto-exclusive is what tells assistive
        // technology that it is a radio button and not a check box.
        radio->setAutoExclusive(true);
        return radio;
    }
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
        auto* button = new QPushButton(caption, &parent);
        button->setAutoDefault(true);
        button->setDefault(spec.kind == ControlKind::DefPushButton);
        return button;
    }
    case ControlKind::Text:
    case ControlKind::CentredText:
    case ControlKind::BorderedText: {
        auto* label = new QLabel(caption, &parent);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(spec.rect.height() > 10); // room for more than one line
        label->setAlignment(spec.kind == ControlKind::CentredText ? Qt::AlignHCenter | Qt::AlignTop
                                                                  : Qt::AlignLeft | Qt::AlignTop);
        if (spec.kind == ControlKind::BorderedText)
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        return label;
    }
    case ControlKind::VerticalSlider: {
        auto* slider = new QSlider(Qt::Vertical, &parent);
        slider->setTickPosition(QSlider::TicksLeft);
        return slider;
    }
    case ControlKind::MultiLineEdit: {
        auto* edit = new QPlainTextEdit(&parent);
        edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setTabChangesFocus(true);
        return edit;
    }
    case ControlKind::Icon: {
        // An icon control shows the icon at its own size, whatever the rectangle says.
        auto* label = new QLabel(&parent);
        label->setPixmap(LoadIcon(spec.icon).pixmap(32, 32));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    }
    return nullptr;
}

// The layout was drawn for the font's original metrics; a caption a few pixels wider in the
// substitute font would be cut off, so such a control grows to the right, up to `right` (the
// window's or its group box's right edge).
QRect FitCaption(const QWidget& control, QRect rect, int right) {
    const bool hasCaption =
        qobject_cast<const QAbstractButton*>(&control) ||
        (qobject_cast<const QLabel*>(&control) && !static_cast<const QLabel&>(control).wordWrap());
    if (hasCaption)
        rect.setWidth(std::clamp(control.sizeHint().width(), rect.width(),
                                 std::max(rect.width(), right - rect.x())));
    return rect;
}

bool IsTabStop(ControlKind kind) {
    switch (kind) {
    case ControlKind::RadioButton:
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
    case ControlKind::VerticalSlider:
    case ControlKind::MultiLineEdit:
        return true;
    default:
        return false;
    }
}

} // namespace

QFont DialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
    font.setPointSize(8);
    return font;
}

CDialogUnits::CDialogUnits(const QFont& font) {
    // The average character width the way the classic dialog manager measures it.
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = (alphabet / 26 + 1) / 2;
    m_baseY = metrics.height();
}

QRect CDialogUnits::ToPixels(const QRect& units) const {
    return {(units.x() * m_baseX + 2) / 4, (units.y() * m_baseY + 4) / 8,
            (units.width() * m_baseX + 2) / 4, (units.height() * m_baseY + 4) / 8};
}

QSize CDialogUnits::ToPixels(const QSize& units) const {
    return ToPixels(QRect(QPoint(0, 0), units)).size();
}

QWidget* CDialogControls::Control(int id) const {
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

QButtonGroup* CDialogControls::RadioGroup(int firstId) const {
    const auto it = m_groups.find(firstId);
    return it == m_groups.end() ? nullptr : it->second;
}

QWidget* CDialogControls::NextTabStop(const QWidget* from, bool next) const {
    const auto count = static_cast<std::ptrdiff_t>(m_tabStops.size());
    const auto at = std::find(m_tabStops.begin(), m_tabStops.end(), from) - m_tabStops.begin();
    for (std::ptrdiff_t i = 1; i <= count; ++i) {
        // Starting outside the list, "next" begins at the first stop and "previous" at the last.
        const std::ptrdiff_t base = at < count ? at : (next ? -1 : count);
        QWidget* candidate = m_tabStops[((base + (next ? i : -i)) % count + count) % count];
        if (candidate->isEnabled() && candidate->isVisible())
            return candidate;
    }
    return nullptr;
}

CDialogControls CreateDialog(QDialog& dialog, const DialogSpec& spec) {
    dialog.setObjectName(QString::number(spec.id));
    dialog.setWindowTitle(QString::fromUtf8(spec.caption));
    dialog.setFont(DialogFont());
    const CDialogUnits units(dialog.font());
    dialog.setFixedSize(units.ToPixels(spec.size));

    CDialogControls controls;
    std::vector<QWidget*> created; // in template order, for the group boxes among them
    QButtonGroup* group = nullptr;
    for (std::size_t index = 0; index < spec.controls.size(); ++index) {
        const ControlSpec& item = spec.controls[index];
        const auto box = EnclosingGroupBox(spec.controls, index);
        QWidget& parent = box ? *created[*box] : static_cast<QWidget&>(dialog);
        QWidget* control = CreateControl(item, parent);
        created.push_back(control);
        // The layout is the window's; a control in a group box is placed relative to it.
        const QPoint origin = parent.mapTo(&dialog, QPoint(0, 0));
        const int right = box ? origin.x() + parent.width() : dialog.width();
        control->setGeometry(
            FitCaption(*control, units.ToPixels(item.rect), right).translated(-origin));
        control->setEnabled(!(item.style & kDisabled));
        if (const QString name = SpokenName(spec.controls, index); !name.isEmpty())
            control->setAccessibleName(name);
        if (item.id != 0) {
            control->setObjectName(QString::number(item.id));
            controls.m_controls[item.id] = control;
        }

        if (item.style & kGroup)
            group = nullptr;
        if (auto* radio = qobject_cast<QRadioButton*>(control)) {
            if (!group) {
                group = new QButtonGroup(&dialog);
                group->setExclusive(true);
                controls.m_groups[item.id] = group;
            }
            group->addButton(radio, static_cast<int>(group->buttons().size()));
        }

        control->setFocusPolicy(IsTabStop(item.kind) ? Qt::StrongFocus : Qt::NoFocus);
        if (IsTabStop(item.kind))
            controls.m_tabStops.push_back(control);
    }
    for (const auto& [id, radioGroup] : controls.m_groups)
        new CRadioGroupKeys(radioGroup);
    return controls;
}
