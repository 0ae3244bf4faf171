// Writes and reads the stand-in spreadsheet application's workbook files for the program tests.
//
//   standin_workbook_tool make <path> [<password>]
//                                           writes a one-sheet workbook, with that open password
//   standin_workbook_tool describe <path>   prints "protected yes|no" and one "sheet <name>" line
//                                           per worksheet, whatever the password
#include <cstdio>
#include <string>

#include "fakes/standin_workbook_file.h"

using kovrisk::testing::StandinSheet;
using kovrisk::testing::StandinWorkbook;

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s make|describe <path> [<password>]\n", argv[0]);
        return 2;
    }
    const std::string command = argv[1];
    const kovrisk::NativePath path = argv[2];
    try {
        if (command == "make") {
            StandinWorkbook book;
            if (argc == 4)
                book.openPassword = argv[3];
            StandinSheet sheet;
            sheet.name = "Sheet1";
            sheet.cells["A1"] = "42";
            book.sheets.push_back(sheet);
            kovrisk::testing::writeStandinWorkbook(path, book);
            return 0;
        }
        if (command == "describe") {
            const StandinWorkbook book = kovrisk::testing::loadStandinWorkbook(path);
            std::printf("protected %s\n", book.openPassword.empty() ? "no" : "yes");
            for (const StandinSheet& sheet : book.sheets)
                std::printf("sheet %s\n", sheet.name.c_str());
            return 0;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::fprintf(stderr, "unknown command %s\n", command.c_str());
    return 2;
}
