#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral(u"Quarlex - 批量查找"));
    window.resize(627, 420);
    window.show();
    return app.exec();
}
