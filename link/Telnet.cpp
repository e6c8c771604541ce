#include "link/Telnet.h"

namespace tessary::link::telnet {

namespace {

constexpr bool Accepted(unsigned char option) {
    return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

std::string Command(unsigned char verb, unsigned char option) { return {char(kIac), char(verb), char(option)}; }

void Negotiate(State& s, unsigned char verb, unsigned char option, Output& out) {
    const bool ok = Accepted(option);
    switch (verb) {
    case kDo:
        if (ok && !s.weWill[option]) out.reply += Command(kWill, option);
        if (!ok) out.reply += Command(kWont, option);
        s.weWill[option] = ok;
        break;
    case kWill:
        if (ok && !s.theyWill[option]) out.reply += Command(kDo, option);
        if (!ok) out.reply += Command(kDont, option);
        s.theyWill[option] = ok;
        break;
    case kDont:
        if (s.weWill[option]) out.reply += Command(kWont, option);
        s.weWill[option] = false;
        break;
    default:  // WONT
        if (s.theyWill[option]) out.reply += Command(kDont, option);
        s.theyWill[option] = false;
        break;
    }
}

void EndSubnegotiation(State& s, Output& out) {
    // An overlong one is dropped whole, never taken for data.
    if (s.sub.size() > kMaxSubnegotiation) out.garbage = true;
    else if (s.sub.size() >= 2 && static_cast<unsigned char>(s.sub[0]) == kComPort)
        out.answers.push_back({static_cast<unsigned char>(s.sub[1]), s.sub.substr(2)});
    s.sub.clear();
}

}  // namespace

std::string Opening(State& state, bool comPort) {
    std::string out;
    for (unsigned char option : {kBinary, kSuppressGoAhead}) {
        out += Command(kWill, option) + Command(kDo, option);
        state.weWill[option] = state.theyWill[option] = true;
    }
    if (comPort) {
        out += Command(kWill, kComPort);
        state.weWill[kComPort] = true;
    }
    return out;
}

void Decode(State& s, std::string_view in, Output& out) {
    using P = State::Phase;
    for (char ch : in) {
        const auto c = static_cast<unsigned char>(ch);
        switch (s.phase) {
        case P::Data:
            if (c == kIac) s.phase = P::Iac;
            else out.data.push_back(ch);
            break;
        case P::Iac:
            s.phase = P::Data;
            if (c == kIac) out.data.push_back(ch);
            else if (c >= kWill) s.verb = c, s.phase = P::Option;
            else if (c == kSb) s.sub.clear(), s.phase = P::Sub;
            else if (c == kSe) out.garbage = true;
            // NOP, GA, AYT and the like carry nothing for a line.
            break;
        case P::Option:
            Negotiate(s, s.verb, c, out);
            s.phase = P::Data;
            break;
        case P::Sub:
            if (c == kIac) {
                s.phase = P::SubIac;
            } else if (s.sub.size() <= kMaxSubnegotiation) {
                s.sub.push_back(ch);
            }
            break;
        case P::SubIac:
            if (c == kIac) {
                if (s.sub.size() <= kMaxSubnegotiation) s.sub.push_back(ch);
                s.phase = P::Sub;
            } else {
                // IAC SE ends it; any other command there ends it badly.
                if (c == kSe) EndSubnegotiation(s, out);
                else out.garbage = true, s.sub.clear();
                s.phase = P::Data;
            }
            break;
        }
    }
}

std::string Escape(std::string_view data) {
    std::string out;
    out.reserve(data.size());
    for (char c : data) {
        out.push_back(c);
        if (static_cast<unsigned char>(c) == kIac) out.push_back(c);
    }
    return out;
}

std::string ComPortCommand(unsigned char command, std::string_view value) {
    return std::string{char(kIac), char(kSb), char(kComPort), char(command)} + Escape(value) + char(kIac) + char(kSe);
}

std::string BaudValue(std::uint32_t baud) {
    return {char(baud >> 24), char(baud >> 16), char(baud >> 8), char(baud)};
}

std::uint32_t BaudFromValue(std::string_view value) {
    std::uint32_t baud = 0;
    for (std::size_t i = 0; i < 4 && i < value.size(); ++i) baud = baud << 8 | static_cast<unsigned char>(value[i]);
    return value.size() == 4 ? baud : 0;
}

}  // namespace tessary::link::telnet
