#pragma once

#include "platform/ImportProgress.h"

#include <QStringList>

namespace k27::test {

// Keeps what an import showed: "begin 120", "50/120", ..., "end 120/120".
struct RecordingProgress : ImportProgress
{
    QStringList log;
    void begin(int total) override { log << QStringLiteral("begin %1").arg(total); }
    void advance(int done, int total) override { log << QStringLiteral("%1/%2").arg(done).arg(total); }
    void end(int done, int total) override { log << QStringLiteral("end %1/%2").arg(done).arg(total); }
};

} // namespace k27::test
