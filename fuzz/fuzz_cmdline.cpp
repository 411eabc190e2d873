// Placeholders replaced in a command line and the command split into words: a replacement's
// characters never leave the word in which their placeholder stood, whatever they are.
#include "FuzzInput.h"

#include <Lanyard/ExternalApps.h>


#include <cstdlib>

using namespace Lanyard;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    // The value is marked so that it can be found again among the words.
    const QString value = u'\x1e' + input.text(40) + u'\x1e';
    const QString other = input.text(16);
    QString cmdLine = input.text(80);
    // The placeholder is to stand in the command line exactly once.
    if (cmdLine.contains(u'\x1e') || other.contains(u'\x1e') || value.count(u'\x1e') != 2
        || cmdLine.contains(u"%V%"))
        return 0;
    const qsizetype at = cmdLine.isEmpty() ? 0 : qsizetype(input.byte()) % (cmdLine.size() + 1);
    cmdLine.insert(at, QStringLiteral("%V%"));

    ExternalApps apps;
    apps.AddPlaceHolder(QStringLiteral("%V%"), value);
    apps.AddPlaceHolder(QStringLiteral("%O%"), other);
    try {
        apps.AddApp(QStringLiteral("G"), QStringLiteral("A"), QStringLiteral("/bin/true"), cmdLine, false);
    } catch (const ComponentError &) {
        return 0; // a command line the list could not store as it stands (a line break, say)
    }
    const Result<LaunchCommand> command = apps.launchCommand(QStringLiteral("G"), QStringLiteral("A"));
    if (!command)
        return 0; // an unbalanced quote in the stored text; nothing would start
    if (command->program != u"/bin/true")
        std::abort();
    // Later placeholders are replaced in what earlier ones put in.
    const QString expected = QString(value).replace(QStringLiteral("%O%"), other);
    int words = 0;
    for (const QString &word : command->arguments) {
        const qsizetype first = word.indexOf(u'\x1e');
        if (first < 0)
            continue;
        ++words;
        // The whole value, unchanged, inside this one word.
        if (word.indexOf(expected) != first || word.count(u'\x1e') != 2)
            std::abort();
    }
    if (words != 1)
        std::abort();
    return 0;
}
