// Panels: what each kind asks (through the responder hook), nothing shown without its pieces, a
// sheet posted from another thread, and the real panels answered as a user would.

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

// True only for the default (first) button.
TEST_F(AlertHook, QuestionPanelsTrueOnlyForTheDefaultButton) {
    const std::pair<bool (*)(const std::string&), std::vector<std::string>> cases[] = {
        {Alert::showOK, {"OK", "Cancel"}},
        {Alert::showYes, {"Yes", "No"}},
        {Alert::showDelete, {"Delete", "Don't Delete"}},
        {Alert::showSave, {"Save", "Don't Save"}},
    };
    for (const auto& [show, buttons] : cases) {
        seen.clear();
        for (int choice : {0, 1, -1}) {
            answer = choice;
            EXPECT_EQ(show("NSNoPorts"), choice == 0) << choice;
        }
        ASSERT_EQ(seen.size(), 3u);
        EXPECT_EQ(seen[0].kind, Kind::Question);
        EXPECT_EQ(seen[0].title, "Velmar Console");
        EXPECT_EQ(seen[0].buttons, buttons);
        EXPECT_EQ(seen[0].message, Alert::localizedStringWithKey("NSNoPorts"));
    }
}

// Texts go as they are; a window makes a sheet; nothing is shown without a text, a window or a
// title.
TEST_F(AlertHook, MessagesSheetsSpeechAndMissingPieces) {
    QWidget window;
    Alert::showMessage(std::string("100% %@ %d <b>verbatim</b>"));
    Alert::openPortFail(&window, std::string("ttyUSB0"));
    Alert::speakMessageWithKey("NSStart");
    Alert::showMessage(std::nullopt);
    Alert::showMessage(nullptr, std::string("text"));
    Alert::openPortFail(&window, std::nullopt);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].kind, Kind::Message);
    EXPECT_EQ(seen[0].buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(seen[0].message, "100% %@ %d <b>verbatim</b>");
    EXPECT_EQ(seen[1].kind, Kind::Sheet);
    EXPECT_EQ(seen[1].window, &window);
    EXPECT_EQ(seen[1].informativeText, "ttyUSB0");
    EXPECT_EQ(seen[1].message, Alert::localizedStringWithKey("NSUnableToOpenPort"));
    EXPECT_EQ(seen[2].kind, Kind::Speech);
    EXPECT_EQ(seen[2].message, "Start");
    Alert::setInfoValue("CFBundleName", "");
    EXPECT_FALSE(Alert::showYes("NSNoPorts")) << "no title: no panel, false";
    EXPECT_EQ(seen.size(), 3u);
}

// Posted to the main thread, not run on the caller's.
TEST_F(AlertHook, SheetFromAnotherThreadIsShownOnTheMainThread) {
    QWidget window;
    std::thread([&] { Alert::showMessageWithKey(&window, "NSUnableToOpenPort"); }).join();
    EXPECT_TRUE(seen.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(seen.size(), 1u);
}

// The real panels, answered as soon as the panel's own event loop runs.
class RealPanels : public AlertHook {
protected:
    void SetUp() override {
        AlertHook::SetUp();
        Alert::setResponder(nullptr);
    }
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
    Alert::showMessage(std::string("50% <i>off</i> %@"));
    EXPECT_EQ(shownText, "50% <i>off</i> %@");
    whenModal([](QMessageBox* box) { box->defaultButton()->click(); });
    EXPECT_TRUE(Alert::showYes("NSNoPorts"));
    whenModal([](QMessageBox* box) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(box, &escape);
    });
    EXPECT_FALSE(Alert::showYes("NSNoPorts")) << "escape is not the default button";
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
    EXPECT_EQ(box->informativeText().toStdString(), "pts/<3>"); // not rich text: shown as it stands
    box->defaultButton()->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window->findChildren<QMessageBox*>().isEmpty()) << "discarded when dismissed";
}

} // namespace
