// lorvex-screengrab OUT.png [DELAY_MS [X Y WIDTH HEIGHT]]: waits, then saves the screen, or the
// rectangle given (the program's windows), as a picture. For machines without a display, where
// the demo shows the program on a virtual one.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "Aufruf: lorvex-screengrab DATEI.png [WARTEZEIT_MS [X Y BREITE "
                             "HOEHE]]\n");
        return 2;
    }
    const QString path = args.at(1);
    const int delay = args.size() > 2 ? args.at(2).toInt() : 0;
    // -1 for the width and height: the whole screen.
    const QList<int> area = args.size() > 6 ? QList<int>{args.at(3).toInt(), args.at(4).toInt(),
                                                         args.at(5).toInt(), args.at(6).toInt()}
                                            : QList<int>{0, 0, -1, -1};
    int result = 1;
    QTimer::singleShot(delay, &app, [&] {
        QScreen* screen = QGuiApplication::primaryScreen();
        const QPixmap shot =
            screen ? screen->grabWindow(0, area[0], area[1], area[2], area[3]) : QPixmap();
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
