// The component's logic on a scripted device with a virtual clock: reports and their
// noise filter, opening and closing, the setters, per-character times, sending, the
// cluster queue, the worker's read decision, event dispatch, quiet mode, destruction.
#include "FakeComm.h"
#include "SerialComp.h"
#include "SerialTestSupport.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>

namespace {

struct FakePort {
    FakeCommBackend Backend;
    VirtualClock Clock;
    Recorder Rec;
    std::unique_ptr<TSerialPort> Port;

    FakePort()
    {
        Port = std::make_unique<TSerialPort>();
        Rec.Attach(*Port);
        Port->SetCommPort(QStringLiteral("FAKE1"));
    }
    ~FakePort() { Port.reset(); }
    std::shared_ptr<FakeCommState> Dev() { return Backend.Last(); }
    // Opens and, unless told otherwise, waits until the worker is in its active loop: it
    // has made a whole pass (its first communication-event wait comes after the read
    // decision, which found the queue empty and took the time).
    bool Open(bool waitForWorker = true)
    {
        Port->SetActive(true);
        if (waitForWorker && Port->Active()) {
            auto dev = Dev();
            return PumpUntil([&] { return dev->Called("WaitCommEvent"); }, kPatience);
        }
        return Port->Active();
    }
    // Lets the worker run a few passes (each at most one 75 ms wait).
    void Passes(int n = 3) { PumpFor(80 * n); }
};

std::size_t CountCalls(const std::vector<std::string>& calls, const std::string& name)
{
    return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), name));
}

// ---- reports -----------------------------------------------------------------------------

TEST(SerialComp, ErrorNoiseFiltersReportsByLevel)
{
    const struct {
        BYTE noise;
        std::vector<DWORD> places;
    } cases[] = {
        {0, {101}},
        {1, {101, 100}},
        {2, {101, 100, 110}},
        {255, {101, 100, 110}},
    };
    for (const auto& c : cases) {
        FakePort p;
        p.Port->SetErrorNoise(c.noise);
        p.Port->SetRxQueueSize(1000);  // closed: SetupComm refuses the invalid handle (noise 0)
        p.Port->SetXONLimDiv(150);     // noise 1
        p.Port->SetActive(true);       // "Msg start reactivating Port", noise 2
        EXPECT_EQ(p.Rec.Places(), c.places) << "ErrorNoise " << int(c.noise);
        ASSERT_NE(p.Rec.Find(101), nullptr);
        EXPECT_EQ(p.Rec.Find(101)->Code, ERROR_INVALID_HANDLE);
        EXPECT_EQ(p.Rec.Find(101)->Msg, QStringLiteral("Error can not set Quesize"));
    }
}

TEST(SerialComp, FailedCallsReportTheirPlaceCodeAndText)
{
    struct Case {
        const char* call;  // failing device call
        std::function<void(TSerialPort&)> action;
        DWORD place;
        const char* msg;
        bool activeAfter;
    };
    const auto open = [](TSerialPort& p) { p.SetActive(true); };
    const auto openClose = [](TSerialPort& p) {
        p.SetActive(true);
        p.SetActive(false);
    };
    const Case cases[] = {
        {"SetupComm", open, 111, "Error setup Queuesize", true},
        {"SetCommMask 511", open, 201, "Error activating CommEventMask", true},
        {"GetCommState", open, 801, "Error getting DCB from CommState", true},
        {"SetCommTimeouts", open, 802, "Error setting CommTimeout", true},
        {"SetCommState", open, 802, "Error setting CommState, 87 indicate that Parms are incorrect", true},
        {"Escape 5", open, 601, "Error setting DTR", true},
        {"Escape 3", open, 501, "Error setting RTS", true},
        {"SetCommMask 0", openClose, 101, "Error disabling CommEvents", false},
        {"PurgeComm 15", openClose, 102, "Error clearing Queues", false},
        {"Escape 6", openClose, 602, "Error clearing DTR", false},
        {"Escape 4", openClose, 502, "Error clearing RTS", false},
        {"PurgeComm 10", [](TSerialPort& p) { p.SetActive(true); p.ClearRxDQueue(); }, 301, "Error clearing RxD Queue", true},
        {"PurgeComm 5", [](TSerialPort& p) { p.SetActive(true); p.ClearTxDQueue(); }, 401, "Error clearing TxD Queue", true},
        {"Escape 8", [](TSerialPort& p) { p.SetActive(true); p.SetBREAKState(true); }, 701, "Error setting BREAK State", true},
        {"Escape 9", [](TSerialPort& p) { p.SetActive(true); p.SetBREAKState(true); p.SetBREAKState(false); }, 702,
         "Error clearing BREAK State", true},
        {"WriteFile", [](TSerialPort& p) { p.SetActive(true); p.SendString(QStringLiteral("x")); }, 903, "Error writing Data", true},
        {"SetCommTimeouts", [](TSerialPort& p) { p.SetActive(true); p.SendString(QStringLiteral("x")); }, 902,
         "Error setting CommTimeout", true},
    };
    for (const Case& c : cases) {
        FakePort p;
        p.Backend.prepare = [&](FakeCommState& s) { s.fail[c.call] = 31; };
        c.action(*p.Port);
        const Report* r = nullptr;
        for (auto& rep : p.Rec.Reports)
            if (rep.Place == c.place && rep.Msg == QLatin1String(c.msg))
                r = &rep;
        ASSERT_NE(r, nullptr) << c.call << " -> " << c.place;
        EXPECT_EQ(r->Code, 31u) << c.call;
        EXPECT_EQ(r->Noise, 0) << c.call;
        EXPECT_EQ(p.Port->Active(), c.activeAfter) << c.call;
    }
    // A failed GetCommState applies nothing; a refused time-out still applies the block.
    {
        FakePort p;
        p.Backend.prepare = [](FakeCommState& s) { s.fail["GetCommState"] = 31; };
        p.Port->SetActive(true);
        EXPECT_EQ(CountCalls(p.Dev()->Calls(), "SetCommState"), 0u);
    }
    {
        FakePort p;
        p.Backend.prepare = [](FakeCommState& s) { s.fail["SetCommTimeouts"] = 31; };
        p.Port->SetActive(true);
        EXPECT_EQ(CountCalls(p.Dev()->Calls(), "SetCommState"), 1u);
    }
    // The device does not open: place 112 with the system's code, the port stays closed.
    {
        FakePort p;
        p.Backend.refuse["/dev/FAKE1"] = ERROR_FILE_NOT_FOUND;
        p.Port->SetActive(true);
        EXPECT_FALSE(p.Port->Active());
        EXPECT_EQ(p.Port->ComHandle(), INVALID_HANDLE_VALUE);
        ASSERT_NE(p.Rec.Find(112), nullptr);
        EXPECT_EQ(p.Rec.Find(112)->Code, ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(p.Rec.Find(112)->Msg, QStringLiteral("Error reopening Port"));
    }
}

// ---- opening and closing -------------------------------------------------------------------

TEST(SerialComp, OpeningAppliesTheBlockAndDrivesBothLines)
{
    FakePort p;
    p.Port->SetParityType(2);
    p.Port->SetParityErrorReplacement(true);
    p.Port->SetParityErrorChar('?');
    p.Port->SetStripNullChars(true);
    p.Port->SetFlowControl(DCB_fOutxCtsFlow);
    p.Port->SetEventChar('E');
    p.Port->SetStopBits(2);
    p.Port->SetDataBits(7);
    p.Port->SetXONLimDiv(50);
    p.Port->SetBaudRate(57600);
    ASSERT_TRUE(p.Open(false));
    EXPECT_NE(p.Port->ComHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(p.Dev()->path, "/dev/FAKE1");
    const std::vector<std::string> expected = {"SetupComm 4096 4096", "GetCommState", "GetCommTimeouts",
                                               "SetCommTimeouts", "SetCommState", "Escape 5", "Escape 3",
                                               "SetCommMask 511"};
    auto calls = p.Dev()->OpenerCalls();
    calls.erase(std::remove(calls.begin(), calls.end(), "SetupComm"), calls.end());
    EXPECT_EQ(calls, expected);
    // DTR and RTS are driven at the very first open, although both already read True.
    EXPECT_TRUE(p.Port->DTRState());
    EXPECT_TRUE(p.Port->RTSState());

    const DCB d = p.Dev()->states.back();
    EXPECT_EQ(d.BaudRate, 57600u);
    EXPECT_EQ(d.Flags, DCB_fBinary | DCB_fParity | DCB_fErrorChar | DCB_fOutxCtsFlow | DCB_fNull);
    EXPECT_EQ(d.Parity, 2);
    EXPECT_EQ(d.ErrorChar, '?');
    EXPECT_EQ(d.EvtChar, 'E');
    EXPECT_EQ(d.StopBits, 2);
    EXPECT_EQ(d.ByteSize, 7);
    EXPECT_EQ(d.XonChar, 0x11);
    EXPECT_EQ(d.XoffChar, 0x13);
    EXPECT_EQ(d.XonLim, 4096 * 50 / 100);
    EXPECT_EQ(d.XoffLim, 4096 * 33 / 100);
    EXPECT_EQ(d.EofChar, 0);
    EXPECT_EQ(d.wReserved1, 0x5A5A) << "members the component does not set keep the driver's values";
    const COMMTIMEOUTS t = p.Dev()->timeouts.back();
    EXPECT_EQ(t.ReadIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier + t.ReadTotalTimeoutConstant + t.WriteTotalTimeoutMultiplier
                  + t.WriteTotalTimeoutConstant,
              0u);
}

TEST(SerialComp, ClosingClearsActiveFirstThenReleasesTheLines)
{
    FakePort p;
    ASSERT_TRUE(p.Open());
    auto dev = p.Dev();
    bool activeAtMaskClear = true;
    const QThread* gui = QThread::currentThread();
    dev->onCall = [&](const std::string& c) {
        // The worker releasing its own wait also clears the mask; only closing's counts.
        if (c == "SetCommMask 0" && QThread::currentThread() == gui)
            activeAtMaskClear = p.Port->Active();
    };
    dev->ClearCalls();
    p.Rec.Reports.clear();
    p.Port->SetActive(false);
    // The worker had a communication-event wait outstanding: closing ends it, so the
    // worker leaves its active loop within closing's bounded wait.
    EXPECT_EQ(p.Rec.Count(104), 0);
    EXPECT_FALSE(activeAtMaskClear);
    const std::vector<std::string> expected = {"SetCommMask 0", "PurgeComm 15", "Escape 6", "Escape 4", "CloseHandle"};
    EXPECT_EQ(dev->OpenerCalls(), expected);
    EXPECT_EQ(p.Rec.Places(), (std::vector<DWORD>{100}));
    EXPECT_FALSE(p.Port->DTRState());
    EXPECT_FALSE(p.Port->RTSState());
    EXPECT_EQ(p.Port->ComHandle(), INVALID_HANDLE_VALUE);

    // Closing a closed port does nothing; opening again drives both lines again.
    p.Port->SetActive(false);
    EXPECT_EQ(p.Rec.Places(), (std::vector<DWORD>{100}));
    ASSERT_TRUE(p.Open(false));
    const auto calls = p.Dev()->OpenerCalls();
    EXPECT_EQ(CountCalls(calls, "Escape 5"), 1u);
    EXPECT_EQ(CountCalls(calls, "Escape 3"), 1u);
    EXPECT_TRUE(p.Port->DTRState());
    EXPECT_TRUE(p.Port->RTSState());
}

TEST(SerialComp, AWaitStartedAsClosingClearsTheMaskIsNoFault)
{
    // The worker saw the port open and starts its next event wait just as closing
    // clears the mask: the wait is refused. That is the port closing, not a fault; a
    // report would hold the worker in a hand-over that the closing GUI thread does not
    // run, and closing would sit out its bounded wait.
    FakePort p;
    ASSERT_TRUE(p.Open());
    auto dev = p.Dev();
    std::atomic<bool> entered{false};
    std::atomic<bool> maskCleared{false};
    const QThread* gui = QThread::currentThread();
    dev->onCall = [&](const std::string& c) {
        if (c == "SetCommMask 0" && QThread::currentThread() == gui)
            maskCleared = true;
    };
    dev->SetBeforeWait([&] {
        entered = true;
        QElapsedTimer t;
        t.start();
        while (!maskCleared && t.elapsed() < kPatience)
            QThread::msleep(1);
    });
    dev->Raise(EV_CTS);  // ends the outstanding wait: the next pass starts another
    ASSERT_TRUE(PumpUntil([&] { return entered.load(); }, kPatience));
    p.Rec.Reports.clear();
    p.Port->SetActive(false);
    dev->SetBeforeWait(nullptr);
    EXPECT_TRUE(maskCleared);
    EXPECT_FALSE(p.Port->Active());
    p.Passes();
    EXPECT_EQ(p.Rec.Places(), (std::vector<DWORD>{100}));
}

TEST(SerialComp, CommPortReopensOnlyOnANewName)
{
    FakePort p;
    ASSERT_TRUE(p.Open(false));
    p.Rec.Reports.clear();
    p.Port->SetCommPort(QStringLiteral("FAKE1"));
    EXPECT_TRUE(p.Rec.Reports.empty());
    EXPECT_EQ(p.Backend.Count(), 1u);

    p.Port->SetCommPort(QStringLiteral("FAKE2"));
    EXPECT_EQ(p.Rec.Places(), (std::vector<DWORD>{100, 110}));
    EXPECT_EQ(p.Backend.Count(), 2u);
    EXPECT_EQ(p.Dev()->path, "/dev/FAKE2");
    EXPECT_TRUE(p.Port->Active());

    // A closed port stays closed under a new name.
    p.Port->SetActive(false);
    p.Port->SetCommPort(QStringLiteral("FAKE3"));
    EXPECT_FALSE(p.Port->Active());
    EXPECT_EQ(p.Backend.Count(), 2u);

    // Only the first 79 characters of a long name reach the device.
    const QString longName = QStringLiteral("FAKE") + QString(100, QLatin1Char('x'));
    p.Port->SetCommPort(longName);
    EXPECT_EQ(p.Port->CommPort(), longName);
    p.Port->SetActive(true);
    EXPECT_EQ(p.Dev()->path, "/dev/" + longName.left(79).toStdString());
}

// ---- setters -------------------------------------------------------------------------------

TEST(SerialComp, SettersStoreOnChangeAndReapplyWhileOpen)
{
    struct Case {
        const char* name;
        std::function<void(TSerialPort&)> set;
        std::function<bool(TSerialPort&)> stored;
        unsigned reapplies;
    };
    const Case cases[] = {
        // Once through the per-character times (the transmit time re-applies), once itself.
        {"BaudRate", [](TSerialPort& p) { p.SetBaudRate(19200); }, [](TSerialPort& p) { return p.BaudRate() == 19200; }, 2},
        {"ParityType", [](TSerialPort& p) { p.SetParityType(1); }, [](TSerialPort& p) { return p.ParityType() == 1; }, 1},
        {"ParityErrorChar", [](TSerialPort& p) { p.SetParityErrorChar('x'); }, [](TSerialPort& p) { return p.ParityErrorChar() == 'x'; }, 1},
        {"ParityErrorReplacement", [](TSerialPort& p) { p.SetParityErrorReplacement(true); }, [](TSerialPort& p) { return p.ParityErrorReplacement(); }, 1},
        {"StopBits", [](TSerialPort& p) { p.SetStopBits(2); }, [](TSerialPort& p) { return p.StopBits() == 2; }, 1},
        {"DataBits", [](TSerialPort& p) { p.SetDataBits(7); }, [](TSerialPort& p) { return p.DataBits() == 7; }, 1},
        {"XONChar", [](TSerialPort& p) { p.SetXONChar(1); }, [](TSerialPort& p) { return p.XONChar() == 1; }, 1},
        {"XOFFChar", [](TSerialPort& p) { p.SetXOFFChar(2); }, [](TSerialPort& p) { return p.XOFFChar() == 2; }, 1},
        {"XONLimDiv", [](TSerialPort& p) { p.SetXONLimDiv(60); }, [](TSerialPort& p) { return p.XONLimDiv() == 60; }, 1},
        {"XOFFLimDiv", [](TSerialPort& p) { p.SetXOFFLimDiv(70); }, [](TSerialPort& p) { return p.XOFFLimDiv() == 70; }, 1},
        {"FlowControl", [](TSerialPort& p) { p.SetFlowControl(0x100); }, [](TSerialPort& p) { return p.FlowControl() == 0x100; }, 1},
        {"StripNullChars", [](TSerialPort& p) { p.SetStripNullChars(true); }, [](TSerialPort& p) { return p.StripNullChars(); }, 1},
        {"EventChar", [](TSerialPort& p) { p.SetEventChar('E'); }, [](TSerialPort& p) { return p.EventChar() == 'E'; }, 1},
        {"WTOCharDelayTime", [](TSerialPort& p) { p.SetWTOCharDelayTime(500); }, [](TSerialPort& p) { return p.WTOCharDelayTime() == 500; }, 1},
        {"WTOExtraDelayTime", [](TSerialPort& p) { p.SetWTOExtraDelayTime(100); }, [](TSerialPort& p) { return p.WTOExtraDelayTime() == 100; }, 1},
        {"RTOCharDelayTime", [](TSerialPort& p) { p.SetRTOCharDelayTime(7); }, [](TSerialPort& p) { return p.RTOCharDelayTime() == 7; }, 0},
        {"RTOExtraDelayTime", [](TSerialPort& p) { p.SetRTOExtraDelayTime(9); }, [](TSerialPort& p) { return p.RTOExtraDelayTime() == 9; }, 0},
        {"XTOAuto", [](TSerialPort& p) { p.SetXTOAuto(false); }, [](TSerialPort& p) { return !p.XTOAuto(); }, 0},
        {"ClusterSize", [](TSerialPort& p) { p.SetClusterSize(2); }, [](TSerialPort& p) { return p.ClusterSize() == 2; }, 0},
        {"ErrorNoise", [](TSerialPort& p) { p.SetErrorNoise(1); }, [](TSerialPort& p) { return p.ErrorNoise() == 1; }, 0},
        {"RxQueueSize", [](TSerialPort& p) { p.SetRxQueueSize(48000); }, [](TSerialPort& p) { return p.RxQueueSize() == 48000; }, 0},
        {"TxQueueSize", [](TSerialPort& p) { p.SetTxQueueSize(100); }, [](TSerialPort& p) { return p.TxQueueSize() == 100; }, 0},
    };
    for (const Case& c : cases) {
        // Closed: stored, nothing applied.
        {
            FakePort p;
            c.set(*p.Port);
            EXPECT_TRUE(c.stored(*p.Port)) << c.name << " closed";
        }
        FakePort p;
        ASSERT_TRUE(p.Open(false));
        auto dev = p.Dev();
        dev->ClearCalls();
        c.set(*p.Port);
        EXPECT_TRUE(c.stored(*p.Port)) << c.name;
        EXPECT_EQ(CountCalls(dev->Calls(), "SetCommState"), c.reapplies) << c.name;
        // The same value again changes nothing.
        dev->ClearCalls();
        c.set(*p.Port);
        EXPECT_EQ(CountCalls(dev->Calls(), "SetCommState"), 0u) << c.name << " again";
    }
    // The queue sizes go to SetupComm at once, open or not.
    FakePort p;
    ASSERT_TRUE(p.Open(false));
    p.Dev()->ClearCalls();
    p.Port->SetRxQueueSize(48000);
    p.Port->SetTxQueueSize(100);
    EXPECT_EQ(p.Dev()->OpenerCalls(), (std::vector<std::string>{"SetupComm 48000 4096", "SetupComm", "SetupComm 48000 100", "SetupComm"}));
}

TEST(SerialComp, LineSettersActOnlyWhileOpen)
{
    FakePort p;
    p.Port->SetRTSState(false);
    p.Port->SetDTRState(false);
    p.Port->SetBREAKState(true);
    EXPECT_TRUE(p.Port->RTSState());
    EXPECT_TRUE(p.Port->DTRState());
    EXPECT_FALSE(p.Port->BREAKState());

    ASSERT_TRUE(p.Open(false));
    auto dev = p.Dev();
    dev->ClearCalls();
    p.Port->SetRTSState(false);
    p.Port->SetDTRState(false);
    p.Port->SetBREAKState(true);
    p.Port->SetBREAKState(false);
    p.Port->SetDTRState(true);
    p.Port->SetRTSState(true);
    p.Port->SetRTSState(true);
    EXPECT_EQ(dev->OpenerCalls(), (std::vector<std::string>{"Escape 4", "Escape 6", "Escape 8", "Escape 9", "Escape 5", "Escape 3"}));
    EXPECT_TRUE(p.Port->RTSState());
    EXPECT_TRUE(p.Port->DTRState());
}

TEST(SerialComp, XonXoffLimitsAbove100AreReportedAndCapped)
{
    FakePort p;
    p.Port->SetXONLimDiv(150);
    EXPECT_EQ(p.Port->XONLimDiv(), 100);
    p.Port->SetXONLimDiv(150);
    p.Port->SetXOFFLimDiv(101);
    EXPECT_EQ(p.Port->XOFFLimDiv(), 100);
    ASSERT_EQ(p.Rec.Reports.size(), 3u);
    EXPECT_EQ(p.Rec.Reports[0].Place, 100u);
    EXPECT_EQ(p.Rec.Reports[0].Code, 150u);
    EXPECT_EQ(p.Rec.Reports[0].Noise, 1);
    EXPECT_EQ(p.Rec.Reports[0].Msg, QStringLiteral("Warning XOnLimDef set to 100"));
    EXPECT_EQ(p.Rec.Reports[1].Code, 150u);
    EXPECT_EQ(p.Rec.Reports[2].Code, 101u);
    EXPECT_EQ(p.Rec.Reports[2].Msg, QStringLiteral("Warning XOffLimDef set to 100"));
}

TEST(SerialComp, PerCharacterTimesFollowTheBaudRate)
{
    const struct {
        DWORD baud;
        DWORD micros;
    } cases[] = {{50, 1100},     {109, 1100},    {110, 100000}, {300, 37000},  {1200, 9000},
                 {4799, 4500},   {4800, 2300},   {14400, 760},  {19200, 570},  {38400, 290},
                 {56000, 200},   {57600, 190},   {115200, 95},  {128000, 85},  {256000, 43},
                 {1000000, 43}};
    for (const auto& c : cases) {
        FakePort p;
        p.Port->SetBaudRate(c.baud);
        EXPECT_EQ(p.Port->RTOCharDelayTime(), c.micros) << c.baud;
        EXPECT_EQ(p.Port->WTOCharDelayTime(), c.micros) << c.baud;
    }
    // Without XTOAuto the times stay; turning it on derives them again.
    FakePort p;
    p.Port->SetXTOAuto(false);
    p.Port->SetBaudRate(57600);
    EXPECT_EQ(p.Port->RTOCharDelayTime(), 1100u);
    p.Port->SetXTOAuto(true);
    EXPECT_EQ(p.Port->RTOCharDelayTime(), 190u);
    EXPECT_EQ(p.Port->WTOCharDelayTime(), 190u);
}

// ---- sending -------------------------------------------------------------------------------

TEST(SerialComp, SendDataCompletedAtOnceCallsWriteDoneBeforeReturning)
{
    FakePort p;
    ASSERT_TRUE(p.Open(false));
    int done = 0;
    p.Port->OnWriteDone = [&](TObject* s) {
        EXPECT_EQ(s, p.Port.get());
        ++done;
    };
    const char bytes[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0};
    p.Port->SendData(bytes, 10);
    EXPECT_EQ(done, 1);
    EXPECT_FALSE(p.Port->SendInProgress());
    EXPECT_EQ(p.Port->WrittenBytes(), 10u);
    EXPECT_EQ(p.Dev()->written, std::vector<BYTE>(bytes, bytes + 10));
    const COMMTIMEOUTS t = p.Dev()->timeouts.back();
    EXPECT_EQ(t.ReadIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 1100u * 10 / 1000 + 250);

    // An empty string sends and reports nothing.
    p.Rec.Reports.clear();
    p.Dev()->ClearCalls();
    p.Port->SendString(QString());
    EXPECT_TRUE(p.Dev()->OpenerCalls().empty());
    EXPECT_TRUE(p.Rec.Reports.empty());
    EXPECT_EQ(done, 1);
}

TEST(SerialComp, PendingWriteRefusesASecondSendAndCompletesThroughTheWorker)
{
    struct Case {
        const char* name;
        FakeWriteResult result;
        DWORD advance;  // virtual milliseconds after the send
        DWORD written;
        std::vector<DWORD> places;
    };
    const Case cases[] = {
        {"completes whole", {true, 5, 0}, 0, 5, {}},
        {"completes short", {true, 3, 0}, 0, 3, {9701}},
        // Still incomplete after the write time-out (5 x 1100 us + 250 ms): ended as timed out.
        {"incomplete past the time-out", {false, 0, ERROR_IO_INCOMPLETE}, 256, 0, {9701}},
        {"pending past the time-out", {false, 2, ERROR_IO_PENDING}, 253, 2, {9701}},
        {"fails", {false, 0, ERROR_GEN_FAILURE}, 0, 0, {9702}},
    };
    for (const Case& c : cases) {
        FakePort p;
        p.Backend.prepare = [](FakeCommState& s) { s.writeAnswer.kind = FakeWriteAnswer::Pending; };
        ASSERT_TRUE(p.Open());
        int done = 0;
        p.Port->OnWriteDone = [&](TObject*) { ++done; };
        p.Rec.Reports.clear();
        p.Port->SendString(QStringLiteral("hello"));
        EXPECT_TRUE(p.Port->SendInProgress()) << c.name;
        EXPECT_EQ(done, 0) << c.name;
        p.Port->SendString(QStringLiteral("again"));
        ASSERT_EQ(p.Rec.Places(), (std::vector<DWORD>{901})) << c.name;
        EXPECT_EQ(p.Rec.Reports[0].Noise, 2);
        EXPECT_EQ(p.Dev()->written.size(), 5u) << c.name << ": nothing of the second send went out";
        p.Rec.Reports.clear();

        p.Dev()->SetWriteResult(c.result);
        if (c.advance > 0) {
            // Not before the time-out...
            p.Clock.Advance(c.advance - 2);
            p.Passes();
            EXPECT_TRUE(p.Port->SendInProgress()) << c.name;
            EXPECT_EQ(done, 0) << c.name;
            p.Clock.Advance(2);
        }
        ASSERT_TRUE(PumpUntil([&] { return done > 0; }, kPatience)) << c.name;
        EXPECT_EQ(done, 1) << c.name;
        EXPECT_FALSE(p.Port->SendInProgress()) << c.name;
        EXPECT_EQ(p.Port->WrittenBytes(), c.written) << c.name;
        EXPECT_EQ(p.Rec.Places(), c.places) << c.name;
        if (!c.places.empty() && c.places[0] == 9701 && c.advance > 0) {
            EXPECT_EQ(p.Rec.Reports[0].Code, c.result.error) << c.name;
        }
        // The next send is accepted again.
        p.Port->SendString(QStringLiteral("next"));
        EXPECT_TRUE(p.Port->SendInProgress()) << c.name;
        p.Dev()->SetWriteResult({true, 4, 0});
        ASSERT_TRUE(PumpUntil([&] { return done == 2; }, kPatience)) << c.name;
    }
}

// ---- the cluster queue ---------------------------------------------------------------------

TEST(SerialComp, ClusterQueueHandsOutClustersOldestFirst)
{
    FakePort p;
    int size = 0, error = 0;
    EXPECT_EQ(p.Port->ReadNextCluster(size, error), nullptr);
    EXPECT_EQ(size, -1);
    EXPECT_EQ(error, -1);
    EXPECT_EQ(p.Port->NextClusterSize(), -1);
    EXPECT_EQ(p.Port->NextClusterError(), -1);

    p.Port->ThreadQuietMode = true;
    ASSERT_TRUE(p.Open());
    auto dev = p.Dev();
    for (const char* text : {"one", "second"}) {
        dev->Feed(text);
        p.Port->SetReadRequest(true);
        ASSERT_TRUE(PumpUntil([&] { return !p.Port->ReadRequest(); }, kPatience));
    }
    dev->SetErrors(CE_FRAME);
    dev->Feed("3");
    ASSERT_TRUE(PumpUntil([&] { return dev->RxEmpty(); }, kPatience));
    // A read that brings nothing still makes a cluster, of size 0.
    dev->readEmpty = true;
    dev->Feed("zz");
    p.Port->SetReadRequest(true);
    ASSERT_TRUE(PumpUntil([&] { return !p.Port->ReadRequest(); }, kPatience));

    EXPECT_EQ(p.Port->NextClusterSize(), 3);
    EXPECT_EQ(p.Port->NextClusterError(), 0);
    auto a = p.Port->ReadNextCluster(size, error);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(a.get()), size), QByteArray("one"));
    auto b = p.Port->ReadNextCluster(size, error);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(b.get()), size), QByteArray("second"));
    EXPECT_EQ(p.Port->NextClusterError(), int(CE_FRAME));
    auto c = p.Port->ReadNextCluster(size, error);
    EXPECT_EQ(size, 1);
    EXPECT_EQ(error, int(CE_FRAME));
    auto d = p.Port->ReadNextCluster(size, error);
    EXPECT_EQ(d, nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(p.Port->NextClusterSize(), -1);
}

// ---- the worker's read decision ------------------------------------------------------------

struct ReadFixture : FakePort {
    std::vector<QByteArray> Clusters;
    std::vector<int> Errors;
    explicit ReadFixture(WORD clusterSize = 3072, DWORD start = 1000)
    {
        Clock.Set(start);
        Port->SetClusterSize(clusterSize);
        Port->OnRxClusterEvent = [this](TObject*) {
            int size = 0, error = 0;
            auto data = Port->ReadNextCluster(size, error);
            Clusters.push_back(size > 0 ? QByteArray(reinterpret_cast<char*>(data.get()), size) : QByteArray());
            Errors.push_back(error);
        };
    }
};

TEST(SerialComp, ShortTailIsReadOnlyAfterTheInterCharacterTimeOut)
{
    // One byte at 1100 us per character: 1.1 + 250 ms; two bytes: 2.2 + 250 ms.
    const struct {
        const char* bytes;
        DWORD notYet;
        DWORD due;
    } cases[] = {{"a", 251, 252}, {"ab", 252, 253}};
    for (const auto& c : cases) {
        ReadFixture f;
        ASSERT_TRUE(f.Open());
        const DWORD start = f.Clock.Now();
        f.Dev()->Feed(c.bytes);
        f.Passes();
        EXPECT_TRUE(f.Clusters.empty()) << c.bytes;
        f.Clock.Set(start + c.notYet - 1);
        f.Passes();
        EXPECT_TRUE(f.Clusters.empty()) << c.bytes;
        // The time-out is a real number: its fraction keeps the read back one more ms.
        f.Clock.Set(start + c.notYet);
        f.Passes();
        EXPECT_TRUE(f.Clusters.empty()) << c.bytes << " at " << c.notYet;
        f.Clock.Set(start + c.due);
        ASSERT_TRUE(PumpUntil([&] { return !f.Clusters.empty(); }, kPatience)) << c.bytes;
        EXPECT_EQ(f.Clusters, (std::vector<QByteArray>{QByteArray(c.bytes)}));
    }
}

TEST(SerialComp, TimeOutSurvivesTheTickCountWrapping)
{
    ReadFixture f(3072, 0xFFFFFF80u);
    ASSERT_TRUE(f.Open());
    f.Dev()->Feed("w");
    f.Clock.Advance(200);  // past the wrap: 200 ms elapsed
    f.Passes();
    EXPECT_TRUE(f.Clusters.empty());
    f.Clock.Advance(60);
    ASSERT_TRUE(PumpUntil([&] { return !f.Clusters.empty(); }, kPatience));
    EXPECT_EQ(f.Clusters[0], QByteArray("w"));
}

TEST(SerialComp, FullClusterReadRequestOrLineErrorReadAtOnce)
{
    struct Case {
        const char* name;
        WORD clusterSize;
        DWORD errors;
        bool request;
        bool readAtOnce;
    };
    const Case cases[] = {
        {"cluster size reached", 4, 0, false, true},
        {"read request", 3072, 0, true, true},
        {"receive overflow", 3072, CE_RXOVER, false, true},
        {"overrun", 3072, CE_OVERRUN, false, true},
        {"parity", 3072, CE_RXPARITY, false, true},
        {"framing", 3072, CE_FRAME, false, true},
        {"break", 3072, CE_BREAK, false, true},
        {"another error bit", 3072, 0x100, false, false},
        {"nothing", 3072, 0, false, false},
    };
    for (const Case& c : cases) {
        ReadFixture f(c.clusterSize);
        ASSERT_TRUE(f.Open());
        if (c.request)
            f.Port->SetReadRequest(true);
        if (c.errors)
            f.Dev()->SetErrors(c.errors);
        f.Dev()->Feed("wxyz");
        if (!c.readAtOnce) {
            // The virtual clock stands still: without a reason to read at once, never.
            f.Passes();
            EXPECT_TRUE(f.Clusters.empty()) << c.name;
            continue;
        }
        ASSERT_TRUE(PumpUntil([&] { return !f.Clusters.empty(); }, kPatience)) << c.name;
        f.Passes(1);
        ASSERT_EQ(f.Clusters.size(), 1u) << c.name;
        EXPECT_EQ(f.Clusters[0], QByteArray("wxyz")) << c.name;
        EXPECT_EQ(f.Errors[0], int(c.errors)) << c.name << ": the cluster carries the line errors";
        EXPECT_FALSE(f.Port->ReadRequest()) << c.name;
    }
}

TEST(SerialComp, ReadRequestWaitsForBytesWhenTheQueueIsEmpty)
{
    ReadFixture f;
    ASSERT_TRUE(f.Open());
    f.Port->SetReadRequest(true);
    f.Passes();
    EXPECT_TRUE(f.Port->ReadRequest());
    EXPECT_TRUE(f.Clusters.empty());
    f.Dev()->Feed("q");
    ASSERT_TRUE(PumpUntil([&] { return !f.Clusters.empty(); }, kPatience));
    EXPECT_FALSE(f.Port->ReadRequest());
}

// ---- events --------------------------------------------------------------------------------

TEST(SerialComp, EventsAreDispatchedInTheirOrderAndCommEventLast)
{
    FakePort p;
    p.Rec.AttachEvents(*p.Port);
    ASSERT_TRUE(p.Open());
    p.Dev()->Raise(0x1FF);
    ASSERT_TRUE(PumpUntil([&] { return p.Rec.Events.size() >= 10; }, kPatience));
    PumpFor(100);
    EXPECT_EQ(p.Rec.Events, (std::vector<std::string>{"Break", "CTS", "DSR", "LineError", "Ring", "RLSD", "RxChar",
                                                      "RxEventChar", "TxQueueEmpty", "Comm"}));
    EXPECT_EQ(p.Port->CommEvent(), 0x1FFu);

    p.Rec.Events.clear();
    p.Dev()->Raise(EV_CTS);
    ASSERT_TRUE(PumpUntil([&] { return p.Rec.Events.size() >= 2; }, kPatience));
    EXPECT_EQ(p.Rec.Events, (std::vector<std::string>{"CTS", "Comm"}));
    EXPECT_EQ(p.Port->CommEvent(), EV_CTS);
}

TEST(SerialComp, ModemLinesAndDriverStateAreTracked)
{
    FakePort p;
    p.Rec.AttachEvents(*p.Port);
    int stats = 0;
    p.Port->OnCommStat = [&](TObject*) { ++stats; };
    ASSERT_TRUE(p.Open());
    p.Dev()->SetModem(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON | MS_RING_ON);
    ASSERT_TRUE(PumpUntil([&] { return p.Port->RingState(); }, kPatience));
    EXPECT_TRUE(p.Port->CTSState());
    EXPECT_TRUE(p.Port->DSRState());
    EXPECT_TRUE(p.Port->RLSDState());
    EXPECT_EQ(p.Port->ModemState(), MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON | MS_RING_ON);
    // The state is stored before the event is handed over.
    ASSERT_TRUE(PumpUntil([&] { return !p.Rec.Events.empty(); }, kPatience));
    PumpFor(100);
    EXPECT_EQ(p.Rec.Events, (std::vector<std::string>{"RI"}));
    // On this platform the ring indicator's fall is the driver's own ring event.
    p.Dev()->SetModem(0);
    ASSERT_TRUE(PumpUntil([&] { return !p.Port->RingState(); }, kPatience));
    ASSERT_TRUE(PumpUntil([&] { return p.Rec.Events.size() >= 2; }, kPatience));
    PumpFor(100);
    EXPECT_EQ(p.Rec.Events, (std::vector<std::string>{"RI", "RI"}));

    const int before = stats;
    {
        std::lock_guard<std::mutex> l(p.Dev()->m);
        p.Dev()->outQueue = 17;
    }
    ASSERT_TRUE(PumpUntil([&] { return p.Port->CommStateOutQueue() == 17; }, kPatience));
    // The count is stored before OnCommStat is handed over.
    ASSERT_TRUE(PumpUntil([&] { return stats > before; }, kPatience));
    p.Passes();
    EXPECT_EQ(stats, before + 1) << "one report per change, none while nothing changes";
}

TEST(SerialComp, RingFallOnThe9xPlatformRaisesTheRingEvent)
{
    OSVERSIONINFOA v{};
    v.dwMajorVersion = 4;
    v.dwMinorVersion = 10;
    v.dwPlatformId = 1;
    SetVersionForTests(&v);
    FakePort p;
    SetVersionForTests(nullptr);
    p.Rec.AttachEvents(*p.Port);
    ASSERT_TRUE(p.Open());
    p.Dev()->SetModem(MS_RING_ON);
    ASSERT_TRUE(PumpUntil([&] { return !p.Rec.Events.empty(); }, kPatience));
    PumpFor(100);
    p.Dev()->SetModem(0);
    ASSERT_TRUE(PumpUntil([&] { return p.Rec.Events.size() >= 4; }, kPatience));
    PumpFor(100);
    EXPECT_EQ(p.Rec.Events, (std::vector<std::string>{"RI", "RI", "Ring", "Comm"}));
    EXPECT_FALSE(p.Port->RingState());
}

TEST(SerialComp, QuietModeQueuesClustersAndRaisesNothing)
{
    ReadFixture f(2);
    f.Rec.AttachEvents(*f.Port);
    f.Port->ThreadQuietMode = true;
    ASSERT_TRUE(f.Open());
    f.Rec.Reports.clear();
    f.Dev()->Fail("GetCommModemStatus", 31);  // a failure the worker would report
    f.Dev()->Raise(0x1FF);
    f.Dev()->Feed("ab");
    ASSERT_TRUE(PumpUntil([&] { return f.Port->NextClusterSize() == 2; }, kPatience));
    f.Dev()->Feed("cd");
    ASSERT_TRUE(PumpUntil([&] { return f.Dev()->RxEmpty(); }, kPatience));
    f.Passes();
    EXPECT_TRUE(f.Clusters.empty());
    EXPECT_TRUE(f.Rec.Events.empty());
    EXPECT_TRUE(f.Rec.Reports.empty());
    int size = 0, error = 0;
    auto first = f.Port->ReadNextCluster(size, error);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(first.get()), size), QByteArray("ab"));
    // The second cluster waited behind the first (its read is done; queued right after).
    ASSERT_TRUE(PumpUntil([&] { return f.Port->NextClusterSize() == 2; }, kPatience));
    auto second = f.Port->ReadNextCluster(size, error);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(second.get()), size), QByteArray("cd"));
    EXPECT_TRUE(f.Clusters.empty());

    // Out of quiet mode the worker reports again.
    f.Port->ThreadQuietMode = false;
    ASSERT_TRUE(PumpUntil([&] { return f.Rec.Count(9905) > 0; }, kPatience));
    EXPECT_EQ(f.Rec.Find(9905)->Msg, QStringLiteral("Error getting ModemStatus"));
    EXPECT_EQ(f.Rec.Find(9905)->Code, 31u);
}

TEST(SerialComp, FailingPortIsPacedInsteadOfFlooding)
{
    FakePort p;
    p.Backend.prepare = [](FakeCommState& s) { s.fail["WaitCommEvent"] = ERROR_GEN_FAILURE; };
    ASSERT_TRUE(p.Open(false));
    ASSERT_TRUE(PumpUntil([&] { return p.Rec.Count(9907) >= 3; }, kPatience));
    EXPECT_EQ(p.Rec.Find(9907)->Msg, QStringLiteral("Error calling WaitCommEvent"));
    // While the GUI thread takes every report at once, the passes are paced: one
    // report per 75 ms pass at most (plus the pass under way), however long the
    // window was stretched.
    p.Rec.Reports.clear();
    QElapsedTimer window;
    window.start();
    PumpFor(1000);
    const qint64 elapsed = window.elapsed();
    const int n = p.Rec.Count(9907);
    EXPECT_LE(n, elapsed / 75 + 2) << "over " << elapsed << " ms";
    EXPECT_EQ(static_cast<std::size_t>(n), p.Rec.Reports.size());
}

// ---- destruction ---------------------------------------------------------------------------

TEST(SerialComp, DestructionWithClustersQueuedAndAHandOverWaiting)
{
    const std::size_t handlesBefore = OpenHandleCount();
    int handled = 0;
    std::size_t reportsBefore = 0;
    {
        ReadFixture f(2);
        f.Port->OnRxClusterEvent = [&](TObject*) { ++handled; };
        f.Port->ThreadQuietMode = true;
        ASSERT_TRUE(f.Open());
        for (const char* t : {"aa", "bb", "cc"}) {
            f.Dev()->Feed(t);
            ASSERT_TRUE(PumpUntil([&] { return f.Dev()->RxEmpty(); }, kPatience));
        }
        PumpFor(50);
        f.Port->ThreadQuietMode = false;
        f.Dev()->Feed("dd");
        // The worker reads the cluster and waits in its hand-over; the GUI thread does
        // not process events before the component is destroyed.
        QElapsedTimer t;
        t.start();
        while (!f.Dev()->RxEmpty() && t.elapsed() < kPatience)
            QThread::msleep(5);
        ASSERT_TRUE(f.Dev()->RxEmpty());
        QThread::msleep(100);
        EXPECT_EQ(handled, 0);
        reportsBefore = f.Rec.Reports.size();
        f.Port.reset();
        EXPECT_EQ(f.Rec.Reports.size(), reportsBefore) << "nothing is reported during destruction";
        PumpFor(100);
    }
    EXPECT_EQ(handled, 0) << "a cancelled hand-over never runs";
    EXPECT_EQ(OpenHandleCount(), handlesBefore);
}

TEST(SerialComp, DestroyingAnOpenIdleComponentIsQuick)
{
    const std::size_t handlesBefore = OpenHandleCount();
    QElapsedTimer t;
    {
        FakePort p;
        ASSERT_TRUE(p.Open());
        t.start();
        p.Port.reset();
    }
    // Closing ends the worker's outstanding wait, so destruction never sits out the
    // bounded wait of closing (15 x 75 ms) for a worker that cannot leave its loop.
    EXPECT_LT(t.elapsed(), 15 * 75);
    EXPECT_EQ(OpenHandleCount(), handlesBefore);
}

}  // namespace

namespace {

TEST(SerialComp, HandOversRunOnTheGuiThreadInsideNestedEventLoops)
{
    ReadFixture f(2);
    ASSERT_TRUE(f.Open());
    QThread* handlerThread = nullptr;
    int depthSeen = -1;
    int depth = 0;
    QEventLoop outer;
    f.Port->OnRxClusterEvent = [&](TObject*) {
        handlerThread = QThread::currentThread();
        depthSeen = depth;
        int size = 0, error = 0;
        f.Port->ReadNextCluster(size, error);
    };
    QTimer::singleShot(0, [&] {
        ++depth;
        QEventLoop inner;  // as a modal dialog's loop would be
        QTimer::singleShot(0, [&] { f.Dev()->Feed("ab"); });
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (handlerThread)
                inner.quit();
        });
        poll.start(5);
        QTimer::singleShot(kPatience, &inner, &QEventLoop::quit);
        ++depth;
        inner.exec();
        depth -= 2;
        outer.quit();
    });
    outer.exec();
    EXPECT_EQ(handlerThread, QThread::currentThread());
    EXPECT_EQ(depthSeen, 2);
}

}  // namespace

namespace {

TEST(SerialComp, PendingReadEndsInAClusterOrAReport)
{
    const struct {
        const char* name;
        DWORD status;
        bool cluster;
        DWORD place;
        const char* msg;
    } cases[] = {
        {"completed", ERROR_SUCCESS, true, 0, nullptr},
        {"aborted", ERROR_OPERATION_ABORTED, false, 9907, "Error read aborted"},
        {"failed", ERROR_GEN_FAILURE, false, 9908, "Error getting Overlappedresult"},
    };
    for (const auto& c : cases) {
        ReadFixture f(2);
        f.Backend.prepare = [](FakeCommState& s) { s.readPends = true; };
        ASSERT_TRUE(f.Open());
        f.Dev()->Feed("rd");
        ASSERT_TRUE(PumpUntil([&] { return f.Dev()->ReadOutstanding(); }, kPatience)) << c.name;
        f.Passes(2);
        EXPECT_TRUE(f.Clusters.empty()) << c.name;
        ASSERT_TRUE(f.Dev()->CompleteRead(c.status)) << c.name;
        if (c.cluster) {
            ASSERT_TRUE(PumpUntil([&] { return !f.Clusters.empty(); }, kPatience)) << c.name;
            EXPECT_EQ(f.Clusters[0], QByteArray("rd")) << c.name;
        } else {
            ASSERT_TRUE(PumpUntil([&] { return f.Rec.Count(c.place) > 0; }, kPatience)) << c.name;
            EXPECT_EQ(f.Rec.Find(c.place)->Code, c.status) << c.name;
            EXPECT_EQ(f.Rec.Find(c.place)->Msg, QLatin1String(c.msg)) << c.name;
            EXPECT_TRUE(f.Clusters.empty()) << c.name;
        }
        // The next bytes start a new read.
        f.Dev()->Feed("nx");
        ASSERT_TRUE(PumpUntil([&] { return f.Dev()->ReadOutstanding(); }, kPatience)) << c.name;
    }
}

TEST(SerialComp, ClosingWithAReadOutstandingAbortsIt)
{
    ReadFixture f(2);
    f.Backend.prepare = [](FakeCommState& s) { s.readPends = true; };
    ASSERT_TRUE(f.Open());
    f.Dev()->Feed("zz");
    ASSERT_TRUE(PumpUntil([&] { return f.Dev()->ReadOutstanding(); }, kPatience));
    f.Rec.Reports.clear();
    f.Port->SetActive(false);
    // The worker waits in the hand-over of the abort's report, which the closing GUI
    // thread does not run: closing goes on after its bounded wait with a warning.
    EXPECT_EQ(f.Rec.Count(104), 1);
    EXPECT_FALSE(f.Port->Active());
    ASSERT_TRUE(PumpUntil([&] { return f.Rec.Count(9907) == 1; }, kPatience));
    EXPECT_EQ(f.Rec.Find(9907)->Code, ERROR_OPERATION_ABORTED);
    PumpFor(200);
    EXPECT_TRUE(f.Clusters.empty());
}

}  // namespace
