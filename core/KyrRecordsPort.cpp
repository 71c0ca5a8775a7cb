#include "KyrRecordsPort.h"

namespace {
IKyrRecords* g_installed = nullptr;
}

void InstallKyrRecords(IKyrRecords* Records) { g_installed = Records; }

IKyrRecords* KyrRecords() { return g_installed; }
