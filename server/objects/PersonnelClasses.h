#pragma once

#include "RecordClass.h"

#include <memory>

// The personnel classes, each a RecordClass over one table of the store.
namespace PersonnelClasses {

// LX.ParPersEdv: the personnel record of a program user, id company + "||" + user code.
std::shared_ptr<const RecordClass> parPersEdv();
// LX.ParPersAbt: a department, id company + "||" + department number.
std::shared_ptr<const RecordClass> parPersAbt();
// LX.PersBasis: the base data of a person, id company + "||" + personnel number.
std::shared_ptr<const RecordClass> persBasis();

} // namespace PersonnelClasses
