#pragma once

#include "FakeCache.h"
#include "FakePlatform.h"
#include "shell/MonitorProgram.h"

#include <QCoreApplication>
#include <QEvent>

#include <memory>

// A program run over the fake desktop and a scripted object server with the user ABC (password
// "geheim") and the user LESER ("lesen", rights group 5), signed in from the command line
// "1 0 ABC geheim" unless another command line is given (an empty one: the dialog asks).
struct ShellFixture {
    FakePlatform fake;
    FakeCacheServer server;
    std::unique_ptr<MonitorProgram> program;

    explicit ShellFixture(const QString& rightsGroup = QStringLiteral("9"),
                          const QString& commandLine = QStringLiteral("1 0 ABC geheim")) {
        server.addObject(QStringLiteral("LX.ParPersEdv"), QStringLiteral("1||ABC"),
                         {{QStringLiteral("Passwort"), QStringLiteral("geheim")},
                          {QStringLiteral("AKTIV"), QStringLiteral("J")},
                          {QStringLiteral("PNAME"), QStringLiteral("Muster,Dora")},
                          {QStringLiteral("PNR"), QStringLiteral("1001")},
                          {QStringLiteral("AbtNr"), QStringLiteral("10")},
                          {QStringLiteral("DW"), QStringLiteral("201")},
                          {QStringLiteral("BERGRP"), rightsGroup}});
        server.addObject(QStringLiteral("LX.ParPersAbt"), QStringLiteral("1||10"),
                         {{QStringLiteral("abtbez"), QStringLiteral("Verwaltung")},
                          {QStringLiteral("AbtNr"), QStringLiteral("10")},
                          {QStringLiteral("HAbtNr"), QStringLiteral("1")}});
        server.addObject(QStringLiteral("LX.PersBasis"), QStringLiteral("1||1001"),
                         {{QStringLiteral("fax"), QString()},
                          {QStringLiteral("EMAIL"), QStringLiteral("dora@lorvex.example")}});
        server.addObject(QStringLiteral("LX.ParPersEdv"), QStringLiteral("1||LESER"),
                         {{QStringLiteral("Passwort"), QStringLiteral("lesen")},
                          {QStringLiteral("AKTIV"), QStringLiteral("J")},
                          {QStringLiteral("PNAME"), QStringLiteral("Leser,Lea")},
                          {QStringLiteral("PNR"), QStringLiteral("1001")},
                          {QStringLiteral("AbtNr"), QStringLiteral("10")},
                          {QStringLiteral("DW"), QString()},
                          {QStringLiteral("BERGRP"), QStringLiteral("5")}});
        program = std::make_unique<MonitorProgram>(fake.platform, server.creator(), commandLine);
    }

    ~ShellFixture() {
        program.reset();
        flushDeletes();
    }

    static void flushDeletes() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};
