#pragma once

#include <QString>

// German texts for the error numbers the user can meet: every number of the wire protocol,
// those the connectivity component raises itself and the sign-in layer's own. The windows
// show these, never the server's English text alone.
namespace ErrorTexts {

// The German text of an error, for boxes and tooltips. Numbers of the wire and of the
// connectivity component (1001-1099, 5001-5099, 9001-9099) get their German text; every other
// number is the program's own, whose German description says what exactly went wrong.
QString forUser(int number, const QString& description);

// As forUser, followed by the server's own text when it says something more, for the log.
QString forLog(int number, const QString& description);

} // namespace ErrorTexts
