// The README's simulated-instrument lines, typed as they stand into an interactive shell
// on a terminal of its own: the simulator started in the background must keep serving,
// play a test current the program times to lockout, and go (with its link) when the
// README's last line or a hang-up of the terminal ends it. The program runs in this
// process (offscreen), on the port the README's program line names.
#include "ProgramFixture.h"

#include "Comm.h"
#include "KyrMain.h"
#include "KyrUpdate.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>
#include <chrono>
#include <csignal>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

struct ReadmeLines {
    QString sim, program, stop;
};

// The indented lines of the README's block that starts the simulator.
ReadmeLines SimulatorBlock()
{
    ReadmeLines r;
    QFile f(QStringLiteral(KV_SOURCE_DIR "/README.md"));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return r;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (!lines[i].startsWith(QLatin1String("    ")) || !lines[i].contains(QLatin1String("instrument-sim")))
            continue;
        for (int j = i; j < lines.size() && lines[j].startsWith(QLatin1String("    ")); ++j) {
            const QString l = lines[j].trimmed();
            if (l.contains(QLatin1String("instrument-sim")) && l.endsWith(QLatin1Char('&')))
                r.sim = l;
            else if (l.contains(QLatin1String("./run")))
                r.program = l;
            else if (l.startsWith(QLatin1String("kill")))
                r.stop = l;
        }
        break;
    }
    return r;
}

// An interactive bash on a pseudo-terminal of its own, as a user's terminal window.
class TerminalShell {
public:
    TerminalShell(const QString& folder, const QString& runtimeDir)
    {
        pid_ = ::forkpty(&master_, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            if (::chdir(QFile::encodeName(folder).constData()) != 0)
                _exit(126);
            ::setenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir).constData(), 1);
            ::setenv("PS1", "$ ", 1);
            ::setenv("TERM", "dumb", 1);
            ::execlp("bash", "bash", "--norc", "--noprofile", "-i", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~TerminalShell()
    {
        hangUp();
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool ok() const { return pid_ > 0 && master_ >= 0; }
    void type(const QString& line)
    {
        const QByteArray b = line.toLocal8Bit() + '\n';
        ssize_t r = ::write(master_, b.constData(), static_cast<size_t>(b.size()));
        (void)r;
    }
    // What the terminal showed since the start, until the pattern matches or ms pass.
    QRegularExpressionMatch waitFor(const QRegularExpression& re, int ms)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            const QRegularExpressionMatch m = re.match(QString::fromLocal8Bit(out_));
            if (m.hasMatch() || std::chrono::steady_clock::now() > end || master_ < 0)
                return m;
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char buf[1024];
                const ssize_t n = ::read(master_, buf, sizeof buf);
                if (n > 0)
                    out_.append(buf, static_cast<int>(n));
                else
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    }
    // Closes the terminal, as closing its window does.
    void hangUp()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }
    QString shown() const { return QString::fromLocal8Bit(out_); }

private:
    pid_t pid_ = -1;
    int master_ = -1;
    QByteArray out_;
};

char ProcessState(pid_t pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray s = f.readAll();
    const int close = s.lastIndexOf(')');
    return close > 0 && close + 2 < s.size() ? s[close + 2] : 0;
}

bool Gone(pid_t pid)
{
    const char s = ProcessState(pid);
    return s == 0 || s == 'Z' || s == 'X';
}

bool Eventually(const std::function<bool()>& cond, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

class ReadmeSimRoad : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        lines = SimulatorBlock();
        ASSERT_FALSE(lines.sim.isEmpty()) << "README names no simulator line";
        // A clone's folder whose build/bin is this build's.
        clone = tmp->file(QStringLiteral("clone"));
        ASSERT_TRUE(QDir().mkpath(clone + QStringLiteral("/build")));
        ASSERT_TRUE(QFile::link(QStringLiteral(KV_BIN_DIR), clone + QStringLiteral("/build/bin")));
        runtime = tmp->file(QStringLiteral("runtime"));
        ASSERT_TRUE(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        shell = std::make_unique<TerminalShell>(clone, runtime);
        ASSERT_TRUE(shell->ok());
        ASSERT_TRUE(shell->waitFor(QRegularExpression(QStringLiteral("\\$ ")), 10000).hasMatch()) << shell->shown().toStdString();
    }
    void TearDown() override
    {
        if (simPid > 0 && !Gone(simPid))
            ::kill(simPid, SIGKILL);
        shell.reset();
        ProgramFixture::TearDown();
    }
    // Types the README's simulator line; its process id, 0 when none.
    pid_t StartSimulator()
    {
        shell->type(lines.sim);
        shell->type(QStringLiteral("echo \"SIM\"\"PID=$!\""));
        const auto m = shell->waitFor(QRegularExpression(QStringLiteral("SIMPID=(\\d+)")), 10000);
        simPid = m.hasMatch() ? static_cast<pid_t>(m.captured(1).toInt()) : 0;
        return simPid;
    }
    QString Link() const { return runtime + QStringLiteral("/kestrovan-sim"); }

    ReadmeLines lines;
    QString clone, runtime;
    std::unique_ptr<TerminalShell> shell;
    pid_t simPid = 0;
};

} // namespace

TEST_F(ReadmeSimRoad, TheReadmeLinesGiveALiveTestToLockout)
{
    ASSERT_FALSE(lines.program.isEmpty());
    ASSERT_FALSE(lines.stop.isEmpty());
    ASSERT_GT(StartSimulator(), 0) << shell->shown().toStdString();
    ASSERT_TRUE(Eventually([&] { return QFileInfo(Link()).isSymLink(); }, 10000)) << shell->shown().toStdString();
    // In the background of the terminal: still running, never stopped for terminal input.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_EQ(ProcessState(simPid) == 'T', false) << "the simulator was stopped: " << shell->shown().toStdString();

    // The port the README's program line gives the program.
    QString probe = lines.program;
    probe.replace(QStringLiteral("./run"), QStringLiteral("sh -c 'echo \"PORTS=$KESTROVAN_SERIAL_PORTS\"'"));
    shell->type(probe);
    const auto m = shell->waitFor(QRegularExpression(QStringLiteral("PORTS=(/[^\\r\\n]*)")), 10000);
    ASSERT_TRUE(m.hasMatch()) << shell->shown().toStdString();
    const QByteArray oldPorts = qgetenv("KESTROVAN_SERIAL_PORTS");
    qputenv("KESTROVAN_SERIAL_PORTS", m.captured(1).toLocal8Bit());
    machinePorts = true;
    StartProgram();
    qputenv("KESTROVAN_SERIAL_PORTS", oldPorts);
    EXPECT_FALSE(answers->saw(QStringLiteral("Hardware Not Found. Try again?")));
    ASSERT_TRUE(fmComm->PortFound);
    EXPECT_FALSE(DemoMode);
    EXPECT_TRUE(fmComm->Streaming);
    EXPECT_EQ(fmKyr->StatusPanelText(1), QStringLiteral("Armed - Initiate test current"));
    // Nothing more is typed: the simulator plays its test current by itself.
    ASSERT_TRUE(WaitFor([] { return TestEngine->Result != 0 && !TestEngine->Running; }, 60000));
    EXPECT_EQ(TestEngine->Result, trLockout);
    EXPECT_EQ(fmKyr->OpCount, 4);
    StopProgram();

    shell->type(lines.stop);
    EXPECT_TRUE(Eventually([&] { return Gone(simPid); }, 10000)) << shell->shown().toStdString();
    EXPECT_FALSE(QFileInfo(Link()).isSymLink());
}

TEST_F(ReadmeSimRoad, ClosingTheTerminalEndsTheSimulatorAndRemovesItsLink)
{
    ASSERT_GT(StartSimulator(), 0) << shell->shown().toStdString();
    ASSERT_TRUE(Eventually([&] { return QFileInfo(Link()).isSymLink(); }, 10000)) << shell->shown().toStdString();
    shell->hangUp();
    EXPECT_TRUE(Eventually([&] { return Gone(simPid); }, 10000));
    EXPECT_FALSE(QFileInfo(Link()).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(Link()));
}
