#include "Waveform.h"

#include "ui_Waveform.h"

#include "Dialogs.h"
#include "Forms.h"
#include "KyrGlobals.h"
#include "PaintBox.h"
#include "xyplot.h"
#include "Setup.h"
#include "SysUtils.h"
#include "Trace.h"
#include "UpDown.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QSlider>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

TfmWaveform* fmWaveform = nullptr;
TfmWaveform::InputBoxFn TfmWaveform::InputBox;

const WaveSegments NormSegments = {{
    {850, 0.05, 30, 0.8, 1.5},
    {810, 0.06, 90, 0.8, 1.5},
    {820, 0.23, 0, 0.8, 1.5},
    {800, 0.25, 0, 0.8, 1.5},
    {0, 0, 0, 0, 0},
}};

const WaveSegments MpuSegments = {{
    {60, 1.5, 0, 10, 0},
    {600, 0.5, 0, 0.8, 1.5},
    {0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0},
}};

TfmWaveform::TfmWaveform(QWidget* parent) : QWidget(parent, Qt::Window), ui(new Ui::TfmWaveform)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("fmWaveform"));
    // The form's font is sized in pixels, not points: the same on every screen.
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    PaintBox1 = ui->PaintBox1;
    Panel1 = ui->Panel1;
    ContractButton = ui->ContractButton;
    ExpandButton = ui->ExpandButton;
    SaveButton = ui->SaveButton;
    ExitButton = ui->ExitButton;
    TrackBar1 = ui->TrackBar1;
    TStart = ui->TStart;
    TEnd = ui->TEnd;
    CurStart = ui->CurStart;
    CurSpan = ui->CurSpan;
    CurValue = ui->CurValue;
    UpDown1 = ui->UpDown1;
    Label1 = ui->Label1;
    Label2 = ui->Label2;
    Label3 = ui->Label3;
    // 643 x 523 is the window's outer size: the controls were laid out for the client
    // area inside a sizeable frame and its title bar.
    resize(643 - OuterFrameWidth, 523 - OuterFrameHeight);
    paintRightGap_ = width() - PaintBox1->geometry().right() - 1;
    paintBottomGap_ = height() - PaintBox1->geometry().bottom() - 1;
    panelBottomGap_ = height() - Panel1->geometry().bottom() - 1;
    // Small enough to be moved about, large enough that every control of the panel, the
    // zoom up-down at its right end included, stays whole: the panel keeps its width.
    setMinimumSize(Panel1->geometry().right() + 1,
                   PaintBox1->y() + 100 + (Panel1->y() - PaintBox1->geometry().bottom()) + Panel1->height() +
                       panelBottomGap_);
    PlaceFrame(this, FrameCentred());
    ViewerSetup();
    Guarded([this] { FormCreate(); });
}

TfmWaveform::~TfmWaveform()
{
    if (fmWaveform == this)
        fmWaveform = nullptr;
    delete SaveWaveformDialog;
    delete ui;
}

void TfmWaveform::FormCreate()
{
    Trace("Waveform Form Create");
    SampleRate = 2400;
    SecPerSample = static_cast<float>(1.0 / 2400);
}

void TfmWaveform::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    // The paint box follows all four sides, the panel keeps its distance to the bottom.
    QRect p = PaintBox1->geometry();
    p.setRight(width() - paintRightGap_ - 1);
    p.setBottom(height() - paintBottomGap_ - 1);
    PaintBox1->setGeometry(p);
    Panel1->move(Panel1->x(), height() - panelBottomGap_ - Panel1->height());
}

QString TfmWaveform::AskText(const QString& caption, const QString& prompt, const QString& def)
{
    if (InputBox)
        return InputBox(caption, prompt, def);
    if (HasMessageResponder())
        return def;
    bool ok = false;
    const QString text = QInputDialog::getText(QApplication::activeWindow(), caption, prompt, QLineEdit::Normal, def, &ok);
    return ok ? text : def;
}

QByteArray TfmWaveform::WaveFileBytes(const WaveFileHeader& h) const
{
    return ::WaveFileBytes(h, Samples);
}

bool TfmWaveform::ReadWaveform(const QString& FileName)
{
    Trace("ReadWaveform");
    if (!FileExists(FileName)) {
        MessageDlg(QStringLiteral("File: ") + FileName + QStringLiteral(" Not Found"), mtError, Btn(mbOK));
        return false;
    }
    std::fill(Samples, Samples + WaveFileSamples + 1, int16_t(0));
    // Read from a regular file only (a fifo or a device at the name is not waited on),
    // and no more than the header and the samples it can hold.
    QByteArray bytes;
    QString error;
    if (!ReadRegularFile(FileName, WaveHeaderSize + static_cast<qint64>(WaveFileSamples) * 2, bytes, error, false)) {
        MessageDlg(QStringLiteral("Error loading: ") + FileName, mtError, Btn(mbOK));
        return false;
    }

    // The header is read afresh: bytes a short file lacks are zero, never the last file's.
    const QByteArray head = bytes.left(WaveHeaderSize);
    Header = UnpackWaveHeader(head);
    Trace(QStringLiteral("Waveform Max Data = ") + QString::number(Header.SampleCount));
    if (Header.SampleCount > WaveFileSamples || Header.SampleCount < 100)
        Header.SampleCount = WaveFileSamples;
    SampleCount = Header.SampleCount;
    if (head.size() < WaveHeaderSize || !IsWaveFileHeader(Header)) {
        MessageDlg(FileName + QStringLiteral(" is Wrong File Type"), mtError, Btn(mbOK));
        return false;
    }

    SampleRate = WaveSampleRate(Header);
    SecPerSample = static_cast<float>(1.0 / SampleRate);
    AmpsPerCount = Header.AmpsPerCount;

    // Up to SampleCount - 1 samples; the entry at SampleCount - 1 and any the file lacks stay zero.
    const QByteArray data = bytes.mid(WaveHeaderSize, static_cast<qint64>(SampleCount - 1) * 2);
    UnpackWaveSamples(data, Samples);
    return true;
}

bool TfmWaveform::LoadFile(const QString& FileName)
{
    Trace("Waveform LoadFile");
    const bool ok = ReadWaveform(FileName);
    if (ok) {
        TotalTime = static_cast<float>(SampleCount) * SecPerSample;
        MinTime = 0;
        ViewStart = 0;
        ViewEnd = 1.0f;
        CursorStart = 0;
        CursorEnd = 1.0f;
        PaintBox1->update();
    }
    return ok;
}

void TfmWaveform::WriteWaveform(const QString& FileName)
{
    Trace("WriteWaveform");
    WaveFileHeader h = NewWaveHeader();
    SerNum = AskText(QStringLiteral("WaveFile Serial Number"), QStringLiteral("Enter Ser Num or ID:"),
                     QStringLiteral("DEFAULT"))
                 .left(sizeof h.WaveId);
    PutWaveText(h.WaveId, SerNum.toLatin1());
    h.AmpsPerCount = AmpsPerCount;
    h.SampleInterval = static_cast<float>(1.0 / SampleRate);
    h.Bits = 12;

    // Both questions come before the file is touched, so Cancel leaves every file as it was.
    if (FileExists(FileName) &&
        MessageDlg(QStringLiteral("Waveform File: ") + FileName + QStringLiteral(" Exists. Overwrite?"), mtWarning,
                   mbOKCancel) != mrOk)
        return;
    const int testType = fmSetup ? fmSetup->TestType : -1;
    h.WaveType = testType == 0 ? 'N' : testType == 1 ? 'M' : '?';
    h.SampleCount = WaveFileSamples;
    if (MessageDlg(QStringLiteral("Writing Waveform File: ") + FileName, mtWarning, mbOKCancel) != mrOk)
        return;

    // The whole file replaces the old one at once: no tail of a longer file survives.
    const QByteArray bytes = WaveFileBytes(h);
    if (!SaveBinaryFile(FileName, bytes)) {
        MessageDlg(QStringLiteral("Error writing file: ") + FileName, mtError, Btn(mbOK));
        return;
    }
    MessageDlg(FormatInt("Bytes written %d", bytes.size()), mtInformation, Btn(mbOK));
}

void TfmWaveform::MakeWaveFile(const QString& FileName, bool MpuType, WaveSegments Segments)
{
    Trace("MakeWaveFile");
    // The instrument's rate, whatever file the store last read.
    const double rate = 2400;
    WaveFileHeader h = NewWaveHeader();
    h.WaveType = MpuType ? 'M' : 'N';
    PutWaveText(h.WaveId, QByteArrayLiteral("***DEFAULT***"));
    h.AmpsPerCount = 0.244140625f;
    h.SampleInterval = static_cast<float>(1.0 / rate);
    h.Bits = 10;

    const double step = 21600 / rate;  // degrees per sample: 9 at 2400 per second, 60 Hz
    // The samples are worked out in extended precision with an extended pi. In double
    // precision pi / 180 falls short, sin 30 degrees comes out just under 0.5, and a
    // sample whose value is a whole number (850 * 0.5 = 425) truncates one count low.
    const long double degToRad = 3.14159265358979323846264338327950288L / 180;
    int index = 0;
    auto append = [&](long double v) {
        const long double limited = std::clamp(v, static_cast<long double>(std::numeric_limits<int16_t>::min()),
                                               static_cast<long double>(std::numeric_limits<int16_t>::max()));
        Samples[index++] = static_cast<int16_t>(std::trunc(limited));
    };
    for (long long k = 0; k <= Trunc(rate * 0.1) && index < WaveFileSamples; ++k)
        append(0);
    for (const WaveSegment& s : Segments) {
        const double n = rate * s.OnTime;
        if (n >= 1) {
            const long long last = Trunc(n);
            for (long long k = 0; k <= last && index < WaveFileSamples; ++k) {
                const long double kd = static_cast<long double>(k);
                const long double angle = (kd * step + s.Phase) * degToRad;
                append(std::sin(angle) * (1 - (kd / n) * (1 - s.EndRatio)) * s.Amplitude);
            }
        }
        const double m = rate * s.OffTime;
        if (m >= 1) {
            const long long last = Trunc(m);
            for (long long k = 0; k <= last && index < WaveFileSamples; ++k)
                append(0);
        }
    }
    std::fill(Samples + index, Samples + WaveFileSamples, int16_t(0));

    // Nothing is created before the user agrees: a cancelled demo file is offered again at
    // the next start instead of lying there as a silent header.
    if (MessageDlg(QStringLiteral("Writing Waveform File: ") + FileName, mtWarning, mbOKCancel) != mrOk)
        return;
    const QByteArray bytes = WaveFileBytes(h);
    if (!SaveBinaryFile(FileName, bytes)) {
        MessageDlg(QStringLiteral("Error writing file: ") + FileName, mtError, Btn(mbOK));
        return;
    }
    MessageDlg(FormatInt("Bytes written %d", bytes.size()), mtInformation, Btn(mbOK));
}

// ---- The viewer ----

namespace {
constexpr int LastStoreIndex = WaveStoreSize - 1;

// The store index nearest to a sample position (halves to even), never below 0 nor past
// the last entry, whatever the position (also one that is not finite).
int IndexAt(double position)
{
    if (!(position > 0))
        return 0;
    if (position >= LastStoreIndex)
        return LastStoreIndex;
    return static_cast<int>(Round(position));
}

QString ViewNumber(float v) { return Format("%.4f", static_cast<double>(v)); }
} // namespace

void TfmWaveform::ViewerSetup()
{
    SaveWaveformDialog = new TFileDialog;
    SaveWaveformDialog->Save = true;
    SaveWaveformDialog->Title = QStringLiteral("Save Waveform File");
    SaveWaveformDialog->DefaultExt = QStringLiteral(".kwf");
    SaveWaveformDialog->FileName = QStringLiteral("Test.kwf");
    SaveWaveformDialog->Filter = QStringLiteral("Kestrovan Wave Files|*.kwf|Recloser Wave Files|*.rwf|All Files|*.*");

    PaintBox1->Color = clBlack;
    PaintBox1->OnPaint = [this](QObject*) { PaintBox1Paint(); };
    PaintBox1->OnMouseDown = [this](QObject*, TMouseButton b, TShiftState s, int x, int y) {
        Guarded([&] { PaintBox1MouseDown(b, s, x, y); });
    };
    UpDown1->SetRange(0, 6);
    UpDown1->OnClick = [this](TUpDown::TUDBtnType) { Guarded([this] { UpDown1Click(); }); };
    auto on = [this](auto* sender, auto signal, void (TfmWaveform::*h)()) {
        connect(sender, signal, this, [this, h] { Guarded([this, h] { (this->*h)(); }); });
    };
    on(ContractButton, &QPushButton::clicked, &TfmWaveform::Contract);
    on(ExpandButton, &QPushButton::clicked, &TfmWaveform::Expand);
    on(SaveButton, &QPushButton::clicked, &TfmWaveform::SaveButtonClick);
    on(ExitButton, &QPushButton::clicked, &TfmWaveform::ExitButtonClick);
    on(TrackBar1, &QSlider::valueChanged, &TfmWaveform::TrackBar1Change);
    on(TrackBar1, &QSlider::sliderReleased, &TfmWaveform::TrackToView);
    for (QObject* o : {static_cast<QObject*>(TrackBar1), static_cast<QObject*>(Panel1), static_cast<QObject*>(TStart),
                       static_cast<QObject*>(TEnd), static_cast<QObject*>(CurStart), static_cast<QObject*>(CurSpan)})
        o->installEventFilter(this);
}

bool TfmWaveform::eventFilter(QObject* watched, QEvent* e)
{
    const QEvent::Type t = e->type();
    if (watched == TrackBar1 && (t == QEvent::FocusOut || t == QEvent::KeyPress)) {
        Guarded([this] { TrackToView(); });
    } else if (watched == Panel1 && (t == QEvent::MouseMove || t == QEvent::MouseButtonRelease)) {
        Guarded([this] { TrackBar1Change(); });
    } else if (t == QEvent::MouseButtonDblClick || t == QEvent::FocusOut) {
        if (watched == TStart)
            Guarded([this] { SetStart(); });
        else if (watched == TEnd)
            Guarded([this] { SetEnd(); });
        else if (watched == CurStart)
            Guarded([this] { SetCurStart(); });
        else if (watched == CurSpan)
            Guarded([this] { SetCurSpan(); });
    }
    return QWidget::eventFilter(watched, e);
}

void TfmWaveform::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    Guarded([this] { FormShow(); });
}

void TfmWaveform::FormShow()
{
    Trace("Waveform FormShow");
    TotalTime = static_cast<float>(60000 / SampleRate);
    MinTime = 0;
    ViewStart = 0;
    ViewEnd = 1.0f;
    SecPerSample = static_cast<float>(1 / SampleRate);
    CursorStart = 0;
    CursorEnd = 1.0f;
    YMin = -2048 * AmpsPerCount;
    YMax = 2048 * AmpsPerCount;
    PaintBox1->Invalidate();
}

void TfmWaveform::Draw()
{
    if (drawing_)
        PaintBox1Paint();  // drawn again inside the drawing, over a fresh background
    else
        PaintBox1->Repaint();
}

void TfmWaveform::PaintBox1Paint()
{
    const bool outer = !drawing_;
    drawing_ = true;
    try {
        float start = ViewStart < 0 ? 0.0f : ViewStart;
        float end = ViewEnd;
        if (end - start < 0.02f)
            end = start + 0.02f;
        // Never past the store, whatever a typed or loaded time says: the end first, then the start.
        LastShown = IndexAt(static_cast<double>(end) * SampleRate);
        FirstShown = std::min(IndexAt(static_cast<double>(start) * SampleRate), LastShown);

        InitGraph(PaintBox1, clBlack, clWhite, 1.1f);
        GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
        XAxis(clWhite, QString(), true, start, end, 0, 0, false, true);
        YAxis(clWhite, QString(), 1, YMin, YMax, 0, 0, true, false, true);

        // The trace. A full store holds far more samples than the box has pixel columns:
        // each column's run is cut to its first, lowest, highest and last sample, so the
        // drawing stays quick and every peak stays visible.
        TPen* pen = PaintBox1->Canvas->Pen;
        pen->Width = 2;
        pen->Color = clYellow;
        const int first = FirstShown;
        const double rate = SampleRate;
        const float apc = AmpsPerCount;
        PlotPolyline(LastShown - FirstShown + 1, [&](std::int32_t k, float& x, float& y) {
            const int i = first + k;
            x = static_cast<float>(i / rate);
            y = Samples[i] * apc;
        });

        pen->Width = 2;
        PlotMove(CursorStart, YMax);
        pen->Color = clLime;
        PlotLine(CursorStart, YMin);
        PlotMove(CursorEnd, YMax);
        pen->Color = clRed;
        PlotLine(CursorEnd, YMin);

        {
            const QSignalBlocker b1(TStart), b2(TEnd);
            TStart->setText(ViewNumber(start));
            TEnd->setText(ViewNumber(end));
        }

        if (TotalTime > MinTime) {
            // Worked out in full precision before the rounding: a single-precision
            // quotient can land on a half and round to the even neighbour instead.
            const int pos = static_cast<int>(
                Round(static_cast<double>(start) / (static_cast<double>(TotalTime) - MinTime) * 1000));
            // A new position is a trackbar change: the view snaps to the trackbar's step
            // and is drawn again right here.
            if (pos != TrackBar1->value())
                TrackBar1->setValue(pos);
            LastTrackPos = TrackBar1->value();
        }

        // The cursor limits, for the next drawing: the end first, then the start.
        if (CursorEnd > TotalTime)
            CursorEnd = TotalTime;
        if (CursorStart > CursorEnd)
            CursorStart = CursorEnd - SecPerSample;
        if (CursorStart < MinTime)
            CursorStart = MinTime;

        CurStart->setText(ViewNumber(CursorStart));
        CurSpan->setText(ViewNumber(CursorEnd - CursorStart));
        CurValue->setText(ViewNumber(RmsBetweenCursors(CursorStart, CursorEnd)));
    } catch (...) {
        Trace("Waveform Paint Exception");
    }
    if (outer)
        drawing_ = false;
}

void TfmWaveform::TrackBar1Change()
{
    if (TrackBar1->value() != LastTrackPos)
        TrackToView();
    LastTrackPos = TrackBar1->value();
}

void TfmWaveform::TrackToView()
{
    const float width = ViewEnd - ViewStart;
    ViewStart = static_cast<float>(TrackBar1->value() / 1000.0 * TotalTime);
    ViewEnd = ViewStart + width;
    if (ViewEnd > TotalTime) {
        ViewEnd = TotalTime;
        ViewStart = TotalTime - width;
    }
    Draw();
}

void TfmWaveform::Contract()
{
    const float width = std::min(2 * (ViewEnd - ViewStart), TotalTime);
    const float centre = (ViewEnd + ViewStart) / 2;
    ViewStart = std::max(centre - width / 2, 0.0f);
    ViewEnd = std::min(ViewStart + width, TotalTime);
    Draw();
}

void TfmWaveform::Expand()
{
    ViewStart = CursorStart - 5 * SecPerSample;
    if (!(ViewStart > 0))
        ViewStart = 0;
    if (ViewStart + 0.02f < CursorEnd)
        ViewEnd = CursorEnd + 5 * SecPerSample;
    else
        ViewEnd = ViewStart + 0.01f + 5 * SecPerSample;
    Draw();
}

void TfmWaveform::SetStart()
{
    ViewStart = static_cast<float>(StrToFloat(TStart->text()));
    if (ViewStart < 0)
        ViewStart = 0;
    else if (ViewStart >= TotalTime)
        ViewStart = TotalTime;
    if (ViewStart > ViewEnd)
        ViewEnd = ViewStart + 0.05f;
    Draw();
}

void TfmWaveform::SetEnd()
{
    ViewEnd = static_cast<float>(StrToFloat(TEnd->text()));
    if (ViewEnd > TotalTime)
        ViewEnd = TotalTime;
    else if (ViewEnd <= 0.05f)
        ViewEnd = 0.05f;
    if (ViewEnd < ViewStart)
        ViewEnd = ViewStart + 0.05f;
    Draw();
}

void TfmWaveform::SetCurStart()
{
    CursorStart = static_cast<float>(StrToFloat(CurStart->text()));
    Draw();
}

void TfmWaveform::SetCurSpan()
{
    CursorEnd = CursorStart + static_cast<float>(StrToFloat(CurSpan->text()));
    Draw();
}

void TfmWaveform::UpDown1Click()
{
    Zoom = std::pow(2.0f, static_cast<float>(UpDown1->Position()));
    YMax = AmpsPerCount * 2048 / Zoom;
    YMin = -YMax;
    Draw();
}

void TfmWaveform::PaintBox1MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    // The plotting library gets the press as it came, Ctrl and all (Ctrl starts its band).
    GraphMouseDown(Button, Shift, X, Y);
    float dx = 0, dy = 0;
    if (Shift.Contains(ssLeft)) {
        PixelToData(X, Y, dx, dy);
        CursorStart = dx;
    } else if (Shift.Contains(ssRight)) {
        PixelToData(X, Y, dx, dy);
        CursorEnd = dx;
    }
    // Sample numbers from the times in full precision, as for the RMS.
    long long s = Round(static_cast<double>(CursorStart) / SecPerSample);
    long long e = Round(static_cast<double>(CursorEnd) / SecPerSample);
    if (e - s < 1) {
        // The pressed button decides, whichever others are held.
        if (Button == mbRight)
            s = e;
        e = s + 1;
    }
    CursorStart = static_cast<float>(s) * SecPerSample;
    CursorEnd = static_cast<float>(e) * SecPerSample;
    PaintBox1->Invalidate();
}

float TfmWaveform::RmsBetweenCursors(float T1, float T2)
{
    if (!(SecPerSample > 0))
        SecPerSample = static_cast<float>(1 / SampleRate);
    // The sample number in full precision: a single-precision quotient can land on a
    // half and round to the even neighbour, one sample early.
    const double at = static_cast<double>(T1) / SecPerSample;
    if (T2 - T1 < SecPerSample)
        return std::fabs(Samples[IndexAt(at)] * AmpsPerCount);
    if (!std::isfinite(at))
        return 0;
    long long i = Round(std::clamp(at, -1e15, 1e15));
    float t = T1;
    float sum = 0;
    int n = 0;
    // Only samples the store holds take part: the span is cut at both of its ends.
    while (t < T2 && i <= LastStoreIndex) {
        if (i >= 0) {
            // Each square added in full precision, the running sum kept in single.
            const double a = static_cast<double>(Samples[i]) * AmpsPerCount;
            sum = static_cast<float>(static_cast<double>(sum) + a * a);
            ++n;
        }
        ++i;
        t += SecPerSample;
    }
    return n == 0 ? 0.0f : std::sqrt(sum / static_cast<float>(n));
}

void TfmWaveform::SaveButtonClick()
{
    const QString before = QDir::currentPath();
    SaveWaveformDialog->InitialDir = before;
    if (SaveWaveformDialog->Execute(this)) {
        // The chosen file by its full path, wherever the dialog went.
        FileName = SaveWaveformDialog->FileName;
        WriteWaveform(FileName);
    }
    QDir::setCurrent(before);
}

void TfmWaveform::ExitButtonClick() { close(); }
