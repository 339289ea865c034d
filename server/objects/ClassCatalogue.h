#pragma once

#include "ServerClass.h"

#include <QMap>
#include <QString>

#include <memory>

class TelemetryReplyCache;

// Every class the server offers, by its name (case-sensitive, as the client addresses it).
// The telemetry classes serve their replies from keptReplies when one is given.
class ClassCatalogue {
public:
    explicit ClassCatalogue(TelemetryReplyCache* keptReplies = nullptr);

    // Throws ServerError (UnknownClass).
    const ServerClass& find(const QString& name) const;

private:
    QMap<QString, std::shared_ptr<const ServerClass>> m_classes;
};
