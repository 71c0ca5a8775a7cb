// A serial port the user has no rights to: the search traces the system's reason, and
// before the question whether to try again one box says which port and what to do.
#include "ProgramFixture.h"

#include "CommDevice.h"
#include "Comm.h"
#include "Dialogs.h"
#include "KyrGlobals.h"
#include "PosixComm.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A pseudo-terminal nobody may open: no permission bits, and opened with the rights of
// an ordinary user (root would open it anyway) through the real device open.
class PortRightsTest : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(grantpt(master_), 0);
        ASSERT_EQ(unlockpt(master_), 0);
        slave_ = ptsname(master_);
        ASSERT_EQ(chmod(slave_.c_str(), 0), 0);
        SetCommDeviceFactory([this](const std::string& path, DWORD& error) -> std::shared_ptr<CommDevice> {
            if (path != slave_)
                return nullptr;
            const int previous = setfsuid(65534);
            auto device = OpenPosixCommDevice(path, GENERIC_READ | GENERIC_WRITE, true, error);
            setfsuid(previous);
            return device;
        });
        serialPorts = {QString::fromStdString(slave_)};
    }
    void TearDown() override
    {
        ProgramFixture::TearDown();
        SetCommDeviceFactory(nullptr);
        if (master_ >= 0)
            close(master_);
    }
    int master_ = -1;
    std::string slave_;
};

TEST_F(PortRightsTest, ARefusedPortIsNamedWithWhatTheUserMustDo)
{
    StartProgram();  // the default answer to the question: Cancel
    const QString port = QString::fromStdString(slave_);
    EXPECT_TRUE(TraceText().contains(QStringLiteral("OpenComm ") + port + QStringLiteral(" failed: ") +
                                     QString::fromLocal8Bit(std::strerror(EACCES))))
        << qPrintable(TraceText().right(2000));

    // One information box, then the question.
    std::vector<QString> texts;
    for (const MessageRequest& r : answers->requests)
        texts.push_back(r.text);
    const auto question = std::find(texts.begin(), texts.end(), QStringLiteral("Hardware Not Found. Try again?"));
    ASSERT_NE(question, texts.end());
    ASSERT_NE(question, texts.begin());
    const MessageRequest& box = answers->requests[static_cast<size_t>(question - texts.begin() - 1)];
    EXPECT_TRUE(box.text.contains(port)) << qPrintable(box.text);
    EXPECT_TRUE(box.text.contains(QStringLiteral("\"dialout\" group"))) << qPrintable(box.text);
    EXPECT_TRUE(box.text.contains(QStringLiteral("log in again"))) << qPrintable(box.text);
    EXPECT_EQ(box.flags, unsigned(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(), [](const QString& t) { return t.contains(QStringLiteral("dialout")); }), 1);
    EXPECT_TRUE(DemoMode);
}

// A port that is only missing or in use says nothing of rights.
TEST_F(PortRightsTest, APortInUseGetsNoRightsBox)
{
    ASSERT_EQ(chmod(slave_.c_str(), 0620), 0);
    SetCommDeviceFactory(nullptr);
    DWORD error = 0;
    auto holder = OpenPosixCommDevice(slave_, GENERIC_READ | GENERIC_WRITE, true, error);
    ASSERT_NE(holder, nullptr);
    StartProgram();
    EXPECT_TRUE(TraceText().contains(QStringLiteral(" failed: ") + QString::fromLocal8Bit(std::strerror(EBUSY))));
    EXPECT_TRUE(answers->saw(QStringLiteral("Hardware Not Found. Try again?")));
    EXPECT_FALSE(answers->find(QStringLiteral("The serial port")));
    holder.reset();
}

} // namespace
