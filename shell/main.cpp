#include "shell/StartUp.h"
#include "ui/WidgetPrompter.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("KVR260X"));
    // Every box and file dialog of the run is a real one.
    WidgetPrompter prompter;
    Prompter::setDefault(&prompter);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    return StartUp::run(app, args);
}
