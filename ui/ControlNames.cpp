#include "ControlNames.h"

#include <QStringList>

namespace {

bool IsStaticText(ControlKind kind) {
    return kind == ControlKind::Text || kind == ControlKind::CentredText ||
           kind == ControlKind::BorderedText;
}

QString Joined(const char* first, const char* second) {
    QStringList words;
    for (const char* text : {first, second})
        if (text && *text)
            words << QString::fromUtf8(text);
    return words.join(QLatin1Char(' '));
}

// A static text with a spoken name right below a button, within its width, in the same group
// box: the digit under a column of LED buttons.
std::optional<std::size_t> LabelBelow(std::span<const ControlSpec> controls, std::size_t index) {
    const QRect button = controls[index].rect;
    const auto group = EnclosingGroupBox(controls, index);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const ControlSpec& label = controls[i];
        if (IsStaticText(label.kind) && label.spoken && label.rect.top() > button.bottom() &&
            label.rect.left() >= button.left() && label.rect.right() <= button.right() &&
            EnclosingGroupBox(controls, i) == group)
            return i;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::size_t> EnclosingGroupBox(std::span<const ControlSpec> controls,
                                             std::size_t index) {
    const QRect rect = controls[index].rect;
    std::optional<std::size_t> smallest;
    for (std::size_t i = 0; i < index; ++i) {
        const QRect box = controls[i].rect;
        if (controls[i].kind != ControlKind::GroupBox || !box.contains(rect))
            continue;
        if (!smallest || box.width() * box.height() <
                             controls[*smallest].rect.width() * controls[*smallest].rect.height())
            smallest = i;
    }
    return smallest;
}

QString SpokenName(std::span<const ControlSpec> controls, std::size_t index) {
    const ControlSpec& spec = controls[index];
    switch (spec.kind) {
    case ControlKind::VerticalSlider:
    case ControlKind::MultiLineEdit: {
        // They show no caption: their group box names them, with their own caption (an axis).
        const auto group = EnclosingGroupBox(controls, index);
        return Joined(group ? controls[*group].caption : nullptr, spec.caption);
    }
    case ControlKind::RadioButton:
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
        const auto label = LabelBelow(controls, index);
        return label ? Joined(controls[*label].spoken, spec.caption) : QString();
    }
    case ControlKind::Text:
    case ControlKind::CentredText:
    case ControlKind::BorderedText:
        return QString::fromUtf8(spec.spoken ? spec.spoken : "");
    case ControlKind::GroupBox:
        // Its own title: the toolkit would name a group box inside another after the outer one.
        return QString::fromUtf8(spec.caption);
    case ControlKind::Icon:
        break;
    }
    return {};
}
