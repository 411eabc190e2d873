// The smallest Lanyard host: a launch list, one placeholder, one launch, the program list window.
#include <Lanyard/ExternalApps.h>

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    auto *tools = new Lanyard::ExternalApps;
    tools->setEXTFile(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("tools.lst"));
    tools->AddPlaceHolder(QStringLiteral("%FILE%"), QStringLiteral("/etc/hostname"));

    // Start the first entry of the first group, with %FILE% filled in.
    if (tools->GroupCount() > 0 && tools->AppCount(0) > 0)
        tools->ExecuteApp(tools->GroupName(0), tools->ApplicationName(0, 0));

    tools->ShowForm(1); // the program list window, until the user closes it
    delete tools;       // the release writes the launch list back
    return 0;
}
