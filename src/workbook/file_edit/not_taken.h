// The editor does not take a workbook: a format or structure it does not know.  what() says why.
#pragma once

#include <stdexcept>

namespace kovrisk::file_edit {

class NotTaken : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace kovrisk::file_edit
