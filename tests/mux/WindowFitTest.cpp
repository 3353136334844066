// Both programs' windows at 1024 x 600, the small screen of a boat's computer, in every language:
// nothing clipped or off the window, every control reachable with Tab, in reading order.

#include "mux/MuxWindow.h"
#include "mux/panes/ConfigurationPane.h"
#include "mux/panes/DevicePane.h"
#include "mux/panes/FilterPane.h"
#include "mux/panes/LogFilePane.h"
#include "mux/panes/MonitorPane.h"
#include "mux/panes/ServerPane.h"
#include "tests/mux/ConsoleRig.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

constexpr int kWidth = 1024, kHeight = 600;

struct Case {
    MuxFamily family;
    const char* language;
};

std::string describe(const QWidget* w) {
    return (w->objectName().isEmpty() ? std::string(w->metaObject()->className())
                                      : w->objectName().toStdString()) +
           " \"" +
           (qobject_cast<const QAbstractButton*>(w)
                ? qobject_cast<const QAbstractButton*>(w)->text().toStdString()
            : qobject_cast<const QLabel*>(w) ? qobject_cast<const QLabel*>(w)->text().toStdString()
                                             : std::string()) +
           "\"";
}

// Inside a scroll area's viewport (table cells' editors, the header) a widget is the area's own.
bool ownedByScrollArea(const QWidget* w, const QWidget* window) {
    for (const QWidget* p = w->parentWidget(); p != nullptr && p != window; p = p->parentWidget())
        if (qobject_cast<const QAbstractScrollArea*>(p))
            return true;
    return false;
}

// Every visible control lies inside the window and gets the room its text needs.
void expectNothingClipped(QWidget& window) {
    const QRect inside = window.rect();
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisible() || ownedByScrollArea(w, &window))
            continue;
        const QRect r(w->mapTo(&window, QPoint(0, 0)), w->size());
        EXPECT_TRUE(inside.contains(r))
            << describe(w) << " at " << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
        const bool text = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                          (qobject_cast<QLabel*>(w) && !qobject_cast<QLabel*>(w)->wordWrap());
        if (text) {
            EXPECT_GE(w->width(), w->sizeHint().width()) << describe(w) << " clipped";
        }
        if (text || (qobject_cast<QLineEdit*>(w) && !qobject_cast<QComboBox*>(w->parentWidget()))) {
            EXPECT_GE(w->height(), std::min(w->sizeHint().height(), w->minimumSizeHint().height()))
                << describe(w) << " too low";
        }
    }
}

// The panes in reading order: the top row left to right, then the filters, the monitor, the files.
std::vector<QWidget*> panes(MuxWindow& w) {
    return {w.device, w.configuration, w.filters, w.monitor, w.files, w.server};
}

bool takesTab(const QWidget* w) {
    return w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus &&
           w->focusProxy() == nullptr;
}

// Tab from the first control goes through every control that takes focus, once each, pane by pane,
// and within a pane from top to bottom (left to right in a row), then comes back to the first.
void expectTabReachesAllInReadingOrder(MuxWindow& window) {
    std::vector<QWidget*> expected;
    for (QWidget* pane : panes(window)) {
        std::vector<QWidget*> inPane;
        for (QWidget* w : pane->findChildren<QWidget*>())
            if (takesTab(w) && !ownedByScrollArea(w, pane))
                inPane.push_back(w);
        expected.insert(expected.end(), inPane.begin(), inPane.end());
    }
    ASSERT_GT(expected.size(), 10u);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    expected.front()->setFocus(Qt::TabFocusReason);
    std::vector<QWidget*> visited;
    for (size_t k = 0; k < expected.size() + 1; ++k) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        while (focus->focusProxy() != nullptr)
            focus = focus->focusProxy();
        visited.push_back(focus);
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    EXPECT_EQ(visited.back(), expected.front()) << "Tab does not come back round";
    visited.pop_back();
    std::set<QWidget*> seen(visited.begin(), visited.end());
    for (QWidget* w : expected)
        EXPECT_TRUE(seen.count(w)) << describe(w) << " is not reached with Tab";
    // Reading order: pane by pane; within a pane, as its controls are read.
    auto pane = [&](QWidget* w) {
        size_t k = 0;
        while (k < panes(window).size() && !panes(window)[k]->isAncestorOf(w))
            ++k;
        return k;
    };
    for (size_t k = 1; k < visited.size(); ++k)
        EXPECT_LE(pane(visited[k - 1]), pane(visited[k]))
            << describe(visited[k - 1]) << " comes before " << describe(visited[k]);
}

class WindowFit : public ::testing::TestWithParam<Case> {};

TEST_P(WindowFit, FitsTheSmallScreenAndTabReachesEverything) {
    const Case c = GetParam();
    Alert::setLanguage(c.language);
    {
        ConsoleRig rig({.family = c.family, .filters = {{"GPRMC", "11000", 1}, {"--GGA", "10000", 2}}});
        MuxWindow& window = rig.win();

        EXPECT_LE(window.minimumSizeHint().width(), kWidth);
        EXPECT_LE(window.minimumSizeHint().height(), kHeight);
        window.resize(kWidth, kHeight);
        window.show();
        ASSERT_TRUE(rig.waitIdentified());
        ASSERT_TRUE(ConsoleRig::waitFor([&] { return rig.core().filterList().size() == 2; }));
        QApplication::processEvents();
        EXPECT_EQ(window.size(), QSize(kWidth, kHeight));
        expectNothingClipped(window);
        expectTabReachesAllInReadingOrder(window);

        // The filter list's column that names each row is in sight, titled in the language.
        auto* table = window.findChild<QTableView*>("filterTableView");
        ASSERT_NE(table, nullptr);
        constexpr int sentence = 5;
        EXPECT_EQ(table->model()->headerData(sentence, Qt::Horizontal).toString().toStdString(),
                  Alert::localizedStringWithKey("NSColumnSentence"));
        const QHeaderView* header = table->horizontalHeader();
        EXPECT_GE(header->sectionViewportPosition(sentence), 0);
        EXPECT_LE(header->sectionViewportPosition(sentence) + header->sectionSize(sentence),
                  table->viewport()->width());
    }
    Alert::setLanguage("");
}

INSTANTIATE_TEST_SUITE_P(
    BothProgramsEveryLanguage, WindowFit,
    ::testing::Values(Case{MuxFamily::ThirdGeneration, "en"}, Case{MuxFamily::ThirdGeneration, "de"},
                      Case{MuxFamily::ThirdGeneration, "fr"}, Case{MuxFamily::ThirdGeneration, "nl"},
                      Case{MuxFamily::Legacy, "en"}, Case{MuxFamily::Legacy, "de"},
                      Case{MuxFamily::Legacy, "fr"}, Case{MuxFamily::Legacy, "nl"}),
    [](const auto& info) {
        return std::string(info.param.family == MuxFamily::Legacy ? "legacy_" : "current_") +
               info.param.language;
    });

} // namespace
