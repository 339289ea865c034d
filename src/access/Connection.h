#pragma once

#include "cache/CacheFactory.h"

class FormHelpers;
class FormHost;
struct Platform;
struct SignInState;

// The connection to the object server: connects on demand with bounded tries, brackets every
// server access (cursor, idle timer), drops an idle connection, releases server objects.
class Connection {
public:
    Connection(SignInState& state, Platform& platform, FormHost& forms, FormHelpers& helpers,
               CacheFactoryCreator createFactory);

    void BeginCacheAccess(bool showHourglass, bool unlimitedTries);
    void EndCacheAccess(bool restoreCursor);
    void ConnectCache(bool unlimitedTries);
    void DisconnectCache();
    // Calls SYS_Close (ignoring its failure) and empties the reference in every case.
    void CloseCacheObject(CacheObjectPtr& object);
    // Waits hundredths/100 seconds while window events go on; ends early at midnight.
    void Pause(int hundredths);

private:
    SignInState& m_state;
    Platform& m_platform;
    FormHost& m_forms;
    FormHelpers& m_helpers;
    CacheFactoryCreator m_createFactory;
};
