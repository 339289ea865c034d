#include "access/ErrorTexts.h"

#include "access/ServerCommand.h"

#include <QHash>

namespace {

const QHash<int, QString>& germanTexts() {
    static const QHash<int, QString> texts{
        {1001,
         QStringLiteral("Ungültige Nachrichtenlänge. Der Server hat die Verbindung beendet.")},
        {1002, QStringLiteral("Fehlerhafte Nachricht. Der Server hat die Verbindung beendet.")},
        {1003, QStringLiteral("Der Server spricht eine andere Protokollversion.")},
        {1004, QStringLiteral("Der Server kennt den Namespace nicht.")},
        {1005, QStringLiteral("Verbindungsaufbau in falscher Reihenfolge. Der Server hat die "
                              "Verbindung beendet.")},
        {1006, QStringLiteral("Der Server kennt diese Operation nicht.")},
        {1007, QStringLiteral("Zu viele offene Objekte auf dem Server.")},
        {1008, QStringLiteral("Zu viele Argumente in einem Aufruf.")},
        {1009, QStringLiteral("Ein Text ist zu lang für den Server.")},
        {1010, QStringLiteral("Das Objekt ist auf dem Server nicht (mehr) geöffnet.")},
        {1011, QStringLiteral("Nachricht zu tief verschachtelt oder zu groß.")},
        {1012, QStringLiteral("Der Server hat keinen freien Platz für diese Verbindung.")},
        {5001, QStringLiteral("Kein Objekt dieser Klasse mit dieser Kennung.")},
        {5002, QStringLiteral("Diese Klasse gibt es auf dem Server nicht.")},
        {5003, QStringLiteral("Diese Eigenschaft gibt es nicht.")},
        {5004, QStringLiteral("Diese Methode gibt es nicht.")},
        {5005, QStringLiteral("Falsche Anzahl oder Art der Argumente.")},
        {5006, QStringLiteral("Ungültiger Serverbefehl, nichts davon wurde ausgeführt.")},
        {5007, QStringLiteral("Unbekannte Serverroutine, nichts wurde ausgeführt.")},
        {5008, QStringLiteral("Die Datenbank des Servers hat einen Fehler gemeldet.")},
        {5009, QStringLiteral("Nicht am Server angemeldet.")},
        {5010, QStringLiteral("Keine Berechtigung für diesen Zugriff.")},
        {5011,
         QStringLiteral("Die Datenbank ist gerade belegt. Bitte gleich noch einmal versuchen.")},
        {5050, QStringLiteral("Eine Servervariable wurde vor dem Setzen gelesen.")},
        {5051, QStringLiteral("Zu viele Servervariablen in dieser Sitzung.")},
        {5052, QStringLiteral("Zu viele Anmeldungen warten gerade am Server. Bitte gleich noch "
                              "einmal versuchen.")},
        {5053, QStringLiteral("Das Benutzerkonto wurde geändert. Bitte neu anmelden.")},
        {9001, QStringLiteral("Keine Verbindung zum Server.")},
        {9002, QStringLiteral("Der Server hat nicht rechtzeitig geantwortet. Die Verbindung "
                              "wurde getrennt.")},
        {9003, QStringLiteral("Die Verbindung zum Server ist abgebrochen.")},
        {9004, QStringLiteral("Ungültige Antwort vom Server.")},
        {9005, QStringLiteral("Ungültige Verbindungsdaten (Server oder Port).")},
        {9006, QStringLiteral("Das Objekt ist bereits geschlossen.")},
        {9007, QStringLiteral("Ein Wert dieser Art kann nicht an den Server gehen.")},
        {9008, QStringLiteral("Ein anderer Serveraufruf wartet noch auf seine Antwort.")},
        {ClientErrors::InvalidSignInData, QStringLiteral("Ungültige Anmeldedaten.")},
        {ClientErrors::ServerUnreachable, QStringLiteral("Der Server ist nicht erreichbar.")},
        {ClientErrors::ObjectNotFound, QStringLiteral("Der Server hat kein Objekt geliefert.")},
        {ClientErrors::SignInRefused, QStringLiteral("Der Server hat die Anmeldung abgelehnt.")},
    };
    return texts;
}

// The wire's numbers and the connectivity component's: their descriptions are the server's or
// the component's English words.
bool isProtocolError(int number) {
    return (number > 1000 && number < 1100) || (number > 5000 && number < 5100) ||
           (number > 9000 && number < 9100);
}

} // namespace

namespace ErrorTexts {

QString forUser(int number, const QString& description) {
    if (!isProtocolError(number)) {
        // The program's own German words, or its text for its own number.
        return description.isEmpty() ? germanTexts().value(number) : description;
    }
    const QString german = germanTexts().value(number);
    return german.isEmpty() ? QStringLiteral("Unbekannter Serverfehler.") : german;
}

QString forLog(int number, const QString& description) {
    const QString german = forUser(number, description);
    if (description.isEmpty() || german == description) {
        return german;
    }
    return german + QStringLiteral(" (Server: ") + description + QLatin1Char(')');
}

} // namespace ErrorTexts
