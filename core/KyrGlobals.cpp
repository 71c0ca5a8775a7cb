#include "KyrGlobals.h"

#include <QDir>

#include "Forms.h"

bool DemoMode = false;
int MaxOps = 4;
QString DataFolder;
QString ProgName;
const double RangeTable[9] = {0, 50, 100, 250, 500, 1000, 2500, 5000, 10000};
double RangeFullScale = 0;
QString RangeText[9];
QString RangeFormat[9];
bool Painted = false;
bool ProgInitDone = false;
QStringList ParamList;
QString StartFolder;

QString CommandLineFileName(const QString& name)
{
    if (name.isEmpty() || StartFolder.isEmpty() || QDir::isAbsolutePath(name))
        return name;
    return QDir(StartFolder).filePath(name);
}

int ParamCount() { return static_cast<int>(ParamList.size()); }

QString ParamStr(int i)
{
    if (i == 0)
        return Application.ExeName;
    if (i < 0 || i > ParamList.size())
        return {};
    return ParamList.at(i - 1);
}

bool IsKyrRunName(const QString& progName)
{
    const QString up = progName.toUpper();
    return up == QLatin1String("KYRRUN.EXE") || up == QLatin1String("KYRRUN");
}

