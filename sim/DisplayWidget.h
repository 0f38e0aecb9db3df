#pragma once

#include <QFont>
#include <QStringList>
#include <QWidget>

namespace sim {

// The panel's character display as on the application icon: black characters on a bright green
// screen in a black frame, on a fixed grid of cells. The cursor cell is underlined.
class DisplayWidget : public QWidget {
    Q_OBJECT

public:
    DisplayWidget(int rows, int columns, QWidget* parent = nullptr);

    // One string per row, one character per cell.
    void SetContent(const QStringList& rows, int cursorRow, int cursorColumn);

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    [[nodiscard]] QSize CellSize() const;

    int rows_;
    int columns_;
    QFont font_;
    QStringList content_;
    int cursorRow_ = 0;
    int cursorColumn_ = 0;
};

} // namespace sim
