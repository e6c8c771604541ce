#pragma once
// What a flow ended with. The window's notices and tessary-cli's exit status
// are both made from this, so neither has to read the other's texts.

#include <string>
#include <utility>
#include <vector>

namespace tessary::app {

enum class Ending {
    Done,
    Cancelled,  // the operator (or a signal) stopped it, or answered No
    NoAnswer,   // the box fell silent, or an answer came garbled
    BoxError,   // the box answered with an error
    FileError,  // a file could not be read, written or was refused
};

struct Outcome {
    Ending ending = Ending::Done;
    std::string text;                   // BoxError: the box's answer; others: what happened, for the operator
    std::string path;                   // FileError: the file
    std::vector<std::string> warnings;  // told, yet the flow counts as done (a backup that failed)

    static Outcome Done() { return {}; }
    static Outcome Cancelled(std::string why = {}) { return {Ending::Cancelled, std::move(why), {}, {}}; }
    static Outcome NoAnswer(std::string why) { return {Ending::NoAnswer, std::move(why), {}, {}}; }
    static Outcome BoxError(std::string answer) { return {Ending::BoxError, std::move(answer), {}, {}}; }
    static Outcome FileError(std::string path, std::string reason) {
        return {Ending::FileError, std::move(reason), std::move(path), {}};
    }
    bool Ok() const { return ending == Ending::Done; }
};

}  // namespace tessary::app
