#pragma once

#include <QLocale>
#include <QString>

// Whether a rights group lets the user into the program: its number must be 8 or more.
// Read with the user's number format (falling back to the C format); text that is not a finite
// number counts as below 8.
bool rightsGroupPasses(const QString& gBerGrp);
bool rightsGroupPasses(const QString& gBerGrp, const QLocale& locale);
