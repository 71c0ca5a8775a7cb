#include "Setup.h"

#include "ui_Setup.h"

#include "Debug.h"
#include "Dialogs.h"
#include "Forms.h"
#include "SysUtils.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <cmath>

TfmSetup* fmSetup = nullptr;

namespace {

const QString kDefaultDataFileName = QStringLiteral("Kestrovan.kdf");
const QString kDefaultSourceName = QStringLiteral("COM");

// Blanks and control characters off both ends, as the file's lines are read.
QString TrimLine(const QString& s)
{
    int b = 0;
    int e = static_cast<int>(s.size());
    while (b < e && s.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

// A shunt value is stored rounded to a whole number in six characters; one that rounds
// to 0 or below would make every current infinite or not a number, and one too wide for
// its line makes the full scales meaningless.
bool ShuntValueUsable(double v) { return std::round(v) >= 1 && std::round(v) <= 999999; }

// The time-outs are stored with two decimals: 0 switches a limit off; a limit is no
// wider than the line's form holds, and none is so small that it would be stored as 0
// and silently switch itself off.
constexpr double kMinTime = 0.01;
constexpr double kMaxTime = 9999.99;
bool TimeUsable(double v) { return v == 0 || (v >= kMinTime - 0.005 && v <= kMaxTime); }

// Reads the nine lines, noting each line that is missing or holds no usable value.
class SetupLineReader {
public:
    SetupLineReader(const QStringList& lines, const QString& path) : lines_(lines), path_(path) {}

    bool Text(int line, QString& out)
    {
        if (line > lines_.size())
            return Bad(line, QStringLiteral("missing"));
        out = TrimLine(lines_.at(line - 1));
        // A NUL ends the text for the file system and the number conversions: what
        // follows it would be lost without a word.
        if (out.contains(QChar(0)))
            return Bad(line, QStringLiteral("holds a NUL character"));
        return true;
    }
    bool Int(int line, int& out)
    {
        QString t;
        if (!Text(line, t))
            return false;
        if (!TryStrToInt(t, out))
            return Bad(line, QStringLiteral("'%1' is not a valid integer value").arg(t));
        return true;
    }
    bool Float(int line, double& out)
    {
        QString t;
        if (!Text(line, t))
            return false;
        // Written with the system's separator, read with either: a file made under
        // another locale keeps its values.
        if (!TryStrToFloatEitherSeparator(t, out))
            return Bad(line, QStringLiteral("'%1' is not a valid floating point value").arg(t));
        return true;
    }
    bool Bad(int line, const QString& why)
    {
        TfmDebug::AddLine(QStringLiteral("Error reading file: ") + path_ + QStringLiteral(" line ") +
                          QString::number(line) + QStringLiteral(": ") + why);
        anyBad_ = true;
        return false;
    }
    bool AnyBad() const { return anyBad_; }

private:
    QStringList lines_;
    QString path_;
    bool anyBad_ = false;
};

double ReadShunt(SetupLineReader& r, int line, double fallback)
{
    double d = 0;
    if (!r.Float(line, d))
        return fallback;
    if (!ShuntValueUsable(d)) {
        r.Bad(line, QStringLiteral("shunt rating rounds to 0 or below"));
        return fallback;
    }
    return d;
}

double ReadTime(SetupLineReader& r, int line, double fallback)
{
    double d = 0;
    if (!r.Float(line, d))
        return fallback;
    if (!TimeUsable(d)) {
        r.Bad(line, QStringLiteral("time out of range"));
        return fallback;
    }
    return d == 0 ? 0.0 : d;  // "-0.00" is 0, written back without the sign
}

// An integer line with its range; out of range takes the default like an unreadable line.
int ReadRanged(SetupLineReader& r, int line, int lo, int hi, int fallback)
{
    int i = 0;
    if (!r.Int(line, i))
        return fallback;
    if (i < lo || i > hi) {
        r.Bad(line, QStringLiteral("%1 is out of range").arg(i));
        return fallback;
    }
    return i;
}

}  // namespace

TfmSetup::TfmSetup(QWidget* parent) : QDialog(parent), ui(new Ui::TfmSetup)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("fmSetup"));
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    ebMaxOnTime = ui->ebMaxOnTime;
    ebMaxOffTime = ui->ebMaxOffTime;
    ebMaxOps = ui->ebMaxOps;
    ebDataFileName = ui->ebDataFileName;
    cbSourceName = ui->cbSourceName;
    ebShuntAmperes = ui->ebShuntAmperes;
    ebShuntMillivolts = ui->ebShuntMillivolts;
    Button1 = ui->Button1;
    connect(Button1, &QPushButton::clicked, this, [this] { Guarded([this] { Button1Click(); }); });
    Guarded([this] { FormCreate(); });
}

TfmSetup::~TfmSetup()
{
    if (fmSetup == this)
        fmSetup = nullptr;
    delete ui;
}

QStringList TSetupData::SetupLines() const
{
    return {FormatInt("%d", Range),
            Format("%4.2f", MaxOnTime),
            Format("%4.2f", MaxOffTime),
            DataFileName,
            SourceName,
            FormatInt("%d", MaxOps),
            FormatInt("%d", TestType),
            Format("%6.0f", ShuntAmperes),
            Format("%6.0f", ShuntMillivolts)};
}

void TfmSetup::ReadSetupFile()
{
    TfmDebug::AddLine(QStringLiteral("ReadSetupFile "));
    if (!FileExists(SetupFileName)) {
        Application.MessageBox(QStringLiteral("Creating Default Setup File"), QStringLiteral("File Missing"), MB_OK);
        Range = DefaultRange;
        MaxOnTime = DefaultMaxOnTime;
        MaxOffTime = DefaultMaxOffTime;
        // Program control sets the full data folder path before the first read; it stays.
        if (DataFileName.isEmpty())
            DataFileName = kDefaultDataFileName;
        SourceName = kDefaultSourceName;
        MaxOps = DefaultMaxOps;
        TestType = DefaultTestType;
        ShuntAmperes = DefaultShuntAmperes;
        ShuntMillivolts = DefaultShuntMillivolts;
        WriteSetupFile();
    }
    // A default file that could not be written has already been reported; the defaults stay.
    if (!FileExists(SetupFileName))
        return;

    QStringList lines;
    bool opened = true;
    try {
        lines = LoadTextFile(SetupFileName);
    } catch (const EInOutError& e) {
        opened = false;
        TfmDebug::AddLine(QStringLiteral("Error reading file: ") + SetupFileName + QStringLiteral(": ") + e.Message);
    }
    SetupLineReader r(lines, SetupFileName);
    if (!opened)
        r.Bad(1, QStringLiteral("not readable"));

    // Each field takes its default when its line cannot be used, so one bad line never
    // leaves the program without a range, a source or a test time.
    QString t;
    int i = 0;
    // A range or an operation count outside its limits reads as the default without a
    // message (a stored range of 0 or 9 has always meant "the usual one").
    Range = (r.Int(1, i) && i >= 1 && i <= 8) ? static_cast<int16_t>(i) : DefaultRange;
    MaxOnTime = ReadTime(r, 2, DefaultMaxOnTime);
    MaxOffTime = ReadTime(r, 3, DefaultMaxOffTime);
    if (r.Text(4, t))
        DataFileName = t;
    else if (DataFileName.isEmpty())
        DataFileName = kDefaultDataFileName;
    SourceName = r.Text(5, t) ? t : kDefaultSourceName;
    // The main window has five result rows: a count outside them reads as the default, like the range.
    MaxOps = (r.Int(6, i) && i >= 1 && i <= 5) ? i : DefaultMaxOps;
    // 0 normal, 1 minimum pick-up: anything else is no test type.
    TestType = static_cast<uint8_t>(ReadRanged(r, 7, 0, 1, DefaultTestType));
    ShuntAmperes = ReadShunt(r, 8, DefaultShuntAmperes);
    ShuntMillivolts = ReadShunt(r, 9, DefaultShuntMillivolts);

    if (r.AnyBad())
        MessageDlg(QStringLiteral("Error reading file: ") + SetupFileName, mtError, Btn(mbOK));
}

void TfmSetup::WriteSetupFile()
{
    TfmDebug::AddLine(QStringLiteral("WriteSetupFile "));
    // Written beside the target and renamed over it: a failure never leaves half a file.
    if (!SaveTextFile(SetupFileName, SetupLines()))
        MessageDlg(QStringLiteral("Error writing file: ") + SetupFileName, mtError, Btn(mbAbort));
}

void TfmSetup::FormCreate()
{
    TfmDebug::AddLine(QStringLiteral("FormCreate Setup "));
    PlaceFrame(this, FrameAtRight(2));
}

void TfmSetup::FormShow()
{
    TfmDebug::AddLine(QStringLiteral("Setup Form Show "));
    PlaceFrame(this, FrameAtRight());
    ebMaxOnTime->setText(Format("%4.2f", MaxOnTime));
    ebMaxOffTime->setText(Format("%4.2f", MaxOffTime));
    ebMaxOps->setText(FormatInt("%d", MaxOps));
    ebDataFileName->setText(DataFileName);
    ebDataFileName->setCursorPosition(0);  // the folder in sight, not the end of the name
    cbSourceName->setEditText(SourceName);
    ebShuntAmperes->setText(Format("%5.1f", ShuntAmperes));
    ebShuntMillivolts->setText(Format("%3.2f", ShuntMillivolts));
}

void TfmSetup::Button1Click() { close(); }

void TfmSetup::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    Guarded([this] { FormShow(); });
}

void TfmSetup::closeEvent(QCloseEvent* e)
{
    bool taken = false;
    Guarded([&] { taken = FormClose(); });
    if (!taken) {
        e->ignore();
        return;
    }
    // Whichever way the window was closed, it returns OK and the main window re-initialises.
    setResult(QDialog::Accepted);
    e->accept();
}

bool TfmSetup::FormClose()
{
    TfmDebug::AddLine(QStringLiteral("Setup Form Close "));
    // Every entry is checked before any is taken: a bad one keeps the window open with
    // the reason, and the fields and the file stay as they were.
    auto refuse = [](QLineEdit* edit, const QString& why) {
        Application.ShowException(why);
        edit->setFocus();
        edit->selectAll();
        return false;
    };
    auto number = [&](QLineEdit* edit, double& out) {
        if (TryStrToFloat(edit->text(), out))
            return true;
        return refuse(edit, QStringLiteral("'%1' is not a valid floating point value").arg(edit->text()));
    };
    auto shunt = [&](QLineEdit* edit, double& out) {
        if (!number(edit, out))
            return false;
        if (ShuntValueUsable(out))
            return true;
        return refuse(edit, QStringLiteral("'%1' is not a valid shunt rating").arg(edit->text()));
    };
    auto time = [&](QLineEdit* edit, double& out) {
        if (!number(edit, out))
            return false;
        if (TimeUsable(out)) {
            out = out == 0 ? 0.0 : out;
            return true;
        }
        return refuse(edit, QStringLiteral("'%1' is not a valid time: 0 (no limit) or from 0.01 to 9999.99 seconds")
                                .arg(edit->text()));
    };
    double onTime = 0, offTime = 0, amps = 0, millivolts = 0;
    int ops = 0;
    if (!time(ebMaxOnTime, onTime) || !time(ebMaxOffTime, offTime))
        return false;
    if (!TryStrToInt(ebMaxOps->text(), ops))
        return refuse(ebMaxOps, QStringLiteral("'%1' is not a valid integer value").arg(ebMaxOps->text()));
    if (ops < 1 || ops > 5)
        return refuse(ebMaxOps, QStringLiteral("'%1' is not a valid operation count: from 1 to 5").arg(ebMaxOps->text()));
    if (!shunt(ebShuntAmperes, amps) || !shunt(ebShuntMillivolts, millivolts))
        return false;

    MaxOnTime = onTime;
    MaxOffTime = offTime;
    MaxOps = ops;
    DataFileName = ebDataFileName->text();
    SourceName = cbSourceName->currentText();
    ShuntAmperes = amps;
    ShuntMillivolts = millivolts;
    // Read straight back so the fields hold what the file holds (shunt values whole).
    WriteSetupFile();
    ReadSetupFile();
    return true;
}
