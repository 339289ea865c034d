#pragma once

#include "FakeCache.h"
#include "FakeFormHost.h"
#include "FakePlatform.h"
#include "access/CacheApi.h"
#include "access/LoginSettings.h"

// Everything the access layer talks to, faked and wired into one CacheApi.
struct AccessRig {
    FakePlatform fake;
    FakeCacheServer server;
    FakeFormHost forms{fake.time};
    SignInState state;
    // When each factory object was made, in fake milliseconds: one per connection try.
    QList<qint64> tryTimes;
    CacheApi api{state, fake.platform, forms, [this] {
                     tryTimes.append(fake.time.nowMs());
                     return server.creator()();
                 }};

    AccessRig() {
        // What the server settings dialog's Lock_Timer does.
        forms.idleTimer().setOnTimeout([this] { api.connection().DisconnectCache(); });
        // The connection's own tests assume a server that accepts the sign-in.
        server.onSignIn = [](const QString&, const QString&, const QString&) { return true; };
    }

    void store(const QString& key, const QString& value) {
        fake.settings.save(LoginSettings::App, LoginSettings::Section, key, value);
    }
    QString stored(const QString& key) const {
        return fake.settings.values.value(LoginSettings::App + '/' + LoginSettings::Section + '/' +
                                          key);
    }
    // Connection data as a sign-in would have loaded them, mirrored into the server dialog.
    void signInData(const QString& firma = "1", const QString& filiale = "0",
                    const QString& user = "ABC") {
        state.gFirma = firma;
        state.gFiliale = filiale;
        state.gPersonalcode = user;
        state.gConnectString = "cn_iptcp:srv[1972]:LORVEX";
        forms.serverBoxes = {firma, filiale, "srv", "1972", "LORVEX"};
    }
    // The Xecute commands the server received, in order.
    QStringList xecutes() const { return server.callsStartingWith("call LX.Windows.Xecute"); }
};
