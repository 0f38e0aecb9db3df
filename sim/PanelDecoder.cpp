#include "PanelDecoder.h"

#include "Cp1252.h"

#include <algorithm>

namespace sim {
namespace {

constexpr std::uint8_t kTilde = '~';
constexpr std::uint8_t kCr = 13;
constexpr std::uint8_t kLf = 10;

bool IsDigit0To2(std::uint8_t byte) {
    return byte >= '0' && byte <= '2';
}

} // namespace

PanelDecoder::PanelDecoder(int rows, int columns)
    : rows_(std::max(rows, 1))
    , columns_(std::max(columns, 1))
    , cells_(static_cast<std::size_t>(rows_) * static_cast<std::size_t>(columns_), ' ') {}

std::vector<ByteEvent> PanelDecoder::Feed(std::span<const std::uint8_t> bytes) {
    std::vector<ByteEvent> events;
    events.reserve(bytes.size() + open_.size());
    for (const std::uint8_t byte : bytes) {
        Decode(byte, events);
    }
    return events;
}

void PanelDecoder::Decode(std::uint8_t byte, std::vector<ByteEvent>& events) {
    if (!open_.empty() && ContinueSequence(byte, events)) {
        return;
    }
    if (byte == kTilde) {
        open_.assign(1, static_cast<char>(byte));
    } else if (byte == kCr) {
        cursorColumn_ = 0;
        events.push_back({byte, ByteMeaning::CarriageReturn, {}});
    } else if (byte == kLf) {
        NextLine();
        events.push_back({byte, ByteMeaning::LineFeed, {}});
    } else if (cp1252::IsPrintable(byte)) {
        Put(byte);
        events.push_back({byte, ByteMeaning::Text, {}});
    } else {
        events.push_back({byte, ByteMeaning::Control, {}});
    }
}

// True when the byte was taken into the open sequence; false when it is left to be decoded on
// its own after the sequence was closed as unknown.
bool PanelDecoder::ContinueSequence(std::uint8_t byte, std::vector<ByteEvent>& events) {
    const bool takes = (open_.size() == 1 && (byte == 'C' || byte == 'L')) ||
                       (open_.size() >= 2 && open_[1] == 'L' && IsDigit0To2(byte));
    if (takes) {
        open_ += static_cast<char>(byte);
        if (open_ == "~C") {
            Clear();
            CloseSequence(ByteMeaning::Command, events);
        } else if (open_.size() == 4) {
            leds_.at(static_cast<std::size_t>(open_[2] - '0')) =
                static_cast<LedMode>(open_[3] - '0');
            CloseSequence(ByteMeaning::Command, events);
        }
        return true;
    }
    const bool printable = byte != kTilde && cp1252::IsPrintable(byte);
    if (printable) {
        open_ += static_cast<char>(byte);
    }
    for (const char shown : open_) {
        Put(static_cast<std::uint8_t>(shown));
    }
    CloseSequence(ByteMeaning::Unknown, events);
    return printable;
}

void PanelDecoder::CloseSequence(ByteMeaning meaning, std::vector<ByteEvent>& events) {
    for (const char b : open_) {
        events.push_back({static_cast<std::uint8_t>(b), meaning, open_});
    }
    open_.clear();
}

void PanelDecoder::Put(std::uint8_t byte) {
    cells_[static_cast<std::size_t>(cursorRow_) * static_cast<std::size_t>(columns_) +
           static_cast<std::size_t>(cursorColumn_)] = byte;
    // The cursor wraps at once, so it always stands on a cell of the display.
    if (++cursorColumn_ == columns_) {
        cursorColumn_ = 0;
        NextLine();
    }
}

void PanelDecoder::NextLine() {
    if (cursorRow_ + 1 < rows_) {
        ++cursorRow_;
        return;
    }
    std::copy(cells_.begin() + columns_, cells_.end(), cells_.begin());
    std::fill(cells_.end() - columns_, cells_.end(), ' ');
}

void PanelDecoder::Clear() {
    std::fill(cells_.begin(), cells_.end(), ' ');
    cursorRow_ = 0;
    cursorColumn_ = 0;
}

std::string PanelDecoder::RowText(int row) const {
    if (row < 0 || row >= rows_) {
        return {};
    }
    const auto begin = cells_.begin() + static_cast<std::ptrdiff_t>(row) * columns_;
    return cp1252::ToUtf8(std::string(begin, begin + columns_));
}

std::vector<std::string> PanelDecoder::DisplayText() const {
    std::vector<std::string> rows;
    rows.reserve(static_cast<std::size_t>(rows_));
    for (int row = 0; row < rows_; ++row) {
        rows.push_back(RowText(row));
    }
    return rows;
}

} // namespace sim
