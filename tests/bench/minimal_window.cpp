// One empty top-level window and the event loop, nothing else: what any Qt Widgets program
// pays before its first window is visible.

#include <QApplication>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("minimal_window"));
    window.resize(515, 426);
    window.show();
    return app.exec();
}
