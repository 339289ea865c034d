#pragma once

#include "XecuteCommand.h"

#include <QList>
#include <QString>

// Reads a server command line into commands, without running anything. The language is small
// on purpose, a parser and never an evaluator:
//   line       = command *(" " command)            one blank between commands
//   command    = ("S" | "SET") " " assignment *("," assignment)
//              | ("D" | "DO") " " "^" name
//   assignment = name "=" (number | string)
//   name       = ["%"] letter *(letter | digit)    at most kMaxNameLength characters
//   number     = ["-"] digits ["." digits] | ["-"] "." digits
//   string     = '"' *(any character but '"' | '""') '"'
// Command words are case-insensitive, names are not. Numbers become canonical (leading zeros and
// trailing fraction zeros dropped): whole numbers a qint64, others a double.
// Anything else throws ServerError (Syntax) with the column (from 1) where reading failed.
class XecuteParser {
public:
    static constexpr int kMaxLineLength = 8192;
    static constexpr int kMaxNameLength = 31;
    static constexpr int kMaxNumberDigits = 18;

    static QList<XecuteCommand> parse(const QString& line);
};
