#include "shell/frmAbout.h"

#include "lorvex_version.h"
#include "platform/HyperlinkLabel.h"
#include "platform/LabelFit.h"
#include "platform/Twips.h"
#include "shell/AboutPictures.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace {
constexpr int px(int twips) {
    return twipsToPixels(twips);
}
} // namespace

frmAbout::frmAbout(Platform& platform, QWidget* parent)
    : QDialog(parent)
    , m_sysInfo(platform) {
    // A fixed border, a close box only, and (as a tool window) no taskbar entry and no icon.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(px(8250), px(3795));
    move(px(2340), px(1935));
    // The layout was drawn for an 8-point dialog font; larger ones crop the short labels.
    QFont dialogFont = font();
    dialogFont.setPointSize(8);
    setFont(dialogFont);

    picIcon = addLabel(QString(), 240, 240, 540, 540);
    picIcon->setPixmap(AboutPictures::icon());
    picIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Producktname = addLabel(QStringLiteral("Produktname"), 1080, 240, 975, 495);
    lblTitle = addLabel(QString(), 2290, 240, 3135, 495);
    Version = addLabel(QStringLiteral("Version "), 1080, 840, 975, 255);
    lblVersion = addLabel(QString(), 2290, 840, 3135, 255);
    Copyright = addLabel(QStringLiteral("Copyright"), 1080, 1200, 975, 255);

    ctHyperLink1 = new HyperlinkLabel(this);
    ctHyperLink1->setText(QStringLiteral("Lorvex GmbH, Anna Beispiel"));
    ctHyperLink1->setUrl(QUrl(QStringLiteral("mailto:info@lorvex.example")));
    ctHyperLink1->setGeometry(twipsRect(2280, 1200, 3135, 255));

    Description = addLabel(QStringLiteral("Beschreibung"), 1080, 1560, 975, 495);
    for (QLabel* caption : {Producktname, Version, Copyright, Description}) {
        fitLabelToText(caption, 2290 - 60);
    }
    lblDescription = addLabel(QStringLiteral("Beschreibung"), 2290, 1560, 3135, 495);
    Erstellt = addLabel(QStringLiteral("Erstellt am 20.05.'03 Letzte Korrektur 27.05.'03"), 1080,
                        2160, 4455, 255);

    // Grey over white: together an etched separator.
    Line1[1] = addLine(QColor(128, 128, 128), 90, 2445, 5654, 1);
    Line1[0] = addLine(Qt::white, 105, 2460, 5654, 2);

    Image1 = addLabel(QString(), 480, 2640, 3255, 795);
    Image1->setScaledContents(true);
    Image1->setPixmap(AboutPictures::banner());

    ctHyperLink2 = new HyperlinkLabel(this);
    ctHyperLink2->setText(QStringLiteral("www.lorvex.example"));
    ctHyperLink2->setUrl(QUrl(QStringLiteral("https://www.lorvex.example")));
    ctHyperLink2->setGeometry(twipsRect(480, 3480, 3255, 255));

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setGeometry(twipsRect(4245, 2760, 1260, 345));
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton(QStringLiteral("&Systeminfo..."), this);
    cmdSysInfo->setGeometry(twipsRect(4260, 3240, 1245, 345));
    // Enter on the focused button presses it; elsewhere Enter is "OK".
    cmdSysInfo->setAutoDefault(true);

    Image2 = addLabel(QString(), 5760, 0, 2430, 3675);
    Image2->setPixmap(AboutPictures::sidePicture());

    setTabOrder(cmdOK, cmdSysInfo);
    setTabOrder(cmdSysInfo, ctHyperLink1);
    setTabOrder(ctHyperLink1, ctHyperLink2);
    cmdOK->setFocus();

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
}

void frmAbout::Form_Load() {
    const QString title = QString::fromUtf8(lorvex::kAppTitle);
    setWindowTitle(QStringLiteral("Info zu ") + title);
    lblVersion->setText(
        versionText(lorvex::kVersionMajor, lorvex::kVersionMinor, lorvex::kVersionRevision));
    lblTitle->setText(title);
}

void frmAbout::cmdOK_Click() {
    // Closing unloads the box; the window registry forgets it through QObject::destroyed.
    close();
}

void frmAbout::cmdSysInfo_Click() {
    m_sysInfo.StartSysInfo();
}

QString frmAbout::versionText(int major, int minor, int revision) {
    return QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(revision);
}

void frmAbout::reject() {
    cmdOK_Click();
}

void frmAbout::closeEvent(QCloseEvent* event) {
    // A plain close: the dialog's own handling would route through reject() a second time.
    event->accept();
}

QLabel* frmAbout::addLabel(const QString& text, int left, int top, int width, int height) {
    auto* label = new QLabel(text, this);
    label->setGeometry(twipsRect(left, top, width, height));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(height > 300);
    return label;
}

QFrame* frmAbout::addLine(const QColor& color, int x1, int y, int x2, int thickness) {
    auto* line = new QFrame(this);
    line->setGeometry(px(x1), px(y), px(x2) - px(x1) + 1, thickness);
    line->setAutoFillBackground(true);
    QPalette linePalette = line->palette();
    linePalette.setColor(QPalette::Window, color);
    line->setPalette(linePalette);
    return line;
}
