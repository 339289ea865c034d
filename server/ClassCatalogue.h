#pragma once

#include "ServerClass.h"

#include <QMap>
#include <QString>

#include <memory>

// Every class the server offers, by its name (case-sensitive, as the client addresses it).
class ClassCatalogue {
public:
    ClassCatalogue();

    // Throws ServerError (UnknownClass).
    const ServerClass& find(const QString& name) const;

private:
    QMap<QString, std::shared_ptr<const ServerClass>> m_classes;
};
