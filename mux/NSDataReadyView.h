#pragma once
// The network server's status lamp: red (not listening), yellow (listening), green (serving).

#include <QWidget>

#include <cstdint>

class NSDataReadyView : public QWidget {
    Q_OBJECT
public:
    explicit NSDataReadyView(QWidget* parent = nullptr);

    uint32_t dataReadyState() const { return dataReadyState_; }
    // Repaints only when the state changes.
    void drawDataReady(uint32_t state);
    int redrawCount() const { return redraws_; }

    QSize sizeHint() const override { return {22, 22}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    uint32_t dataReadyState_ = 0;
    int redraws_ = 0;
};
