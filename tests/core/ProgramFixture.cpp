#include "ProgramFixture.h"

#include "Comm.h"
#include "Debug.h"
#include "Forms.h"
#include "Kestrovan10.h"
#include "KyrMain.h"
#include "KyrUpdate.h"
#include "SysUtils.h"
#include "Waveform.h"

#if __has_include("Registry.h")
#include "Registry.h"
#define KV_TEST_REGISTRY 1
#endif

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QPushButton>
#include <QTimer>
#include <QElapsedTimer>

AnswerByText::AnswerByText()
{
    SetMessageResponder([this](const MessageRequest& r) {
        requests.push_back(r);
        if (onRequest)
            onRequest(r);
        for (auto& rule : rules_) {
            if (r.text.startsWith(rule.first)) {
                const int a = rule.second.front();
                if (rule.second.size() > 1)
                    rule.second.erase(rule.second.begin());
                return a;
            }
        }
        return DefaultAnswer(r);
    });
}

AnswerByText::~AnswerByText() { InstallDefaultMessageScript(); }

AnswerByText& AnswerByText::on(const QString& prefix, std::vector<int> answers)
{
    rules_.emplace_back(prefix, std::move(answers));
    return *this;
}

bool AnswerByText::saw(const QString& text) const { return count(text) > 0; }

int AnswerByText::count(const QString& text) const
{
    int n = 0;
    for (const auto& r : requests)
        n += r.text == text ? 1 : 0;
    return n;
}

const MessageRequest* AnswerByText::find(const QString& prefix) const
{
    for (const auto& r : requests)
        if (r.text.startsWith(prefix))
            return &r;
    return nullptr;
}

void ProgramFixture::SetUp()
{
    tmp = std::make_unique<TempCurrentDir>();
    hadXdg_ = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    oldXdg_ = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", tmp->file(QStringLiteral("xdg")).toLocal8Bit());
    dataFolder = tmp->file(QStringLiteral("xdg/Kestrovan"));
    answers = std::make_unique<AnswerByText>();
    // The demo files are made on the first start after the user agrees.
    answers->on(QStringLiteral("Writing Waveform File: "), {mrOk});
    // ... and the calibration defaults when there is no calibration file yet.
    answers->on(QStringLiteral("Setting Default Values"), {mrOk});
    answers->on(QStringLiteral("Writing to Cal File Kestrovan.kcf"), {mrOk});
    SetFileDialogResponder([this](TFileDialog& d) { return fileDialog ? fileDialog(d.FileName) : false; });
}

void ProgramFixture::TearDown()
{
    StopProgram();
    SetFileDialogResponder(nullptr);
    answers.reset();
    if (hadXdg_)
        qputenv("XDG_DATA_HOME", oldXdg_);
    else
        qunsetenv("XDG_DATA_HOME");
    tmp.reset();
    Application.Terminated = false;
}

void ProgramFixture::StartProgram(const QStringList& params, const QString& progName)
{
#ifdef KV_TEST_REGISTRY
    // Only the ports the test names: the machine's own serial lines are never probed.
    auto registry = std::make_shared<TMemoryRegistry>();
    const QString map = QStringLiteral("HARDWARE\\DEVICEMAP\\SERIALCOMM");
    registry->AddKey(HKEY_LOCAL_MACHINE, map);
    for (int i = 0; i < serialPorts.size(); ++i)
        registry->SetString(HKEY_LOCAL_MACHINE, map, QStringLiteral("\\Device\\Test%1").arg(i), serialPorts[i]);
    if (machinePorts)
        SetRegistryBackend(std::make_shared<TLinuxRegistry>());
    else
        SetRegistryBackend(registry);
#endif
    Application.Terminated = false;
    Application.ExeName = QCoreApplication::applicationFilePath();
    ProgName = progName;
    ParamList = params;
    StartFolder = QDir::currentPath();
    DemoMode = false;
    MaxOps = 4;
    Painted = false;
    ProgInitDone = false;
    CreateProgramWindows();
    started = true;
    ASSERT_TRUE(WaitFor([] { return ProgInitDone || Application.Terminated; }, 60000)) << "no first initialisation";
}

void ProgramFixture::StopProgram()
{
    if (!started)
        return;
    started = false;
    FreeProgramWindows();
#ifdef KV_TEST_REGISTRY
    SetRegistryBackend(nullptr);
#endif
    ParamList.clear();
}

bool ProgramFixture::WaitFor(const std::function<bool()>& cond, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return true;
}

bool ProgramFixture::TickUntilResult(int maxTicks)
{
    for (int i = 0; i < maxTicks; ++i) {
        if (TestEngine->Result != 0 && !TestEngine->Running)
            return true;
        TestEngine->TimerTick();
    }
    return TestEngine->Result != 0;
}

bool ProgramFixture::PlayDemo()
{
    QTest::mouseClick(fmKyr->BitBtnRunStopReset, Qt::LeftButton);
    return TickUntilResult();
}

QWidget* ProgramFixture::Control(const QString& name) const { return fmKyr->findChild<QWidget*>(name); }

QString ProgramFixture::Text(const QString& name) const
{
    if (auto* e = fmKyr->findChild<QLineEdit*>(name))
        return e->text();
    return {};
}

QString ProgramFixture::TraceText() const { return fmDebug ? fmDebug->TraceText() : QString(); }
