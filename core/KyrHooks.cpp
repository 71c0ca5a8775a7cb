#include "KyrHooks.h"

TRecordsWindow ReportWindow;
TRecordsWindow DatabaseWindow;
