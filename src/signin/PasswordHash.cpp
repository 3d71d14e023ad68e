#include "PasswordHash.h"

#include "platform/ProcessSafety.h"
#include "startup/TextUtil.h"

#include <sodium.h>

namespace k27 {

static bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

QString hashPassword(const QString& plain)
{
    if (plain.isEmpty() || !sodiumReady())
        return {};
    QByteArray utf8 = plain.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    const bool hashed = crypto_pwhash_str(out, utf8.constData(), quint64(utf8.size()),
                                          crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE)
                        == 0;
    wipe(utf8);
    return hashed ? QString::fromLatin1(out) : QString();
}

static QString readShiftedForm(const QString& stored)
{
    QString plain = trimSpaces(stored);
    for (QChar& c : plain)
        c = QChar(char16_t(c.unicode() + 2));
    return plain;
}

bool verifyPassword(const QString& stored, const QString& typed)
{
    if (trimSpaces(stored).isEmpty())
        return typed.isEmpty();
    if (!stored.startsWith(QStringLiteral("$argon2"))) {
        QString plain = readShiftedForm(stored);
        const bool same = plain == typed;
        wipe(plain);
        return same;
    }
    if (!sodiumReady())
        return false;
    const QByteArray hash = stored.toLatin1();
    QByteArray utf8 = typed.toUtf8();
    const bool right = crypto_pwhash_str_verify(hash.constData(), utf8.constData(), quint64(utf8.size())) == 0;
    wipe(utf8);
    return right;
}

} // namespace k27
