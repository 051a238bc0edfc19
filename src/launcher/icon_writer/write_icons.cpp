// Writes the program's icon as PNG files in the layout of the hicolor icon theme:
//   quarlex-write-icons <folder>  ->  <folder>/<n>x<n>/apps/quarlex.png
// The pictures are the same ones the program paints for its windows.

#include "platform/widgets/app_icon.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QTextStream>

int main(int argc, char *argv[])
{
    // No display is needed to paint into images.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 2) {
        err << "usage: quarlex-write-icons <folder>\n";
        return 2;
    }
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(args.at(1)).arg(size);
        const QString file = folder + QStringLiteral("/quarlex.png");
        if (!QDir().mkpath(folder) || !platform::paintAppIcon(size).save(file, "PNG")) {
            err << "cannot write " << file << '\n';
            return 1;
        }
    }
    return 0;
}
