#pragma once
// How the work layer tells and asks the operator. The window implements it with
// real dialogs; tests with a script that answers and records.

#include <string>

namespace tessary::app {

class Operator {
public:
    virtual ~Operator() = default;
    // Modal notice; returns when the operator has read it.
    virtual void ShowMessageBox(const std::string& text) = 0;
    // Lets pending window events run (clicks, repaints). Handlers may run nested.
    virtual void ProcessEvents() = 0;
};

}  // namespace tessary::app
