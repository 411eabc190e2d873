// SPDX-License-Identifier: MIT
// The program list window as a screen reader hears it: Qt's accessibility bridge on a private
// AT-SPI bus, and a listener (tests/ui/atspi-listener.py, libatspi through pyatspi as Orca
// uses it) in another process that records the events the bus carries and asks the window's
// objects what a screen reader asks them. Keys go to the focus widget as a user's do.
//
// Runs under xvfb-run and dbus-run-session (the bridge needs the X11 platform and a session
// bus); without X, a session bus, at-spi2-core or python3-pyatspi each case skips and says why.
#include "MemoryEntries.h"
#include "ModalDriver.h"
#include "ui/Captions.h"
#include "ui/frmEditApps.h"
#include "ui/frmNewApp.h"

#include <QAccessible>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

using namespace Lanyard;
using namespace UiTest;
using namespace Qt::StringLiterals;

namespace {

/// The listener's process and the lines it has printed.
class ScreenReader
{
public:
    /// Starts the listener; an empty string once it listens, else why it cannot.
    QString start()
    {
        // Debian's pyatspi belongs to the system's Python, which a Python of the user's may hide.
        const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
        if (python.isEmpty())
            return QStringLiteral("no /usr/bin/python3");
        process.setProgram(python);
        process.setArguments({QStringLiteral(LANYARD_SOURCE_DIR "/tests/ui/atspi-listener.py")});
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start();
        // Asking for the accessibility bus starts at-spi-bus-launcher, and with it the bus; Qt's
        // bridge only watches for it to appear and never starts it itself.
        if (!waitFor([](const QString &line) { return line == u"ready"; }, 20000)) {
            process.kill();
            process.waitForFinished(5000);
            return QStringLiteral("the AT-SPI listener did not start (install at-spi2-core and "
                                  "python3-pyatspi): %1")
                .arg(QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
        }
        return {};
    }

    ~ScreenReader()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    /// Waits up to @p ms for a line since the last forget() that @p wanted accepts.
    bool waitFor(const std::function<bool(const QString &)> &wanted, int ms)
    {
        const QDeadlineTimer deadline(ms);
        for (;;) {
            if (std::any_of(heard.cbegin(), heard.cend(), wanted))
                return true;
            if (deadline.hasExpired() || process.state() == QProcess::NotRunning)
                return false;
            // The window's event loop runs meanwhile: the listener's questions need it.
            QTest::qWait(10);
            while (process.canReadLine())
                heard << QString::fromUtf8(process.readLine()).chopped(1);
        }
    }

    /// Waits for the line "event TYPE DETAIL ROLE NAME".
    bool waitForEvent(const QString &type, int detail, const QString &role, const QString &name)
    {
        const QString wanted = QStringList{u"event"_s, type, QString::number(detail), role, name}.join(u'\t');
        return waitFor([&](const QString &line) { return line == wanted; }, 10000);
    }

    /// Asks the listener @p command and returns its answer's fields after the first.
    QStringList ask(const QString &command)
    {
        const QString kind = command.section(u' ', 0, 0);
        forgetAll(kind);
        process.write(command.toUtf8() + '\n');
        QStringList answer;
        waitFor(
            [&](const QString &line) {
                if (!line.startsWith(kind + u'\t'))
                    return false;
                answer = line.split(u'\t').mid(1);
                return true;
            },
            10000);
        return answer;
    }

    /// Drops the lines heard so far.
    void forget()
    {
        process.readAll();
        heard.clear();
    }
    const QStringList &lines() const { return heard; }

private:
    void forgetAll(const QString &kind)
    {
        heard.removeIf([&](const QString &line) { return line.startsWith(kind + u'\t'); });
    }

    QProcess process;
    QStringList heard;
};

/// Whether @p line is a focus event for the row @p name.
bool isFocusOnRow(const QString &line, const QString &name)
{
    const QStringList f = line.split(u'\t');
    return f.size() == 5 && f[0] == u"event" && (f[1] == u"focus:" || f[1] == u"object:state-changed:focused")
           && f[2] == u"1" && f[3] != u"push button" && f[4] == name;
}

QWidget *host()
{
    static QWidget *window = [] {
        auto *made = new QWidget;
        made->setWindowTitle(QStringLiteral("Host"));
        made->show();
        return made;
    }();
    return window;
}

/// Presses @p key and waits until @p done: the bridge hands each key to the accessibility
/// registry first (where a screen reader may take it) and lets the window have it on its answer.
void pressUntil(Qt::Key key, const std::function<bool()> &done)
{
    press(key);
    if (!QTest::qWaitFor(done, 5000))
        QTest::qFail(qPrintable(QStringLiteral("the key %1 did not act").arg(QKeySequence(key).toString())), __FILE__,
                     __LINE__);
}

/// A caption as a screen reader says it: without the mark of its access key.
QString spoken(TextId id) { return Captions::text(id).remove(u'&'); }

/// Whether @p window is active with the focus on the widget called @p name. A loaded X server may
/// take the activation away again after a dialog closes, as a window manager may: the window is
/// then activated again, as a click would, and it gives the focus back to its own focus widget.
bool focusBackOn(QWidget *window, const QString &name)
{
    if (!window->isActiveWindow())
        window->activateWindow();
    const QWidget *focus = QApplication::focusWidget();
    return focus && focus->objectName() == name;
}

QTreeWidget *tree() { return frmEditApps::instance()->findChild<QTreeWidget *>(QStringLiteral("tvGroup")); }

} // namespace

class tst_accessibility : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScreenReader> reader;
    std::unique_ptr<MemoryEntries> apps;
    QString missing;

    /// Whether the listener hears the event "TYPE DETAIL ROLE NAME" within ten seconds; the
    /// lines heard are logged when it does not.
    bool hears(QStringView type, int detail, QStringView role, QStringView name)
    {
        if (reader->waitForEvent(type.toString(), detail, role.toString(), name.toString()))
            return true;
        qWarning().noquote() << "heard:\n" + reader->lines().join(u'\n');
        return false;
    }

    /// Whether the listener hears the focus on the button @p button, and no focus on the row
    /// "Text Editor" before it: events are heard in order, so once the button's focus is heard,
    /// so is every event before it.
    void hearsButtonAfterNoRow(TextId button)
    {
        QVERIFY(hears(u"object:state-changed:focused", 1, u"push button", spoken(button)));
        const QStringList lines = reader->lines();
        for (const QString &line : lines)
            QVERIFY2(!isFocusOnRow(line, QStringLiteral("Text Editor")), qPrintable(lines.join(u'\n')));
    }

    /// Opens the program list window on two groups and waits until the listener hears the
    /// focus on its current row, which the tree announces as it takes the focus: the bridge
    /// then sends the events the listener asked for.
    void openWindow()
    {
        apps = std::make_unique<MemoryEntries>();
        apps->fill(
            {"Editors|Text Editor|/usr/bin/nano||0", "Editors|Hex Editor|/usr/bin/xxd||0", "Shells|Shell|/bin/sh||0"});
        reader->forget();
        frmEditApps::ShowFor(apps.get(), 0, host());
        QVERIFY(QTest::qWaitForWindowActive(frmEditApps::instance()));
        QCOMPARE(focusName(), QStringLiteral("tvGroup"));
        QVERIFY(hears(u"object:state-changed:focused", 1, u"table cell", u"Text Editor"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != u"xcb")
            missing = QStringLiteral("Qt's accessibility bridge needs X11: run under xvfb-run");
        else if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            missing = QStringLiteral("no D-Bus session: run under dbus-run-session");
        if (!missing.isEmpty())
            return;
        reader = std::make_unique<ScreenReader>();
        missing = reader->start();
        if (!missing.isEmpty())
            return;
        QVERIFY2(QTest::qWaitFor([] { return QAccessible::isActive(); }, 10000),
                 "Qt's accessibility bridge did not connect to the accessibility bus");
    }

    void init()
    {
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
    }

    void cleanup()
    {
        frmEditApps::Unload();
        Captions::setLanguage(Language::lEnglish);
        QVERIFY(disarmAll().isEmpty());
    }

    void cleanupTestCase() { reader.reset(); }

    // The dialog closed, the focus is back on Add Program: no focus event names a row.
    void focusStaysOnTheButtonAfterTheDialog()
    {
        openWindow();
        pressUntil(Qt::Key_Tab, [] { return focusName() == u"cmdAddApp"; });
        // Heard in order: once Add Program's focus is heard, so is every event before it.
        QVERIFY(hears(u"object:state-changed:focused", 1, u"push button", spoken(TextId::AddProgram)));
        reader->forget();
        bool shown = false;
        QPointer<QWidget> dialog;
        whenModalShown(QStringLiteral("frmNewApp"), [&](QWidget *modal) {
            shown = true;
            dialog = modal;
            press(Qt::Key_Escape);
        });
        press(Qt::Key_Return);
        // Unloaded once closed.
        QTRY_VERIFY_WITH_TIMEOUT(shown && !dialog, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(focusBackOn(frmEditApps::instance(), u"cmdAddApp"_s), 10000);
        pressUntil(Qt::Key_Tab, [] { return focusName() == u"cmdEdit"; });
        hearsButtonAfterNoRow(TextId::EditProgram);
    }

    // The tree's column is named as the window is, in its language, not by its number.
    void columnHeaderHasAName_data()
    {
        QTest::addColumn<Language>("language");
        QTest::newRow("en") << Language::lEnglish;
        QTest::newRow("de") << Language::lGerman;
        QTest::newRow("fr") << Language::lFrench;
    }

    void columnHeaderHasAName()
    {
        QFETCH(Language, language);
        Captions::setLanguage(language);
        openWindow();
        const QStringList header = reader->ask(QStringLiteral("header ") + tree()->accessibleName());
        QCOMPARE(header.value(0), Captions::text(TextId::EditAppsCaption));
    }

    // The row the arrows reach is heard, as the window opens and after it was filled again
    // while the focus was on a button.
    void rowsHeardAsTheArrowsReachThem()
    {
        openWindow();
        const auto walk = [this] {
            reader->forget();
            pressUntil(Qt::Key_Down, [] { return tree()->currentItem()->text(0) == u"Hex Editor"; });
            QVERIFY(hears(u"object:state-changed:focused", 1, u"table cell", u"Hex Editor"));
        };
        walk();
        pressUntil(Qt::Key_Tab, [] { return focusName() == u"cmdAddApp"; });
        frmEditApps::instance()->FillTree();
        focusOn(tree());
        walk();
    }

    // Tab pressed again before the window had its turn: the tree held the focus only in passing,
    // and no row is named after the button that has it.
    void focusPassingThroughTheTreeNamesNoRow()
    {
        openWindow();
        pressUntil(Qt::Key_Tab, [] { return focusName() == u"cmdAddApp"; });
        reader->forget();
        tree()->setFocus(Qt::BacktabFocusReason);
        focused()->window()->findChild<QWidget *>(u"cmdEdit"_s)->setFocus(Qt::TabFocusReason);
        pressUntil(Qt::Key_Tab, [] { return focusName() == u"cmdRemoveApp"; });
        hearsButtonAfterNoRow(TextId::DeleteProgram);
    }

    // An empty list: the tree takes the focus with no row to name, and no row is asked for.
    void emptyListAsksForNoRow()
    {
        QTest::failOnWarning(QRegularExpression(u".*"_s));
        apps = std::make_unique<MemoryEntries>();
        frmEditApps::ShowFor(apps.get(), 0, host());
        QVERIFY(QTest::qWaitForWindowActive(frmEditApps::instance()));
        focusOn(tree());
        // The announcement is queued as the focus arrives.
        QCoreApplication::sendPostedEvents();
        QCOMPARE(tree()->topLevelItemCount(), 0);
    }

    // Left closes a group and Right opens it again; the listener hears both.
    void groupsOpenAndCloseAloud()
    {
        openWindow();
        pressUntil(Qt::Key_Up, [] { return tree()->currentItem()->text(0) == u"Editors"; });
        reader->forget();
        pressUntil(Qt::Key_Left, [] { return !tree()->currentItem()->isExpanded(); });
        QVERIFY(hears(u"object:state-changed:expanded", 0, u"table cell", u"Editors"));
        reader->forget();
        pressUntil(Qt::Key_Right, [] { return tree()->currentItem()->isExpanded(); });
        QVERIFY(hears(u"object:state-changed:expanded", 1, u"table cell", u"Editors"));
    }
};

int main(int argc, char **argv)
{
    // The bridge runs whether or not the desktop says a screen reader is on; it belongs to the
    // X11 platform, so without a display the cases skip on the offscreen one.
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb");
    QApplication app(argc, argv);
    tst_accessibility test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_accessibility.moc"
