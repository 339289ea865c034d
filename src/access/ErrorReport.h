#pragma once

#include <QString>

class CacheError;
class Connection;
struct Platform;

// Reports a failed server step of the sign-in and closes the access bracket.
class ErrorReport {
public:
    ErrorReport(Platform& platform, Connection& connection);

    void ShowCacheError(int number, const QString& description, const QString& operation);
    void ShowCacheError(const CacheError& error, const QString& operation);
    // The two halves, for a caller that ends the access first and shows the box once the
    // access is over (so that the box holds no other access back).
    void showBox(int number, const QString& description, const QString& operation);
    void endAccess();

private:
    Platform& m_platform;
    Connection& m_connection;
};
