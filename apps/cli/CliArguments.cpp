// SPDX-License-Identifier: MIT
#include "CliArguments.h"

#include <QCommandLineParser>
#include <QDir>

using namespace Qt::StringLiterals;

namespace CliArguments {

namespace {

const QString helpText = uR"(Usage: lanyard [OPTION]... COMMAND [ARG]...
Start and maintain the external programs of a Lanyard launch list.

Commands:
  list                      print one line per application, fields separated by
                              tabs: group, name, path, command line, protected
                              flag as stored (-1 or 0)
  show GROUP APP            print what run would start, without starting it:
                              program, one line per argument, folder
  run GROUP APP [--wait]    start the application with the placeholders replaced;
                              with --wait, give it this standard input, pass on
                              its output and error output, and end with its
                              exit status
  add GROUP APP PATH [CMDLINE] [--protected]
                            add an application (or update the one of that name)
  edit OLDGROUP OLDAPP NEWGROUP NEWAPP [--path P] [--cmd C] [--protected]
                            rename, move or change an application; it stays
                              protected only with --protected
  delete GROUP APP          delete an application
  configure                 open the program list window (needs a display)

Options:
      --file PATH           the launch list file
                              (default: $XDG_CONFIG_HOME/lanyard/tools.lst)
      --max-groups N        number of group slots, 1 to 32767 (default: 32767;
                              the list grows with every add)
      --max-apps N          number of application slots in a group, 1 to 32767
                              (default: 32767)
      --language LANG       language of the program list window: en, de or fr
      --set SEARCH=REPLACE  register a placeholder (SEARCH not empty); repeat for
                              more, applied in the order given
      --protected           (add, edit) mark the application as protected
      --path P              (edit) the new program path
      --cmd C               (edit) the new command line
      --wait                (run) wait for the program's end; SIGINT, SIGTERM or
                              SIGHUP cancels it with what it started
  -h, --help                display this help and exit
      --version             output version information and exit

Put -- before arguments that begin with '-'. list, show and run never write the
launch list nor create its folder; add, edit, delete and configure write their
changes when they end, keeping what other programs wrote into it meanwhile.

Exit status:
  0  done (run: the program was started)
  1  run: the program was not started; show: nothing would start;
       add, edit: a limit refused the application; show, run, edit, delete:
       no such application
  2  bad usage, an error of the component ("lanyard: error N: TEXT"), a
       launch list that could not be read or written, or output that could not
       be written ("lanyard: write error: TEXT")
run --wait ends with the program's exit status instead, 128 + N when signal N
ended it or the wait, and 127 when the program was not started.
)"_s;

CliExit usageError(const QString &message)
{
    return {errorStatus, {}, u"lanyard: "_s + message + u"\nTry 'lanyard --help' for more information.\n"_s};
}

/// A command, the number of arguments it takes, which command-specific options it accepts, and
/// whether it may write the launch list.
struct CommandSyntax
{
    QString name;
    qsizetype minArguments;
    qsizetype maxArguments;
    QString synopsis;
    bool takesProtected;
    bool takesPathAndCmd;
    bool writes;
    bool takesWait = false;
};

const QList<CommandSyntax> &commands()
{
    static const QList<CommandSyntax> table{
        {u"list"_s, 0, 0, u"list"_s, false, false, false},
        {u"show"_s, 2, 2, u"show GROUP APP"_s, false, false, false},
        {u"run"_s, 2, 2, u"run GROUP APP [--wait]"_s, false, false, false, true},
        {u"add"_s, 3, 4, u"add GROUP APP PATH [CMDLINE] [--protected]"_s, true, false, true},
        {u"edit"_s, 4, 4, u"edit OLDGROUP OLDAPP NEWGROUP NEWAPP [--path P] [--cmd C] [--protected]"_s, true, true,
         true},
        {u"delete"_s, 2, 2, u"delete GROUP APP"_s, false, false, true},
        {u"configure"_s, 0, 0, u"configure"_s, false, false, true},
    };
    return table;
}

const CommandSyntax *findCommand(const QString &name)
{
    for (const CommandSyntax &syntax : commands()) {
        if (syntax.name == name)
            return &syntax;
    }
    return nullptr;
}

/// A limit within the range the component accepts.
std::optional<qint16> parseCount(const QString &text)
{
    bool ok; // set by the conversion
    const qint16 value = text.toShort(&ok);
    return ok && value >= minCount ? std::optional<qint16>(value) : std::nullopt; // toShort bounds the top
}

std::optional<Lanyard::Language> parseLanguage(const QString &text)
{
    if (text == u"en")
        return Lanyard::Language::lEnglish;
    if (text == u"de")
        return Lanyard::Language::lGerman;
    if (text == u"fr")
        return Lanyard::Language::lFrench;
    return std::nullopt;
}

} // namespace

bool writesTheList(const QString &command)
{
    const CommandSyntax *syntax = findCommand(command);
    return !syntax || syntax->writes;
}

std::variant<CliInvocation, CliExit> parse(const QStringList &arguments, const QString &defaultFile)
{
    const QCommandLineOption file(u"file"_s, QString(), u"PATH"_s);
    const QCommandLineOption maxGroups(u"max-groups"_s, QString(), u"N"_s);
    const QCommandLineOption maxApps(u"max-apps"_s, QString(), u"N"_s);
    const QCommandLineOption language(u"language"_s, QString(), u"LANG"_s);
    const QCommandLineOption set(u"set"_s, QString(), u"SEARCH=REPLACE"_s);
    const QCommandLineOption isProtected(u"protected"_s, QString());
    const QCommandLineOption path(u"path"_s, QString(), u"P"_s);
    const QCommandLineOption cmd(u"cmd"_s, QString(), u"C"_s);
    const QCommandLineOption wait(u"wait"_s, QString());
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s}, QString());
    const QCommandLineOption version(u"version"_s, QString());

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({file, maxGroups, maxApps, language, set, isProtected, path, cmd, wait, help, version});
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help))
        return CliExit{0, helpText, {}};
    if (parser.isSet(version))
        return CliExit{0, u"lanyard (Lanyard) " LANYARD_VERSION "\n"_s, {}};

    for (const QCommandLineOption &single : {file, maxGroups, maxApps, language, path, cmd}) {
        if (parser.values(single).size() > 1)
            return usageError(u"option '--%1' given more than once"_s.arg(single.names().constFirst()));
    }

    CliInvocation invocation;
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(u"missing command"_s);
    invocation.command = positional.takeFirst();
    invocation.arguments = positional;
    const CommandSyntax *syntax = findCommand(invocation.command);
    if (!syntax)
        return usageError(u"unknown command '%1'"_s.arg(invocation.command));
    if (positional.size() < syntax->minArguments || positional.size() > syntax->maxArguments)
        return usageError(u"wrong number of arguments; usage: lanyard [OPTION]... %1"_s.arg(syntax->synopsis));
    if (parser.isSet(isProtected) && !syntax->takesProtected)
        return usageError(u"option '--protected' applies to add and edit only"_s);
    if ((parser.isSet(path) || parser.isSet(cmd)) && !syntax->takesPathAndCmd)
        return usageError(u"options '--path' and '--cmd' apply to edit only"_s);
    if (parser.isSet(wait) && !syntax->takesWait)
        return usageError(u"option '--wait' applies to run only"_s);

    if (parser.isSet(file) && parser.value(file).isEmpty())
        return usageError(u"option '--file' needs a path"_s);
    invocation.fileGiven = parser.isSet(file);
    invocation.file = parser.isSet(file) ? parser.value(file) : defaultFile;
    for (const auto &[option, target] :
         {std::pair{&maxGroups, &invocation.maxGroups}, std::pair{&maxApps, &invocation.maxApps}}) {
        if (!parser.isSet(*option))
            continue;
        *target = parseCount(parser.value(*option));
        if (!*target)
            return usageError(u"'--%1' needs a whole number from %2 to %3, not '%4'"_s.arg(
                option->names().constFirst(), QString::number(minCount), QString::number(maxCount),
                parser.value(*option)));
    }
    if (parser.isSet(language)) {
        invocation.language = parseLanguage(parser.value(language));
        if (!invocation.language)
            return usageError(u"unknown language '%1' (en, de or fr)"_s.arg(parser.value(language)));
    }
    for (const QString &pair : parser.values(set)) {
        const qsizetype equals = pair.indexOf(u'=');
        if (equals <= 0) // an empty SEARCH would stand for nothing
            return usageError(u"'--set' needs SEARCH=REPLACE, SEARCH not empty, not '%1'"_s.arg(pair));
        invocation.placeholders.append({pair.left(equals), pair.mid(equals + 1)});
    }
    invocation.isProtected = parser.isSet(isProtected);
    invocation.wait = parser.isSet(wait);
    if (parser.isSet(path))
        invocation.path = parser.value(path);
    if (parser.isSet(cmd))
        invocation.cmd = parser.value(cmd);
    return invocation;
}

} // namespace CliArguments
