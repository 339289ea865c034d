#include "shell/MonitorProgram.h"

#include "access/LoginLoader.h"
#include "shell/FMStart.h"

MonitorProgram::MonitorProgram(Platform& platform, CacheFactoryCreator createFactory,
                               const QString& commandLine)
    : m_commandLine(LoginLoader::takeCommandLinePassword(commandLine, m_state.gPasswort))
    , m_windows(platform)
    , m_api(m_state, platform, m_windows, std::move(createFactory))
    , m_signIn(m_api, m_commandLine) {
    m_windows.setCacheApi(m_api);
    m_windows.setSignIn(m_signIn);
    m_windows.setMainWindowMaker([this] {
        return new FMStart(FMStart::Services{
            m_windows,
            m_state,
            m_commandLine,
            [this] { return m_signIn.CheckLogin(); },
            [this] { m_api.connection().DisconnectCache(); },
            [this](int exitCode) { m_api.helpers().UnloadAllAndEnd(exitCode); },
        });
    });
}

MonitorProgram::~MonitorProgram() {
    // The windows hold on to the server access; they go before it does.
    m_windows.destroyAllWindows();
}

FMStart& MonitorProgram::start() {
    FMStart& main = m_windows.mainWindow();
    main.show();
    return main;
}
