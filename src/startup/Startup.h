#pragma once

#include "startup/InstanceLock.h"

#include <QString>
#include <memory>

namespace k27 {

class AppContext;
struct PathRefusal;

// The start-up sequence: settings, language, single instance, database file, serial string.
// Keeps the instance lock for as long as it lives.
class Startup
{
public:
    enum class Outcome { Continue, Exit };

    explicit Startup(AppContext& context);
    ~Startup();

    Outcome run();

    // The fixed message of a missing Simplified Chinese language file.
    static QString missingLanguageText();

private:
    void refuse(const PathRefusal& refusal) const;
    bool takeLock();
    // Connects to the server register: asks for a password libpq lacks, offers to try an
    // unreachable server again, and says why a server cannot be used. False to exit.
    bool openServerRegister();

    // The steps of run(); each false means exit (the user has been told why).
    PathRefusal readSettings();
    bool openFileRegister();
    bool registerWritable(const QString& dataFolder) const;
    PathRefusal unsafeDataPlace(const QString& dataFolder) const;
    bool prepareDatabaseFile(const QString& dataFolder);
    bool openDatabaseFile();

    AppContext& m_context;
    std::unique_ptr<InstanceLock> m_lock;
};

} // namespace k27
