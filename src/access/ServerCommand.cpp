#include "access/ServerCommand.h"

#include "objectclient/CacheError.h"
#include "protocol/AsciiDigit.h"

#include <algorithm>

bool isPlainDigitString(const QString& text) {
    return !text.isEmpty() && std::all_of(text.cbegin(), text.cend(), isAsciiDigit);
}

QString buildWorkContextCommand(const QString& firma, const QString& filiale,
                                const QString& personalcode) {
    if (!isPlainDigitString(firma)) {
        throw CacheError(
            ClientErrors::InvalidSignInData,
            QStringLiteral("Ungültige Firma \"%1\": erlaubt sind nur Ziffern.").arg(firma));
    }
    if (!isPlainDigitString(filiale)) {
        throw CacheError(
            ClientErrors::InvalidSignInData,
            QStringLiteral("Ungültige Filiale \"%1\": erlaubt sind nur Ziffern.").arg(filiale));
    }
    if (personalcode.contains(QLatin1Char('|'))) {
        // The server and this program read a user code up to its first "|"; a code that goes
        // on would sign in as one user and work as another.
        throw CacheError(ClientErrors::InvalidSignInData,
                         QStringLiteral("Ungültiger Personalcode \"%1\": \"|\" ist nicht erlaubt.")
                             .arg(personalcode));
    }
    QString quoted = personalcode;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QStringLiteral("S FIRMA=") + firma + QStringLiteral(",FIL=") + filiale +
           QStringLiteral(",PERSONAL=\"") + quoted + QLatin1Char('"');
}
