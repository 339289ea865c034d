#include "platform/QtTrayNotifications.h"

#include <QApplication>
#include <QStyle>
#include <QSystemTrayIcon>

QtTrayNotifications::QtTrayNotifications() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    m_tray = std::make_unique<QSystemTrayIcon>();
    const auto activated = [this] {
        if (m_onActivated) {
            m_onActivated();
        }
    };
    connect(m_tray.get(), &QSystemTrayIcon::messageClicked, this, activated);
    connect(m_tray.get(), &QSystemTrayIcon::activated, this, activated);
}

QtTrayNotifications::~QtTrayNotifications() = default;

void QtTrayNotifications::showState(State state, const QString& tooltip) {
    if (!m_tray) {
        return;
    }
    const QStyle::StandardPixmap picture = state == State::Good ? QStyle::SP_DialogApplyButton
                                           : state == State::Attention
                                               ? QStyle::SP_MessageBoxWarning
                                               : QStyle::SP_MessageBoxCritical;
    m_tray->setIcon(QApplication::style()->standardIcon(picture));
    m_tray->setToolTip(tooltip);
    m_tray->show();
}

void QtTrayNotifications::notify(const QString& title, const QString& text) {
    if (m_tray && QSystemTrayIcon::supportsMessages()) {
        m_tray->showMessage(title, text, QSystemTrayIcon::Warning);
    }
}

void QtTrayNotifications::notifyGood(const QString& title, const QString& text) {
    if (m_tray && QSystemTrayIcon::supportsMessages()) {
        m_tray->showMessage(title, text, QSystemTrayIcon::Information);
    }
}

void QtTrayNotifications::setOnActivated(std::function<void()> handler) {
    m_onActivated = std::move(handler);
}
