// Waits that keep the windows alive: DelayMs in 100 ms timer steps (never nested),
// WaitMs on the monotonic clock, and ShowWaitWindow behind the busy window.
#pragma once

#include <QObject>
#include <QString>

class QTimer;

extern bool DelayBusy;

class TDelayObject : public QObject {
    Q_OBJECT
public:
    explicit TDelayObject(int milliseconds);
    ~TDelayObject() override;
    QTimer* Timer = nullptr;
    int Remaining = 0;
public slots:
    void TimerTick();
};

void DelayMs(int milliseconds);
// Raises EConvertError for a negative value or one of 60000 or more.
void WaitMs(int milliseconds);
void ShowWaitWindow(int milliseconds, const QString& caption);
