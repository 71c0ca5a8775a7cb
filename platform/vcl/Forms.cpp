#include "Forms.h"

#include <QCoreApplication>

TApplication Application;

void TApplication::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void TApplication::Terminate()
{
    Terminated = true;
    QCoreApplication::quit();
}

void TApplication::ShowException(const QString& message)
{
    QString msg = message;
    if (!msg.isEmpty() && msg.back() > QLatin1Char('.'))
        msg += QLatin1Char('.');
    MessageBoxEx(msg, Title, MB_OK | MB_ICONSTOP);
}
