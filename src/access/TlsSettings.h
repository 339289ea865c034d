#pragma once

#include "objectclient/TcpSecurity.h"

class SettingsStore;

// The encryption settings beside the connection data in "Cache Login"/"Login": "TLS" ("1" turns
// it on) and "TLSZertifikat" (the path of a PEM file to trust instead of the system's store).
// Without them nothing changes: clear text, as before.
TcpSecurity loadTcpSecurity(SettingsStore& store);
