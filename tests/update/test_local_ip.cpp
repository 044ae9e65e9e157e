#include <QProcess>
#include <QTest>

#include <arpa/inet.h>

#include "update/local_ip.h"

using namespace quendrel;
using namespace Qt::StringLiterals;

class TestLocalIP : public QObject {
    Q_OBJECT

private slots:
    // Repeats left out, the order kept, bytes 0 and 255 written as such.
    void joinAddresses()
    {
        const QList<in_addr> list{{htonl(0xC0000200)}, {htonl(0x7F000001)}, {htonl(0xC0000200)}, {htonl(0xFFFFFFFF)}};
        QCOMPARE(JoinAddresses(list), u"192.0.2.0, 127.0.0.1, 255.255.255.255"_s);
        QCOMPARE(JoinAddresses({}), QString());
    }

    // The host name's IPv4 addresses as the system's resolver gives them.
    void localAddressesAreTheResolvers()
    {
        QProcess getent;
        getent.start(u"/bin/sh"_s, {u"-c"_s, u"getent ahostsv4 \"$(hostname)\" | awk '!seen[$1]++ { print $1 }'"_s});
        QVERIFY(getent.waitForFinished(10000));
        const QStringList expected = QString::fromLatin1(getent.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(GetLocalIP(), expected.join(u", "_s));
    }
};

QTEST_GUILESS_MAIN(TestLocalIP)
#include "test_local_ip.moc"
