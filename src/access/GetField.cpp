#include "access/GetField.h"

QString GetField(const QString& text, const QString& separator, int n,
                 const QString& defaultValue) {
    QString result;
    int counter = 1;
    for (const QChar ch : text) {
        // Comparing one character with the whole separator: a longer separator never matches.
        if (separator.size() == 1 && ch == separator.front()) {
            if (counter == n) {
                break;
            }
            ++counter;
        } else if (counter == n) {
            result.append(ch);
        }
    }
    return result.isEmpty() ? defaultValue : result;
}
