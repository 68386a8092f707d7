#pragma once

#include <QColor>
#include <QPoint>
#include <QWidget>
#include <array>

#include "core/message/MessagePresenter.h"

class QAbstractButton;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVariantAnimation;

namespace lidora::app {

inline const QColor kSystemOrange{255, 149, 0};
inline const QColor kSystemRed{255, 59, 48};

// The "Send a Message" window's content: the field or the message on the
// lid, the speed and markers, the preview, and Stop, Cancel and Send.
// Escape stops a message on the lid or closes; Return sends.
class MessageView final : public QWidget, public MessageDisplay {
public:
    // `presenter` may be empty for a window that only shows states.
    explicit MessageView(MessagePresenter* presenter, QWidget* parent = nullptr);
    ~MessageView() override;
    MessageView(const MessageView&) = delete;
    MessageView& operator=(const MessageView&) = delete;

    void render(const MessageViewState& state) override;
    void dismiss() override { hide(); }

    [[nodiscard]] QLineEdit* field() const { return field_; }
    [[nodiscard]] QLabel* sendingLabel() const { return sending_; }
    [[nodiscard]] QLabel* previewLabel() const { return preview_; }
    [[nodiscard]] QLabel* durationLabel() const { return duration_; }
    [[nodiscard]] QLabel* skippedLabel() const { return skipped_; }
    [[nodiscard]] QLabel* problemLabel() const { return problem_; }
    [[nodiscard]] QAbstractButton* speedButton(MessageSettings::Speed speed) const;
    [[nodiscard]] QCheckBox* markersBox() const { return markers_; }
    [[nodiscard]] QPushButton* stopButton() const { return stop_; }
    [[nodiscard]] QPushButton* cancelButton() const { return cancel_; }
    [[nodiscard]] QPushButton* sendButton() const { return send_; }
    [[nodiscard]] QColor bulbColor() const { return bulbColor_; }
    // Ends the bulb's fade at once, for a picture of the window.
    void settleAnimations();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Moves the window by its background, as it has no visible title bar.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void paintBulb(const QColor& color);
    [[nodiscard]] QString sendingHtml(const SendingLine& line) const;

    MessagePresenter* presenter_;
    QLabel* subtitle_;
    QLabel* bulb_;
    QLabel* sending_;
    QLineEdit* field_;
    std::array<QAbstractButton*, 3> speeds_{};
    QCheckBox* markers_;
    QLabel* preview_;
    QLabel* duration_;
    QLabel* skipped_;
    QLabel* problem_;
    QPushButton* stop_;
    QPushButton* cancel_;
    QPushButton* send_;
    QVariantAnimation* bulbFade_;
    QColor bulbColor_;
    QPoint dragOffset_;
};

}  // namespace lidora::app
