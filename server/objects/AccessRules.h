#pragma once

#include "SignedInUser.h"

#include <QString>

class ProcessVariables;

// What a signed-in user may do on the server. Each check throws ServerError (NotPermitted) when
// the user may not; the client makes its own checks as well, these are the ones that count.
namespace AccessRules {

// Personnel objects of the user's own company only; of the personnel records, the user's own.
// An id that is no valid id passes here and is not found by its class.
void checkOpen(const SignedInUser& identity, const QString& className, const QString& id);
// The telemetry classes answer users of rights group 8 or more only.
void checkClass(const SignedInUser& identity, const QString& className);
// Stored secrets are never served, whoever asks.
void checkProperty(const QString& className, const QString& property);
// The work context a command line leaves behind: the user's own company and user code (any
// branch of that company).
void checkWorkContext(const SignedInUser& identity, const ProcessVariables& variables);

} // namespace AccessRules
