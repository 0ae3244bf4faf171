// An ApplicationFactory that passes everything to another one and notes on standard output the
// moment an application is made visible (the hand-over): milliseconds since `start`, then the
// steady (monotonic) clock in microseconds.
#pragma once

#include <chrono>
#include <memory>

#include "workbook/automation.h"

namespace kovrisk {

class TimingFactory : public ApplicationFactory {
public:
    TimingFactory(ApplicationFactory& inner, std::chrono::steady_clock::time_point start)
        : inner_(inner), start_(start) {}
    std::unique_ptr<Application> create() override;
    ControlSheetWriter* controlSheetWriter() override { return inner_.controlSheetWriter(); }

private:
    ApplicationFactory& inner_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace kovrisk
