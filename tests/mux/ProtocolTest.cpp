// What the console puts on the line, byte for byte, for each program and device family.

#include "tests/mux/Rig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct Family {
    const char* name;
    MuxVariant variant;
    MuxFamily family;
    std::vector<std::string> burst; // the first queries after the port opened
    bool full;                      // all options usable
    bool channelIDs;                // the channel-ID option usable
};

const Family kFamilies[] = {
    {"legacy",
     MuxVariant::Legacy,
     MuxFamily::Legacy,
     {"$PQVXVER", "$PQVXCFQ", "$PQVXIDQ", "$PQVXSPQ", "$PQVXFLQ"},
     true,
     false},
    {"third",
     MuxVariant::Current,
     MuxFamily::ThirdGeneration,
     {"$PQVXVER", "$PQVXCFQ", "$PQVXIDQ", "$PQVXFLQ"},
     true,
     false},
    {"model42",
     MuxVariant::Current,
     MuxFamily::Model42,
     {"$PQVXVER", "$PQVXCFQ", "$PQVXIDQ", "$PQVXFLQ"},
     true,
     true},
    {"other",
     MuxVariant::Current,
     MuxFamily::Other,
     {"$PQVXVER", "$PQVXCFQ", "$PQVXIDQ", "$PQVXFLQ"},
     false,
     false},
};

std::vector<std::string> framedAll(const std::vector<std::string>& sentences) {
    std::vector<std::string> out;
    for (const auto& s : sentences)
        out.push_back(framed(s));
    return out;
}

} // namespace

TEST(MuxProtocol, IdentifiesEachFamilyAfterOneQueryBurst) {
    for (const Family& f : kFamilies) {
        SCOPED_TRACE(f.name);
        Rig rig(RigOptions::of(f.variant, f.family).withTraffic(20));
        ASSERT_TRUE(rig.waitIdentified());
        const MuxState state = rig.sim().state();
        MuxWindow& w = rig.win();
        EXPECT_EQ(w.deviceField->text().toStdString(), state.name);
        EXPECT_EQ(w.serialField->text().toStdString(), state.serial);
        EXPECT_EQ(w.versionField->text().toStdString(), state.firmware);
        EXPECT_EQ(w.modeComboBox->currentIndex(), state.mode);
        EXPECT_TRUE(w.rateComboBox->isEnabled());

        auto lines = rig.sentLines();
        ASSERT_GE(lines.size(), f.burst.size());
        lines.resize(f.burst.size());
        EXPECT_EQ(lines, framedAll(f.burst));

        EXPECT_TRUE(w.modeComboBox->isEnabled());
        EXPECT_TRUE(w.seatalkButton->isEnabled());
        EXPECT_EQ(w.priorityButton->isEnabled(), f.full);
        EXPECT_EQ(w.talkerIDFields[3]->isEnabled(), f.full);
        EXPECT_EQ(w.captureButton->isEnabled(), f.full);
        if (w.channelIDsButton) {
            EXPECT_EQ(w.channelIDsButton->isEnabled(), f.channelIDs);
        }
        EXPECT_EQ(rig.ctl().thirdGeneration(), f.family == MuxFamily::ThirdGeneration);

        // The port-open line, the replies and the traffic scroll by.
        ASSERT_TRUE(Rig::waitFor([&] { return rig.monitor().count("\n$") > 8; }));
        const QString text = rig.monitor();
        EXPECT_TRUE(text.startsWith(
            QString("#### Open %1 at 4800\n").arg(QString::fromStdString(rig.sim().portPath()))))
            << text.left(80).toStdString();
        EXPECT_TRUE(text.contains("$PQVXVER,")) << text.left(200).toStdString();
    }
}

TEST(MuxProtocol, ConfigurationLayoutsOfEachFamily) {
    struct Case {
        const char* name;
        MuxVariant variant;
        MuxFamily family;
        std::vector<std::string> sent;
    } cases[] = {
        // Hub mode, SeaTalk (the click), channel numbers, real time on channel 1 and 3, heading.
        {"legacy", MuxVariant::Legacy, MuxFamily::Legacy, {"$PQVXCF,0,1,1,0,1,1010,1,0"}},
        {"third",
         MuxVariant::Current,
         MuxFamily::ThirdGeneration,
         {"$PQVXCF,0,1,1,0,1,1010,", "$PQVXCF,,,,,,,1"}},
        {"model42",
         MuxVariant::Current,
         MuxFamily::Model42,
         {"$PQVXCF,0,1,1,0,1,0,1010,", "$PQVXCF,,,,,,,,1"}},
        {"other", MuxVariant::Current, MuxFamily::Other, {"$PQVXCF,0,1,1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(RigOptions::of(c.variant, c.family));
        ASSERT_TRUE(rig.waitIdentified());
        rig.settle();
        MuxWindow& w = rig.win();
        w.rateComboBox->setCurrentIndex(0);
        w.modeComboBox->setCurrentIndex(1);
        w.seatalkButton->setChecked(false);
        w.priorityButton->setChecked(false);
        w.channelNumbersButton->setChecked(true);
        if (w.channelIDsButton)
            w.channelIDsButton->setChecked(false);
        if (w.aisButton)
            w.aisButton->setChecked(false);
        for (int k = 0; k < 4; ++k)
            w.realtimeButtons[size_t(k)]->setChecked(k % 2 == 0);
        w.headingButton->setChecked(true);
        rig.sim().clearReceived();
        w.seatalkButton->click();

        ASSERT_TRUE(rig.waitSent("$PQVXCFQ"));
        std::vector<std::string> expected = framedAll(c.sent);
        expected.push_back(framed("$PQVXCFQ"));
        EXPECT_EQ(rig.sentLines(), expected);

        // The device took it, and its reply leaves the panel as edited.
        ASSERT_TRUE(Rig::waitFor([&] { return rig.sim().state().seatalk == 1; }));
        EXPECT_EQ(rig.sim().state().mode, 1);
        if (c.family != MuxFamily::Other) {
            EXPECT_EQ(rig.sim().state().realtime, "1010");
            EXPECT_EQ(rig.sim().state().heading, 1);
        }
        EXPECT_TRUE(w.seatalkButton->isChecked());
    }
}

TEST(MuxProtocol, ConfigurationWhileFamilyUnknownAndWithoutSelection) {
    Rig rig(RigOptions::of(MuxVariant::Current, MuxFamily::ThirdGeneration));
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle();
    MuxWindow& w = rig.win();
    w.seatalkButton->setChecked(true);
    w.rateComboBox->setCurrentIndex(2);
    w.modeComboBox->setCurrentIndex(-1);
    EXPECT_EQ(rig.ctl().commandSentences(MuxController::SendConfiguration),
              (std::vector<std::string>{"$PQVXCF,2,-1,1,0,0,0000,", "$PQVXCF,,,,,,,0"}));
    // Between the version query and its reply the family is unknown: the short layout.
    rig.ctl().sendQuery(MuxController::QueryVersion);
    EXPECT_FALSE(rig.ctl().velmar42());
    EXPECT_EQ(rig.ctl().commandSentences(MuxController::SendConfiguration),
              (std::vector<std::string>{"$PQVXCF,2,-1,1"}));
}

TEST(MuxProtocol, TwoEditsBetweenReaderTurnsGiveOneSentence) {
    Rig rig(RigOptions::of(MuxVariant::Legacy, MuxFamily::Legacy));
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle();
    MuxWindow& w = rig.win();
    const bool seatalk = w.seatalkButton->isChecked(), priority = w.priorityButton->isChecked();
    rig.sim().clearReceived();
    w.seatalkButton->click();
    w.priorityButton->click();
    ASSERT_TRUE(rig.waitSent("$PQVXCFQ"));
    auto lines = rig.sentLines();
    const auto configurations = std::count_if(
        lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("$PQVXCF,", 0) == 0; });
    EXPECT_EQ(configurations, 1);
    ASSERT_TRUE(Rig::waitFor([&] { return rig.sim().state().priority == int(!priority); }));
    EXPECT_EQ(rig.sim().state().seatalk, int(!seatalk));
}

TEST(MuxProtocol, ChannelSpeedsOfTheEarlierGeneration) {
    Rig rig(RigOptions::of(MuxVariant::Legacy, MuxFamily::Legacy));
    ASSERT_TRUE(rig.waitIdentified());
    MuxWindow& w = rig.win();
    ASSERT_TRUE(Rig::waitFor([&] { return w.rateOut2ComboBox->isEnabled(); }));
    rig.settle();
    w.rateInComboBoxes[1]->setCurrentIndex(3);
    w.rateOut2ComboBox->setCurrentIndex(1);
    rig.sim().clearReceived();
    emit w.rateOut2ComboBox->activated(1);
    ASSERT_TRUE(rig.waitSent("$PQVXSPQ"));
    EXPECT_EQ(rig.sentLines(), framedAll({"$PQVXSP,0,3,0,0,1", "$PQVXSPQ"}));
    ASSERT_TRUE(Rig::waitFor([&] { return rig.sim().state().channelSpeeds[1] == 3; }));
    EXPECT_EQ(rig.sim().state().channelSpeeds[4], 1);
}
