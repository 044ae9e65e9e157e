#include <QProcess>
#include <QTest>

#include <tuple>

#include "update/local_ip.h"
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

// What an update cycle starts from: the port box's text, the fields it
// needs, the date and time it shows, the host's own addresses.
class TestUpdateInputs : public QObject {
    Q_OBJECT

private slots:
    void takePort_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("locale");
        // The port; " reset" when the box gets "21" back; then the failure, if any.
        QTest::addColumn<QString>("verdict");
        const QString overflow = u"21 Overflow - 6"_s;
        // Parsing and rounding themselves are the scheduler tests' concern.
        QTest::newRow("empty") << "" << "C" << "21 reset";
        QTest::newRow("zero") << "0" << "C" << "0";
        QTest::newRow("highest") << "65535" << "C" << "65535";
        QTest::newRow("one above") << "65536" << "C" << overflow;
        QTest::newRow("rounds above") << "65535.5" << "C" << overflow;
        QTest::newRow("negative") << "-1" << "C" << overflow;
        // Rounded half to even, in the locale's own way of writing numbers.
        QTest::newRow("German, half to even") << "2122,5" << "de_DE" << "2122";
    }

    void takePort()
    {
        QFETCH(QString, text);
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        const PortVerdict verdict = TakePort(text);
        const QString failure = verdict.failure ? verdict.failure->message : QString();
        QTEST(u"%1%2 %3"_s.arg(verdict.port).arg(verdict.resetText ? " reset" : "", failure).trimmed(), "verdict");
    }

    void requiredFields()
    {
        for (const auto& [name, text, expected] : kTextInputs) {
            QString refused;
            for (const int mode : {0, 1, 2, 3}) {
                UpdateInputs in;
                in.directlyConnected = mode & 2;
                in.defaultPage = mode & 1;
                for (const auto& other : kTextInputs)
                    in.*std::get<1>(other) = name == std::get<0>(other) ? QString() : u"x"_s;
                refused += ValidateUpdateInputs(in) ? u'R' : u'-';
            }
            QVERIFY2(refused == QLatin1String(expected), qPrintable(name + u": "_s + refused));
        }
    }

    void cycleDateAndTime_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("texts");  // the date short, the time long without its zone
        QTest::newRow("en_US") << QLocale(u"en_US"_s) << "1/15/24 1:05:09 PM";
        // The zone stands in brackets or after a comma there.
        QTest::newRow("ca_ES") << QLocale(u"ca_ES"_s) << "15/1/24 13:05:09";
        QTest::newRow("be_BY") << QLocale(u"be_BY"_s) << "15.01.24 13:05:09";
    }

    void cycleDateAndTime()
    {
        QFETCH(QLocale, locale);
        const QDateTime moment(QDate(2024, 1, 15), QTime(13, 5, 9));
        QTEST(CycleDateText(moment, locale) + u' ' + CycleTimeText(moment, locale), "texts");
    }

    // The host name's IPv4 addresses as the system's resolver gives them,
    // each once (getent lists each once per socket type), in its order.
    void localAddressesAreTheResolvers()
    {
        QProcess getent;
        getent.start(u"/bin/sh"_s, {u"-c"_s, u"getent ahostsv4 \"$(hostname)\" | "
                                             "awk '!seen[$1]++ { printf \"%s%s\", sep, $1; sep = \", \" }'"_s});
        QVERIFY(getent.waitForFinished(10000));
        QCOMPARE(GetLocalIP(), QString::fromLatin1(getent.readAllStandardOutput()));
    }
};

QTEST_GUILESS_MAIN(TestUpdateInputs)
#include "test_update_inputs.moc"
