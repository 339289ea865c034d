#pragma once

#include "access/Connection.h"
#include "access/ErrorReport.h"
#include "access/FormHelpers.h"
#include "access/LoginLoader.h"
#include "access/SignInState.h"

// The procedures of server access and the sign-in state, wired together once per program.
class CacheApi {
public:
    CacheApi(SignInState& state, Platform& platform, FormHost& forms,
             CacheFactoryCreator createFactory)
        : m_state(state)
        , m_platform(platform)
        , m_forms(forms)
        , m_helpers(platform, forms)
        , m_connection(state, platform, forms, m_helpers, std::move(createFactory))
        , m_errors(platform, m_connection)
        , m_loader(state, platform, forms) {}

    SignInState& state() { return m_state; }
    Platform& platform() { return m_platform; }
    FormHost& forms() { return m_forms; }
    FormHelpers& helpers() { return m_helpers; }
    Connection& connection() { return m_connection; }
    ErrorReport& errors() { return m_errors; }
    LoginLoader& loader() { return m_loader; }

private:
    SignInState& m_state;
    Platform& m_platform;
    FormHost& m_forms;
    FormHelpers m_helpers;
    Connection m_connection;
    ErrorReport m_errors;
    LoginLoader m_loader;
};
