#include "ProcessSafety.h"

#include <QByteArray>
#include <QLineEdit>
#include <QString>
#include <sys/prctl.h>
#include <sys/resource.h>

namespace k27 {

namespace {

// A store the compiler may not drop because the buffer is about to be freed.
void clearBytes(void* data, size_t size)
{
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    while (size--)
        *p++ = 0;
}

} // namespace

bool refuseCoreDumps()
{
    const rlimit none{0, 0};
    const bool noCore = ::setrlimit(RLIMIT_CORE, &none) == 0;
    const bool private_ = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    return noCore && private_;
}

void wipe(QString& secret)
{
    // data() of a text that others share makes a copy and wipes only that: then there is
    // nothing of ours to wipe.
    if (secret.isDetached() && !secret.isEmpty())
        clearBytes(secret.data(), size_t(secret.size()) * sizeof(QChar));
    secret.truncate(0);
}

void wipe(QByteArray& secret)
{
    if (secret.isDetached() && !secret.isEmpty())
        clearBytes(secret.data(), size_t(secret.size()));
    secret.truncate(0);
}

QString takeSecret(QLineEdit* field)
{
    QString text = field->text();
    field->clear();
    return text;
}

} // namespace k27
