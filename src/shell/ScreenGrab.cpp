// lorvex-screengrab OUT.png [DELAY_MS]: waits, then saves the whole screen as a picture.
// For machines without a display, where the demo shows the program on a virtual one.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "Aufruf: lorvex-screengrab DATEI.png [WARTEZEIT_MS]\n");
        return 2;
    }
    const QString path = args.at(1);
    const int delay = args.size() > 2 ? args.at(2).toInt() : 0;
    int result = 1;
    QTimer::singleShot(delay, &app, [&] {
        QScreen* screen = QGuiApplication::primaryScreen();
        const QPixmap shot = screen ? screen->grabWindow(0) : QPixmap();
        if (!shot.isNull() && shot.save(path, "PNG")) {
            result = 0;
        } else {
            std::fprintf(stderr, "lorvex-screengrab: %s nicht geschrieben\n", qPrintable(path));
        }
        QGuiApplication::quit();
    });
    QGuiApplication::exec();
    return result;
}
