#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <optional>
#include <utility>

class Store;
class QTextStream;

// The admin commands of lorvex-server against its store (the list is in ServerCommandLine).
// Changing commands read the existing row first, so options left out keep their values.
// Invalid input changes nothing and is reported with exit code 2; a store failure throws
// ServerError.
class AdminCommands {
public:
    // database: what store was opened from (--db), so that a copy never goes into it; out and
    // err: what the command reports; input: the standard input (--password-stdin, FILE "-").
    // An import reads the bytes of input's device, where it has one, to find undecodable ones.
    AdminCommands(Store& store, const QString& database, QTextStream& out, QTextStream& err,
                  QTextStream& input);

    int run(const QString& command, const QMap<QString, QString>& options,
            const QStringList& files);

    // Why command must not run on database, checked before the store is opened (opening creates
    // a missing SQLite file); empty when it may. copy only reads its source: a mistyped --db
    // must not leave a new, empty file behind.
    static QString refusalBeforeOpening(const QString& command, const QString& database);

private:
    int setUser();
    int setDepartment();
    int setBaseData();
    int setRegister();
    int clearRegisters();
    int setClock();
    int importRegisters(const QString& file);
    int importClocks(const QString& file);
    int feed();
    int copyDatabase();
    // set-department, set-base-data: the row (--firma, --KEY) with the fields given, the others
    // as they stand; each field is (option, member).
    template <typename Record>
    int setKeyedRow(const QString& keyOption,
                    std::optional<Record> (Store::*read)(qint64, const QString&) const,
                    void (Store::*write)(const Record&),
                    std::initializer_list<std::pair<const char*, QString Record::*>> fields,
                    const char* written);

    // Reading options; each throws InputError on a bad value.
    qint64 wholeNumberOption(const QString& name) const;
    QString requiredText(const QString& name) const;
    // The option's value, or current when it is not given. A telemetry field must not hold the
    // reply separator "|"; no value may hold a control character.
    QString fieldOption(const QString& name, const QString& current, bool telemetry) const;
    // The record lines of an import's FILE ("-": standard input), without blank and comment
    // lines. Refused: bytes that are not UTF-8, and no record at all unless --allow-empty.
    QStringList fileLines(const QString& file) const;
    QByteArray fileBytes(const QString& file) const;

    Store& m_store;
    QString m_database;
    QTextStream& m_out;
    QTextStream& m_err;
    QTextStream& m_input;
    QMap<QString, QString> m_options;
};
