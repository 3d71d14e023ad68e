#pragma once

#include <QLockFile>
#include <memory>

namespace k27 {

class AppContext;

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
    AppContext& m_context;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace k27
