#include "KyrMain.h"

bool DemoMode = false;
int MaxOps = 4;
double RangeFullScale = 0;
QString DataFolder;
QString ProgName;
TfmKyr* fmKyr = nullptr;
