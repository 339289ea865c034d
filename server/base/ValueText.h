#pragma once

#include <QString>
#include <QVariant>

#include <optional>

// The text of a wire value as the server's classes take it: null is empty, a Boolean "1"/"0",
// a number its plain decimal text, a text itself.
QString valueText(const QVariant& value);

// The whole number a text or number stands for, when it is one: digits with an optional
// leading "-", no blanks, no fraction, in the range of qint64.
std::optional<qint64> wholeNumber(const QVariant& value);

// A text from outside (a path, a URL, a peer's text) as a message or log line shows it: control
// characters as \n, \r, \t or \xNN and a backslash doubled, so that it cannot start a line of its
// own or steer a terminal, and still says what it held.
// keepBackslashes: for a text whose parts were escaped already (a log line), so that their
// backslashes are not doubled again.
QString escapedControls(const QString& text, bool keepBackslashes = false);
