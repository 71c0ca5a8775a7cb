#include "KyrRecordsPort.h"

namespace {
IKyrRecords* installed = nullptr;
}

void InstallKyrRecords(IKyrRecords* Records) { installed = Records; }

IKyrRecords* KyrRecords() { return installed; }
