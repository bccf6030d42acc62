// twntcfg: the configuration editor of the Tallwatch agent.
#include <signal.h>

#include <QApplication>
#include <QStringList>

#include "editor/qt/twntcfgmain.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::vector<std::string> args;
    const QStringList all = QCoreApplication::arguments();
    for (qsizetype i = 1; i < all.size(); ++i) args.push_back(all[i].toStdString());
    auto host = tw::platform::makeHostPlatform();
    // The host platform catches SIGINT and SIGTERM for the agent's loop; a
    // dialog program ends on them as any other.
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    return tw::editor::qt::runTwntcfg(host->get(), args);
}
