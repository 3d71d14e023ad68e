#include "PasswordHash.h"

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
    const QByteArray utf8 = plain.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, utf8.constData(), quint64(utf8.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE)
        != 0)
        return {};
    return QString::fromLatin1(out);
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
    if (!stored.startsWith(QStringLiteral("$argon2")))
        return readShiftedForm(stored) == typed;
    if (!sodiumReady())
        return false;
    const QByteArray hash = stored.toLatin1();
    const QByteArray utf8 = typed.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), utf8.constData(), quint64(utf8.size())) == 0;
}

} // namespace k27
