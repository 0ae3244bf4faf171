// The end of the program as the window asks for it: the event loop stops once the current handler
// returns.  A request made before the loop runs is kept, so that the loop is never entered.
#pragma once

namespace kovrisk {

class ProgramEnd {
public:
    void request();
    bool requested() const { return requested_; }

private:
    bool requested_ = false;
};

}  // namespace kovrisk
