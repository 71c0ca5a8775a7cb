#include "KyrMain.h"

bool DemoMode = false;
int MaxOps = 4;
QString DataFolder;
QString ProgName;
TfmKyr* fmKyr = nullptr;
