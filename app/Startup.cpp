#include "app/Startup.h"

#include "shell/CWndRemind.h"
#include "shell/kivaPlugMeng.h"
#include "vote/kivaPlugInVote.h"

#include <QIcon>
#include <QPointer>

#include <cstring>

kivaPlugMeng *guideOverlay = nullptr;
kivaPlugInVote *voteWindow = nullptr;

std::vector<std::string> launchArguments(int argc, char **argv)
{
    const char *program = (argc > 0 && argv && argv[0]) ? argv[0] : "";
    return {program, "11111", "vote"};
}

int startPlugin(const char *game)
{
    return startPlugin(game, BridgeOptions());
}

int startPlugin(const char *game, const BridgeOptions &bridge)
{
    if (!game || std::strcmp(game, "vote") != 0)
        return -1;

    guideOverlay = new kivaPlugMeng(nullptr);
    guideOverlay->exec();

    if (voteWindow) {
        showRemind(QStringLiteral("错误"), QStringLiteral("启动插件失败<br>投票软件重复启动"),
                   nullptr);
        return -1;
    }

    voteWindow = new kivaPlugInVote(nullptr, bridge);
    voteWindow->setWindowFlags(voteWindow->windowFlags() | Qt::WindowStaysOnTopHint);
    voteWindow->showNormal();
    voteWindow->setWindowIcon(QIcon(QStringLiteral(":/res/resource/1477978817.png")));
    voteWindow->setAttribute(Qt::WA_DeleteOnClose);
    // The run deletes the window when it ends (delete-on-close); the guard
    // keeps a window that outlived it from lingering without a run.
    QPointer<kivaPlugInVote> window = voteWindow;
    window->exec();
    delete window.data();
    return 0;
}

int runPlugin(const char *game)
{
    return runPlugin(game, BridgeOptions());
}

int runPlugin(const char *game, const BridgeOptions &bridge)
{
    if (startPlugin(game, bridge) != 0) {
        showRemind(QStringLiteral("错误"), QStringLiteral("启动插件失败<br>游戏选择错误"), nullptr);
        return 2;
    }
    // However the vote window's run ended, nothing is left to show: end the process.
    return 0;
}
