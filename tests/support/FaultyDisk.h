#pragma once

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sqlcipher/sqlite3.h>

namespace k27::test {

// A file layer beneath the database engine that counts the writes of every database, journal
// and copy file, and at a chosen write either refuses it and every later one as a full disk
// would, or ends the process on the spot as kill -9 would. Installed as the engine's default,
// so the program's own connections go through it unchanged.
class FaultyDisk
{
public:
    enum class Fault { None, Full, Kill };

    static void install()
    {
        static bool done = false;
        if (done)
            return;
        done = true;
        state().real = sqlite3_vfs_find(nullptr);
        static sqlite3_vfs vfs = *state().real;
        vfs.zName = "k27-faulty";
        vfs.szOsFile = int(sizeof(File)) + state().real->szOsFile;
        vfs.xOpen = open;
        sqlite3_vfs_register(&vfs, 1);
    }

    // The fault comes at write number `at` (0 = the first write from now on).
    static void arm(Fault fault, int at)
    {
        install();
        state().fault = fault;
        state().at = at;
        state().writes = 0;
    }
    static void disarm() { state().fault = Fault::None; }
    // Writes since the last arm(), the refused ones included.
    static int writes() { return state().writes; }
    // True when a write was refused since the last arm().
    static bool struck() { return state().fault == Fault::Full && state().writes > state().at; }

private:
    struct State
    {
        sqlite3_vfs* real = nullptr;
        Fault fault = Fault::None;
        int at = 0;
        int writes = 0;
    };
    static State& state()
    {
        static State s;
        return s;
    }

    struct File
    {
        sqlite3_file base;
        sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
    };
    static sqlite3_file* real(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real(); }

    static int write(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset)
    {
        State& s = state();
        const int number = s.writes++;
        if (s.fault != Fault::None && number >= s.at) {
            if (s.fault == Fault::Kill)
                std::raise(SIGKILL);
            return SQLITE_FULL;
        }
        return real(f)->pMethods->xWrite(real(f), data, amount, offset);
    }

    static int open(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* outFlags)
    {
        File* file = reinterpret_cast<File*>(f);
        std::memset(file, 0, sizeof(File));
        const int rc = state().real->xOpen(state().real, name, file->real(), flags, outFlags);
        if (rc != SQLITE_OK || !file->real()->pMethods) {
            file->base.pMethods = nullptr;
            return rc;
        }
        // Everything but the writes goes straight through.
        static sqlite3_io_methods methods = [] {
            sqlite3_io_methods m{};
            m.iVersion = 3;
            m.xClose = [](sqlite3_file* f) { return real(f)->pMethods->xClose(real(f)); };
            m.xRead = [](sqlite3_file* f, void* d, int n, sqlite3_int64 o) {
                return real(f)->pMethods->xRead(real(f), d, n, o);
            };
            m.xWrite = write;
            m.xTruncate = [](sqlite3_file* f, sqlite3_int64 n) { return real(f)->pMethods->xTruncate(real(f), n); };
            m.xSync = [](sqlite3_file* f, int flags) { return real(f)->pMethods->xSync(real(f), flags); };
            m.xFileSize = [](sqlite3_file* f, sqlite3_int64* n) { return real(f)->pMethods->xFileSize(real(f), n); };
            m.xLock = [](sqlite3_file* f, int l) { return real(f)->pMethods->xLock(real(f), l); };
            m.xUnlock = [](sqlite3_file* f, int l) { return real(f)->pMethods->xUnlock(real(f), l); };
            m.xCheckReservedLock = [](sqlite3_file* f, int* r) {
                return real(f)->pMethods->xCheckReservedLock(real(f), r);
            };
            m.xFileControl = [](sqlite3_file* f, int op, void* a) {
                return real(f)->pMethods->xFileControl(real(f), op, a);
            };
            m.xSectorSize = [](sqlite3_file* f) { return real(f)->pMethods->xSectorSize(real(f)); };
            m.xDeviceCharacteristics = [](sqlite3_file* f) {
                return real(f)->pMethods->xDeviceCharacteristics(real(f));
            };
            m.xShmMap = [](sqlite3_file* f, int p, int s, int e, void volatile** a) {
                return real(f)->pMethods->xShmMap(real(f), p, s, e, a);
            };
            m.xShmLock = [](sqlite3_file* f, int o, int n, int fl) {
                return real(f)->pMethods->xShmLock(real(f), o, n, fl);
            };
            m.xShmBarrier = [](sqlite3_file* f) { real(f)->pMethods->xShmBarrier(real(f)); };
            m.xShmUnmap = [](sqlite3_file* f, int d) { return real(f)->pMethods->xShmUnmap(real(f), d); };
            m.xFetch = [](sqlite3_file* f, sqlite3_int64 o, int n, void** p) {
                return real(f)->pMethods->xFetch(real(f), o, n, p);
            };
            m.xUnfetch = [](sqlite3_file* f, sqlite3_int64 o, void* p) {
                return real(f)->pMethods->xUnfetch(real(f), o, p);
            };
            return m;
        }();
        file->base.pMethods = &methods;
        return SQLITE_OK;
    }
};

} // namespace k27::test
