#include <QTest>

#include <tuple>

#include "update/update_inputs.h"

using namespace quendrel;
using namespace Qt::StringLiterals;

namespace {

// Each text input, and whether a cycle with it empty is refused (R) or not
// (-): in turn with the address from a web page and the page from a
// template; web page, default page; the host's address, a template; the
// host's address, the default page.
const std::tuple<const char*, QString UpdateInputs::*, const char*> kTextInputs[] = {
    {"ipWebPage", &UpdateInputs::ipWebPage, "RR--"},     {"startString", &UpdateInputs::startString, "RR--"},
    {"endString", &UpdateInputs::endString, "RR--"},     {"templatePath", &UpdateInputs::templatePath, "R-R-"},
    {"remotePath", &UpdateInputs::remotePath, "----"},   {"destFilename", &UpdateInputs::destFilename, "RRRR"},
    {"server", &UpdateInputs::server, "RRRR"},           {"username", &UpdateInputs::username, "RRRR"},
    {"password", &UpdateInputs::password, "RRRR"}};

}  // namespace

class TestUpdateInputs : public QObject {
    Q_OBJECT

private slots:
    void takePort_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QLocale>("locale");
        // The port; " reset" when the box gets "21" back; then the failure, if any.
        QTest::addColumn<QString>("verdict");
        const auto row = [](const char* name, const QString& text, const QString& verdict,
                            const QLocale& locale = QLocale::c()) { QTest::newRow(name) << text << locale << verdict; };
        const QString overflow = u"21 Overflow - 6"_s;
        row("empty", "", "21 reset");
        row("trailing letters", "2121abc", "21 reset");
        row("spaces around", " 2121 ", "2121");
        row("half up to even", "2121.5", "2122");
        row("half down to even", "2122.5", "2122");
        row("exponent", "1e3", "1000");
        row("zero", "0", "0");
        row("highest", "65535", "65535");
        row("one above", "65536", overflow);
        row("rounds above", "65535.5", overflow);
        row("beyond double", "1e400", overflow);
        row("negative", "-1", overflow);
        row("German decimal comma", "2121,5", "2122", QLocale(u"de_DE"_s));
        row("German decimal point", "2121.5", "2122", QLocale(u"de_DE"_s));
        row("English group separator", "2,121", "21 reset", QLocale(u"en_US"_s));
    }

    void takePort()
    {
        QFETCH(QString, text);
        QFETCH(QLocale, locale);
        QLocale::setDefault(locale);
        const PortVerdict verdict = TakePort(text);
        const QString failure = verdict.failure ? verdict.failure->message : QString();
        QTEST(u"%1%2 %3"_s.arg(verdict.port).arg(verdict.resetText ? " reset" : "", failure).trimmed(), "verdict");
    }

    void requiredFields()
    {
        for (const auto& [name, text, expected] : kTextInputs) {
            QString refused;
            for (const bool direct : {false, true}) {
                for (const bool defaultPage : {false, true}) {
                    UpdateInputs in;
                    in.directlyConnected = direct;
                    in.defaultPage = defaultPage;
                    for (const auto& other : kTextInputs)
                        in.*std::get<1>(other) = name == std::get<0>(other) ? QString() : u"x"_s;
                    const std::optional<UpdateFailure> failure = ValidateUpdateInputs(in);
                    refused += !failure ? u'-' : failure->message == u"Required Fields Missing.."_s ? u'R' : u'?';
                }
            }
            QVERIFY2(refused == QLatin1String(expected), qPrintable(name + u": "_s + refused));
        }
    }

    void cycleDateAndTime_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");  // the long form without the zone
        QTest::newRow("en_US") << QLocale(u"en_US"_s) << "1/15/24" << "1:05:09 PM";
        QTest::newRow("de_DE") << QLocale(u"de_DE"_s) << "15.01.24" << "13:05:09";
        // The zone stands in brackets or after a comma there.
        QTest::newRow("ca_ES") << QLocale(u"ca_ES"_s) << "15/1/24" << "13:05:09";
        QTest::newRow("be_BY") << QLocale(u"be_BY"_s) << "15.01.24" << "13:05:09";
    }

    void cycleDateAndTime()
    {
        QFETCH(QLocale, locale);
        const QDateTime moment(QDate(2024, 1, 15), QTime(13, 5, 9));
        QTEST(CycleDateText(moment, locale), "date");
        QTEST(CycleTimeText(moment, locale), "time");
    }
};

QTEST_GUILESS_MAIN(TestUpdateInputs)
#include "test_update_inputs.moc"
