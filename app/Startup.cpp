#include "app/Startup.h"

#include "overlay/OverlayServer.h"
#include "platform/Platform.h"
#include "shell/CWndRemind.h"
#include "shell/kivaPlugMeng.h"
#include "ui/kivaPlugInVote.h"
#include "vote/VotePresets.h"

#include <QApplication>
#include <QIcon>

#include <cstring>

kivaPlugMeng *guideOverlay = nullptr;
QPointer<kivaPlugInVote> voteWindow;

namespace {

bool stopping = false;

} // namespace

void stopPlugin()
{
    stopping = true;
    // Every dialog's loop ends, the cards' first: the vote window's run then
    // ends as its close control ends it.
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *dialog = qobject_cast<QDialog *>(widget);
        if (dialog && dialog->isVisible() && dialog != voteWindow)
            dialog->reject();
    }
    if (voteWindow)
        voteWindow->done(QDialog::Rejected);
}

std::vector<std::string> launchArguments(int argc, char **argv)
{
    const char *program = (argc > 0 && argv && argv[0]) ? argv[0] : "";
    return {program, "11111", "vote"};
}

StartResult startPlugin(const char *game)
{
    return startPlugin(game, BridgeOptions(), OverlayServer::portFromEnvironment(),
                       Platform::voteRecordsFolder(), true);
}

StartResult startPlugin(const char *game, const BridgeOptions &bridge, int overlayPort,
                        const QString &recordsFolder, bool userSettings)
{
    if (!game || std::strcmp(game, "vote") != 0)
        return StartResult::WrongGame;

    guideOverlay = new kivaPlugMeng(nullptr);
    guideOverlay->exec();
    if (stopping)
        return StartResult::Ran;

    if (voteWindow) {
        showRemind(QStringLiteral("错误"), QStringLiteral("启动插件失败<br>投票软件重复启动"),
                   nullptr);
        return StartResult::AlreadyRunning;
    }

    kivaPlugInVote *window = new kivaPlugInVote(nullptr, bridge, overlayPort, recordsFolder);
    voteWindow = window;
    if (userSettings) {
        window->enablePresets(VotePresets::defaultPath());
        window->enableRemoteControl(RemoteSettings::defaultPath());
    }
    window->setWindowFlags(window->windowFlags() | Qt::WindowStaysOnTopHint);
    window->showNormal();
    window->setWindowIcon(QIcon(QStringLiteral(":/res/resource/1477978817.png")));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->exec();
    // The run deletes the window when it ends (delete-on-close); one that
    // outlived its run without closing goes now, so nothing lingers unseen.
    delete voteWindow.data();
    return StartResult::Ran;
}

int runPlugin(const char *game)
{
    return runPlugin(game, BridgeOptions(), OverlayServer::portFromEnvironment(),
                     Platform::voteRecordsFolder(), true);
}

int runPlugin(const char *game, const BridgeOptions &bridge, int overlayPort,
              const QString &recordsFolder, bool userSettings)
{
    if (startPlugin(game, bridge, overlayPort, recordsFolder, userSettings) != StartResult::Ran) {
        // Both refusals end alike: the start failure reminder, then status 2.
        showRemind(QStringLiteral("错误"), QStringLiteral("启动插件失败<br>游戏选择错误"), nullptr);
        return 2;
    }
    // However the vote window's run ended, nothing is left to show: end the process.
    return 0;
}
