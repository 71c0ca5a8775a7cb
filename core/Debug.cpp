#include "Debug.h"

#include "ui_Debug.h"

#include "Forms.h"
#include "SysUtils.h"
#include "Trace.h"
#include "Win32.h"

#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QTextBlock>

#include <algorithm>

TfmDebug* fmDebug = nullptr;

namespace {
// Every Trace goes to the trace window's line writer, which knows whether the window exists.
[[maybe_unused]] const bool kTraceSinkSet = (SetTraceSink(&TfmDebug::AddLine), true);
}  // namespace

TfmDebug::TfmDebug(QWidget* parent) : QWidget(parent), ui(new Ui::TfmDebug)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("fmDebug"));
    memoDebug = ui->memoDebug;
    btDebugHide = ui->btDebugHide;
    memoDebug->setReadOnly(true);
    DebugTimer = new QTimer(this);
    DebugTimer->setObjectName(QStringLiteral("DebugTimer"));
    DebugTimer->setInterval(100);
    DebugTimer->setSingleShot(true);
    ClockStart = GetTickCount();
    connect(DebugTimer, &QTimer::timeout, this, [this] { Guarded([this] { DebugTimerTick(); }); });
    connect(btDebugHide, &QPushButton::clicked, this, [this] { Guarded([this] { ButtonHideClick(); }); });
    DebugTimer->start();
}

TfmDebug::~TfmDebug()
{
    if (fmDebug == this)
        fmDebug = nullptr;
    delete ui;
}

void TfmDebug::AddLine(const QString& text)
{
    if (fmDebug)
        fmDebug->AppendLine(text);
}

void TfmDebug::AdvanceClock()
{
    const unsigned interval = static_cast<unsigned>(DebugTimer->interval());
    const unsigned elapsed = static_cast<unsigned>(GetTickCount() - ClockStart);
    if (elapsed <= ClockCounted)
        return;
    const unsigned steps = (elapsed - ClockCounted) / interval;
    ElapsedMs += static_cast<float>(steps * interval);
    ClockCounted += steps * interval;
}

void TfmDebug::AppendLine(const QString& text)
{
    AdvanceClock();
    ++LineCount;
    memoDebug->appendPlainText(QString::number(LineCount) + QStringLiteral(": ") + text + QStringLiteral(" at: ") +
                               FloatToStrC(static_cast<double>(ElapsedMs) / 1000.0));
}

QString TfmDebug::TraceText() const { return memoDebug->toPlainText(); }

void TfmDebug::DebugTimerTick()
{
    // However late the tick clock says it came, a tick means one more interval.
    AdvanceClock();
    ++Ticks;
    const unsigned due = Ticks * static_cast<unsigned>(DebugTimer->interval());
    if (ClockCounted < due) {
        ElapsedMs += static_cast<float>(due - ClockCounted);
        ClockCounted = due;
    }
    // The window is created visible by the framework; the first tick puts it away.
    if (Ticks == 1)
        hide();
}

void TfmDebug::ButtonHideClick() { hide(); }

void TfmDebug::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    Guarded([this] { FormShow(); });
}

void TfmDebug::FormShow()
{
    AddLine(QStringLiteral("Debug Show ") + objectName() + QStringLiteral(" "));
    framePlaced_ = false;
    PlaceOnScreen();
}

void TfmDebug::PlaceOnScreen()
{
    // To the left screen edge at its height, but with the whole frame, title bar
    // included, on the screen so that it can be moved and closed.
    int top = frameGeometry().top();
    if (const QScreen* s = screen()) {
        const QRect avail = s->availableGeometry();
        top = std::max(avail.top(), std::min(top, avail.bottom() + 1 - frameGeometry().height()));
    }
    move(1, top);
}

void TfmDebug::paintEvent(QPaintEvent* e)
{
    QWidget::paintEvent(e);
    // The window manager frames the window only when it maps it: once it is drawn the
    // frame is known, and the window is placed once more with its title bar in sight.
    if (!framePlaced_) {
        framePlaced_ = true;
        QTimer::singleShot(0, this, [this] { PlaceOnScreen(); });
    }
}

void TfmDebug::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    // The trace text is held at its distance from all four sides of the window.
    memoDebug->setGeometry(MemoLeft, MemoTop, std::max(0, width() - MemoLeft - MemoRightGap),
                           std::max(0, height() - MemoTop - MemoBottomGap));
}

QString TfmDebug::LogFileName(const QString& programFileName)
{
    // A name without a dot keeps the whole name, so the file is not a hidden ".dbg".
    const QString name = QFileInfo(programFileName).fileName();
    const int dot = name.indexOf(QLatin1Char('.'));
    return (dot < 0 ? name : name.left(dot)) + QStringLiteral(".dbg");
}

void TfmDebug::SaveLog()
{
    const QString fileName = LogFileName(Application.ExeName);
    QStringList lines;
    for (QTextBlock b = memoDebug->document()->begin(); b.isValid(); b = b.next())
        lines << b.text();
    if (memoDebug->document()->isEmpty())
        lines.clear();
    if (!SaveTextFile(fileName, lines))
        throw EInOutError(QStringLiteral("I/O error writing ") + fileName);
}
