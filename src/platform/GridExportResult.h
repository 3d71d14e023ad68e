#pragma once

#include <QString>

namespace k27 {

// What an export did. The grid never shows messages itself: the page tells
// the operator (success text, or failure text followed by `reason`).
struct GridExportResult
{
    enum class Status { Ok, Cancelled, Failed };

    Status status = Status::Failed;
    QString fileName; // the file written (Ok) or attempted (Failed)
    QString reason;   // why it failed, for the operator

    bool ok() const { return status == Status::Ok; }
    static GridExportResult success(const QString& file) { return {Status::Ok, file, {}}; }
    static GridExportResult cancelled() { return {Status::Cancelled, {}, {}}; }
    static GridExportResult failed(const QString& file, const QString& why) { return {Status::Failed, file, why}; }
};

} // namespace k27
