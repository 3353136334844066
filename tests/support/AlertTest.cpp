#include "support/AlertPanels.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <thread>

namespace {

using Kind = AlertRequest::Kind;

class AlertHook : public ::testing::Test {
protected:
    std::vector<AlertRequest> seen;
    int answer = 0;
    void SetUp() override {
        Alert::setLanguage("en");
        Alert::setInfoValue("CFBundleName", "Velmar Console");
        Alert::setResponder([this](const AlertRequest& r) {
            seen.push_back(r);
            return answer;
        });
    }
    void TearDown() override {
        Alert::setResponder(nullptr);
        Alert::setLanguage("");
    }
};

TEST_F(AlertHook, QuestionPanelsTrueOnlyForTheDefaultButton) {
    struct Case {
        bool (*show)(const std::string&);
        std::vector<std::string> buttons;
    } cases[] = {
        {Alert::showOK, {"OK", "Cancel"}},
        {Alert::showYes, {"Yes", "No"}},
        {Alert::showDelete, {"Delete", "Don't Delete"}},
        {Alert::showSave, {"Save", "Don't Save"}},
    };
    for (const Case& c : cases) {
        seen.clear();
        for (int choice : {0, 1, -1}) {
            answer = choice;
            EXPECT_EQ(c.show("NSNoPorts"), choice == 0) << choice;
        }
        ASSERT_EQ(seen.size(), 3u);
        EXPECT_EQ(seen[0].kind, Kind::Question);
        EXPECT_EQ(seen[0].title, "Velmar Console");
        EXPECT_EQ(seen[0].message, Alert::localizedStringWithKey("NSNoPorts"));
        EXPECT_EQ(seen[0].buttons, c.buttons);
    }
    Alert::setLanguage("de");
    Alert::showYes("NSFailConnect");
    EXPECT_EQ(seen.back().buttons, (std::vector<std::string>{"Ja", "Nein"}));
}

TEST_F(AlertHook, MessagesSheetsAndSpeech) {
    QWidget window;
    Alert::showMessageWithKey("NSFirmVersionNotSupported");
    Alert::showMessage(std::string("100% %@ %d <b>verbatim</b>"));
    Alert::showMessageWithKey(&window, "NSFailConnect");
    Alert::openPortFail(&window, std::string("ttyUSB0"));
    Alert::speakMessageWithKey("NSStart");
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0].kind, Kind::Message);
    EXPECT_EQ(seen[0].message, Alert::localizedStringWithKey("NSFirmVersionNotSupported"));
    EXPECT_EQ(seen[0].buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(seen[1].message, "100% %@ %d <b>verbatim</b>");
    EXPECT_EQ(seen[2].kind, Kind::Sheet);
    EXPECT_EQ(seen[2].window, &window);
    EXPECT_EQ(seen[3].message, Alert::localizedStringWithKey("NSUnableToOpenPort"));
    EXPECT_EQ(seen[3].informativeText, "ttyUSB0");
    EXPECT_EQ(seen[4].kind, Kind::Speech);
    EXPECT_EQ(seen[4].message, "Start");
}

TEST_F(AlertHook, MissingPiecesShowNothing) {
    QWidget window;
    Alert::showMessage(std::nullopt);
    Alert::showMessage(nullptr, std::string("text"));
    Alert::openPortFail(&window, std::nullopt);
    Alert::setInfoValue("CFBundleName", "");
    answer = 0;
    EXPECT_FALSE(Alert::showYes("NSNoPorts")) << "no title: no panel, false";
    Alert::showMessageWithKey("NSNoPorts");
    EXPECT_TRUE(seen.empty());
}

TEST_F(AlertHook, SheetFromAnotherThreadIsShownOnTheMainThread) {
    QWidget window;
    std::thread::id where;
    Alert::setResponder([&](const AlertRequest&) {
        where = std::this_thread::get_id();
        return 0;
    });
    std::thread([&] { Alert::showMessageWithKey(&window, "NSUnableToOpenPort"); }).join();
    EXPECT_EQ(where, std::thread::id()) << "posted, not run on the caller's thread";
    QCoreApplication::processEvents();
    EXPECT_EQ(where, std::this_thread::get_id());
}

// The real panels, answered by a timer as a user would.
class RealPanels : public ::testing::Test {
protected:
    void SetUp() override {
        Alert::setLanguage("en");
        Alert::setInfoValue("CFBundleName", "Velmar Console");
    }
    void TearDown() override { Alert::setLanguage(""); }
    // Acts on the modal box as soon as its own event loop runs.
    static void whenModal(std::function<void(QMessageBox*)> act) {
        QTimer::singleShot(0, qApp, [act] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                return act(box);
            ADD_FAILURE() << "no panel appeared";
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* b = qobject_cast<QMessageBox*>(w))
                    b->reject();
        });
    }
};

TEST_F(RealPanels, DefaultButtonEscapeAndPlainText) {
    QString shownText;
    whenModal([&](QMessageBox* box) {
        shownText = box->text();
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
        box->defaultButton()->click();
    });
    EXPECT_TRUE(Alert::showYes("NSNoPorts"));
    EXPECT_EQ(shownText.toStdString(), Alert::localizedStringWithKey("NSNoPorts"));

    whenModal([](QMessageBox* box) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(box, &escape);
    });
    EXPECT_FALSE(Alert::showYes("NSNoPorts")) << "escape is not the default button";

    whenModal([&](QMessageBox* box) {
        shownText = box->text();
        box->defaultButton()->click();
    });
    Alert::showMessage(std::string("50% <i>off</i> %@"));
    EXPECT_EQ(shownText, "50% <i>off</i> %@");
}

TEST_F(RealPanels, SheetIsWindowModalAndDoesNotWait) {
    auto window = std::make_unique<QWidget>();
    window->show();
    Alert::openPortFail(window.get(), std::string("pts/<3>"));
    auto boxes = window->findChildren<QMessageBox*>();
    ASSERT_EQ(boxes.size(), 1);
    QMessageBox* box = boxes[0];
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text().toStdString(), Alert::localizedStringWithKey("NSUnableToOpenPort"));
    EXPECT_TRUE(box->informativeText().contains("pts/&lt;3&gt;") || box->informativeText() == "pts/<3>");
    box->defaultButton()->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window->findChildren<QMessageBox*>().isEmpty()) << "discarded when dismissed";
}

} // namespace
