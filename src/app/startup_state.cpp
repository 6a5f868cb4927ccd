#include "app/startup_state.h"

namespace {
platform::OsVersionInfo g_osVersion;
}

const platform::OsVersionInfo& GetOsVersionRecord() { return g_osVersion; }
void SetOsVersionRecord(const platform::OsVersionInfo& info) { g_osVersion = info; }
