// SPDX-License-Identifier: MIT
// The pieces below the catalogue: command-line words, launch paths that exist, bytes from the
// system and values of any type taken as numbers.
#include "text/NativeText.h"
#include "util/CommandLine.h"
#include "util/FileOps.h"
#include "util/Uninterrupted.h"
#include "util/UniqueFd.h"
#include "util/VariantOps.h"

#include <Lanyard/ComponentError.h>

#include <QBitArray>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Lanyard;

Q_DECLARE_METATYPE(std::optional<QStringList>)

namespace {

/// "a[b c]d": the text without brackets, the bracketed characters marked as a replacement's.
std::pair<QString, QBitArray> marked(const QString &text)
{
    if (!text.contains(u'['))
        return {text, QBitArray()};
    QString plain;
    QBitArray literal(text.size());
    bool inside = false;
    for (QChar c : text) {
        if (c == u'[' || c == u']') {
            inside = c == u'[';
            continue;
        }
        literal.setBit(plain.size(), inside);
        plain.append(c);
    }
    literal.resize(plain.size());
    return {plain, literal};
}

const std::optional<QStringList> fails;

struct NumberRow
{
    QVariant value;
    int number = 0, error = 0;
};

} // namespace

Q_DECLARE_METATYPE(NumberRow)

class tst_Util : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void split_data();
    void split()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<QStringList>, words);
        const auto [plain, literal] = marked(text);
        const Result<QStringList> split = CommandLine::split(plain, literal);
        QCOMPARE(split.ok(), words.has_value());
        if (words)
            QCOMPARE(split.value(), *words);
    }

    // A launch path is taken literally; only * and ? are wildcards, and only when nothing
    // of that name exists.
    void fileExists_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("exists");
        QTest::newRow("regular-file") << "prog" << true;
        QTest::newRow("star-when-no-such-name") << "pr*g" << true;
        QTest::newRow("question-mark-when-no-such-name") << "pr?g" << true;
        QTest::newRow("brackets-literal") << "tools [beta]/run" << true;
        QTest::newRow("brackets-no-wildcard") << "[p]rog" << false;
        QTest::newRow("backslash-literal") << "back\\slash" << true;
        QTest::newRow("name-of-no-utf-8") << QStringView(u"caf\xdce9").toString() << true;
        QTest::newRow("wildcard-of-no-file") << "f*" << false; // a folder and a FIFO
        QTest::newRow("missing") << "nothing" << false;
        QTest::newRow("folder") << "folder" << false;
        QTest::newRow("fifo") << "fifo" << false;
    }
    void fileExists()
    {
        QFETCH(QString, relative);
        QFETCH(bool, exists);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("folder") && QDir(dir.path()).mkdir("tools [beta]"));
        for (const char *name : {"prog", ".hidden", "tools [beta]/run", "back\\slash", "caf\xe9"})
            QVERIFY(::close(::creat((QFile::encodeName(dir.path()) + '/' + name).constData(), 0600)) == 0);
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600) == 0);
        const bool quoted = relative.startsWith(u'"');
        const bool found = FileOps::FileExists(quoted ? u'"' + dir.filePath(relative.mid(1)) : dir.filePath(relative));
        ::unlink((QFile::encodeName(dir.path()) + "/caf\xe9").constData()); // a name QTemporaryDir cannot remove
        QCOMPARE(found, exists);
        // A path of nothing, or of quotes only, names no file, wherever the test runs.
        QVERIFY(!FileOps::FileExists(QString()) && !FileOps::FileExists(QStringLiteral("\"\"")));
    }

    // A path's folder keeps its final separator; a program right under the root is in "/", and
    // a bare name has no folder (it is looked for on PATH). The base name loses the last
    // extension only: a leading dot makes a hidden file, not an extension.
    void partsOfAPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("baseName");
        QTest::newRow("nested") << "/usr/bin/vi.sh"
                                << "/usr/bin/"
                                << "vi";
        QTest::newRow("under-the-root") << "/prog"
                                        << "/"
                                        << "prog";
        QTest::newRow("bare-name") << "vi"
                                   << ""
                                   << "vi";
        QTest::newRow("hidden") << "/home/me/.tool"
                                << "/home/me/"
                                << ".tool";
        QTest::newRow("hidden-with-an-extension") << "/home/me/.tool.sh"
                                                  << "/home/me/"
                                                  << ".tool";
    }
    void partsOfAPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(QString, baseName);
        QCOMPARE(FileOps::FolderOfPath(path), folder);
        QCOMPARE(FileOps::FileBaseName(path), baseName);
    }

    // Bytes from the system go through a QString and back unchanged, UTF-8 or not.
    void nativeText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("utf-8") << QByteArray("caf\xc3\xa9") << QString("caf\u00e9");
        QTest::newRow("latin-1-byte") << QByteArray("caf\xe9.lst") << QStringView(u"caf\xdce9.lst").toString();
        QTest::newRow("cut-sequence") << QByteArray("a\xc3") << QStringView(u"a\xdcc3").toString();
        QTest::newRow("overlong") << QByteArray("\xc0\xaf") << QStringView(u"\xdcc0\xdcaf").toString();
        QTest::newRow("overlong-three-bytes")
            << QByteArray("\xe0\x80\xaf") << QStringView(u"\xdce0\xdc80\xdcaf").toString();
        // Each bound of the three- and four-byte ranges, on both sides.
        QTest::newRow("first-three-byte-character") << QByteArray("\xe0\xa0\x80") << QString(QChar(0x0800));
        QTest::newRow("last-before-the-surrogates") << QByteArray("\xed\x9f\xbf") << QString(QChar(0xD7FF));
        QTest::newRow("encoded-surrogate")
            << QByteArray("\xed\xa0\x80") << QStringView(u"\xdced\xdca0\xdc80").toString();
        QTest::newRow("encoded-last-surrogate")
            << QByteArray("\xed\xbf\xbf") << QStringView(u"\xdced\xdcbf\xdcbf").toString();
        QTest::newRow("first-after-the-surrogates") << QByteArray("\xee\x80\x80") << QString(QChar(0xE000));
        QTest::newRow("overlong-four-bytes")
            << QByteArray("\xf0\x8f\xbf\xbf") << QStringView(u"\xdcf0\xdc8f\xdcbf\xdcbf").toString();
        QTest::newRow("first-four-byte-character")
            << QByteArray("\xf0\x90\x80\x80") << QString::fromUcs4(U"\U00010000", 1);
        QTest::newRow("last-code-point") << QByteArray("\xf4\x8f\xbf\xbf") << QString::fromUcs4(U"\U0010FFFF", 1);
        QTest::newRow("beyond-the-last-code-point")
            << QByteArray("\xf4\x90\x80\x80") << QStringView(u"\xdcf4\xdc90\xdc80\xdc80").toString();
        QTest::newRow("byte-order-mark-first") << QByteArray("\xef\xbb\xbfx") << QStringView(u"\xfeffx").toString();
    }
    void nativeText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(NativeText::decode(bytes), text);
        QCOMPARE(NativeText::encode(text), bytes);
    }

    // A value of any type as a 16-bit number: rounded half to even, or an error.
    void toInt16_data()
    {
        QTest::addColumn<NumberRow>("row");
        QTest::newRow("limits") << NumberRow{-32768, -32768};
        QTest::newRow("top-limit") << NumberRow{32767, 32767};
        QTest::newRow("above") << NumberRow{32768, 0, 6};
        QTest::newRow("below") << NumberRow{-32769, 0, 6};
        QTest::newRow("not-a-number") << NumberRow{qQNaN(), 0, 6};
        QTest::newRow("half-down-to-even") << NumberRow{2.5, 2};
        QTest::newRow("half-up-to-even") << NumberRow{3.5, 4};
        QTest::newRow("below-half-down") << NumberRow{2.49, 2};
        QTest::newRow("above-half-up") << NumberRow{2.51, 3};
        QTest::newRow("negative-half-to-even") << NumberRow{-2.5, -2};
        QTest::newRow("negative-above-half") << NumberRow{-2.51, -3};
        QTest::newRow("text-rounded") << NumberRow{"7.6", 8};
        QTest::newRow("rounds-into-overflow") << NumberRow{32767.5, 0, 6};
        QTest::newRow("true") << NumberRow{true, -1};
        QTest::newRow("text-true") << NumberRow{"True", -1};
        QTest::newRow("text-false") << NumberRow{" FALSE ", 0};
        QTest::newRow("word") << NumberRow{"Tools", 0, 13};
    }
    void toInt16()
    {
        QFETCH(NumberRow, row);
        qint16 number = 0;
        try {
            number = VariantOps::toInt16(row.value);
        } catch (const ComponentError &error) {
            QCOMPARE(error.number(), row.error);
            return;
        }
        QCOMPARE(row.error, 0);
        QCOMPARE(number, row.number);
    }

    // A call cut short by a signal is made again; any other answer is the result, a failure too,
    // and a success stays one whatever errno an earlier call left.
    void uninterruptedCall_data()
    {
        QTest::addColumn<QList<int>>("results");
        QTest::addColumn<QList<int>>("errnos");
        QTest::addColumn<int>("calls");
        QTest::newRow("answered") << QList{7} << QList{0} << 1;
        QTest::newRow("answered-after-an-old-cut") << QList{7} << QList{EINTR} << 1;
        QTest::newRow("nothing-left") << QList{0} << QList{EINTR} << 1;
        QTest::newRow("cut-twice") << QList{-1, -1, 3} << QList{EINTR, EINTR, 0} << 3;
        QTest::newRow("failed") << QList{-1, 5} << QList{EAGAIN, 0} << 1;
        QTest::newRow("cut-then-failed") << QList{-1, -1, 5} << QList{EINTR, EBADF, 0} << 2;
    }
    void uninterruptedCall()
    {
        QFETCH(QList<int>, results);
        QFETCH(QList<int>, errnos);
        QFETCH(int, calls);
        int made = 0;
        const int result = uninterrupted([&] {
            errno = errnos.value(made);
            return results.value(made++, 99);
        });
        QCOMPARE(made, calls);
        QCOMPARE(result, results.at(calls - 1));
        QCOMPARE(errno, errnos.at(calls - 1));
    }

    // A descriptor that took a standard stream's number moves above them; any other is kept
    // as it is, and 0 is a descriptor like any other.
    void descriptorAboveStandard_data()
    {
        QTest::addColumn<int>("number");
        QTest::newRow("standard-input") << STDIN_FILENO;
        QTest::newRow("standard-error") << STDERR_FILENO;
        QTest::newRow("far-above") << 200;
    }
    void descriptorAboveStandard()
    {
        QFETCH(int, number);
        const UniqueFd saved(::fcntl(number, F_DUPFD_CLOEXEC, 100)); // what the number held, if anything
        const UniqueFd file(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        QVERIFY(::dup2(file.get(), number) == number);
        UniqueFd owned = UniqueFd::aboveStandard(number);
        QVERIFY(owned.isValid());
        const int ownedNumber = owned.get();
        const bool numberFreed = ::fcntl(number, F_GETFD) < 0;
        const bool closedOnExec = ::fcntl(ownedNumber, F_GETFD) & FD_CLOEXEC;
        owned.reset();
        if (saved.isValid())
            ::dup2(saved.get(), number);
        if (number > STDERR_FILENO) {
            QCOMPARE(ownedNumber, number);
        } else {
            QVERIFY(ownedNumber > STDERR_FILENO);
            QVERIFY(numberFreed && closedOnExec);
        }

        UniqueFd zero(STDIN_FILENO);
        QVERIFY(zero.isValid());
        zero.release(); // standard input stays open
        QVERIFY(!UniqueFd().isValid());
        QVERIFY(!UniqueFd::aboveStandard(-1).isValid());
    }
};

// Outside the class: moc does not read raw string literals.
void tst_Util::split_data()
{
    QTest::addColumn<QString>("text"); // [...] marks characters a replacement put in
    QTest::addColumn<std::optional<QStringList>>("words");
    const auto words = [](const QStringList &list) { return std::optional(list); };
    QTest::newRow("blanks-separate") << "  a\tb \n c  " << words({"a", "b", "c"});
    QTest::newRow("double-quote-escapes") << R"("a \" \\ \$ \` \n")" << words({R"(a " \ $ ` \n)"});
    QTest::newRow("quotes-join-a-word") << R"(--x="a b"'c d'e)" << words({"--x=a bc de"});
    QTest::newRow("empty-quotes-are-a-word") << R"(a "" '' b)" << words({"a", "", "", "b"});
    QTest::newRow("no-expansion") << R"($HOME `id` $(id) * ~ ; | &)"
                                  << words({"$HOME", "`id`", "$(id)", "*", "~", ";", "|", "&"});
    QTest::newRow("open-double-quote") << R"(a "b)" << fails;
    QTest::newRow("open-single-quote") << R"(a 'b)" << fails;
    QTest::newRow("escaped-quote-does-not-close") << R"("a\")" << fails;
    // A backslash that ends the text escapes nothing: it stays, or leaves a quote open.
    QTest::newRow("backslash-ends-the-text") << R"(a b\)" << words({"a", R"(b\)"});
    QTest::newRow("backslash-ends-an-open-double-quote") << R"(a "b\)" << fails;
    QTest::newRow("replaced-blank-joins") << "--file=[my file] x" << words({"--file=my file", "x"});
    QTest::newRow("replaced-quote-does-not-close") << "\"x[\"] y\"" << words({"x\" y"});
}

QTEST_GUILESS_MAIN(tst_Util)
#include "tst_util.moc"
