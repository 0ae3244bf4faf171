// Message boxes as the program uses them: caption "Kovrisk", OK alone, or OK and Cancel with
// Cancel the default.
#pragma once

#include <string>

namespace kovrisk {

enum class BoxButtons { Ok, OkCancelDefaultCancel };
enum class BoxAnswer { Ok, Cancel };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // `text` is Shift-JIS; lines are joined by CR LF.  Blocks until the user answers.
    virtual BoxAnswer messageBox(const std::string& text, BoxButtons buttons) = 0;
};

}  // namespace kovrisk
