#pragma once

#include <QString>

// Field n (from 1) of text split at a one-character separator, or defaultValue when that field
// is empty or absent. A separator of more than one character never matches.
QString GetField(const QString& text, const QString& separator, int n, const QString& defaultValue);
