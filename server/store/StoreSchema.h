#pragma once

#include <QStringList>

// The tables of a LORVEX database, the same on every engine.
namespace StoreSchema {

// 1: passwords in clear text (no lx_meta table); 2: Argon2id hashes in password_hash.
inline constexpr const char* kVersion = "2";
// Tables added within a version (created where missing when a server starts).
inline constexpr const char* kTablesRevision = "resume-tokens";

// CREATE TABLE IF NOT EXISTS for every table, in order.
const QStringList& createStatements();
// The tables that hold data (the schema's own table not among them), in the order a copy
// fills them.
const QStringList& dataTables();

} // namespace StoreSchema
