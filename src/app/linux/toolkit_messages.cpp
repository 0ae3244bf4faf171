#include "app/linux/toolkit_messages.h"

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/native_environment.h"
#include "platform/native_files.h"
#include "platform/system_clock.h"
#include "platform/text_codec.h"
#include "support/activity_log.h"

namespace kovrisk {

namespace {

constexpr char kPlatformCategory[] = "qt.qpa.";

void logFatal(const QString& text) {
    NativeEnvironment environment;
    NativeFiles files;
    SystemClock clock;
    NativePath base = environment.commonDataFolder();
    if (base.empty())
        base = NativePath(NativeString(1, NativePath::preferred_separator));
    ActivityLog log(base / "Kovrisk" / "", clock, files);
    log.LogWrite(toShiftJis(std::string("Qt: ") + text.toStdString()));
}

void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        logFatal(text);
        std::fprintf(stderr, "kovrisk: %s\n", text.toLocal8Bit().constData());
        return;
    }
    if (context.category != nullptr &&
        std::strncmp(context.category, kPlatformCategory, sizeof kPlatformCategory - 1) == 0) {
        return;
    }
    const QByteArray local = qFormatLogMessage(type, context, text).toLocal8Bit();
    std::fprintf(stderr, "%s\n", local.constData());
}

}  // namespace

ToolkitMessages::ToolkitMessages() : previous_(qInstallMessageHandler(handle)) {}

ToolkitMessages::~ToolkitMessages() {
    qInstallMessageHandler(previous_);
}

}  // namespace kovrisk
