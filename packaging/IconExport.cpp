// lorvex-icons DIR NAME SIZE...: writes the application icon into the freedesktop icon theme
// layout under DIR, as DIR/SIZExSIZE/apps/NAME.png for every SIZE and as the scalable
// DIR/scalable/apps/NAME.svg. It paints with the main window's own icon code, so the installed
// icons and the window icon are one picture. Runs at build time; needs no display.

#include "shell/AppIcons.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgGenerator>

#include <cstdio>

namespace {

constexpr int kSvgSide = 256;

bool writePng(const QString& themeDir, const QString& name, int size) {
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(themeDir).arg(size);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    AppIcons::paintMainWindow(painter, size);
    painter.end();
    return QDir().mkpath(dir) && image.save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

bool writeSvg(const QString& themeDir, const QString& name) {
    QBuffer buffer;
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(kSvgSide, kSvgSide));
    svg.setViewBox(QRect(0, 0, kSvgSide, kSvgSide));
    svg.setTitle(QStringLiteral("LORVEX Monitor"));
    QPainter painter;
    if (!painter.begin(&svg)) {
        return false;
    }
    AppIcons::paintMainWindow(painter, kSvgSide);
    if (!painter.end()) {
        return false;
    }
    // The picture has no text, but every group carries the font of an unset one, with a size of
    // -1 that renderers warn about.
    static const QRegularExpression unsetFont(
        QStringLiteral("\\s*font-family=\"\" font-size=\"-1\" font-weight=\"\\d+\" "
                       "font-style=\"\\w+\"\\s*"));
    const QString text = QString::fromUtf8(buffer.data()).replace(unsetFont, QStringLiteral(" "));

    const QString dir = themeDir + QStringLiteral("/scalable/apps");
    QFile file(dir + QLatin1Char('/') + name + QStringLiteral(".svg"));
    return QDir().mkpath(dir) && file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(text.toUtf8()) == text.toUtf8().size();
}

} // namespace

int main(int argc, char* argv[]) {
    // Painting into an image needs no screen, nor an application object.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    if (arguments.size() < 4) {
        std::fprintf(stderr, "usage: lorvex-icons DIR NAME SIZE...\n");
        return 2;
    }
    const QString& themeDir = arguments.at(1);
    const QString& name = arguments.at(2);
    for (const QString& sizeText : arguments.mid(3)) {
        bool ok = false;
        const int size = sizeText.toInt(&ok);
        if (!ok || size < 16 || size > 1024) {
            std::fprintf(stderr, "lorvex-icons: bad size %s\n", qPrintable(sizeText));
            return 2;
        }
        if (!writePng(themeDir, name, size)) {
            std::fprintf(stderr, "lorvex-icons: cannot write the %d pixel icon\n", size);
            return 1;
        }
    }
    if (!writeSvg(themeDir, name)) {
        std::fprintf(stderr, "lorvex-icons: cannot write the scalable icon\n");
        return 1;
    }
    return 0;
}
