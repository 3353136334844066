// Editing the device's filter list from the table, and capturing sentence addresses into it.

#include "tests/mux/Rig.h"

#include "mux/MonitorView.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

int rowOf(Rig& rig, const std::string& sentence) {
    const auto& list = rig.ctl().filterArray();
    auto it =
        std::find_if(list.begin(), list.end(), [&](const Filter& f) { return f.sentence() == sentence; });
    return it == list.end() ? -1 : int(it - list.begin());
}

bool deviceHas(Rig& rig, const std::string& sentence, const std::string& flags) {
    for (const MuxFilterEntry& e : rig.sim().state().filters)
        if (e.sentence == sentence && e.flags == flags)
            return true;
    return false;
}

} // namespace

TEST(MuxFilterList, AddToggleRemoveAndClear) {
    for (MuxVariant variant : {MuxVariant::Legacy, MuxVariant::Current}) {
        const bool legacy = variant == MuxVariant::Legacy;
        SCOPED_TRACE(legacy ? "legacy" : "current");
        Rig rig(RigOptions::of(variant, legacy ? MuxFamily::Legacy : MuxFamily::Model42));
        ASSERT_TRUE(rig.waitIdentified());
        rig.settle();
        MuxWindow& w = rig.win();
        QLineEdit* typed = w.filterComboBox->lineEdit();

        QTest::keyClicks(typed, "GPRMCX");
        EXPECT_EQ(rig.beeps, 1);
        EXPECT_EQ(w.filterComboBox->currentText(), "GPRMC");
        typed->clear();
        QTest::keyClicks(typed, "rmc");
        EXPECT_TRUE(w.addButton->isEnabled());
        QTest::keyClick(typed, Qt::Key_Backspace);
        QTest::keyClicks(typed, "cx");
        EXPECT_FALSE(w.addButton->isEnabled()); // four characters name nothing
        QTest::keyClick(typed, Qt::Key_Backspace);
        EXPECT_TRUE(w.addButton->isEnabled());
        if (legacy)
            w.frequencyComboBox->setEditText("5");
        rig.sim().clearReceived();
        w.addButton->click();
        EXPECT_FALSE(w.addButton->isEnabled());
        ASSERT_TRUE(rig.waitSent("$PQVXFLQ"));
        EXPECT_EQ(rig.sentLines().front(), framed(legacy ? "$PQVXFL,--RMC,00000,5" : "$PQVXFL,--RMC,00000"));
        ASSERT_TRUE(Rig::waitFor([&] { return rowOf(rig, "--RMC") >= 0; }));
        EXPECT_TRUE(w.removeButton->isEnabled());

        // A click on the channel 3 cell inverts that flag on the device.
        rig.settle();
        rig.sim().clearReceived();
        QAbstractItemModel* model = w.filterTableView->model();
        model->setData(model->index(rowOf(rig, "--RMC"), 3), Qt::Checked, Qt::CheckStateRole);
        ASSERT_TRUE(rig.waitSent("$PQVXFLQ"));
        EXPECT_EQ(rig.sentLines().front(), framed(legacy ? "$PQVXFL,--RMC,00010,5" : "$PQVXFL,--RMC,00010"));
        ASSERT_TRUE(Rig::waitFor([&] { return deviceHas(rig, "--RMC", "00010"); }));

        rig.settle();
        rig.sim().clearReceived();
        w.filterTableView->selectRow(rowOf(rig, "--RMC"));
        w.removeButton->click();
        ASSERT_TRUE(rig.waitSent("$PQVXFLQ"));
        EXPECT_EQ(rig.sentLines().front(), framed(legacy ? "$PQVXFL,--RMC,11111,5" : "$PQVXFL,--RMC,11111"));
        rig.settle();
        EXPECT_EQ(rowOf(rig, "--RMC"), -1);
        EXPECT_FALSE(w.clearAllButton->isEnabled()); // the list is empty again

        QTest::keyClicks(typed, "gp");
        w.addButton->click();
        ASSERT_TRUE(Rig::waitFor([&] { return rowOf(rig, "GP---") >= 0; }));
        rig.settle();
        rig.sim().clearReceived();
        w.clearAllButton->click();
        ASSERT_TRUE(rig.waitSent("$PQVXFLQ"));
        EXPECT_EQ(rig.sentLines(), (std::vector<std::string>{framed("$PQVXFL"), framed("$PQVXFLQ")}));
        rig.settle();
        EXPECT_TRUE(rig.ctl().filterArray().empty());
        EXPECT_FALSE(w.removeButton->isEnabled());
    }
}

TEST(MuxFilterList, CaptureGathersAddressesForTenSecondsThenSendsThemSorted) {
    Rig rig(RigOptions::of(MuxVariant::Current, MuxFamily::ThirdGeneration).withTraffic(30));
    ASSERT_TRUE(rig.waitIdentified());
    MuxWindow& w = rig.win();
    ASSERT_TRUE(w.captureButton->isEnabled());
    w.captureButton->click();
    w.captureButton->click(); // a second press starts nothing more
    EXPECT_FALSE(w.captureButton->isEnabled());
    ASSERT_TRUE(Rig::waitFor([&] { return w.monitorTextView->lineCount() > 5; }));
    rig.reply("$PQVXCN,1");
    ASSERT_TRUE(Rig::waitFor([&] { return rig.monitor().contains("$PQVXCN,1\n"); }));
    const size_t line = w.monitorTextView->lineCount() - 2;
    EXPECT_GT(w.monitorTextView->colourAt(line, 0).red(), 150); // red while capturing

    rig.sim().clearReceived();
    ASSERT_TRUE(rig.waitSent("$PQVXFLQ", std::chrono::seconds(20)));
    EXPECT_TRUE(w.captureButton->isEnabled());
    std::vector<std::string> sent;
    for (const std::string& l : rig.sentLines())
        if (l.rfind("$PQVXFL,", 0) == 0)
            sent.push_back(l.substr(8, 5));
    ASSERT_GE(sent.size(), 3u);
    EXPECT_TRUE(std::is_sorted(sent.begin(), sent.end()));
    EXPECT_TRUE(std::find(sent.begin(), sent.end(), "GPRMC") != sent.end());
    EXPECT_TRUE(std::find(sent.begin(), sent.end(), "PQVXC") ==
                sent.end()); // device replies are not gathered
    for (const std::string& l : rig.sentLines()) {
        if (l.rfind("$PQVXFL,", 0) == 0) {
            EXPECT_EQ(l.substr(13, 6), ",00000");
        }
    }
}
