#pragma once
// The Telnet side of a line behind a device server: data escaping, option
// negotiation and the COM-PORT-OPTION subnegotiations, as pure functions over
// a small state, so bytes split anywhere across reads decode the same.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessary::link::telnet {

inline constexpr unsigned char kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
inline constexpr unsigned char kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;
// COM-PORT-OPTION commands from the client; the server answers each with +100.
inline constexpr unsigned char kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4, kPurgeData = 12;
inline constexpr unsigned char kServerOffset = 100;
// A subnegotiation longer than this is garbage, not an answer.
inline constexpr std::size_t kMaxSubnegotiation = 64;

// A COM-PORT-OPTION answer from the server: its command (with the +100) and value bytes.
struct ComPortAnswer {
    unsigned char command = 0;
    std::string value;
    bool operator==(const ComPortAnswer&) const = default;
};

struct State {
    enum class Phase { Data, Iac, Option, Sub, SubIac } phase = Phase::Data;
    unsigned char verb = 0;  // WILL/WONT/DO/DONT awaiting its option
    std::string sub;         // the subnegotiation so far (option byte first)
    // What each side has agreed to, so that an answer never starts a loop.
    std::array<bool, 256> weWill{}, theyWill{};
};

struct Output {
    std::string data;     // the line's bytes, unescaped
    std::string reply;    // negotiation answers to send back
    std::vector<ComPortAnswer> answers;
    bool garbage = false;  // a subnegotiation past kMaxSubnegotiation, or a command out of place
};

// What a client opens with: WILL COM-PORT-OPTION, BINARY and SUPPRESS-GO-AHEAD both
// ways; `state` notes them as asked.
std::string Opening(State& state, bool comPort);
// Decodes `in`, appending to `out`. Options other than the three above are refused.
void Decode(State& state, std::string_view in, Output& out);
// Data bytes as they go on the wire: 255 doubled.
std::string Escape(std::string_view data);
// IAC SB COM-PORT-OPTION `command` `value` IAC SE, the value escaped.
std::string ComPortCommand(unsigned char command, std::string_view value);
// SET-BAUDRATE's value: four bytes, most significant first.
std::string BaudValue(std::uint32_t baud);
std::uint32_t BaudFromValue(std::string_view value);

}  // namespace tessary::link::telnet
