// The meter's properties, scale, zones and events: no pixels looked at here.
#include "AnalogMeter.h"
#include "SysUtils.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float Inf = std::numeric_limits<float>::infinity();

// A 0..100 meter with zones 10/90 whose events are written down in order.
struct RecordingMeter {
    std::unique_ptr<TAnalogMeter> m = std::make_unique<TAnalogMeter>();
    std::vector<std::string> events;

    explicit RecordingMeter(bool assignFallBelowLow = true, bool assignRiseAboveHigh = true)
    {
        auto rec = [this](const char* name) {
            return [this, name](QObject* sender) {
                EXPECT_EQ(sender, m.get());
                events.push_back(name);
            };
        };
        m->onChange = rec("Change");
        if (assignFallBelowLow)
            m->onFallBelowLow = rec("FallBelowLow");
        if (assignRiseAboveHigh)
            m->onRiseAboveHigh = rec("RiseAboveHigh");
        m->onFallBelowHigh = rec("FallBelowHigh");
        m->onRiseAboveLow = rec("RiseAboveLow");
    }
    std::vector<std::string> take()
    {
        auto e = std::move(events);
        events.clear();
        return e;
    }
};

using Events = std::vector<std::string>;

}  // namespace

TEST(AnalogMeterScale, ConstructorValues)
{
    TAnalogMeter m;
    EXPECT_EQ(m.Caption(), "mV");
    EXPECT_EQ(m.Min(), 0);
    EXPECT_EQ(m.Max(), 100);
    EXPECT_EQ(m.Value(), 0);
    EXPECT_EQ(m.AngularRange(), 270);
    EXPECT_EQ(m.StartAngle(), 45);
    EXPECT_EQ(m.TickCount(), 11);
    EXPECT_EQ(m.LowZoneValue(), 10);
    EXPECT_EQ(m.HighZoneValue(), 90);
    EXPECT_EQ(m.LowZone(), 10);
    EXPECT_EQ(m.HighZone(), 90);
    EXPECT_EQ(m.LowZoneColor(), clYellow);
    EXPECT_EQ(m.HighZoneColor(), clRed);
    EXPECT_EQ(m.OKZoneColor(), cl3DLight);
    EXPECT_EQ(m.Color(), clBtnFace);
    EXPECT_EQ(m.TickColor(), clBlack);
    EXPECT_TRUE(m.ShowTicks() && m.ShowZones() && m.ShowFrame() && m.ShowValue() && m.EnableZoneEvents);
    EXPECT_FALSE(m.ShowTicksScale() || m.ShowBackground() || m.LogScale() || m.TransparentZones());
    EXPECT_EQ(m.TickPrecision(), 7);
    EXPECT_EQ(m.TickDigits(), 1);
    EXPECT_EQ(m.ValuePrecision(), 7);
    EXPECT_EQ(m.ValueDigits(), 1);
    EXPECT_EQ(m.KnobSize(), 10);
    EXPECT_EQ(m.NeedleWidth(), 2);
    EXPECT_EQ(m.CaptionPosition(), cpTop);
    EXPECT_EQ(m.CaptionVertAdj(), 0);
    EXPECT_EQ(m.ValueVertAdj(), 0);
    EXPECT_EQ(m.BackGroundTop(), 0);
    EXPECT_EQ(m.BackGroundLeft(), 0);
    EXPECT_FALSE(m.TickValAbbr());
    EXPECT_TRUE(m.BackGround()->Empty());
    EXPECT_EQ(m.PrevValue(), 0);
    EXPECT_EQ(m.TextHeight(), 8);
    EXPECT_EQ(m.width(), 121);
    EXPECT_EQ(m.height(), 117);
    // Properties are reachable by name, as on any window's form.
    EXPECT_EQ(m.property("Max").toFloat(), 100);
    EXPECT_TRUE(m.setProperty("TickCount", 21));
    EXPECT_EQ(m.TickCount(), 21);
}

TEST(AnalogMeterScale, ValueToAngle)
{
    struct Case {
        float min, max;
        bool log;
        int range;
        float v, angle;
    } cases[] = {
        {0, 1000, false, 270, 0, 45},
        {0, 1000, false, 270, 500, 180},
        {0, 1000, false, 270, 1000, 315},
        {0, 1000, false, 270, 250, 112.5f},
        {-50, 50, false, 270, 0, 180},
        {0, 100, false, 180, 50, 180},  // start at 90: from left over the top to right
        {0, 100, false, 360, 0, 0},
        {0, 100, false, 360, 100, 360},
        {1, 1000, true, 270, 1, 45},
        {1, 1000, true, 270, 10, 135},
        {1, 1000, true, 270, 100, 225},
        {1, 1000, true, 270, 1000, 315},
        {1, 1000, true, 270, 0, 45},    // nothing at or below zero on a log scale: its start
        {1, 1000, true, 270, -7, 45},
        {5, 5, false, 270, 5, 0},       // an empty scale maps every value to 0
        {5, 5, true, 270, 5, 0},
    };
    for (const Case& c : cases) {
        TAnalogMeter m;
        m.SetLogScale(c.log);
        m.SetMax(c.max);
        m.SetMin(c.min);
        m.SetAngularRange(c.range);
        ASSERT_EQ(m.Min(), c.min);
        ASSERT_EQ(m.Max(), c.max);
        EXPECT_NEAR(m.ValueToAngle(c.v), c.angle, 1e-3)
            << c.min << ".." << c.max << (c.log ? " log" : "") << " range " << c.range << " v " << c.v;
    }
}

TEST(AnalogMeterScale, ClampingWrites)
{
    TAnalogMeter m;
    m.SetValue(150);
    EXPECT_EQ(m.Value(), 100);
    m.SetValue(-3);
    EXPECT_EQ(m.Value(), 0);
    m.SetValue(Inf);
    EXPECT_EQ(m.Value(), 100);
    m.SetValue(NaN);  // ignored, never stored
    EXPECT_EQ(m.Value(), 100);

    m.SetTickCount(200);
    EXPECT_EQ(m.TickCount(), 100);
    m.SetTickCount(0);
    EXPECT_EQ(m.TickCount(), 0);

    struct { int in, range; float start; } ranges[] = {{5, 10, 175}, {400, 360, 0}, {180, 180, 90}, {-1, 10, 175}};
    for (auto r : ranges) {
        m.SetAngularRange(r.in);
        EXPECT_EQ(m.AngularRange(), r.range) << r.in;
        EXPECT_EQ(m.StartAngle(), r.start) << r.in;
    }

    struct { int in; int8_t stored; } adj[] = {{30, 30}, {31, 30}, {-30, -30}, {-31, -30}, {0, 0}, {100, 0}};
    for (auto a : adj) {
        m.SetCaptionVertAdj(int8_t(a.in));
        m.SetValueVertAdj(int8_t(a.in));
        EXPECT_EQ(m.CaptionVertAdj(), a.stored) << a.in;
        EXPECT_EQ(m.ValueVertAdj(), a.stored) << a.in;
    }

    m.SetCaption("  % FS x 10 \t");
    EXPECT_EQ(m.Caption(), "% FS x 10");
    m.SetCaption("   ");
    EXPECT_EQ(m.Caption(), "");
}

TEST(AnalogMeterScale, BoundsPushEachOtherAndKeepTheZonesInPlace)
{
    {
        TAnalogMeter m;  // 0..100, zones 10/90
        m.SetMax(1000);
        EXPECT_EQ(m.LowZoneValue(), 100);
        EXPECT_EQ(m.HighZoneValue(), 900);
        m.SetMin(500);
        EXPECT_EQ(m.LowZoneValue(), 550);
        EXPECT_EQ(m.HighZoneValue(), 950);
        EXPECT_EQ(m.Value(), 500);
    }
    {
        TAnalogMeter m;
        m.SetMin(200);  // above Max: Max follows, everything sits at 200
        EXPECT_EQ(m.Min(), 200);
        EXPECT_EQ(m.Max(), 200);
        EXPECT_EQ(m.Value(), 200);
        EXPECT_EQ(m.LowZoneValue(), 200);
        EXPECT_EQ(m.HighZoneValue(), 200);
        EXPECT_EQ(m.LowZone(), 0);  // no scale: percentages read 0
        EXPECT_EQ(m.ValueToAngle(200), 0);
    }
    {
        TAnalogMeter m;
        m.SetValue(60);
        m.SetMax(-50);  // below Min: Min follows
        EXPECT_EQ(m.Min(), -50);
        EXPECT_EQ(m.Max(), -50);
        EXPECT_EQ(m.Value(), -50);
    }
    {
        TAnalogMeter m;
        m.SetValue(60);
        m.SetMax(40);
        EXPECT_EQ(m.Value(), 40);
        EXPECT_EQ(m.LowZoneValue(), 4);
        EXPECT_EQ(m.HighZoneValue(), 36);
    }
    {
        TAnalogMeter m;  // bounds that are not numbers are ignored
        for (float bad : {NaN, Inf, -Inf}) {
            m.SetMin(bad);
            m.SetMax(bad);
        }
        m.SetLowZoneValue(NaN);
        m.SetHighZoneValue(NaN);
        EXPECT_EQ(m.Min(), 0);
        EXPECT_EQ(m.Max(), 100);
        EXPECT_EQ(m.LowZoneValue(), 10);
        EXPECT_EQ(m.HighZoneValue(), 90);
        m.SetHighZoneValue(-Inf);  // infinite boundaries are merely out of range
        EXPECT_EQ(m.HighZoneValue(), 0);
    }
}

TEST(AnalogMeterScale, LogScaleNeverHoldsValuesAtOrBelowZero)
{
    {
        TAnalogMeter m;  // Min 0, Value 0
        m.SetLogScale(true);
        EXPECT_EQ(m.Min(), 1);
        EXPECT_EQ(m.Value(), 1);
        EXPECT_EQ(m.Max(), 100);
        EXPECT_EQ(m.LowZoneValue(), 10);
        EXPECT_TRUE(m.LogScale());
    }
    {
        TAnalogMeter m;  // a scale wholly below 1: Max and the zones come along
        m.SetMax(0.5f);
        m.SetLowZoneValue(0.1f);
        m.SetLogScale(true);
        EXPECT_EQ(m.Min(), 1);
        EXPECT_EQ(m.Max(), 1);
        EXPECT_EQ(m.LowZoneValue(), 1);
        EXPECT_EQ(m.HighZoneValue(), 1);
        EXPECT_EQ(m.Value(), 1);
    }
    {
        TAnalogMeter m;
        m.SetLogScale(true);
        m.SetMax(1000);
        m.SetMax(-5);  // a bound at or below zero becomes 1 before it pushes Min
        EXPECT_EQ(m.Max(), 1);
        EXPECT_EQ(m.Min(), 1);
        m.SetMax(1000);
        m.SetMin(-3);
        EXPECT_EQ(m.Min(), 1);
        m.SetMin(0);
        EXPECT_EQ(m.Min(), 1);
        m.SetValue(-20);
        EXPECT_EQ(m.Value(), 1);
        for (float v : {1.0f, 10.0f, 1000.0f, m.LowZoneValue(), m.HighZoneValue()})
            EXPECT_TRUE(std::isfinite(m.ValueToAngle(v))) << v;
        EXPECT_GT(m.Min(), 0);
        EXPECT_LE(m.Min(), m.LowZoneValue());
        EXPECT_LE(m.HighZoneValue(), m.Max());
    }
    {
        TAnalogMeter m;  // switching off keeps the bounds
        m.SetLogScale(true);
        m.SetLogScale(false);
        EXPECT_EQ(m.Min(), 1);
        EXPECT_FALSE(m.LogScale());
    }
}

TEST(AnalogMeterScale, ZonePercentages)
{
    struct Case {
        float min, max, lowValue, highValue;
        int lowPct, highPct;
    } reads[] = {
        {0, 100, 10, 90, 10, 90},
        {0, 1000, 200, 800, 20, 80},
        {0, 100, 12.5f, 87.5f, 12, 88},  // halves to even
        {-100, 100, 0, 50, 50, 75},
        {0, 100, 0, 100, 0, 100},
    };
    for (const Case& c : reads) {
        TAnalogMeter m;
        m.SetMax(c.max);
        m.SetMin(c.min);
        m.SetHighZoneValue(c.highValue);
        m.SetLowZoneValue(c.lowValue);
        EXPECT_EQ(m.LowZone(), c.lowPct) << c.lowValue;
        EXPECT_EQ(m.HighZone(), c.highPct) << c.highValue;
    }

    TAnalogMeter m;
    m.SetMax(1000);
    m.SetLowZone(20);
    m.SetHighZone(80);
    EXPECT_EQ(m.LowZoneValue(), 200);
    EXPECT_EQ(m.HighZoneValue(), 800);
    m.SetHighZone(150);  // percentages above 100 are 100
    EXPECT_EQ(m.HighZoneValue(), 1000);
    m.SetLowZone(255);
    EXPECT_EQ(m.LowZoneValue(), 1000);

    // Boundary values are clamped into the scale and push each other.
    TAnalogMeter z;
    z.SetLowZoneValue(95);
    EXPECT_EQ(z.LowZoneValue(), 95);
    EXPECT_EQ(z.HighZoneValue(), 95);
    z.SetHighZoneValue(5);
    EXPECT_EQ(z.HighZoneValue(), 5);
    EXPECT_EQ(z.LowZoneValue(), 5);
    z.SetHighZoneValue(500);
    EXPECT_EQ(z.HighZoneValue(), 100);
    z.SetLowZoneValue(-1);
    EXPECT_EQ(z.LowZoneValue(), 0);
}

TEST(AnalogMeterEvents, ValueMovesAcrossTheZones)
{
    struct Step {
        float to;
        Events events;
    };
    // Zones 10/90, all events assigned; the value starts at 0.
    const Step steps[] = {
        {50, {"Change", "RiseAboveLow"}},
        {95, {"Change", "RiseAboveHigh"}},
        {95, {}},                            // same value: nothing
        {150, {"Change"}},                   // clamped to 100, still above high
        {100, {}},
        {5, {"Change", "FallBelowLow"}},     // a jump across both zones: one event
        {95, {"Change", "RiseAboveHigh"}},   // and back up: one event
        {50, {"Change", "FallBelowHigh"}},
        {10, {"Change"}},                    // on the low boundary is not below it
        {9.5f, {"Change", "FallBelowLow"}},
        {10, {"Change", "RiseAboveLow"}},
        {90, {"Change", "RiseAboveHigh"}},   // on the high boundary is above it
        {89.9f, {"Change", "FallBelowHigh"}},
    };
    RecordingMeter r;
    for (const Step& s : steps) {
        const float before = r.m->Value();
        r.m->SetValue(s.to);
        EXPECT_EQ(r.take(), s.events) << before << " -> " << s.to;
    }
    EXPECT_EQ(r.m->PrevValue(), 90);
}

TEST(AnalogMeterEvents, UnassignedCrossingsGiveWayToTheInnerBoundary)
{
    {
        RecordingMeter r(false, true);  // no onFallBelowLow
        r.m->SetValue(95);
        r.take();
        r.m->SetValue(5);
        EXPECT_EQ(r.take(), (Events{"Change", "FallBelowHigh"}));
    }
    {
        RecordingMeter r(true, false);  // no onRiseAboveHigh
        r.m->SetValue(5);
        r.take();
        r.m->SetValue(95);
        EXPECT_EQ(r.take(), (Events{"Change", "RiseAboveLow"}));
    }
    {
        RecordingMeter r;
        r.m->EnableZoneEvents = false;
        r.m->SetValue(95);
        r.m->SetValue(5);
        r.m->SetLowZoneValue(50);
        EXPECT_EQ(r.take(), (Events{"Change", "Change"}));
    }
}

TEST(AnalogMeterEvents, BoundariesMovingPastTheValue)
{
    struct Step {
        const char* what;
        float to;
        Events events;
    };
    // Value 50, zones 10/90.
    const Step steps[] = {
        {"low", 60, {"FallBelowLow"}},   // the low boundary rose past the value
        {"low", 70, {}},
        {"low", 40, {"RiseAboveLow"}},
        {"low", 50, {}},                 // onto the value: the value is at the boundary, not below it
        {"high", 50, {"RiseAboveHigh"}}, // the high boundary fell onto the value
        {"high", 80, {"FallBelowHigh"}},
        {"high", 85, {}},
    };
    RecordingMeter r;
    r.m->SetValue(50);
    r.take();
    for (const Step& s : steps) {
        if (std::string(s.what) == "low")
            r.m->SetLowZoneValue(s.to);
        else
            r.m->SetHighZoneValue(s.to);
        EXPECT_EQ(r.take(), s.events) << s.what << " -> " << s.to;
    }
}

TEST(AnalogMeterScale, Texts)
{
    const QChar saved = DecimalSeparator;
    TAnalogMeter m;
    struct { float v; int prec, digits; const char* text; } values[] = {
        {123.456f, 7, 1, "123.5"},
        {0, 7, 1, "0.0"},
        {-0.04f, 7, 1, "0.0"},
        {-12.25f, 7, 1, "-12.3"},  // halves away from zero
        {500, 7, 0, "500"},
        {123.456f, 3, 2, "123.00"},  // no more than the precision's digits, padded
        {99.96f, 3, 1, "100.0"},
        {123456789.0f, 7, 1, "1.234568E8"},
    };
    for (auto c : values) {
        m.SetValuePrecision(uint8_t(c.prec));
        m.SetValueDigits(uint8_t(c.digits));
        EXPECT_EQ(m.ValueText(c.v), c.text) << c.v;
    }
    DecimalSeparator = ',';
    m.SetValuePrecision(7);
    m.SetValueDigits(1);
    EXPECT_EQ(m.ValueText(2.5f), "2,5");

    struct { float v; int digits; bool abbr; const char* text; } labels[] = {
        {900, 1, true, "900,0"},
        {1000, 1, true, "1k0"},
        {2500, 1, true, "2k5"},
        {2000, 0, true, "2"},
        {1500000, 1, true, "1M5"},
        {2500, 1, false, "2500,0"},
    };
    for (auto c : labels) {
        m.SetTickDigits(uint8_t(c.digits));
        m.SetTickValAbbr(c.abbr);
        EXPECT_EQ(m.TickLabel(c.v), c.text) << c.v;
    }
    EXPECT_EQ(DecimalSeparator, ',');  // the program-wide separator stays as it was
    DecimalSeparator = saved;
}
