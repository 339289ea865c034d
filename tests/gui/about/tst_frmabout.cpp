#include "FakePlatform.h"
#include "lorvex_version.h"
#include "platform/HyperlinkLabel.h"
#include "shell/frmAbout.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

namespace {
const QString kMsinfo = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
}

class TestFrmAbout : public QObject {
    Q_OBJECT

    FakePlatform* fake = nullptr;
    QPointer<frmAbout> box;

    void load() {
        box = new frmAbout(fake->platform);
        box->Form_Load();
    }
    void showAndActivate() {
        box->show();
        QApplication::setActiveWindow(box);
        QVERIFY(QTest::qWaitForWindowActive(box));
    }

private slots:
    void init() {
        fake = new FakePlatform;
        load();
    }
    void cleanup() {
        delete box.data();
        delete fake;
        QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void captionTitleAndVersionComeFromTheProject() {
        const QString title = QString::fromUtf8(lorvex::kAppTitle);
        QCOMPARE(box->windowTitle(), "Info zu " + title);
        QCOMPARE(box->lblTitle->text(), title);
        QCOMPARE(box->lblVersion->text(), QString::fromLatin1(lorvex::kVersionText));
        QCOMPARE(frmAbout::versionText(1, 0, 4), QString("1.0.4"));
        QCOMPARE(frmAbout::versionText(10, 20, 305), QString("10.20.305"));
    }

    void labelsCarryTheirTextsAtTheirPlaces() {
        QCOMPARE(box->Producktname->text(), QString("Produktname"));
        QCOMPARE(box->Version->text(), QString("Version "));
        QCOMPARE(box->Copyright->text(), QString("Copyright"));
        QCOMPARE(box->Description->text(), QString("Beschreibung"));
        QCOMPARE(box->lblDescription->text(), QString("Beschreibung"));
        QCOMPARE(box->Erstellt->text(),
                 QString("Erstellt am 20.05.'03 Letzte Korrektur 27.05.'03"));
        QCOMPARE(box->cmdOK->text(), QString("OK"));
        QCOMPARE(box->cmdSysInfo->text(), QString("&Systeminfo..."));
        QCOMPARE(box->size(), QSize(550, 253));
        QCOMPARE(box->cmdOK->geometry(), QRect(283, 184, 84, 23));
        QCOMPARE(box->Image2->geometry(), QRect(384, 0, 162, 245));
        QCOMPARE(box->ctHyperLink1->geometry(), QRect(152, 80, 209, 17));
        QCOMPARE(box->picIcon->pixmap().size(), QSize(32, 32));
        QVERIFY(box->Image1->hasScaledContents());
        QVERIFY(!box->Image2->pixmap().isNull());
        QCOMPARE(box->Line1[1]->palette().color(QPalette::Window), QColor(128, 128, 128));
        QCOMPARE(box->Line1[0]->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(box->Line1[0]->height(), 2);
    }

    void linksOpenTheMakersAddresses() {
        QList<QUrl> opened;
        const auto record = [&opened](const QUrl& url) {
            opened << url;
            return true;
        };
        box->ctHyperLink1->setOpener(record);
        box->ctHyperLink2->setOpener(record);
        QVERIFY(!box->ctHyperLink1->text().isEmpty());
        QTest::mouseClick(box->ctHyperLink1, Qt::LeftButton);
        box->ctHyperLink2->setFocus();
        QTest::keyClick(box->ctHyperLink2, Qt::Key_Space);
        QCOMPARE(opened, (QList<QUrl>{QUrl("mailto:info@lorvex.example"),
                                      QUrl("https://www.lorvex.example")}));
    }

    void okHasTheFirstFocusAndLeadsTheTabOrder() {
        showAndActivate();
        QCOMPARE(QApplication::focusWidget(), box->cmdOK);
        QVERIFY(box->cmdOK->isDefault());
        const QList<QWidget*> order{box->cmdSysInfo, box->ctHyperLink1, box->ctHyperLink2,
                                    box->cmdOK};
        for (QWidget* expected : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), expected);
        }
    }

    void isAModelessToolWindowWithoutMinMax() {
        QVERIFY(!box->isModal());
        QVERIFY(box->parentWidget() == nullptr);
        const Qt::WindowFlags flags = box->windowFlags();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QCOMPARE(box->minimumSize(), box->maximumSize());
        QCOMPARE(box->pos(), QPoint(156, 129));
        showAndActivate();
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        // Another window can take the focus while the box stays open.
        QWidget other;
        other.show();
        QApplication::setActiveWindow(&other);
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QVERIFY(box->isVisible());
    }

    void everyWayOfClosingUnloadsTheBox_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("Enter") << 0;
        QTest::newRow("Esc") << 1;
        QTest::newRow("OK clicked") << 2;
        QTest::newRow("close box") << 3;
    }
    void everyWayOfClosingUnloadsTheBox() {
        QFETCH(int, way);
        showAndActivate();
        bool destroyed = false;
        connect(box, &QObject::destroyed, this, [&destroyed] { destroyed = true; });
        switch (way) {
        case 0:
            QTest::keyClick(box, Qt::Key_Return);
            break;
        case 1:
            QTest::keyClick(box, Qt::Key_Escape);
            break;
        case 2:
            QTest::mouseClick(box->cmdOK, Qt::LeftButton);
            break;
        default:
            QVERIFY(box->close());
            break;
        }
        QVERIFY(!box || !box->isVisible());
        QTRY_VERIFY(destroyed);
    }

    void sysInfoButtonStartsTheRegisteredProgram() {
        fake->registry.setValue(Registry::LocalMachine, kMsinfo, "PATH",
                                {1, QByteArray("C:\\msinfo32.exe\0", 16)});
        showAndActivate();
        // Through the window, as the keyboard would: the mnemonic is a shortcut.
        QTest::keyClick(box->windowHandle(), Qt::Key_S, Qt::AltModifier);
        // A mnemonic animates the button and clicks it a moment later.
        QTRY_COMPARE(fake->launcher.started, QStringList{"C:\\msinfo32.exe"});
        QVERIFY(box->isVisible()); // the box stays open beside the started program
        fake->messages.queueAnswer(MsgAnswer::Ok);
        fake->launcher.startSucceeds = false;
        QTest::mouseClick(box->cmdSysInfo, Qt::LeftButton);
        QCOMPARE(fake->messages.shown.size(), 1);

        // Enter on the focused button presses it and leaves the box open.
        fake->messages.queueAnswer(MsgAnswer::Ok);
        box->cmdSysInfo->setFocus();
        QTest::keyClick(box->cmdSysInfo, Qt::Key_Return);
        QCOMPARE(fake->messages.shown.size(), 2);
        QVERIFY(box->isVisible());
        QCOMPARE(fake->messages.unexpected, 0);
    }

    void screenshot() {
        showAndActivate();
        const QString path = QCoreApplication::applicationDirPath() + "/frmAbout.png";
        QVERIFY(box->grab().save(path));
    }
};

QTEST_MAIN(TestFrmAbout)
#include "tst_frmabout.moc"
