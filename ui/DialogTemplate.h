#pragma once

#include <QFont>
#include <QRect>

#include <map>
#include <span>
#include <vector>

class QButtonGroup;
class QDialog;
class QWidget;

// A window laid out the classic way: a caption, a size and a list of controls, all in dialog
// units of the window's 8-point font (a horizontal unit is a quarter of the font's average
// character width, a vertical unit an eighth of its height).
enum class ControlKind {
    GroupBox,
    RadioButton,
    PushButton,
    DefPushButton,
    Text,
    CentredText,
    BorderedText,
    VerticalSlider,
    MultiLineEdit,
    Icon,
};

// The ids of the standard push buttons: the one that confirms the window, the one that ends it.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

enum ControlStyle : unsigned {
    kPlain = 0,
    kDisabled = 1u << 0,
    kGroup = 1u << 1,     // starts a group: radio buttons up to the next kGroup form one
    kRightText = 1u << 2, // a radio button's caption flush right, its indicator at the left
};

struct ControlSpec {
    int id; // the widget's objectName; 0 for controls nobody needs to find
    ControlKind kind;
    const char* caption;
    QRect rect; // x, y, width, height in dialog units
    unsigned style = kPlain;
    int icon = 0; // an icon control's icon resource
    // What a screen reader says for a static text instead of its caption; the buttons right above
    // it take it before their own captions ("LED 1" under a column of "AN", "AUS", "BLINK").
    const char* spoken = nullptr;
};

struct DialogSpec {
    int id; // the template's resource id, which is also the window's objectName
    const char* caption;
    QSize size; // client area in dialog units
    std::span<const ControlSpec> controls;
};

// The 8-point sans serif the windows are designed in; "MS Sans Serif" where it exists,
// else its closest metric match.
[[nodiscard]] QFont DialogFont();

class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);
    [[nodiscard]] QRect ToPixels(const QRect& units) const;
    [[nodiscard]] QSize ToPixels(const QSize& units) const;

private:
    int m_baseX; // pixels per 4 horizontal units
    int m_baseY; // pixels per 8 vertical units
};

// The controls of one window, found by id; radio groups by the id of their first button.
class CDialogControls {
public:
    [[nodiscard]] QWidget* Control(int id) const;
    template <class T> [[nodiscard]] T* Get(int id) const { return qobject_cast<T*>(Control(id)); }
    [[nodiscard]] QButtonGroup* RadioGroup(int firstId) const;
    // The enabled tab stop after (or before) `from` in template order, wrapping around.
    [[nodiscard]] QWidget* NextTabStop(const QWidget* from, bool next) const;

private:
    friend CDialogControls CreateDialog(QDialog& dialog, const DialogSpec& spec);
    std::map<int, QWidget*> m_controls;
    std::map<int, QButtonGroup*> m_groups;
    std::vector<QWidget*> m_tabStops;
};

// Creates the controls in template order (which is also the tab order), each as a child of the
// group box it stands in or else of `dialog`, so that assistive technology sees the groups as the
// operator does; a control in a disabled group box is disabled with it. Names the controls whose
// captions do not tell a screen reader enough, sizes the window and gives radio groups their
// automatic behaviour: a press releases the others, arrow keys move through the group (wrapping)
// and press each button passed.
CDialogControls CreateDialog(QDialog& dialog, const DialogSpec& spec);
