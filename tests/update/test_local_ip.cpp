#include <QProcess>
#include <QTest>

#include "update/local_ip.h"

using namespace quendrel;
using namespace Qt::StringLiterals;

class TestLocalIP : public QObject {
    Q_OBJECT

private slots:
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

QTEST_GUILESS_MAIN(TestLocalIP)
#include "test_local_ip.moc"
