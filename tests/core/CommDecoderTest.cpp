// The receive ring and the sample decoder, fed directly (no port).
#include "Cal.h"
#include "Comm.h"
#include "InstrumentSim.h"
#include "TestSupport.h"

#include <QLineEdit>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

class CommRing : public ::testing::Test {
protected:
    void SetUp() override
    {
        comm = std::make_unique<TfmComm>();
        fmComm = comm.get();
        comm->CommTimer->stop();
    }
    void TearDown() override { comm.reset(); }
    void Feed(std::vector<uint8_t> bytes) { comm->AppendRx(bytes.data(), int(bytes.size())); }
    // `n` pairs of distinct counts starting at count index `from`.
    static std::vector<uint8_t> Pairs(int from, int n, std::vector<int>* counts = nullptr)
    {
        std::vector<uint8_t> b;
        for (int i = from; i < from + n; ++i) {
            const int c = ((i * 4) % 4096) - 2048;
            uint8_t p[2];
            kvsim::EncodePair(c, i % 2, p);
            b.push_back(p[0]);
            b.push_back(p[1]);
            if (counts)
                counts->push_back(c);
        }
        return b;
    }
    std::unique_ptr<TfmComm> comm;
};

TEST_F(CommRing, DecoderTableOfBytePairs)
{
    struct Case {
        std::vector<uint8_t> bytes;
        int result;
        int consumed;
        int errors;
        uint8_t flags;
    } cases[] = {
        {{0x00, 0x01}, -2048, 2, 0, 0},
        {{0x00, 0x21}, 0, 2, 0, 0},
        {{0x04, 0x21}, 4, 2, 0, 0},
        {{0xFC, 0x3D}, 2044, 2, 0, 0},
        {{0xFE, 0xFF}, 2044, 2, 0, 0},          // bits 6 and 7 of the second byte do not count
        {{0x02, 0x23}, 0, 2, 0, 0},             // tag 1 on both: a good pair of count 0
        {{0x02, 0x21}, 0, 2, 1, ErrCharMatch},  // tags 1 and 0
        {{0x00, 0x22}, 0, 2, 1, ErrSecondChar},
        {{0x21, 0x00}, 0, 1, 1, ErrFirstChar},  // only the bad first byte goes
        {{0x40}, 0, 0, 0, 0},                   // one byte waiting: nothing taken
        {{}, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        comm->ClearInput(false);
        comm->ErrorCount = 0;
        comm->ErrorFlags = 0;
        Feed(c.bytes);
        const int before = comm->RxCount;
        EXPECT_EQ(comm->GetSample(), c.result) << int(c.bytes.size() ? c.bytes[0] : -1);
        EXPECT_EQ(before - comm->RxCount, c.consumed) << int(c.bytes.size() ? c.bytes[0] : -1);
        EXPECT_EQ(comm->ErrorCount, c.errors);
        EXPECT_EQ(comm->ErrorFlags, c.flags);
    }
    EXPECT_EQ(comm->BadFirstByte, 0x21);
}

TEST_F(CommRing, ALostByteCostsOneErrorAndTheDecoderFallsBackInStep)
{
    std::vector<int> counts;
    std::vector<uint8_t> b = Pairs(100, 4, &counts);
    b.erase(b.begin() + 2);  // the first byte of the second pair is lost
    Feed(b);
    EXPECT_EQ(comm->GetSample(), counts[0]);
    EXPECT_EQ(comm->GetSample(), 0);  // the stray second byte alone
    EXPECT_EQ(comm->ErrorCount, 1);
    EXPECT_EQ(comm->ErrorFlags, ErrFirstChar);
    EXPECT_EQ(comm->GetSample(), counts[2]);
    EXPECT_EQ(comm->GetSample(), counts[3]);
    EXPECT_EQ(comm->RxCount, 0);
    EXPECT_EQ(comm->ErrorCount, 1);
}

TEST_F(CommRing, SamplesComeOutInOrderAcrossTheWrap)
{
    // Move both indices close to the end of the ring, then stream across it.
    std::vector<uint8_t> filler(RxRingLast - 5, 0x00);
    comm->AppendRx(filler.data(), int(filler.size()));
    comm->RxTail = comm->RxHead;
    comm->RxCount = 0;
    comm->ErrorCount = 0;
    std::vector<int> counts;
    Feed(Pairs(0, 50, &counts));
    EXPECT_LT(comm->RxHead, 200);  // wrapped
    for (int c : counts)
        ASSERT_EQ(comm->GetSample(), c);
    EXPECT_EQ(comm->RxCount, 0);
    EXPECT_EQ(comm->RxTail, comm->RxHead);
    EXPECT_EQ(comm->ErrorCount, 0);
}

// A full ring gives up its oldest bytes: what is read afterwards is the newest
// 100001 bytes in order, and the loss is counted and flagged.
TEST_F(CommRing, OverflowDropsTheOldestBytesAndSaysSo)
{
    std::vector<int> counts;
    const int pairs = 50500;  // 101000 bytes: 999 more than the ring holds
    std::vector<uint8_t> b = Pairs(0, pairs, &counts);
    // In clusters, as the port delivers them.
    for (size_t at = 0; at < b.size(); at += 1000)
        comm->AppendRx(b.data() + at, int(std::min<size_t>(1000, b.size() - at)));
    EXPECT_EQ(comm->RxCount, RxRingSize);
    EXPECT_EQ(comm->ErrorCount, 1);
    EXPECT_EQ(comm->ErrorFlags, ErrBufferMax);
    // 999 bytes lost: the tail now sits on a second byte, which the decoder skips.
    EXPECT_EQ(comm->GetSample(), 0);
    EXPECT_EQ(comm->ErrorCount, 2);
    std::vector<int> got;
    while (comm->RxCount >= 2)
        got.push_back(comm->GetSample());
    ASSERT_EQ(got.size(), size_t(pairs - 500));
    EXPECT_TRUE(std::equal(got.begin(), got.end(), counts.begin() + 500));
    EXPECT_EQ(comm->ErrorCount, 2);
}

TEST_F(CommRing, ClusterSizeAndNearlyFullQueueAreRecorded)
{
    std::vector<uint8_t> small(100, 0x00), big(47998, 0x00), just(47997, 0x00);
    comm->AppendRx(small.data(), int(small.size()));
    EXPECT_EQ(comm->RxDCount, 100);
    EXPECT_EQ(comm->MaxRxD, 100);
    EXPECT_EQ(comm->ErrorCount, 0);
    comm->AppendRx(just.data(), int(just.size()));
    EXPECT_EQ(comm->ErrorCount, 0);
    comm->AppendRx(big.data(), int(big.size()));
    EXPECT_EQ(comm->ErrorCount, 1);
    EXPECT_EQ(comm->ErrorFlags, ErrBufferMax);
    EXPECT_EQ(comm->MaxRxD, 47998);
    comm->BtnClearClick();
    EXPECT_EQ(comm->ErrorCount, 0);
    EXPECT_EQ(comm->MaxRxD, 0);
    EXPECT_EQ(comm->LastErrorCount, 0);
}

TEST_F(CommRing, ClosedPortSendsNothingAndStartsNothing)
{
    // The range goes nowhere and the stream stays as it was without a found port.
    ScriptedMessages m;
    comm->SendRange(1);
    comm->StartComm();
    EXPECT_FALSE(comm->Streaming);
    EXPECT_EQ(comm->TestComm(QStringLiteral("/nonexistent/port")), 1);
    char buf[CalBufferSize] = "untouched";
    EXPECT_FALSE(comm->ReceiveCal(buf));
    EXPECT_STREQ(buf, "untouched");
}

TEST_F(CommRing, ErrorMaskBoxReadsHexOr255)
{
    const std::pair<const char*, int> cases[] = {{"1F", 0x1f}, {"ff", 255}, {"0", 0}, {"zz", 255}, {"", 255}};
    for (auto [text, mask] : cases) {
        comm->ErrorMaskBox->setText(QString::fromLatin1(text));
        comm->ErrorMaskBoxChange();
        EXPECT_EQ(comm->ErrorMask, mask) << text;
        EXPECT_EQ(comm->ErrorMaskBox->text(), QString::number(mask, 16)) << text;
    }
}

TEST(CommStatusTimer, RestsWithNothingToWatchAndWakesForANewError)
{
    // Its own window: the ring fixture stops the timer for good.
    TfmComm comm;
    fmComm = &comm;
    ASSERT_TRUE(comm.CommTimer->isActive());  // from creation
    comm.CommTimerTimer();                    // no stream, no new error: it rests
    EXPECT_FALSE(comm.CommTimer->isActive());
    // A bad pair counts an error: the timer wakes to note it, then rests again.
    const uint8_t badFirst[2] = {0x01, 0x01};
    comm.AppendRx(badFirst, 2);
    EXPECT_EQ(comm.GetSample(), 0);
    EXPECT_EQ(comm.ErrorCount, 1);
    EXPECT_TRUE(comm.CommTimer->isActive());
    comm.CommTimerTimer();
    EXPECT_EQ(comm.LastErrorCount, 1);
    EXPECT_FALSE(comm.CommTimer->isActive());
    // A ring overflow wakes it too.
    std::vector<uint8_t> flood(RxRingSize + 2, 0x00);
    comm.AppendRx(flood.data(), static_cast<int>(flood.size()));
    EXPECT_GT(comm.ErrorCount, 1);
    EXPECT_TRUE(comm.CommTimer->isActive());
    // A timer its owner stopped stays stopped.
    comm.CommTimer->stop();
    comm.AppendRx(badFirst, 2);
    comm.GetSample();
    EXPECT_FALSE(comm.CommTimer->isActive());
    // Nothing was shown: the boxes were never written.
    EXPECT_TRUE(comm.ErrorCountBox->text().isEmpty());
    fmComm = nullptr;
}

}  // namespace
