#include "desktop/app/window_start.h"

#include "desktop/app/main_app.h"
#include "base/program_log.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct KeptMessage {
    QtMsgType type;
    std::string category;
    QString text;
};

// Qt's messages while the application object connects to the display: kept back until it is
// known whether it could, so that a failure is one line of ours and not Qt's screenful.
std::vector<KeptMessage> keptMessages;
QtMessageHandler qtHandler = nullptr;

void keepOrGiveUp(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtFatalMsg) {
        keptMessages.push_back({type, context.category != nullptr ? context.category : "", text});
        return;
    }
    // Qt could not open any platform: there is no display for the window.
    logLine("no display to open the window on; velmorad counts traffic without one");
    std::_Exit(1);
}

} // namespace

int runWindow(int& argc, char** argv, CountingSource counting, std::optional<int> keepHoursDays)
{
    qtHandler = qInstallMessageHandler(keepOrGiveUp);
    CMainApp app(argc, argv, std::move(counting), keepHoursDays);
    qInstallMessageHandler(qtHandler);
    for (const KeptMessage& message : keptMessages) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.c_str());
        qtHandler != nullptr ? qtHandler(message.type, context, message.text)
                             : qt_message_output(message.type, context, message.text);
    }
    keptMessages.clear();
    return app.run();
}
