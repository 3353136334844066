#include "support/AlertPanels.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTextDocument>
#include <QThread>
#include <mutex>
#ifdef MUX_HAVE_SPEECH
#include <QTextToSpeech>
#endif

namespace {

std::mutex responderMutex;
Alert::Responder responder;

Alert::Responder currentResponder() {
    std::lock_guard lock(responderMutex);
    return responder;
}

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

// Messages are shown as they stand: no markup, no formatting.
std::vector<QAbstractButton*> fill(QMessageBox& box, const AlertRequest& request) {
    box.setWindowTitle(qt(request.title));
    box.setTextFormat(Qt::PlainText);
    box.setText(qt(request.message));
    if (!request.informativeText.empty()) {
        QString info = qt(request.informativeText);
        box.setInformativeText(Qt::mightBeRichText(info) ? Qt::convertFromPlainText(info) : info);
    }
    box.setIcon(QMessageBox::NoIcon);
    std::vector<QAbstractButton*> buttons;
    for (size_t i = 0; i < request.buttons.size(); ++i) {
        QPushButton* button =
            box.addButton(qt(request.buttons[i]), i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
        if (i == 0)
            box.setDefaultButton(button);
        buttons.push_back(button);
    }
    // Escape or closing the window counts as the alternate (or only) button.
    if (!buttons.empty())
        box.setEscapeButton(buttons.back());
    return buttons;
}

int runModal(const AlertRequest& request) {
    QMessageBox box;
    auto buttons = fill(box, request);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (size_t i = 0; i < buttons.size(); ++i)
        if (clicked == buttons[i])
            return int(i);
    return -1;
}

void openSheet(const AlertRequest& request) {
    if (!request.window)
        return;
    // Owned by its window; gone when dismissed.
    auto* box = new QMessageBox(request.window);
    fill(*box, request);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

void speak(const std::string& text) {
#ifdef MUX_HAVE_SPEECH
    static QPointer<QTextToSpeech> engine;
    if (!engine)
        engine = new QTextToSpeech(qApp);
    if (engine->state() != QTextToSpeech::Error)
        engine->say(qt(text));
#else
    (void)text;
#endif
}

bool anyEmpty(std::initializer_list<const std::string*> texts) {
    for (const std::string* t : texts)
        if (t->empty())
            return true;
    return false;
}

bool question(const std::string& key, const char* defaultKey, const char* alternateKey) {
    std::string title = Alert::localizedStringWithKey("CFBundleName");
    std::string message = Alert::localizedStringWithKey(key);
    std::string yes = Alert::localizedStringWithKey(defaultKey);
    std::string no = Alert::localizedStringWithKey(alternateKey);
    if (anyEmpty({&title, &message, &yes, &no}))
        return false;
    AlertRequest request;
    request.kind = AlertRequest::Kind::Question;
    request.title = title;
    request.message = message;
    request.buttons = {yes, no};
    return Alert::present(request) == 0;
}

void sheet(QWidget* window, const std::optional<std::string>& text,
           const std::optional<std::string>& detail) {
    std::string ok = Alert::localizedStringWithKey("NSOK");
    if (!window || !text || text->empty() || ok.empty())
        return;
    AlertRequest request;
    request.kind = AlertRequest::Kind::Sheet;
    request.title = Alert::localizedStringWithKey("CFBundleName");
    request.message = *text;
    request.informativeText = detail.value_or("");
    request.buttons = {ok};
    request.window = window;
    Alert::present(request);
}

} // namespace

void Alert::setResponder(Responder r) {
    std::lock_guard lock(responderMutex);
    responder = std::move(r);
}

int Alert::present(const AlertRequest& request) {
    bool waits = request.kind == AlertRequest::Kind::Message || request.kind == AlertRequest::Kind::Question;
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app) {
        Responder r = currentResponder();
        if (!r)
            return -1;
        int result = r(request);
        return waits ? result : -1;
    }
    if (QThread::currentThread() != app->thread()) {
        // Panels and sheets live on the main thread; the caller's window may be gone by then.
        QPointer<QWidget> window = request.window;
        AlertRequest copy = request;
        if (!waits) {
            QMetaObject::invokeMethod(
                app,
                [copy, window]() mutable {
                    if (copy.window && !window)
                        return;
                    Alert::present(copy);
                },
                Qt::QueuedConnection);
            return -1;
        }
        int result = -1;
        QMetaObject::invokeMethod(
            app, [&] { result = Alert::present(copy); }, Qt::BlockingQueuedConnection);
        return result;
    }
    if (Responder r = currentResponder()) {
        int result = r(request);
        return waits ? result : -1;
    }
    switch (request.kind) {
    case AlertRequest::Kind::Message:
    case AlertRequest::Kind::Question:
        return runModal(request);
    case AlertRequest::Kind::Sheet:
        openSheet(request);
        return -1;
    case AlertRequest::Kind::Speech:
        speak(request.message);
        return -1;
    }
    return -1;
}

void Alert::showMessage(const std::optional<std::string>& text) {
    std::string title = localizedStringWithKey("CFBundleName");
    std::string ok = localizedStringWithKey("NSOK");
    if (!text || anyEmpty({&*text, &title, &ok}))
        return;
    AlertRequest request;
    request.kind = AlertRequest::Kind::Message;
    request.title = title;
    request.message = *text;
    request.buttons = {ok};
    present(request);
}

void Alert::showMessageWithKey(const std::string& key) {
    showMessage(localizedStringWithKey(key));
}

bool Alert::showOK(const std::string& key) {
    return question(key, "NSOK", "NSCancel");
}
bool Alert::showYes(const std::string& key) {
    return question(key, "NSYes", "NSNo");
}
bool Alert::showDelete(const std::string& key) {
    return question(key, "NSDelete", "NSDontDelete");
}
bool Alert::showSave(const std::string& key) {
    return question(key, "NSSave", "NSDontSave");
}

void Alert::showMessage(QWidget* window, const std::optional<std::string>& text) {
    sheet(window, text, std::nullopt);
}

void Alert::showMessageWithKey(QWidget* window, const std::string& key) {
    sheet(window, localizedStringWithKey(key), std::nullopt);
}

void Alert::openPortFail(QWidget* window, const std::optional<std::string>& detail) {
    if (!window || !detail || detail->empty())
        return;
    sheet(window, localizedStringWithKey("NSUnableToOpenPort"), detail);
}

void Alert::speakMessageWithKey(const std::string& key) {
    std::string text = localizedStringWithKey(key);
    if (text.empty())
        return;
    AlertRequest request;
    request.kind = AlertRequest::Kind::Speech;
    request.message = text;
    present(request);
}
