#pragma once

#include "CrowdGenerator.h"
#include "RoomSimulator.h"

#include <QString>
#include <QStringList>

// Everything the command line sets.
class SimOptions
{
public:
    struct Parsed;

    // `arguments` includes the program name first, as QCoreApplication::arguments() does.
    static Parsed parse(const QStringList &arguments);

    // Whether the arguments ask for no window (--headless, or help); read
    // before any application object exists.
    static bool needsNoWindow(int argc, char **argv);

    bool headless = false;
    quint16 port = 11111;
    RoomSimulator::AuthReply auth;
    QString scriptPath;
    bool crowd = false;
    double rate = 20;
    qint64 count = 0;
    CrowdGenerator::Options crowdOptions;
    qint64 dropEvery = 0;
    bool summary = false;
    bool exitWhenDone = false;
    bool quiet = false;
};

struct SimOptions::Parsed
{
    SimOptions options;
    QString error; // non-empty: the command line is wrong
    QString helpText; // non-empty: --help was given; print it and stop
};
