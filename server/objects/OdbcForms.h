#pragma once

#include <QString>

// The conversions of the personnel classes from the stored (logical) form of a value to the form
// shown to users (ODBC form). Each is total: a value not in the expected logical form comes back
// trimmed but otherwise unchanged.
namespace OdbcForms {

// "Nachname,Vorname" -> "Vorname Nachname"; blanks around the parts are dropped.
QString personName(const QString& logical);

// Name parts separated by "^" -> the parts joined by ", "; empty parts are dropped.
QString departmentName(const QString& logical);

// Surrounding blanks dropped and the domain (after the last "@") in lower case; the local part
// keeps its case, since only the domain is case-insensitive.
QString email(const QString& logical);

} // namespace OdbcForms
