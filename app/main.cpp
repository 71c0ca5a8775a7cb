// Placeholder program block until the main window lands: starts the application
// with its title and shows a window that says what is not there yet.
#include "Forms.h"
#include "SysUtils.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <clocale>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    InitDecimalSeparatorFromLocale();
    Application.Title = QStringLiteral("Kestrovan for Windows");
    Application.ExeName = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath();
    QLabel w(QStringLiteral("Kestrovan 10: the main window is not built yet."));
    w.setWindowTitle(Application.Title);
    w.resize(420, 120);
    w.show();
    return app.exec();
}
