#pragma once
// Process-wide state filled once during start-up.
#include "platform/os_version.h"

// The operating-system version record (zero until start-up queried it).
const platform::OsVersionInfo& GetOsVersionRecord();
void SetOsVersionRecord(const platform::OsVersionInfo& info);
