// A whole lock-or-open run on the stand-in application, with the real file system in a temporary
// folder: the workbook folder "work", the data folder "data/Kovrisk".
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/faulty_files.h"
#include "fakes/log_reader.h"
#include "fakes/recording_window.h"
#include "fakes/standin_application.h"
#include "fakes/standin_cipher.h"
#include "fakes/temp_folder.h"
#include "support/activity_log.h"
#include "support/process_state.h"

namespace kovrisk::testing {

class RunFixture : public ::testing::Test {
protected:
    RunFixture();

    // A workbook file in the work folder; by default one visible sheet "Data" with A1 = "1".
    NativePath makeWorkbook(const std::string& fileName, StandinWorkbook book = plainBook());
    static StandinWorkbook plainBook();

    // Runs the timer's handler once on the workbook at `target`, answering the confirmation
    // with `answer`, on `application` (by default the fixture's stand-in).
    void run(const NativePath& target, BoxAnswer answer = BoxAnswer::Ok,
             ApplicationFactory* application = nullptr);

    // The file password of a file name, as text.
    static std::string passwordFor(const std::string& fileName);
    NativePath backupOf(const std::string& fileName) const;
    std::vector<std::string> log() const { return logMessages(state.dataFolder); }
    // Temporary files and private folders left anywhere in the test's folder.
    std::vector<NativePath> leftovers() const;

    TempFolder temp;
    FakeClock clock;
    FaultyFiles files;
    StandinApplicationFactory spreadsheet;
    StandinCipher cipher;
    ProcessState state;
    ActivityLog activityLog;
    std::unique_ptr<RecordingWindow> window;
};

}  // namespace kovrisk::testing
