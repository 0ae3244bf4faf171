// The Windows program: the application window, COM, the status window and its start-up checks,
// then the event loop until the one run has ended.
#include <windows.h>

#include "app/taginformation.h"
#include "app/win32/application_window.h"
#include "app/win32/com_apartment.h"
#include "app/win32/command_line.h"
#include "app/win32/taginformation_window.h"
#include "platform/native_environment.h"
#include "platform/native_files.h"
#include "platform/system_clock.h"
#include "platform/text_codec.h"
#include "support/texts.h"
#include "workbook/excel_com/busy_message_filter.h"
#include "workbook/excel_com/excel_application_factory.h"

namespace {

void runEventLoop() {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    using namespace kovrisk;
    // Module initialization: the hidden application window, made a tool window.
    ApplicationWindow application(instance, fromShiftJis(texts::kApplicationTitle));
    // Every Excel operation is bounded in time; the filter cancels a call that outlasts it.
    ExcelWatch watch;
    const ComApartment com;
    // Calls Excel turns away while busy are retried; revoked before COM is released.
    const MessageFilterRegistration busyFilter(kBusyPatience, &watch);

    NativeEnvironment environment;
    NativeFiles files;
    SystemClock clock;
    const std::unique_ptr<ApplicationFactory> excel =
        makeExcelApplicationFactory(kBusyPatience, &watch);

    TaginformationWindow window(instance, application.handle());
    if (window.handle() == nullptr)
        return 0;
    Ttaginformation taginformation(Platform{environment, files, clock, *excel}, window);
    window.setTimerHandler([&taginformation] { taginformation.Timer1Timer(); });

    // The workbook's full path is settled at the start: Excel would resolve a relative one against
    // its own current folder.
    std::vector<std::wstring> arguments = programArguments(::GetCommandLineW());
    for (std::wstring& argument : arguments)
        argument = files.settledPath(argument).native();
    if (taginformation.FormCreate(arguments) && !window.terminating()) {
        window.show();
        runEventLoop();
    }
    return 0;
}
