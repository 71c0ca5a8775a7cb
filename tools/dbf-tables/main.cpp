// kv-tables [--replace] FOLDER [TABLE...]: writes the installation's empty tables into
// FOLDER (all five when none is named), keeping tables that exist unless --replace.
#include "KyrTableDefs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    bool replace = false;
    if (!args.isEmpty() && args.first() == QLatin1String("--replace")) {
        replace = true;
        args.removeFirst();
    }
    // Any other option is a mistake, not a folder to make.
    if (args.isEmpty() || args.first().startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: kv-tables [--replace] FOLDER [TABLE...]\n");
        return 2;
    }
    const QString folder = args.takeFirst();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "kv-tables: cannot make folder %s\n", qPrintable(folder));
        return 1;
    }
    const QStringList tables = args.isEmpty() ? KyrTableNames() : args;
    int rc = 0;
    for (const QString& t : tables) {
        const QString path = QDir(folder).absoluteFilePath(t + QStringLiteral(".dbf"));
        const bool existed = QFileInfo::exists(path);
        QString error;
        if (!WriteEmptyTable(folder, t, replace, &error)) {
            std::fprintf(stderr, "kv-tables: %s\n", qPrintable(error));
            rc = 1;
        } else if (!existed || replace) {
            std::printf("Wrote %s\n", qPrintable(path));
        }
    }
    return rc;
}
