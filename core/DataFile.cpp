#include "DataFile.h"

#include "SysUtils.h"

QStringList ResultsDataLines(const TResultsData& d)
{
    QStringList lines;
    for (int i = 0; i < 5; ++i) {
        lines << Format("%8.2f", d.TripCurr[i]);
        lines << Format("%8.3f", d.TripTime[i]);
        lines << Format("%8.3f", d.ReclTime[i]);
    }
    for (int i = 0; i < 5; ++i)
        lines << Format("%4.2f", d.Decay[i] / 100.0 + 1.0);
    lines << Format("%8.2f", d.PickupRms);
    return lines;
}

bool IsDataFileName(const QString& fileName)
{
    const QString up = fileName.toUpper();
    return up.contains(QLatin1String(".KDF")) || up.contains(QLatin1String(".DAT"));
}
