// Test helper: shows a window titled "Finished - " + this program's name in capitals, as a
// finished DOS program's window is titled, and runs until that window is closed.
#include <QApplication>
#include <QFileInfo>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Finished - ") + QFileInfo(QString::fromLocal8Bit(argv[0])).baseName().toUpper());
    window.resize(200, 80);
    window.show();
    return app.exec();
}
