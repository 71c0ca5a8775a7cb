// The program block.
#include "Kestrovan10.h"
#include "KyrGlobals.h"
#include "KyrTables.h"

#include <memory>

int main(int argc, char** argv)
{
    // The start-up table check runs on the recloser records' table objects; core calls
    // it at the end of every initialisation without linking the records.
    std::unique_ptr<TReclTables> tables;
    StartupTableCheck = [&tables] {
        if (!tables)
            tables = std::make_unique<TReclTables>();
        tables->CheckDatabase();
    };
    const int rc = Kestrovan10Main(argc, argv);
    StartupTableCheck = nullptr;
    return rc;
}
