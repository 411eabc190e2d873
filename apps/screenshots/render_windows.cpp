// Renders the three configuration windows to PNG files for the documentation: in English, the
// program list window in German, all three in German at 11 points and in English at 16 points,
// each at the size it opens with. Run on the offscreen platform; QT_SCALE_FACTOR=2 gives the
// high-DPI renderings.
#include "ui/Captions.h"
#include "ui/frmEditApps.h"
#include "ui/frmNewApp.h"
#include "ui/frmPlaceholders.h"

#include <Lanyard/ExternalApps.h>

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QTreeWidget>

#include <functional>

using namespace Lanyard;

namespace {

// The window's client area under a plain title bar, since the offscreen platform draws no frame.
void save(QWidget *window, const QString &path)
{
    window->show();
    QApplication::processEvents();
    const QPixmap client = window->grab();
    const qreal ratio = client.devicePixelRatio();
    const int titleHeight = 30;
    const QSize size(window->width(), window->height() + titleHeight);

    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath frame;
    frame.addRoundedRect(QRectF(QPointF(0, 0), size).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    painter.setClipPath(frame);
    painter.fillRect(QRect(QPoint(0, 0), size), window->palette().window());
    painter.fillRect(QRect(0, 0, size.width(), titleHeight), QColor(0xeb, 0xeb, 0xeb));
    painter.setPen(QColor(0xd0, 0xd0, 0xd0));
    painter.drawLine(QPointF(0, titleHeight - 0.5), QPointF(size.width(), titleHeight - 0.5));
    QFont bold = window->font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(QColor(0x2e, 0x34, 0x36));
    painter.drawText(QRect(0, 0, size.width(), titleHeight), Qt::AlignCenter, window->windowTitle());
    painter.drawPixmap(0, titleHeight, client);
    painter.setClipping(false);
    painter.setPen(QColor(0xb8, 0xb8, 0xb8));
    painter.drawPath(frame);
    painter.end();
    image.save(path);
    window->hide();
}

void fillCatalogue(ExternalApps &apps)
{
    apps.setMaxApps(10);
    apps.AddApp(QStringLiteral("Editors"), QStringLiteral("Text Editor"), QStringLiteral("/usr/bin/gedit"), QStringLiteral("%FILE%"), false);
    apps.AddApp(QStringLiteral("Editors"), QStringLiteral("Nano"), QStringLiteral("/bin/nano"), QStringLiteral("-w %FILE%"), false);
    apps.AddApp(QStringLiteral("Editors"), QStringLiteral("Hex View"), QStringLiteral("/usr/bin/xxd"), QStringLiteral("%FILE%"), true);
    apps.AddApp(QStringLiteral("Tools"), QStringLiteral("Terminal"), QStringLiteral("/usr/bin/xterm"), QString(), false);
    apps.AddApp(QStringLiteral("Tools"), QStringLiteral("Report"), QStringLiteral("/opt/acme/report"), QStringLiteral("--user=%USER%"), true);
    apps.AddApp(QStringLiteral("Tools"), QStringLiteral("Open with default application"), QStringLiteral("/usr/bin/xdg-open"),
                QStringLiteral("%FILE%"), false);
    apps.AddPlaceHolder(QStringLiteral("%FILE%"), QStringLiteral("/home/ann/orders.csv"));
    apps.AddPlaceHolder(QStringLiteral("%USER%"), QStringLiteral("ann"));
    apps.AddPlaceHolder(QStringLiteral("%DATE%"), QStringLiteral("2024-05-01"));
    apps.AddPlaceHolder(QStringLiteral("%ORDER%"), QStringLiteral("A-10442"));
    apps.AddPlaceHolder(QStringLiteral("%SELECTION%"), QStringLiteral("Deliver to the back door"));
}

// Saves the program list window, the application dialog over it (editing an entry) and the
// placeholder picker over that; @p name gives each window's file name from its object name.
void saveAll(ExternalApps &apps, const std::function<QString(const QString &)> &name)
{
    apps.ShowForm();
    save(frmEditApps::instance(), name(QStringLiteral("frmEditApps")));

    frmNewApp *dialog = frmNewApp::Load(frmEditApps::instance());
    dialog->setWindowTitle(Captions::text(TextId::EditCaption));
    dialog->setLaunchAppClass(&apps);
    dialog->setFields({QStringLiteral("Editors"), QStringLiteral("Nano"), QStringLiteral("/bin/nano"),
                       QStringLiteral("-w %FILE%"), false});
    save(dialog, name(QStringLiteral("frmNewApp")));

    frmPlaceholders *picker = frmPlaceholders::Load(dialog);
    picker->setLaunchAppClass(&apps);
    save(picker, name(QStringLiteral("frmPlaceholders")));
    apps.HideForm();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QStringList args = QApplication::arguments();
    const QDir out(args.value(1, QStringLiteral("docs")));
    const QString suffix = args.value(2);
    const auto target = [&](const QString &variant) {
        return [&, variant](const QString &window) { return out.filePath(window + variant + suffix + QStringLiteral(".png")); };
    };

    ExternalApps apps;
    fillCatalogue(apps);
    saveAll(apps, target(QString()));

    apps.setLanguage(Language::lGerman);
    apps.ShowForm();
    save(frmEditApps::instance(), target(QStringLiteral("-de"))(QStringLiteral("frmEditApps")));
    apps.HideForm();

    QFont font = QApplication::font();
    font.setPointSize(11);
    QApplication::setFont(font);
    saveAll(apps, target(QStringLiteral("-de-11pt")));

    apps.setLanguage(Language::lEnglish);
    font.setPointSize(16);
    QApplication::setFont(font);
    saveAll(apps, target(QStringLiteral("-en-16pt")));
    return 0;
}
