// SPDX-License-Identifier: MIT
// The application object every fuzz target runs in: icons and the catalogue need a
// QGuiApplication, on the offscreen platform.
#include <QGuiApplication>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}
