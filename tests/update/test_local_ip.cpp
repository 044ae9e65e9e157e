#include <QProcess>
#include <QTest>

#include <arpa/inet.h>

#include "update/local_ip.h"

using namespace quendrel;

class TestLocalIP : public QObject {
    Q_OBJECT

private slots:
    void joinAddresses_data();
    void joinAddresses();
    void localAddressesAreTheResolvers();
};

void TestLocalIP::joinAddresses_data()
{
    QTest::addColumn<QList<quint32>>("addresses");  // in host order
    QTest::addColumn<QString>("text");

    QTest::newRow("none") << QList<quint32>() << "";
    QTest::newRow("zero bytes") << QList<quint32>({0x0A000007}) << "10.0.0.7";
    QTest::newRow("extremes") << QList<quint32>({0, 0xFFFFFFFF}) << "0.0.0.0, 255.255.255.255";
    QTest::newRow("repeats left out in order")
        << QList<quint32>({0xC0000202, 0x7F000001, 0xC0000202, 0x0A000001, 0x7F000001})
        << "192.0.2.2, 127.0.0.1, 10.0.0.1";
}

void TestLocalIP::joinAddresses()
{
    QFETCH(QList<quint32>, addresses);
    QList<in_addr> list;
    for (const quint32 address : addresses)
        list.append(in_addr{htonl(address)});
    QTEST(JoinAddresses(list), "text");
}

void TestLocalIP::localAddressesAreTheResolvers()
{
    QProcess getent;
    getent.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("getent ahostsv4 \"$(hostname)\"")});
    QVERIFY(getent.waitForFinished(10000));
    QStringList expected;
    for (const QByteArray& line : getent.readAllStandardOutput().split('\n')) {
        const QString address = QString::fromLatin1(line.split(' ').first());
        if (!address.isEmpty() && !expected.contains(address))
            expected << address;
    }
    QCOMPARE(GetLocalIP(), expected.join(QStringLiteral(", ")));
}

QTEST_GUILESS_MAIN(TestLocalIP)
#include "test_local_ip.moc"
