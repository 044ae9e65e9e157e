#include <QTest>

#include "update/update_inputs.h"

using namespace quendrel;
using namespace Qt::StringLiterals;

class TestUpdateInputs : public QObject {
    Q_OBJECT

private slots:
    void init();
    void takePort_data();
    void takePort();
    void portDecimalCommaFollowsTheLocale_data();
    void portDecimalCommaFollowsTheLocale();
    void requiredFields_data();
    void requiredFields();
    void cycleTimeHasSecondsWithoutZone_data();
    void cycleTimeHasSecondsWithoutZone();
};

void TestUpdateInputs::init()
{
    QLocale::setDefault(QLocale::c());
}

void TestUpdateInputs::takePort_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("resetText");
    QTest::addColumn<QString>("failure");

    const QString overflow = u"Overflow - 6"_s;
    QTest::newRow("empty") << "" << 21 << true << "";
    QTest::newRow("spaces") << "   " << 21 << true << "";
    QTest::newRow("letters") << "abc" << 21 << true << "";
    QTest::newRow("trailing letters") << "2121abc" << 21 << true << "";
    QTest::newRow("number") << "2121" << 2121 << false << "";
    QTest::newRow("spaces around") << " 2121 " << 2121 << false << "";
    QTest::newRow("half up to even") << "2121.5" << 2122 << false << "";
    QTest::newRow("half down to even") << "2122.5" << 2122 << false << "";
    QTest::newRow("exponent") << "1e3" << 1000 << false << "";
    QTest::newRow("highest") << "65535" << 65535 << false << "";
    QTest::newRow("above 16-bit signed") << "32768" << 32768 << false << "";
    QTest::newRow("zero") << "0" << 0 << false << "";
    QTest::newRow("one above") << "65536" << 21 << false << overflow;
    QTest::newRow("rounds above") << "65535.5" << 21 << false << overflow;
    QTest::newRow("far above") << "70000" << 21 << false << overflow;
    QTest::newRow("beyond double") << "1e400" << 21 << false << overflow;
    QTest::newRow("negative") << "-1" << 21 << false << overflow;
}

void TestUpdateInputs::takePort()
{
    QFETCH(QString, text);
    const PortVerdict verdict = TakePort(text);
    QTEST(verdict.port, "port");
    QTEST(verdict.resetText, "resetText");
    QTEST(verdict.failure ? verdict.failure->message : QString(), "failure");
}

void TestUpdateInputs::portDecimalCommaFollowsTheLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("resetText");

    QTest::newRow("German comma") << QLocale(u"de_DE"_s) << "2121,5" << 2122 << false;
    QTest::newRow("German point") << QLocale(u"de_DE"_s) << "2121.5" << 2122 << false;
    QTest::newRow("C comma") << QLocale::c() << "2121,5" << 21 << true;
    QTest::newRow("English comma") << QLocale(u"en_US"_s) << "2,121" << 21 << true;
}

void TestUpdateInputs::portDecimalCommaFollowsTheLocale()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    QLocale::setDefault(locale);
    const PortVerdict verdict = TakePort(text);
    QTEST(verdict.port, "port");
    QTEST(verdict.resetText, "resetText");
    QVERIFY(!verdict.failure);
}

void TestUpdateInputs::requiredFields_data()
{
    QTest::addColumn<bool>("direct");
    QTest::addColumn<bool>("defaultPage");
    QTest::addColumn<QStringList>("empty");
    QTest::addColumn<bool>("missing");

    const QStringList unneededForDirectDefault{"ipWebPage", "startString", "endString", "templatePath", "remotePath"};
    QTest::newRow("web, template, all given") << false << false << QStringList() << false;
    QTest::newRow("direct, default: only the four") << true << true << unneededForDirectDefault << false;
    for (const char* field : {"destFilename", "server", "username", "password"})
        QTest::addRow("direct, default, no %s", field) << true << true << QStringList({field}) << true;
    for (const char* field : {"ipWebPage", "startString", "endString"}) {
        QTest::addRow("web, no %s", field) << false << true << QStringList({field}) << true;
        QTest::addRow("direct, no %s", field) << true << true << QStringList({field}) << false;
    }
    QTest::newRow("template, no template") << true << false << QStringList({"templatePath"}) << true;
    QTest::newRow("web, template, no remote path") << false << false << QStringList({"remotePath"}) << false;
}

void TestUpdateInputs::requiredFields()
{
    QFETCH(bool, direct);
    QFETCH(bool, defaultPage);
    QFETCH(QStringList, empty);
    UpdateInputs in;
    in.directlyConnected = direct;
    in.defaultPage = defaultPage;
    const std::pair<const char*, QString*> fields[] = {
        {"ipWebPage", &in.ipWebPage}, {"startString", &in.startString}, {"endString", &in.endString},
        {"templatePath", &in.templatePath}, {"destFilename", &in.destFilename}, {"server", &in.server},
        {"remotePath", &in.remotePath}, {"username", &in.username}, {"password", &in.password}};
    for (const auto& [name, value] : fields)
        *value = empty.contains(QLatin1String(name)) ? QString() : u"x"_s;
    const std::optional<UpdateFailure> failure = ValidateUpdateInputs(in);
    QTEST(failure.has_value(), "missing");
    if (failure)
        QCOMPARE(failure->message, u"Required Fields Missing.."_s);
}

void TestUpdateInputs::cycleTimeHasSecondsWithoutZone_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("date");

    QTest::newRow("en_US") << QLocale(u"en_US"_s) << "1:05:09 PM" << "1/15/24";
    QTest::newRow("de_DE") << QLocale(u"de_DE"_s) << "13:05:09" << "15.01.24";
    QTest::newRow("C") << QLocale::c() << "13:05:09" << "15 Jan 2024";
    // Formats whose zone stands in brackets or after a comma.
    QTest::newRow("ca_ES") << QLocale(u"ca_ES"_s) << "13:05:09" << "15/1/24";
    QTest::newRow("be_BY") << QLocale(u"be_BY"_s) << "13:05:09" << "15.01.24";
}

void TestUpdateInputs::cycleTimeHasSecondsWithoutZone()
{
    QFETCH(QLocale, locale);
    const QDateTime moment(QDate(2024, 1, 15), QTime(13, 5, 9));
    QTEST(CycleDateText(moment, locale), "date");
    // The locale's own long format shows the zone.
    const QString zone = QDateTime::currentDateTime().timeZoneAbbreviation();
    QVERIFY(locale.toString(QTime::currentTime(), QLocale::LongFormat).contains(zone));
    QVERIFY(!CycleTimeText(QDateTime::currentDateTime(), locale).contains(zone));
    QTEST(CycleTimeText(moment, locale), "time");
}

QTEST_GUILESS_MAIN(TestUpdateInputs)
#include "test_update_inputs.moc"
