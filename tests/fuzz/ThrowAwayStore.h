#pragma once

#include "DemoData.h"
#include "Store.h"

#include <QDir>
#include <QTemporaryDir>

#include <memory>

// A store of the fuzz targets: an SQLite file with the demo data, made once per process, in
// memory-backed /dev/shm where there is one (a write there costs no disk flush), removed at exit.
class ThrowAwayStore {
public:
    ThrowAwayStore()
        : m_dir(QDir(QStringLiteral("/dev/shm")).exists()
                    ? QStringLiteral("/dev/shm/lorvex-fuzz-XXXXXX")
                    : QDir::tempPath() + QStringLiteral("/lorvex-fuzz-XXXXXX"))
        , m_store(std::make_unique<Store>(m_dir.filePath(QStringLiteral("fuzz.db")))) {
        DemoData::seed(*m_store);
    }

    Store& store() { return *m_store; }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Store> m_store;
};
