// The memory baseline: an empty Qt application with a tray icon and nothing else.
#include <QApplication>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap image(16, 16);
    image.fill(Qt::black);
    QSystemTrayIcon tray{QIcon(image)};
    tray.show();
    return QApplication::exec();
}
