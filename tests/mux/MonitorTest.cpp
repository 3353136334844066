// The monitor as a user meets it: its view options and their memory, the scrollback's bound and
// the reader's place, the Sentences tab, and the connection shown in the device pane.

#include "mux/MonitorView.h"
#include "mux/panes/SentencesView.h"
#include "support/Settings.h"
#include "tests/mux/ConsoleRig.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTabWidget>
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

QString local(const char* key) {
    return QString::fromStdString(Alert::localizedStringWithKey(key));
}

// Each line the console shows of the device's: its time, a failed line and what was sent, each
// only while its option is on; the filter hides and gives back; all of it remembered.
TEST(MuxMonitor, ViewOptionsShowWhatTheyNameAndAreRemembered) {
    const auto wall = std::chrono::system_clock::from_time_t(1700000000) + 123ms;
    ConsoleRigOptions o;
    o.tune = [&](MuxOptions& mo) { mo.wallClock = [&] { return wall; }; };
    ConsoleRig rig(o);
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle();
    const MonitorControls m = rig.monitorPane();
    for (QCheckBox* box : {m.timeButton, m.errorsButton, m.sentButton})
        EXPECT_FALSE(box->isChecked()); // the plain monitor unless asked
    EXPECT_TRUE(m.filterField->text().isEmpty());

    rig.sim().sendRaw("$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*00\r\n");
    rig.sim().sendRaw("\x13\x7f\xe1 noise\r\n");
    rig.reply("$GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,");
    ASSERT_TRUE(rig.barrier());
    EXPECT_FALSE(rig.monitor().contains("$GPRMC"));
    EXPECT_FALSE(rig.monitor().contains("\u2192"));

    m.errorsButton->click();
    const QString withErrors = rig.monitor();
    EXPECT_TRUE(withErrors.contains("\u2716 $GPRMC,123519,A,4807.038"));
    EXPECT_TRUE(withErrors.contains("*00\n"));
    EXPECT_TRUE(withErrors.contains(QString::fromUtf8("\u2716 \u00b7\u00b7\u00e1 noise\n")));
    MonitorView& view = *m.monitorTextView;
    size_t failed = 0;
    for (size_t i = 0; i < view.lineCount(); ++i)
        if (view.lineText(i).startsWith("\u2716 $GPRMC"))
            failed = i;
    EXPECT_NE(view.colourAt(failed, 3), view.colourAt(failed + 2, 3)); // not the colour of good lines

    m.sentButton->click();
    EXPECT_TRUE(rig.monitor().contains(QRegularExpression("\n\u2192 \\$PQVXCN,[0-9]+\\*[0-9A-F]{2}\n")));
    EXPECT_TRUE(rig.monitor().contains("\u2192 $PQVXVER*"));

    m.timeButton->click();
    const time_t seconds = 1700000000;
    std::tm t{};
    localtime_r(&seconds, &t);
    const QString stamp = QString::asprintf("%02d:%02d:%02d.123 ", t.tm_hour, t.tm_min, t.tm_sec);
    for (size_t i = 0; i < view.lineCount(); ++i)
        EXPECT_TRUE(view.lineText(i).startsWith(stamp)) << view.lineText(i).toStdString();

    const size_t all = view.lineCount();
    m.filterField->setText("--gga");
    EXPECT_EQ(view.lineCount(), 1u);
    EXPECT_TRUE(view.lineText(0).contains("$GPGGA,092750.000"));
    m.filterField->setText("4807.038");
    EXPECT_EQ(view.lineCount(), 1u);
    m.filterField->clear();
    EXPECT_EQ(view.lineCount(), all);
    m.filterField->setText("PQVX");

    rig.ctl().applicationWillTerminate();
    EXPECT_EQ(Settings::boolean("monitorShowTime"), true);
    EXPECT_EQ(Settings::boolean("monitorShowErrors"), true);
    EXPECT_EQ(Settings::boolean("monitorShowSent"), true);
    EXPECT_EQ(Settings::text("monitorFilter"), "PQVX");
    EXPECT_EQ(Settings::number("monitorScrollback"), 100000);

    ConsoleRigOptions again;
    again.beforeStart = [](MuxController&) {
        Settings::setItem("monitorShowErrors", SettingValue(true));
        Settings::setItem("monitorFilter", SettingValue("GP???"));
    };
    ConsoleRig second(again);
    EXPECT_TRUE(second.monitorPane().errorsButton->isChecked());
    EXPECT_FALSE(second.monitorPane().timeButton->isChecked());
    EXPECT_EQ(second.monitorPane().filterField->text(), "GP???");
    EXPECT_EQ(second.monitorPane().monitorTextView->look().filter, "GP???");
}

// The pane keeps the newest lines up to the preference; while the user reads further up, new
// lines move nothing in view; back at the end, the view follows again.
TEST(MuxMonitor, ScrollbackIsBoundedAndTheReaderKeepsHisPlace) {
    ConsoleRigOptions o;
    o.beforeStart = [](MuxController&) { Settings::setItem("monitorScrollback", SettingValue(300)); };
    ConsoleRig rig(o);
    rig.win().resize(1024, 600);
    rig.win().show();
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle(); // no late reply to an earlier query comes between the lines below
    auto send = [&](int from, int count) {
        std::string lines;
        for (int k = from; k < from + count; ++k)
            lines += framed("$GPZDA," + std::to_string(k));
        rig.sim().sendRaw(lines);
        ASSERT_TRUE(rig.barrier());
    };
    send(0, 1000);
    MonitorView& view = *rig.monitorPane().monitorTextView;
    EXPECT_EQ(view.lineCount(), 300u);
    EXPECT_TRUE(view.lineText(298).startsWith("$GPZDA,999"));
    EXPECT_TRUE(view.following());

    QScrollBar* bar = view.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 250);
    bar->setValue(200); // the user scrolls up to read
    const QString read = view.lineText(200);
    send(1000, 40);
    EXPECT_EQ(view.lineText(size_t(bar->value())), read); // 41 older lines went; the view stayed
    EXPECT_FALSE(view.following());

    bar->setValue(bar->maximum()); // back at the end
    send(2000, 10);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(view.lineText(view.lineCount() - 2).startsWith("$GPZDA,2009"));
    EXPECT_EQ(rig.ctl().monitor().scrollback().size(), 300u);
}

// One row per address with its figures at the injected clock; the selected row's last sentence
// read field by field, an AIS report from its joined fragments; Clear starts over.
TEST(MuxMonitor, SentencesTabCountsAndReadsEachAddress) {
    ConsoleRig rig;
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle();
    const MonitorControls m = rig.monitorPane();
    m.clearButton->click();
    for (int k = 0; k < 4; ++k)
        rig.reply("$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W");
    rig.sim().sendRaw("$GPRMC,bad*7F\r\n");
    rig.sim().sendRaw("!AIVDM,2,1,7,B,53aDpaT000010;CKKB0h4Q8TpLDr222222222216<P:656rd07Tai0CKk5hD,0*74\r\n"
                      "!AIVDM,2,2,7,B,Q1C`8888880,2*63\r\n");
    ASSERT_TRUE(rig.barrier());
    m.monitorTabs->setCurrentWidget(m.sentencesView);
    rig.advance(2s);
    rig.ctl().monitor().showSentences();
    const auto rows = rig.ctl().monitor().sentences().rows(std::chrono::steady_clock::now() + 1h);
    ASSERT_GE(rows.size(), 3u);
    auto row = [&](const std::string& address) {
        for (const auto& r : rig.ctl().monitor().sentences().rows(std::chrono::steady_clock::now()))
            if (r.address == address)
                return r;
        return SentenceStats::Row{};
    };
    EXPECT_EQ(row("GPRMC").count, 5u);
    EXPECT_EQ(row("GPRMC").failures, 1u);
    EXPECT_EQ(row("AIVDM").count, 2u);

    ASSERT_TRUE(m.sentencesView->selectAddress("GPRMC"));
    auto fields = m.sentencesView->fieldsShown();
    auto has = [&](const char* key, const QString& value) {
        return std::find(fields.begin(), fields.end(), std::pair{local(key), value}) != fields.end();
    };
    EXPECT_TRUE(has("NSFieldLatitude", QString::fromUtf8("48°07.038′ N")));
    EXPECT_TRUE(has("NSFieldSpeedOverGround", "022.4 kn"));
    ASSERT_TRUE(m.sentencesView->selectAddress("AIVDM"));
    fields = m.sentencesView->fieldsShown();
    EXPECT_TRUE(has("NSFieldMMSI", "244660390"));
    EXPECT_TRUE(has("NSFieldShipName", "LAHRINGEN"));
    EXPECT_TRUE(has("NSFieldCallSign", "PB4664"));

    m.clearButton->click();
    EXPECT_EQ(rig.ctl().monitor().sentences().size(), 0u);
    EXPECT_TRUE(m.sentencesView->fieldsShown().empty());
}

// The device pane says what the connection is: the port and rate in use, a device lost and
// waited for, and a stored port that is not there at start, opened without a click once it is.
TEST(MuxMonitor, ConnectionIsShownAndAMissingPortOpensWhenItAppears) {
    char pattern[] = "/tmp/tests_mux_later.XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    const std::string later = folder + "/mux";
    ConsoleRigOptions o;
    o.selectPort = false;
    o.beforeStart = [&](MuxController&) { Settings::setItem("serialPort", SettingValue(later)); };
    ConsoleRig rig(o);
    const DeviceControls d = rig.device();
    ASSERT_TRUE(ConsoleRig::waitFor([&] {
        return d.connectionField->text() == local("NSWaitingForPort").arg(QString::fromStdString(later));
    }));
    EXPECT_FALSE(rig.ctl().hasConnection());
    std::filesystem::create_symlink(rig.sim().portPath(), later);
    ASSERT_TRUE(rig.waitIdentified()); // no click: it opened once it appeared
    EXPECT_EQ(d.connectionField->text(), local("NSConnected").arg(QString::fromStdString(later), "4800"));
    EXPECT_TRUE(rig.alerts.empty());

    // The link goes with the device, as a device's node does: left behind, it would lead the
    // console's next tries to whatever terminal takes the number next, another test's device too.
    std::filesystem::remove(later);
    rig.sim().unplug();
    ASSERT_TRUE(ConsoleRig::waitFor([&] {
        return d.connectionField->text() == local("NSDeviceLostWaiting").arg(QString::fromStdString(later));
    }));
    std::filesystem::remove_all(folder);
}

} // namespace
