#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sim {

enum class LedMode { Off, On, Blink };

// What one received byte did on the panel.
enum class ByteMeaning {
    Text,           // shown at the cursor
    CarriageReturn, // cursor to the start of its line
    LineFeed,       // cursor to the next line
    Command,        // one byte of a "~C" or "~L<led><mode>" command
    Unknown,        // one byte of a "~" sequence that is no command; shown as text
    Control,        // any other byte that shows nothing; ignored
};

struct ByteEvent {
    std::uint8_t byte = 0;
    ByteMeaning meaning = ByteMeaning::Text;
    // For Command and Unknown: the whole sequence the byte belongs to, as received ("~L12").
    std::string sequence;
};

// The panel itself: a character display, its cursor and three LEDs, driven by the bytes of the
// line. It decodes byte by byte, so a command split across reads decodes as in one read.
//
// A tilde opens a sequence. "~C" clears the display and homes the cursor; "~L" + LED digit
// "0".."2" + mode digit "0" (off), "1" (on), "2" (blinking) sets one LED. Any other byte ends the
// sequence as unknown, and the tilde and the bytes taken so far are shown as text:
//   - a printable byte other than "~" is taken into the unknown sequence and shown with it
//     ("~X" shows "~X", "~L3" shows "~L3", "~L19" shows "~L19");
//   - a control byte or another "~" is not; after the sequence is shown, it is decoded on its
//     own ("~L1" CR LF shows "~L1", then moves to the next line; "~~C" shows "~", then clears).
class PanelDecoder {
public:
    static constexpr int kLedCount = 3;

    explicit PanelDecoder(int rows = 4, int columns = 20);

    // One event per byte, in byte order. The bytes of a "~" sequence are reported together when
    // the sequence is decided, so the events returned may start with bytes of an earlier call and
    // leave out the last bytes of this one.
    std::vector<ByteEvent> Feed(std::span<const std::uint8_t> bytes);

    [[nodiscard]] int Rows() const { return rows_; }
    [[nodiscard]] int Columns() const { return columns_; }
    [[nodiscard]] int CursorRow() const { return cursorRow_; }
    [[nodiscard]] int CursorColumn() const { return cursorColumn_; }

    // One display row as UTF-8, always Columns() characters wide (blanks are spaces).
    [[nodiscard]] std::string RowText(int row) const;
    [[nodiscard]] std::vector<std::string> DisplayText() const;

    // Index 0, 1, 2 is the LED labelled "1", "2", "3" (the LED digit of the command).
    [[nodiscard]] LedMode Led(int index) const { return leds_.at(index); }

    // The bytes of a "~" sequence that is still open, waiting for its next byte.
    [[nodiscard]] const std::string& OpenSequence() const { return open_; }

private:
    void Decode(std::uint8_t byte, std::vector<ByteEvent>& events);
    bool ContinueSequence(std::uint8_t byte, std::vector<ByteEvent>& events);
    void CloseSequence(ByteMeaning meaning, std::vector<ByteEvent>& events);
    void Put(std::uint8_t byte);
    void NextLine();
    void Clear();

    int rows_;
    int columns_;
    std::vector<std::uint8_t> cells_; // row by row, Windows-1252 bytes
    int cursorRow_ = 0;
    int cursorColumn_ = 0;
    std::array<LedMode, kLedCount> leds_{};
    std::string open_;
};

} // namespace sim
