#include "fakes/run_fixture.h"

#include "support/file_password.h"
#include "workflow/lock_or_open_run.h"

namespace kovrisk::testing {

RunFixture::RunFixture()
    : state{temp / "data" / "Kovrisk" / "", true, "PC01"},
      activityLog(state.dataFolder, clock, files) {
    std::filesystem::create_directories(temp / "work");
}

StandinWorkbook RunFixture::plainBook() {
    StandinWorkbook book;
    StandinSheet data;
    data.name = "Data";
    data.cells["A1"] = "1";
    book.sheets.push_back(data);
    return book;
}

NativePath RunFixture::makeWorkbook(const std::string& fileName, StandinWorkbook book) {
    const NativePath path = temp / "work" / fileName;
    writeStandinWorkbook(path, book);
    return path;
}

void RunFixture::run(const NativePath& target, BoxAnswer answer, ApplicationFactory* application) {
    window = std::make_unique<RecordingWindow>();
    window->edit1 = target;
    window->answers.push_back(answer);
    LockOrOpenRun run(*window, activityLog, files, clock, application ? *application : spreadsheet,
                      state, cipher);
    run.Timer1Timer();
}

std::string RunFixture::passwordFor(const std::string& fileName) {
    PasswordBuffer buffer;
    EXPECT_TRUE(fncPwdMake(fileName, buffer));
    return buffer.text();
}

NativePath RunFixture::backupOf(const std::string& fileName) const {
    return state.dataFolder / "BackUp" / fileName;
}

std::vector<NativePath> RunFixture::leftovers() const {
    std::vector<NativePath> found = filesEndingIn(temp.path(), ".pwd");
    for (const NativePath& copy : filesEndingIn(temp.path(), ".copy"))
        found.push_back(copy);
    // The private folders the new versions are written in.
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(temp.path(), error)) {
        // ".kovrisk-" on POSIX systems, "~" and letters on Windows.
        const std::string name = entry.path().filename().string();
        if (name.starts_with(".kovrisk-") || (name.starts_with("~") && entry.is_directory()))
            found.push_back(entry.path());
    }
    return found;
}

}  // namespace kovrisk::testing
