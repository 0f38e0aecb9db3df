#include "TelnetCodec.h"

namespace telnet {

namespace {

constexpr char Byte(std::uint8_t b) {
    return static_cast<char>(b);
}

} // namespace

void CDecoder::Feed(std::string_view in, std::string& data, std::vector<Event>& events) {
    for (const char c : in) {
        const auto b = static_cast<std::uint8_t>(c);
        switch (m_state) {
        case State::Data:
            if (b == kIac)
                m_state = State::Iac;
            else
                data += c;
            break;
        case State::Iac:
            if (b == kIac) {
                data += c;
                m_state = State::Data;
            } else if (b >= kWill) { // WILL, WONT, DO, DONT: the option follows
                m_verb = b;
                m_state = State::Verb;
            } else if (b == kSb) {
                m_sub.clear();
                m_subTooLong = false;
                m_state = State::Sub;
            } else { // NOP, GA, a stray SE and the like say nothing to the link
                m_state = State::Data;
            }
            break;
        case State::Verb:
            events.push_back({Event::Kind::Negotiation, m_verb, b, 0, {}});
            m_state = State::Data;
            break;
        case State::Sub:
            if (b == kIac) {
                m_state = State::SubIac;
            } else if (m_sub.size() < kMaxSubnegotiation) {
                m_sub += c;
            } else {
                m_subTooLong = true;
            }
            break;
        case State::SubIac:
            if (b == kIac) { // a doubled 0xFF in the value
                if (m_sub.size() < kMaxSubnegotiation)
                    m_sub += c;
                else
                    m_subTooLong = true;
                m_state = State::Sub;
            } else if (b == kSe) {
                EndSubnegotiation(events);
                m_state = State::Data;
            } else {
                // IAC and a command inside a subnegotiation: the far end broke it off. Drop
                // it and read the command as such.
                m_state = State::Iac;
                Feed(std::string_view(&c, 1), data, events);
            }
            break;
        }
    }
}

void CDecoder::EndSubnegotiation(std::vector<Event>& events) {
    if (m_subTooLong || m_sub.size() < 2 || static_cast<std::uint8_t>(m_sub[0]) != kComPortOption)
        return;
    events.push_back({Event::Kind::ComPort, 0, kComPortOption, static_cast<std::uint8_t>(m_sub[1]),
                      m_sub.substr(2)});
}

std::string Negotiation(std::uint8_t verb, std::uint8_t option) {
    return {Byte(kIac), Byte(verb), Byte(option)};
}

std::string ComPortCommand(ComPort command, std::string_view value) {
    std::string out = {Byte(kIac), Byte(kSb), Byte(kComPortOption),
                       Byte(static_cast<std::uint8_t>(command))};
    out += EscapeData(value);
    out += Byte(kIac);
    out += Byte(kSe);
    return out;
}

std::string EscapeData(std::string_view data) {
    std::string out;
    out.reserve(data.size());
    for (const char c : data) {
        out += c;
        if (static_cast<std::uint8_t>(c) == kIac)
            out += c;
    }
    return out;
}

} // namespace telnet
