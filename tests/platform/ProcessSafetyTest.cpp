// What a core file or another process of the same user could read from the program: no core
// file is written, the process cannot be read or traced, and password texts are wiped where
// they lay once they have been used.
#include "platform/ProcessSafety.h"

#include <QLineEdit>
#include <QtTest>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

class ProcessSafetyTest : public QObject
{
    Q_OBJECT

private slots:
    // In a child, so that the test process itself keeps its core files.
    void noCoreFileAndNotReadable()
    {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
            ::setrlimit(RLIMIT_CORE, &unlimited);
            const bool refused = k27::refuseCoreDumps();
            rlimit core{};
            ::getrlimit(RLIMIT_CORE, &core);
            const bool ok = refused && core.rlim_cur == 0 && core.rlim_max == 0 && ::prctl(PR_GET_DUMPABLE) == 0;
            ::_exit(ok ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    // The buffer the text lay in holds zeros afterwards (it is still the string's, emptied).
    void wipedWhereItLay()
    {
        QString secret = QString::fromUtf8("pw-秘密-%1").arg(12345);
        const QChar* at = secret.constData();
        const qsizetype size = secret.size();
        k27::wipe(secret);
        QVERIFY(secret.isEmpty());
        QVERIFY(std::all_of(at, at + size, [](QChar c) { return c.isNull(); }));

        QByteArray bytes = QByteArray("pw-") + QByteArray::number(67890);
        const char* bytesAt = bytes.constData();
        k27::wipe(bytes);
        QVERIFY(std::all_of(bytesAt, bytesAt + 8, [](char c) { return c == 0; }));

        // A text another string still shares is left to that holder, never copied first.
        QString shared = QString::fromUtf8("pw-%1").arg(4242);
        QString other = shared;
        k27::wipe(shared);
        QCOMPARE(other, QStringLiteral("pw-4242"));
    }

    // Taken from its field, the text is the field's former buffer and nothing else holds it.
    void passwordFieldGivesUpItsText()
    {
        QLineEdit field;
        field.setEchoMode(QLineEdit::Password);
        field.setText(QString::fromUtf8("pw-%1").arg(777));
        QString taken = k27::takeSecret(&field);
        QCOMPARE(taken, QStringLiteral("pw-777"));
        QVERIFY(field.text().isEmpty());
        QVERIFY(taken.isDetached());
    }
};

QTEST_MAIN(ProcessSafetyTest)
#include "ProcessSafetyTest.moc"
