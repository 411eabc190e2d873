// SPDX-License-Identifier: MIT
#include "Launcher.h"

#include "ChildReaper.h"
#include "PlaceholderTable.h"
#include "ProcessSpawn.h"
#include "util/CommandLine.h"
#include "util/FileListing.h"
#include "util/FileOps.h"
#include "util/MissingFileText.h"

#include <QBitArray>

#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

/**
 * The command "path + space + command line" while the placeholders are replaced in it. It
 * remembers which characters a replacement put in (they are literal when the command line is
 * split into words) and where the program ends and the arguments begin. A replacement belongs
 * to the part in which its match begins; one that swallows the separating space therefore
 * joins the program, unless it begins on that space.
 */
class Command
{
public:
    Command(const QString &path, const QString &cmdLine)
        : m_text(path + u' ' + cmdLine)
        , m_literal(size_t(m_text.size()), false)
        , m_programEnd(path.size())
        , m_argumentsStart(path.size() + 1)
    {
    }

    /// Replaces every occurrence of @p search, scanning from the start, never inside text
    /// that this pass has just put in.
    void replace(const QString &search, const QString &replacement)
    {
        if (search.isEmpty())
            return;
        qsizetype match = m_text.indexOf(search);
        if (match < 0)
            return;
        QString text;
        std::vector<bool> literal;
        qsizetype programEnd = -1;
        qsizetype argumentsStart = -1;
        qsizetype copied = 0;
        for (; match >= 0; match = m_text.indexOf(search, copied)) {
            copy(copied, match, text, literal, programEnd, argumentsStart);
            const qsizetype matchEnd = match + search.size();
            const bool beginsInProgram = match < m_programEnd;
            const qsizetype before = text.size();
            text.append(replacement);
            literal.insert(literal.end(), size_t(replacement.size()), true);
            const qsizetype splitAt = beginsInProgram ? text.size() : before;
            if (m_programEnd > match && m_programEnd < matchEnd)
                programEnd = splitAt;
            if (m_argumentsStart > match && m_argumentsStart < matchEnd)
                argumentsStart = splitAt;
            copied = matchEnd;
        }
        copy(copied, m_text.size(), text, literal, programEnd, argumentsStart);
        m_text = std::move(text);
        m_literal = std::move(literal);
        m_programEnd = programEnd;
        m_argumentsStart = argumentsStart;
    }

    /// The program and the words of the arguments after trimming the spaces at both ends of
    /// the whole command; InvalidArgument when a quote is left open.
    Result<LaunchCommand> finish(const QString &folder) const
    {
        qsizetype first = 0;
        qsizetype end = m_text.size();
        while (first < end && m_text.at(first) == u' ')
            ++first;
        while (end > first && m_text.at(end - 1) == u' ')
            --end;
        const qsizetype programEnd = std::clamp(m_programEnd, first, end);
        const qsizetype argumentsStart = std::clamp(m_argumentsStart, first, end);

        QBitArray literal(argumentsStart < end ? end - argumentsStart : 0);
        for (qsizetype i = argumentsStart; i < end; ++i)
            literal.setBit(i - argumentsStart, m_literal[size_t(i)]);
        const Result<QStringList> arguments = CommandLine::split(m_text.mid(argumentsStart, end - argumentsStart),
                                                                 literal);
        if (!arguments)
            return arguments.error();
        return LaunchCommand{m_text.mid(first, programEnd - first), arguments.value(), folder};
    }

private:
    /// Appends m_text[from, to) and carries over the part boundaries that lie in it, a
    /// boundary at @p to included: text put in at @p to goes after it.
    void copy(qsizetype from, qsizetype to, QString &text, std::vector<bool> &literal, qsizetype &programEnd,
              qsizetype &argumentsStart) const
    {
        const qsizetype offset = text.size() - from;
        if (m_programEnd >= from && m_programEnd <= to)
            programEnd = m_programEnd + offset;
        if (m_argumentsStart >= from && m_argumentsStart <= to)
            argumentsStart = m_argumentsStart + offset;
        text.append(QStringView(m_text).sliced(from, to - from));
        literal.insert(literal.end(), m_literal.begin() + from, m_literal.begin() + to);
    }

    QString m_text;
    std::vector<bool> m_literal;
    qsizetype m_programEnd;     // the program is m_text[0, m_programEnd)
    qsizetype m_argumentsStart; // the arguments are m_text[m_argumentsStart, end)
};

Result<LaunchCommand> commandFor(const QString &path, const QString &cmdLine, const PlaceholderTable &placeholders,
                                 const QString &startFile)
{
    Command command(path, cmdLine);
    for (const Placeholder &pair : placeholders.pairs())
        command.replace(pair.search, pair.replace);
    const Result<LaunchCommand> finished = command.finish(FileOps::FolderOfPath(path));
    if (!finished)
        return finished;
    LaunchCommand result = finished.value();
    // The program starts by the file that the existence test found, also after the child has
    // entered its folder.
    if (result.program == path)
        result.program = startFile;
    if (result.program.contains(u'/') && !result.program.startsWith(u'/'))
        result.program = FileListing::absolutePath(result.program);
    return result;
}

} // namespace

Result<void> Launcher::execute(const QString &path, const QString &cmdLine, const PlaceholderTable &placeholders,
                               const MissingProgram &missingProgram)
{
    const Result<LaunchCommand> command = prepare(path, cmdLine, placeholders, missingProgram);
    return command ? start(command.value()) : command.error();
}

Result<LaunchCommand> Launcher::prepare(const QString &path, const QString &cmdLine,
                                        const PlaceholderTable &placeholders, const MissingProgram &missingProgram)
{
    const std::optional<QString> startFile = FileOps::ProgramFile(path);
    if (!startFile) {
        if (missingProgram)
            missingProgram(path);
        return ComponentError(ErrorCode::FileNotFound, missingFileText() + path);
    }
    return commandFor(path, cmdLine, placeholders, *startFile);
}

Result<void> Launcher::start(const LaunchCommand &command)
{
    SpawnOptions options;
    options.newSession = true;
    options.workingDirectory = command.folder;
    const SpawnResult started = ProcessSpawn::start(command.program, command.arguments, options);
    if (!started.started())
        return spawnFailure(started);
    ChildReaper::instance().watch(started.pid);
    return Result<void>();
}

ComponentError Launcher::spawnFailure(const SpawnResult &spawn)
{
    const ErrorCode code = spawn.error == EACCES || spawn.error == EPERM ? ErrorCode::PermissionDenied
                                                                         : ErrorCode::FileNotFound;
    if (spawn.folderFailed)
        return ComponentError(code, u"cannot enter the program's folder: "_s + qt_error_string(spawn.error));
    return ComponentError(code, qt_error_string(spawn.error));
}

Result<LaunchCommand> Launcher::preview(const QString &path, const QString &cmdLine,
                                        const PlaceholderTable &placeholders)
{
    return commandFor(path, cmdLine, placeholders, FileOps::ProgramFile(path).value_or(path));
}

} // namespace Lanyard
