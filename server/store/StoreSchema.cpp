#include "StoreSchema.h"

namespace {

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS lx_meta ("
    " name VARCHAR(64) NOT NULL PRIMARY KEY, value VARCHAR(64) NOT NULL)",
    "CREATE TABLE IF NOT EXISTS lx_user ("
    " firma BIGINT NOT NULL, code VARCHAR(64) NOT NULL, password_hash VARCHAR(128) NOT NULL,"
    " aktiv VARCHAR(8) NOT NULL, pname VARCHAR(128) NOT NULL, pnr VARCHAR(32) NOT NULL,"
    " abtnr VARCHAR(32) NOT NULL, dw VARCHAR(32) NOT NULL, bergrp VARCHAR(8) NOT NULL,"
    " PRIMARY KEY (firma, code))",
    "CREATE TABLE IF NOT EXISTS lx_department ("
    " firma BIGINT NOT NULL, abtnr VARCHAR(32) NOT NULL, abtbez VARCHAR(128) NOT NULL,"
    " habtnr VARCHAR(32) NOT NULL, PRIMARY KEY (firma, abtnr))",
    "CREATE TABLE IF NOT EXISTS lx_base_data ("
    " firma BIGINT NOT NULL, pnr VARCHAR(32) NOT NULL, fax VARCHAR(64) NOT NULL,"
    " email VARCHAR(128) NOT NULL, PRIMARY KEY (firma, pnr))",
    "CREATE TABLE IF NOT EXISTS tm_register ("
    " firma BIGINT NOT NULL, filiale BIGINT NOT NULL, seq INTEGER NOT NULL,"
    " kasse VARCHAR(32) NOT NULL, anzahl VARCHAR(32) NOT NULL, first_cnt VARCHAR(32) NOT NULL,"
    " last_cnt VARCHAR(32) NOT NULL, PRIMARY KEY (firma, filiale, seq))",
    "CREATE TABLE IF NOT EXISTS tm_clock ("
    " firma BIGINT NOT NULL, filiale BIGINT NOT NULL, slot INTEGER NOT NULL,"
    " nr VARCHAR(32) NOT NULL, e_ist VARCHAR(32) NOT NULL, e_soll VARCHAR(32) NOT NULL,"
    " s_ist VARCHAR(32) NOT NULL, s_soll VARCHAR(32) NOT NULL,"
    " PRIMARY KEY (firma, filiale, slot))",
    "CREATE TABLE IF NOT EXISTS lx_resume ("
    " token_hash VARCHAR(64) NOT NULL PRIMARY KEY, firma BIGINT NOT NULL,"
    " code VARCHAR(64) NOT NULL, account VARCHAR(64) NOT NULL, expires BIGINT NOT NULL)",
};

} // namespace

namespace StoreSchema {

const QStringList& createStatements() {
    static const QStringList statements = [] {
        QStringList all;
        for (const char* statement : kSchema) {
            all.append(QString::fromLatin1(statement));
        }
        return all;
    }();
    return statements;
}

const QStringList& dataTables() {
    static const QStringList tables{QStringLiteral("lx_user"), QStringLiteral("lx_department"),
                                    QStringLiteral("lx_base_data"), QStringLiteral("tm_register"),
                                    QStringLiteral("tm_clock")};
    return tables;
}

} // namespace StoreSchema
