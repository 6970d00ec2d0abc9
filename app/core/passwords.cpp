#include "passwords.h"

#include "krverror.h"

#include <sodium.h>

static void ensureSodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw KrvError(-1, QStringLiteral("The password library cannot be started."));
}

QString HashPassword(const QString& password)
{
    ensureSodium();
    const QByteArray pw = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, pw.constData(), quint64(pw.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw KrvError(7, QStringLiteral("Out of memory while the password was being protected."));
    return QString::fromLatin1(out);
}

bool VerifyPassword(const QString& storedHash, const QString& password)
{
    ensureSodium();
    const QByteArray hash = storedHash.toLatin1();
    if (hash.isEmpty() || hash.size() >= crypto_pwhash_STRBYTES)
        return false;
    char buffer[crypto_pwhash_STRBYTES] = {};
    memcpy(buffer, hash.constData(), size_t(hash.size()));
    const QByteArray pw = password.toUtf8();
    return crypto_pwhash_str_verify(buffer, pw.constData(), quint64(pw.size())) == 0;
}
