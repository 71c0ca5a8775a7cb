// The program block.
#include "Kestrovan10.h"
#include "KyrRecords.h"

int main(int argc, char** argv)
{
    // The recloser records' windows and their start-up table check, which the core
    // reaches without linking the records.
    TKyrRecords records;
    InstallKyrRecords(&records);
    const int rc = Kestrovan10Main(argc, argv);
    InstallKyrRecords(nullptr);
    return rc;
}
