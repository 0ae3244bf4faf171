#include "standin_com/standin_server.h"

#include <windows.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "platform/text_codec.h"

namespace kovrisk::testing {

namespace {

NativePath environmentPath(const wchar_t* name) {
    wchar_t value[MAX_PATH * 2] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH * 2);
    if (length == 0 || length >= MAX_PATH * 2)
        return {};
    return NativePath(std::wstring(value, length));
}

void appendLines(const NativePath& file, const std::string& lines) {
    if (file.empty() || lines.empty())
        return;
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out << lines;
}

// Lines of <call> TAB <occurrence> TAB <text>, Shift-JIS.
void readTriggers(const NativePath& file,
                  const std::function<void(const std::string&, int, const std::string&)>& add) {
    if (file.empty())
        return;
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t first = line.find('\t');
        const std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
        if (second == std::string::npos)
            continue;
        add(line.substr(0, first), std::stoi(line.substr(first + 1, second - first - 1)),
            line.substr(second + 1));
    }
}

}  // namespace

StandinServer::StandinServer() {
    factory_.failOnPrompts();
}

std::shared_ptr<StandinServer> StandinServer::fromEnvironment() {
    auto server = std::make_shared<StandinServer>();
    server->recordFile_ = environmentPath(L"KOVRISK_STANDIN_RECORD");
    server->wireFile_ = environmentPath(L"KOVRISK_STANDIN_WIRE");
    StandinApplicationFactory& factory = server->factory_;
    StandinServer* records = server.get();
    readTriggers(environmentPath(L"KOVRISK_STANDIN_FAULTS"),
                 [&factory](const std::string& call, int occurrence, const std::string& text) {
                     factory.failCall(call, text, occurrence);
                 });
    readTriggers(
        environmentPath(L"KOVRISK_STANDIN_PAUSES"),
        [&factory, records](const std::string& call, int occurrence, const std::string& text) {
            const DWORD milliseconds = static_cast<DWORD>(std::stoul(text));
            factory.onCall(
                call,
                [records, milliseconds] {
                    records->flush();
                    ::Sleep(milliseconds);
                },
                occurrence);
        });
    readTriggers(
        environmentPath(L"KOVRISK_STANDIN_DIALOGS"),
        [&factory, records](const std::string& call, int occurrence, const std::string& question) {
            factory.onCall(
                call, [records, question] { records->dialogForEver(question); }, occurrence);
        });
    if (environmentPath(L"KOVRISK_STANDIN_AUTOSAVE") == L"on")
        factory.autoSaveOnOpen();
    if (environmentPath(L"KOVRISK_STANDIN_EXCEL") == L"2003")
        server->setExcel2003();
    const NativePath usersMacros = environmentPath(L"KOVRISK_STANDIN_USERS_MACROS");
    if (usersMacros == L"enable")
        factory.setUsersMacroSetting(StandinUsersMacros::Enable);
    else if (usersMacros == L"disable")
        factory.setUsersMacroSetting(StandinUsersMacros::Disable);
    readTriggers(environmentPath(L"KOVRISK_STANDIN_BUSY"),
                 [records](const std::string& call, int occurrence, const std::string& text) {
                     records->busyAfter(call, std::stol(text), occurrence);
                 });
    if (!server->recordFile_.empty()) {
        std::ifstream earlier(server->recordFile_, std::ios::binary);
        std::string line;
        while (std::getline(earlier, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            factory.countEarlierCall(line);
        }
    }
    return server;
}

void StandinServer::busyAfter(std::string call, long milliseconds, int occurrence) {
    factory_.onCall(
        std::move(call),
        [this, milliseconds] {
            busyUntil_ = milliseconds < 0
                             ? ~0ULL
                             : ::GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
        },
        occurrence);
}

bool StandinServer::busy() const {
    return ::GetTickCount64() < busyUntil_;
}

void StandinServer::rejected() {
    wire(L"(busy: call rejected)");
    flush();
}

void StandinServer::dialog(const std::string& question) {
    wire(L"Dialog!" + fromShiftJis(question));
    flush();
    throw AutomationError("A dialog waits for an answer: " + question);
}

void StandinServer::dialogForEver(const std::string& question) {
    wire(L"Dialog!" + fromShiftJis(question));
    flush();
    for (;;)
        ::Sleep(INFINITE);
}

void StandinServer::wire(const std::wstring& line) {
    wire_.push_back(line);
}

void StandinServer::flush() {
    // The questions the stand-in application itself would have asked.
    const std::vector<std::string>& prompts = factory_.prompts();
    for (; promptsWired_ < prompts.size(); ++promptsWired_)
        wire(L"Dialog!" + fromShiftJis(prompts[promptsWired_]));
    const std::vector<std::string>& questions = factory_.usersQuestions();
    for (; questionsWired_ < questions.size(); ++questionsWired_)
        wire(L"User!" + fromShiftJis(questions[questionsWired_]));
    std::string calls;
    const std::vector<std::string>& record = factory_.calls();
    for (; callsWritten_ < record.size(); ++callsWritten_)
        calls += record[callsWritten_] + "\r\n";
    appendLines(recordFile_, calls);
    std::string wire;
    for (; wireWritten_ < wire_.size(); ++wireWritten_)
        wire += toShiftJis(wire_[wireWritten_]) + "\r\n";
    appendLines(wireFile_, wire);
}

}  // namespace kovrisk::testing
