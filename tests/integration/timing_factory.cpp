#include "timing_factory.h"

#include <cstdio>

namespace kovrisk {

namespace {

class TimingApplication : public Application {
public:
    TimingApplication(std::unique_ptr<Application> inner,
                      std::chrono::steady_clock::time_point start)
        : inner_(std::move(inner)), start_(start) {}

    void setVisible(bool visible) override {
        if (visible) {
            // Elapsed since the driver started, and the monotonic clock for callers who started
            // the clock themselves.
            const auto now = std::chrono::steady_clock::now();
            const auto elapsed =
                std::chrono::duration_cast<std::chrono::milliseconds>(now - start_);
            const auto monotonic =
                std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch());
            std::printf("visible-at %lld %lld\n", static_cast<long long>(elapsed.count()),
                        static_cast<long long>(monotonic.count()));
            std::fflush(stdout);
        }
        inner_->setVisible(visible);
    }
    void setDisplayAlerts(bool displayAlerts) override { inner_->setDisplayAlerts(displayAlerts); }
    bool visible() override { return inner_->visible(); }
    void disableMacros() override { inner_->disableMacros(); }
    void useUsersMacroSettings() override { inner_->useUsersMacroSettings(); }
    std::unique_ptr<Workbooks> workbooks() override { return inner_->workbooks(); }
    void quit() override { inner_->quit(); }

private:
    std::unique_ptr<Application> inner_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace

std::unique_ptr<Application> TimingFactory::create() {
    return std::make_unique<TimingApplication>(inner_.create(), start_);
}

}  // namespace kovrisk
