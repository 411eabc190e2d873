// SPDX-License-Identifier: MIT
// The program list window as a screen reader (atspi-listener.py) hears it; without X11 and D-Bus every case skips.
#include "MemoryEntries.h"
#include "ModalDriver.h"
#include "ui/Captions.h"
#include "ui/frmEditApps.h"
#include "ui/frmNewApp.h"
#include "ui/frmToolBehaviour.h"

#include <QAccessible>
#include <QProcess>

using namespace Lanyard;
using namespace UiTest;

namespace {

QWidget *window() { return frmEditApps::instance(); }
QTreeWidget *tree() { return window()->findChild<QTreeWidget *>("tvGroup"); }
QString current() { return tree()->currentItem() ? tree()->currentItem()->text(0) : QString(); }
QString spoken(TextId id) { return Captions::text(id).remove('&'); }

} // namespace

class tst_accessibility : public QObject
{
    Q_OBJECT

    QProcess m_listener;
    QStringList m_heard; // the listener's lines since the last forget()
    QString m_missing;
    MemoryEntries m_apps;

    /// Waits for a line @p wanted accepts; the event loop runs meanwhile, as the listener's questions need it.
    bool listen(const std::function<bool(const QString &)> &wanted, int ms = 10000)
    {
        const auto found = [&] { return std::any_of(m_heard.cbegin(), m_heard.cend(), wanted); };
        (void)QTest::qWaitFor(
            [&] {
                while (m_listener.canReadLine())
                    m_heard << QString::fromUtf8(m_listener.readLine()).chopped(1);
                return found() || m_listener.state() == QProcess::NotRunning;
            },
            ms);
        return found() || (qWarning().noquote() << "heard:\n" + m_heard.join('\n'), false);
    }
    /// Whether "ROLE\tNAME[\tDESCRIPTION]" is heard, and no row named @p unheard before it (events come in order).
    bool hears(const QString &what, const QString &state = "focused\t1", const QString &unheard = "-")
    {
        const QString line = "event\tobject:state-changed:" + state + '\t' + what;
        const QRegularExpression row("^event\t(focus:|object:state-changed:focused)\t1\t(?!push button)[^\t]*\t"
                                     + unheard);
        return listen([&](const QString &heard) { return heard == line || heard.startsWith(line + '\t'); })
               && (m_heard.filter(row).isEmpty() || (qWarning().noquote() << m_heard.join('\n'), false));
    }
    void forget() { m_listener.readAll(), m_heard.clear(); }
    /// Presses @p key until @p done: the bridge hands each key to the registry first, the window gets it after.
    void pressUntil(Qt::Key key, const std::function<bool()> &done)
    {
        QVERIFY2((press(key), QTest::qWaitFor(done, 5000)), qPrintable(QKeySequence(key).toString() + " did not act"));
    }
    void tabTo(const QString &name)
    {
        pressUntil(Qt::Key_Tab, [&] { return focusIs(name); });
    }
    static bool focusIs(const QString &name) { return QApplication::focusWidget() && focusName() == name; }

private Q_SLOTS:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != u"xcb" || qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            return void(
                m_missing = "Qt's accessibility bridge needs X11 and D-Bus: run under xvfb-run, dbus-run-session");
        // The system's Python has Debian's pyatspi; asking for the bus starts it, and Qt's bridge waits for it.
        m_listener.start("/usr/bin/python3", {LANYARD_SOURCE_DIR "/tests/ui/atspi-listener.py"});
        if (!listen([](const QString &line) { return line == u"ready"; }, 20000))
            return void(m_missing = "the AT-SPI listener did not start (install at-spi2-core and python3-pyatspi): "
                                    + QString::fromLocal8Bit(m_listener.readAllStandardError()));
        QVERIFY2(QTest::qWaitFor([] { return QAccessible::isActive(); }, 10000), "the bridge did not reach the bus");
        m_apps.fill({"Editors|Text Editor|/usr/bin/nano", "Editors|Hex Editor|/usr/bin/xxd", "Shells|Shell|/bin/sh"});
        m_apps.placeholders = {{"%FILE%", "/tmp/notes.txt"}};
    }
    void init()
    {
        if (!m_missing.isEmpty())
            QSKIP(qPrintable(m_missing));
    }
    void cleanup()
    {
        frmEditApps::Unload(), Captions::setLanguage(Language::lEnglish);
        QVERIFY(disarmAll().isEmpty());
    }
    void cleanupTestCase() { m_listener.closeWriteChannel(), m_listener.waitForFinished(5000); }

    // Rows as the focus and arrows reach them (also after a fill elsewhere), a group opened, buttons, an empty list.
    void heard_data()
    {
        QTest::addColumn<Language>("language");
        QTest::newRow("en") << Language::lEnglish;
        QTest::newRow("de") << Language::lGerman;
        QTest::newRow("fr") << Language::lFrench;
    }
    void heard()
    {
        QFETCH(Language, language);
        Captions::setLanguage(language), forget(), frmEditApps::ShowFor(&m_apps, 0, nullptr);
        QVERIFY(QTest::qWaitForWindowActive(window()));
        QCOMPARE(focusName(), "tvGroup");
        QVERIFY(hears("table cell\tText Editor\t/usr/bin/nano")); // a program says its path, a group does not
        for (int fill = 0; fill < 2; ++fill) {
            if (fill)
                tabTo("cmdAddApp"), frmEditApps::instance()->FillTree(), focusOn(tree());
            forget(), pressUntil(Qt::Key_Down, [] { return current() == "Hex Editor"; });
            QVERIFY(hears("table cell\tHex Editor\t/usr/bin/xxd"));
        }
        pressUntil(Qt::Key_Home, [] { return current() == "Editors"; }), forget();
        pressUntil(Qt::Key_Left, [] { return !tree()->currentItem()->isExpanded(); });
        QVERIFY(hears("table cell\tEditors", "expanded\t0"));
        forget(), pressUntil(Qt::Key_Right, [] { return tree()->currentItem()->isExpanded(); });
        QVERIFY(hears("table cell\tEditors", "expanded\t1"));
        m_listener.write("header " + tree()->accessibleName().toUtf8() + '\n');
        QVERIFY(listen([](const QString &line) {
            return line.startsWith("header\t" + Captions::text(TextId::EditAppsCaption) + '\t');
        }));
        pressUntil(Qt::Key_Down, [] { return current() == "Text Editor"; }), tabTo("cmdAddApp");
        QVERIFY(hears("push button\t" + spoken(TextId::AddProgram)));
        // A loaded X server may take the activation away after the dialog, as a click gives back.
        bool shown = false, picked = false; // the picker's first row is heard once its window is active
        whenModalShown("frmPlaceholders", [&](QWidget *) {
            picked = listen([&](const QString &line) {
                return line.startsWith("event\tobject:state-changed:focused\t1\ttable cell\t%FILE%")
                       && !m_heard.first(m_heard.lastIndexOf(line))
                               .filter("window:activate\t0\tdialog\t" + spoken(TextId::PickerCaption))
                               .isEmpty();
            });
            press(Qt::Key_Escape);
        });
        whenModalShown("frmNewApp", [&](QWidget *dialog) {
            focusOn(dialog->findChild<QWidget *>("cmdInsertKeyword")), forget(), press(Qt::Key_Return);
            shown = true, press(Qt::Key_Escape);
        });
        forget(), press(Qt::Key_Return);
        QVERIFY(QTest::qWaitFor([&] { return shown && !frmNewApp::instance(); }, 20000) && picked);
        QVERIFY(QTest::qWaitFor(
            [] { return (window()->isActiveWindow() || (window()->activateWindow(), false)) && focusIs("cmdAddApp"); },
            20000)); // the bound only ends a test that went wrong
        tabTo("cmdEdit");
        QVERIFY(hears("push button\t" + spoken(TextId::EditProgram), "focused\t1", "Text Editor$"));
        forget(), tree()->setFocus(Qt::BacktabFocusReason); // Tab pressed again before the window's turn
        window()->findChild<QWidget *>("cmdEdit")->setFocus(Qt::TabFocusReason), tabTo("cmdRemoveApp");
        QVERIFY(hears("push button\t" + spoken(TextId::DeleteProgram), "focused\t1", "Text Editor$"));
        bool heardTool = false; // the behaviour window says the tool it opens on
        whenModalShown("frmToolBehaviour",
                       [&](QWidget *) { heardTool = hears("table cell\tHex Editor"), press(Qt::Key_Escape); });
        forget(), frmToolBehaviour::edit(m_apps, window(), {}, {"Editors", "Hex Editor"});
        QVERIFY(heardTool);
        // An empty list taking the focus asks for no row; the bridge may still be asked of rows gone.
        QTest::failOnWarning(QRegularExpression("^(?!.*AtSpiAdaptor: Accessible invalid)"));
        MemoryEntries none;
        frmEditApps::ShowFor(&none, 0, nullptr), focusOn(tree());
        QCoreApplication::sendPostedEvents(); // the announcement is queued as the focus arrives
        frmEditApps::Unload();                // before the entries it shows go
    }
};

int main(int argc, char **argv)
{
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb");
    QApplication app(argc, argv);
    tst_accessibility test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_accessibility.moc"
