#include "Delays.h"

#include "DelayForm.h"
#include "Forms.h"
#include "SysUtils.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QThread>
#include <QTimer>

bool DelayBusy = false;

namespace {
TDelayObject* g_delayObject = nullptr;
}

TDelayObject::TDelayObject(int milliseconds) : Remaining(milliseconds)
{
    Timer = new QTimer();
    Timer->setInterval(100);
    connect(Timer, &QTimer::timeout, this, &TDelayObject::TimerTick);
    Timer->start();
}

TDelayObject::~TDelayObject() { delete Timer; }

void TDelayObject::TimerTick()
{
    if (fmDelay)
        fmDelay->Edit1->setText(FloatToStr(Remaining / 1000.0));
    if (Remaining > 0)
        Remaining -= 100;
}

void DelayMs(int milliseconds)
{
    if (DelayBusy)
        return;
    DelayBusy = true;
    g_delayObject = new TDelayObject(milliseconds);
    // Sleeps until the next event instead of spinning: the 100 ms timer is always due.
    while (g_delayObject->Remaining >= 1)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    delete g_delayObject;
    g_delayObject = nullptr;
    DelayBusy = false;
}

void WaitMs(int milliseconds)
{
    if (milliseconds < 0 || milliseconds >= 60000)
        throw EConvertError(QStringLiteral("Invalid argument to time encode"));
    QElapsedTimer clock;
    clock.start();
    const qint64 end = milliseconds;
    while (clock.elapsed() <= end) {
        QThread::msleep(10);
        if (fmDelay)
            fmDelay->Edit1->setText(Format("%4.1f", (end - clock.elapsed()) / 1000.0));
        QCoreApplication::processEvents();
    }
}

void ShowWaitWindow(int milliseconds, const QString& caption)
{
    delete fmDelay;
    fmDelay = new TfmDelay();
    fmDelay->setWindowTitle(caption);
    fmDelay->resize(8 * static_cast<int>(caption.size()) + fmDelay->minimumWidth() / 2, fmDelay->height());
    PlaceFrame(fmDelay, FrameCentred());
    fmDelay->show();
    try {
        WaitMs(milliseconds);
    } catch (...) {
        delete fmDelay;
        fmDelay = nullptr;
        throw;
    }
    delete fmDelay;
    fmDelay = nullptr;
}
