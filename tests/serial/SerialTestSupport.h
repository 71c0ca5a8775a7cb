// Helpers of the serial tests: pumping the GUI thread until a condition holds, a
// pseudo-terminal pair, and a recorder of the component's reports and events.
#pragma once

#include "SerialComp.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QThread>
#include <functional>
#include <string>
#include <vector>

// How long a test waits for something the worker or the device does at once when the
// machine is idle: generous, since a loaded machine (tests run in parallel beside
// builds) can hold a thread back for a long time. Only a fault runs into it.
constexpr int kPatience = 20000;

// Processes GUI events until `done` holds or `ms` passed; returns done().
inline bool PumpUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

inline void PumpFor(int ms)
{
    PumpUntil([] { return false; }, ms);
}

struct Report {
    DWORD Place;
    DWORD Code;
    QString Msg;
    BYTE Noise;
};

// Records every report and the names of the events in the order they were raised.
struct Recorder {
    std::vector<Report> Reports;
    std::vector<std::string> Events;

    void Attach(TSerialPort& p)
    {
        p.OnProcessError = [this](TObject*, DWORD Place, DWORD Code, const QString& Msg, BYTE Noise) {
            Reports.push_back({Place, Code, Msg, Noise});
        };
    }
    void AttachEvents(TSerialPort& p)
    {
        auto rec = [this](const char* n) { return [this, n](TObject*) { Events.push_back(n); }; };
        p.OnTxQueueEmptyEvent = rec("TxQueueEmpty");
        p.OnCommEvent = rec("Comm");
        p.OnBreakEvent = rec("Break");
        p.OnCTSEvent = rec("CTS");
        p.OnDSREvent = rec("DSR");
        p.OnLineErrorEvent = rec("LineError");
        p.OnRingEvent = rec("Ring");
        p.OnRIEvent = rec("RI");
        p.OnRLSDEvent = rec("RLSD");
        p.OnRxCharEvent = rec("RxChar");
        p.OnRxEventCharEvent = rec("RxEventChar");
    }
    int Count(DWORD place) const
    {
        int n = 0;
        for (auto& r : Reports)
            n += r.Place == place;
        return n;
    }
    const Report* Find(DWORD place) const
    {
        for (auto& r : Reports)
            if (r.Place == place)
                return &r;
        return nullptr;
    }
    std::vector<DWORD> Places() const
    {
        std::vector<DWORD> v;
        for (auto& r : Reports)
            v.push_back(r.Place);
        return v;
    }
};
