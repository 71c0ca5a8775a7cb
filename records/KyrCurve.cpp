#include "KyrCurve.h"

#include "ui_KyrCurve.h"

#include "Forms.h"
#include "Lagrange.h"
#include "PaintBox.h"
#include "SysUtils.h"
#include "xyplot.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

TfmKyrCurve* fmKyrCurve = nullptr;

namespace {

// The curve time of a row of the plotted times at a multiple.
double CurveTime(const double* sqrtTimes, double x)
{
    const double r = static_cast<double>(LagrangeInterpolate(x, 4, PlotMultiples, sqrtTimes, 10));
    return r * r;
}

// One curve swept from 2 to 12 times the reference current in steps of 0.1.
void SweepCurve(const double* sqrtTimes, double factor)
{
    bool first = true;
    for (double x = 2.0; x <= 12.0; x += 0.1) {
        const float fx = static_cast<float>(x);
        const float fy = static_cast<float>(CurveTime(sqrtTimes, x) * factor);
        if (first)
            PlotMove(fx, fy);
        else
            PlotLine(fx, fy);
        first = false;
    }
}

} // namespace

TfmKyrCurve::TfmKyrCurve(IReclDataSource* Hub, TKyrRecordsData* Data, QWidget* parent)
    : QWidget(parent), ui(new Ui::TfmKyrCurve), hub_(Hub),
      ownData_(Data ? nullptr : std::make_unique<TKyrRecordsData>()), data_(Data ? Data : ownData_.get())
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("fmKyrCurve"));
    PaintBox2 = ui->PaintBox2;
    PaintBox2->Color = clBlack;
    // The paint handler is also the resize handler: the box paints again at every size.
    PaintBox2->OnPaint = [this](QObject*) { Guarded([&] { PaintBox2Paint(); }); };
    PaintBox2->OnMouseDown = [this](QObject*, TMouseButton, TShiftState, int, int) {
        Guarded([&] { PaintBox2Click(); });
    };
}

TfmKyrCurve::~TfmKyrCurve() { delete ui; }

void TfmKyrCurve::showEvent(QShowEvent* e)
{
    PlaceFrame(this, FrameCentred());
    QWidget::showEvent(e);
}

void TfmKyrCurve::ShowPlot(const double (&PlotTimes)[2][10])
{
    show();
    raise();
    activateWindow();
    for (int row = 0; row < 2; ++row)
        for (int m = 0; m < 10; ++m)
            data_->PlotSqrtTimes[row][m] = PlotTimes[row][m];
    PaintBox2->Repaint();
}

void TfmKyrCurve::PaintBox2Click() { PaintBox2->Repaint(); }

void TfmKyrCurve::PaintBox2Paint()
{
    InitGraph(PaintBox2, clBlack, clWhite, 1.0f);
    GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
    XAxis(clWhite, QString(), true, 1.5f, 15.0f, 0, 0, true, true);
    YAxis(clWhite, QString(), 1, 0.01f, 20.0f, 0, 0, true, true, true);
    TPen* pen = PaintBox2->Canvas->Pen;
    pen->Width = 2;

    // The tolerances are checked before anything is drawn: a curve whose tolerance is not
    // a number is left out, and each bad text is reported once, after the paint.
    const TReclTestData prepared = hub_ ? hub_->PreparedTest() : TReclTestData();
    const QString maxText = prepared.CurveTolMax[Delay];
    const QString minText = prepared.CurveTolMin[Delay];
    double tolMax = 0, tolMin = 0;
    const bool maxOk = TryStrToFloatEitherSeparator(maxText, tolMax);
    const bool minOk = TryStrToFloatEitherSeparator(minText, tolMin);

    if (maxOk) {
        pen->Color = clRed;
        SweepCurve(data_->PlotSqrtTimes[1], 1 + tolMax / 100);
        AddLegendEntry(0, QStringLiteral("Delay Curve MAX"));
    }
    if (minOk) {
        pen->Color = clLime;
        SweepCurve(data_->PlotSqrtTimes[1], 1 - tolMin / 100);
        AddLegendEntry(0, QStringLiteral("Delay Curve MIN"));
    }
    pen->Color = clYellow;
    SweepCurve(data_->PlotSqrtTimes[0], 1);
    AddLegendEntry(0, QStringLiteral("Fast Curve MAX"));
    DrawLegend(2, 400, 50, 0, 0, 3, 50, 100, true);

    QString bad;
    if (!maxOk)
        bad = maxText;
    else if (!minOk)
        bad = minText;
    const QString badKey = (maxOk ? QString() : QStringLiteral("max:") + maxText) + QLatin1Char('|') +
                           (minOk ? QString() : QStringLiteral("min:") + minText);
    if (maxOk && minOk) {
        reportedBad_.clear();
    } else if (badKey != reportedBad_) {
        reportedBad_ = badKey;
        // Never a box inside a paint: the report follows it.
        QTimer::singleShot(0, this, [bad] {
            Application.ShowException(QStringLiteral("'%1' is not a valid floating point value").arg(bad));
        });
    }
}
