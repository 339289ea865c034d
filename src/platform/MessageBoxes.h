#pragma once

#include <QString>

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Information, Warning, Critical, Question };
enum class MsgAnswer { Ok, Yes, No };

// Modal message boxes. The only way the program talks to the user in a box, so tests can answer.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MsgAnswer show(const QString& text, const QString& title, MsgButtons buttons,
                           MsgIcon icon) = 0;
};
