#include "ProcessVariables.h"
#include "ServerError.h"
#include "XecuteInterpreter.h"
#include "XecuteParser.h"

#include <QtTest>

// The server command language: what runs, what is refused, and that a refused line changes
// nothing, whatever a value smuggles in.
class TestXecute : public QObject {
    Q_OBJECT

    static ProcessVariables startVariables() {
        ProcessVariables variables;
        variables.set(QStringLiteral("FIRMA"), QVariant::fromValue<qint64>(7));
        return variables;
    }

    // name=value pairs of the given variables, for comparing.
    static QString dump(const ProcessVariables& variables, const QStringList& names) {
        QStringList parts;
        for (const QString& name : names) {
            if (variables.contains(name)) {
                const QVariant value = variables.value(name);
                parts << QStringLiteral("%1=%2:%3").arg(name, value.typeName(), value.toString());
            }
        }
        return parts.join(QLatin1Char(' '));
    }

private slots:
    void validLinesSetVariables_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected");
        const QString firm = QStringLiteral("FIRMA=qlonglong:1");
        QTest::newRow("what the client sends")
            << "S FIRMA=1,FIL=0,PERSONAL=\"ABC\""
            << "FIRMA=qlonglong:1 FIL=qlonglong:0 PERSONAL=QString:ABC";
        QTest::newRow("routine") << "D ^%XTT"
                                 << "FIRMA=qlonglong:7 %XTT=qlonglong:1";
        QTest::newRow("two commands") << "S FIRMA=1 D ^%XTT" << firm + " %XTT=qlonglong:1";
        QTest::newRow("long command words, any case")
            << "set FIRMA=1 Do ^%XTT" << firm + " %XTT=qlonglong:1";
        QTest::newRow("doubled quote") << "S PERSONAL=\"A\"\"B\""
                                       << "FIRMA=qlonglong:7 PERSONAL=QString:A\"B";
        QTest::newRow("empty string") << "S PERSONAL=\"\""
                                      << "FIRMA=qlonglong:7 PERSONAL=QString:";
        QTest::newRow("canonical number") << "S FIRMA=007,FIL=-0"
                                          << "FIRMA=qlonglong:7 FIL=qlonglong:0";
        QTest::newRow("decimal") << "S FIL=2.50"
                                 << "FIRMA=qlonglong:7 FIL=double:2.5";
        QTest::newRow("leading point") << "S FIL=-.5"
                                       << "FIRMA=qlonglong:7 FIL=double:-0.5";
        QTest::newRow("later assignment wins") << "S FIRMA=1,FIRMA=2"
                                               << "FIRMA=qlonglong:2";
        QTest::newRow("percent name, digits") << "S %A1=3"
                                              << "FIRMA=qlonglong:7 %A1=qlonglong:3";
        QTest::newRow("non-ASCII text") << "S PERSONAL=\"Jürgen\""
                                        << "FIRMA=qlonglong:7 PERSONAL=QString:Jürgen";
    }
    void validLinesSetVariables() {
        QFETCH(QString, line);
        QFETCH(QString, expected);
        ProcessVariables variables = startVariables();
        XecuteInterpreter().execute(line, variables);
        QCOMPARE(dump(variables, {"FIRMA", "FIL", "PERSONAL", "%XTT", "%A1"}), expected);
    }

    void refusedLinesChangeNothing_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("number");
        const int syntax = ServerErrorNumber::Syntax;
        QTest::newRow("empty") << "" << syntax;
        QTest::newRow("unknown command") << "K FIRMA" << syntax;
        QTest::newRow("write") << "W \"x\"" << syntax;
        QTest::newRow("xecute inside") << "X \"S FIRMA=9\"" << syntax;
        QTest::newRow("two blanks") << "S FIRMA=9  D ^%XTT" << syntax;
        QTest::newRow("trailing blank") << "S FIRMA=9 " << syntax;
        QTest::newRow("leading blank") << " S FIRMA=9" << syntax;
        QTest::newRow("no blank after command") << "SFIRMA=9" << syntax;
        QTest::newRow("missing value") << "S FIRMA=" << syntax;
        QTest::newRow("missing equals") << "S FIRMA" << syntax;
        QTest::newRow("expression") << "S FIRMA=1+1" << syntax;
        QTest::newRow("variable as value") << "S FIRMA=FIL" << syntax;
        QTest::newRow("function call") << "S FIRMA=$ZF(-1,\"rm\")" << syntax;
        QTest::newRow("indirection") << "S @X=1" << syntax;
        QTest::newRow("subscript") << "S ^GLOBAL(1)=9" << syntax;
        QTest::newRow("open string") << "S PERSONAL=\"ABC" << syntax;
        QTest::newRow("text after string") << "S PERSONAL=\"A\"B" << syntax;
        QTest::newRow("dangling comma") << "S FIRMA=9," << syntax;
        QTest::newRow("point alone") << "S FIRMA=." << syntax;
        QTest::newRow("two points") << "S FIRMA=1.2.3" << syntax;
        QTest::newRow("number too long") << "S FIRMA=1234567890123456789" << syntax;
        QTest::newRow("name too long") << "S " + QString(32, 'A') + "=1" << syntax;
        QTest::newRow("routine without caret") << "D %XTT" << syntax;
        QTest::newRow("label and routine") << "D START^%XTT" << syntax;
        QTest::newRow("routine with argument") << "D ^%XTT(1)" << syntax;
        QTest::newRow("line too long")
            << "S PERSONAL=\"" + QString(XecuteParser::kMaxLineLength, 'x') + "\"" << syntax;
        QTest::newRow("good start, bad end") << "S FIRMA=9 S FIL=\"" << syntax;
        QTest::newRow("unknown routine after a set")
            << "S FIRMA=9 D ^%ZKILL" << ServerErrorNumber::UnknownRoutine;
        QTest::newRow("tab instead of blank") << "S\tFIRMA=9" << syntax;
    }
    void refusedLinesChangeNothing() {
        QFETCH(QString, line);
        QFETCH(int, number);
        ProcessVariables variables = startVariables();
        try {
            XecuteInterpreter().execute(line, variables);
            QFAIL("the line was accepted");
        } catch (const ServerError& error) {
            QCOMPARE(error.number(), number);
        }
        QCOMPARE(dump(variables, {"FIRMA", "FIL", "PERSONAL", "%XTT", "X"}), "FIRMA=qlonglong:7");
    }

    // A user code is the only free text the client puts in a command; whatever it holds stays
    // inside its value once its quotes are doubled.
    void injectionThroughAValueRunsNothingElse_data() {
        QTest::addColumn<QString>("userCode");
        QTest::newRow("quote then command") << "ABC\" S FIRMA=\"9";
        QTest::newRow("comma then assignment") << "ABC\",FIRMA=9,X=\"";
        QTest::newRow("blank then routine") << "ABC\" D ^%XTT S X=\"";
        QTest::newRow("only quotes") << "\"\"\"";
        QTest::newRow("blanks and commas") << "A B,C";
    }
    void injectionThroughAValueRunsNothingElse() {
        QFETCH(QString, userCode);
        // Quoted the way the client does it: the value arrives whole.
        QString quoted = userCode;
        quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
        ProcessVariables variables = startVariables();
        XecuteInterpreter().execute("S FIL=0,PERSONAL=\"" + quoted + "\"", variables);
        QCOMPARE(variables.value("PERSONAL").toString(), userCode);
        QCOMPARE(variables.value("FIRMA").toLongLong(), 7);
        QVERIFY(!variables.contains("X"));
        QVERIFY(!variables.contains("%XTT"));
    }

    void syntaxErrorNamesTheColumn() {
        ProcessVariables variables;
        try {
            XecuteInterpreter().execute("S FIRMA=1,FIL=x", variables);
            QFAIL("accepted");
        } catch (const ServerError& error) {
            QVERIFY2(error.text().startsWith("<SYNTAX> column 15"), qPrintable(error.text()));
        }
    }

    void variablesAreBounded() {
        ProcessVariables variables;
        for (int i = 0; i < ProcessVariables::kMaxVariables; ++i) {
            variables.set(QStringLiteral("V%1").arg(i), i);
        }
        variables.set("V0", 99); // replacing is always possible
        try {
            XecuteInterpreter().execute("S V1=5,NEW=1", variables);
            QFAIL("accepted");
        } catch (const ServerError& error) {
            QCOMPARE(error.number(), ServerErrorNumber::TooManyVariables);
        }
        QCOMPARE(variables.value("V1").toInt(), 1); // the whole line was refused
        QCOMPARE(variables.count(), ProcessVariables::kMaxVariables);
    }
};

QTEST_GUILESS_MAIN(TestXecute)
#include "tst_xecute.moc"
