#include "app/linux/program_end.h"

#include <QCoreApplication>

namespace kovrisk {

void ProgramEnd::request() {
    requested_ = true;
    // Stops a running loop; does nothing before the loop runs, where the flag does the work.
    QCoreApplication::exit(0);
}

}  // namespace kovrisk
