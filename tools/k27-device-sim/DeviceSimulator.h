#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

// A stand-in for the card-issuing device: the master side of a pseudo-terminal
// whose slave is linked as <folder>/dev/COM<n>, so the program opens it as its
// serial port. Received bytes are grouped into blocks by the pause after them;
// each block is checked as a frame or a stop byte and answered as the device
// would. The operator (or a test) drives card reports from standard input.
class DeviceSimulator
{
public:
    struct Options
    {
        std::string folder;
        int port = 1;
        std::string logFile;
        int gapMs = 40;
    };

    explicit DeviceSimulator(Options options);
    ~DeviceSimulator();
    DeviceSimulator(const DeviceSimulator&) = delete;
    DeviceSimulator& operator=(const DeviceSimulator&) = delete;

    // Creates the pseudo-terminal and the link; false (with a message) on failure.
    bool start();
    // Runs until "quit" or SIGINT/SIGTERM/SIGHUP; returns the exit code.
    int run();

private:
    void log(const QString& line);
    void processBlock(const QByteArray& block);
    void handleFrame(const QByteArray& frame);
    void handleStop();
    void handleCommand(const std::string& line);
    bool send(const QByteArray& bytes, const QString& what);
    void removeLink();
    static QString hex(const QByteArray& bytes, int limit = 128);

    Options m_options;
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    std::string m_linkPath;
    bool m_linkCreated = false;
    std::FILE* m_logFile = nullptr;
    bool m_writing = false;
    bool m_quit = false;
    int m_accepted = 0;
    int m_refused = 0;
    int m_dropped = 0;
    QString m_lastFrame;
    std::mt19937 m_random;
};
