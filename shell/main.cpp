#include "shell/StartUp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("KVR260X"));
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    return StartUp::run(app, args);
}
