// SPDX-License-Identifier: MIT
// Test helper: a window titled "Finished - " + this program's name in capitals, as a finished DOS
// program's window, until it is closed; with --late titled "Running" until a moment later.
#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    const QString finished = "Finished - " + QFileInfo(QString::fromLocal8Bit(argv[0])).baseName().toUpper();
    window.setWindowTitle(argc > 1 && qstrcmp(argv[1], "--late") == 0 ? QStringLiteral("Running") : finished);
    QTimer::singleShot(300, &window, [&] { window.setWindowTitle(finished); });
    window.show();
    return app.exec();
}
