// twntcfg: the configuration editor of the Tallwatch agent.
#include <QApplication>
#include <QStringList>

#include "editor/qt/twntcfgmain.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::vector<std::string> args;
    const QStringList all = QCoreApplication::arguments();
    for (qsizetype i = 1; i < all.size(); ++i) args.push_back(all[i].toStdString());
    return tw::editor::qt::runTwntcfg(args);
}
