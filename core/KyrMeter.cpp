#include "KyrMeter.h"

#include "ui_KyrMeter.h"

#include "AnalogMeter.h"
#include "Forms.h"
#include "KyrGlobals.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QPushButton>
#include <QScreen>

TfmKyrMeter* fmKyrMeter = nullptr;

TfmKyrMeter::TfmKyrMeter(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui(new Ui::TfmKyrMeter)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("fmKyrMeter"));
    Button1 = ui->Button1;
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    setFont(f);
    move(980, 40);
    SetOuterWidth(SmallWidth, SmallHeight);
    connect(Button1, &QPushButton::clicked, this, [this] { Guarded([this] { Button1Click(); }); });
    Guarded([this] { FormCreate(); });
}

TfmKyrMeter::~TfmKyrMeter()
{
    Guarded([this] { FormDestroy(); });
    if (fmKyrMeter == this)
        fmKyrMeter = nullptr;
    delete ui;
}

void TfmKyrMeter::FormCreate()
{
    Meter = new TAnalogMeter(this);
    Meter->setObjectName(QStringLiteral("Meter"));
    meterHeight_ = 262;
    Meter->SetColor(clBtnFace);
    // The font object as read: setting its fields leaves the meter's text height as it was.
    TFont* font = Meter->Font();
    font->Color = clWindowText;
    font->SetHeight(-11);
    font->Name = QStringLiteral("MS Sans Serif");
    font->Style = 0;
    Meter->SetCaption(QStringLiteral("% FS x 10"));
    Meter->SetMax(1000);
    Meter->SetTickCount(21);
    Meter->SetLowZone(20);
    Meter->SetHighZone(80);
    Meter->SetOKZoneColor(clLime);
    PlaceMeter();
    Meter->show();
}

void TfmKyrMeter::FormDestroy()
{
    delete Meter;
    Meter = nullptr;
}

void TfmKyrMeter::SetOuterWidth(int width, int height)
{
    setFixedSize(width - FrameWidth, height - FrameHeight);
}

void TfmKyrMeter::PlaceMeter()
{
    // Aligned to the top edge: the client width, the height the window gives it.
    if (Meter)
        Meter->setGeometry(0, 0, width(), meterHeight_);
}

void TfmKyrMeter::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    PlaceMeter();
}

void TfmKyrMeter::closeEvent(QCloseEvent* e)
{
    // The window has no close box: only the program hides it. A close asked for from
    // outside (a window manager's button or Alt+F4) is refused; the end of the program
    // closes it like every other window.
    if (!Application.Terminated)
        e->ignore();
    else
        QWidget::closeEvent(e);
}

void TfmKyrMeter::mousePressEvent(QMouseEvent* e)
{
    QWidget::mousePressEvent(e);
    FormClick();
}

int TfmKyrMeter::LeftFor(bool large, int screenWidth, int windowWidth, int mainWindowWidth)
{
    return large ? screenWidth - windowWidth - 1 : screenWidth / 2 + mainWindowWidth / 2 + 2;
}

int TfmKyrMeter::MainWindowWidth() const
{
    if (MainWidth)
        if (const int width = MainWidth(); width > 0)
            return width;
    return 520;
}

// The left edge by the window's frame as the window manager draws it; the top as given,
// else where it is.
void TfmKyrMeter::PlaceAt(bool large, std::optional<int> top)
{
    const int mainWidth = MainWindowWidth();
    PlaceFrame(this, [large, top, mainWidth](const QRect& frame, const QRect& screen) {
        return QPoint(screen.left() + LeftFor(large, screen.width(), frame.width(), mainWidth),
                      top ? screen.top() + *top : frame.top());
    });
}

void TfmKyrMeter::Button1Click()
{
    if (Button1->text() == QLatin1String("Large")) {
        Button1->setText(QStringLiteral("Small"));
        SetOuterWidth(LargeWidth, LargeHeight);
        meterHeight_ = 468;
        PlaceAt(true, 10);
        Button1->move(10, 482);
    } else {
        Button1->setText(QStringLiteral("Large"));
        SetOuterWidth(SmallWidth, SmallHeight);
        meterHeight_ = 262;
        PlaceAt(false, 10);
        Button1->move(10, 266);
    }
    PlaceMeter();
}

void TfmKyrMeter::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    Guarded([this] { FormShow(); });
}

void TfmKyrMeter::FormShow()
{
    const bool large = Button1->text() != QLatin1String("Large");
    PlaceAt(large, std::nullopt);
}
