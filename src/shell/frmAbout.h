#pragma once

#include "shell/SysInfoLauncher.h"

#include <QDialog>

#include <array>

class HyperlinkLabel;
class QFrame;
class QLabel;
class QPushButton;
struct Platform;

// The about box: title, version, the maker's links, two pictures, and a button that starts the
// system-information program. Modeless; OK, Enter, Esc and the close box unload it.
//
// The maker named by the links is fictional and lives on a reserved example domain:
// ctHyperLink1 "Lorvex GmbH, Anna Beispiel" -> mailto:info@lorvex.example,
// ctHyperLink2 "www.lorvex.example" -> https://www.lorvex.example.
class frmAbout : public QDialog {
    Q_OBJECT

public:
    explicit frmAbout(Platform& platform, QWidget* parent = nullptr);

    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();

    // The version as the label shows it: major.minor.revision in plain decimals.
    static QString versionText(int major, int minor, int revision);

    QLabel* picIcon = nullptr;
    QLabel* Producktname = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* Version = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* Copyright = nullptr;
    HyperlinkLabel* ctHyperLink1 = nullptr;
    QLabel* Description = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* Erstellt = nullptr;
    std::array<QFrame*, 2> Line1{};
    QLabel* Image1 = nullptr;
    HyperlinkLabel* ctHyperLink2 = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;
    QLabel* Image2 = nullptr;

public slots:
    // Esc and the close box end here; both unload the box like OK.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* addLabel(const QString& text, int left, int top, int width, int height);
    QFrame* addLine(const QColor& color, int x1, int y, int x2, int thickness);

    SysInfoLauncher m_sysInfo;
};
