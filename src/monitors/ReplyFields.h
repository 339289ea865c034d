#pragma once

#include <QString>
#include <QStringList>

// Cuts a monitor reply at every "|" into its fields. Two separators in a row give an empty
// field; an empty reply gives no field at all (not one empty field).
QStringList cutReply(const QString& reply);
