#include "app/MessageView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <algorithm>

#include "app/MenuBarIcon.h"
#include "app/SymbolCatalog.h"

namespace lidora::app {

namespace {

constexpr int kWidth = 500;
constexpr int kPadding = 18;
constexpr int kSpacing = 12;
// Short enough for a dot at the fastest speed to light the bulb fully.
constexpr int kBulbFadeMilliseconds = 120;

QString text(std::string_view view) {
    return QString::fromUtf8(view.data(), static_cast<qsizetype>(view.size()));
}

// Text from the user is never read as markup.
QLabel* plainLabel(QWidget* parent, double scale = 1.0) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    if (scale != 1.0) {
        QFont font = label->font();
        font.setPointSizeF(font.pointSizeF() * scale);
        label->setFont(font);
    }
    return label;
}

// The text colour faded towards the background, as the system's secondary
// and tertiary styles are.
QColor faded(const QPalette& palette, double opacity) {
    const QColor ink = palette.color(QPalette::WindowText);
    const QColor paper = palette.color(QPalette::Window);
    const auto mix = [opacity](int a, int b) { return static_cast<int>(a * opacity + b * (1 - opacity)); };
    return {mix(ink.red(), paper.red()), mix(ink.green(), paper.green()), mix(ink.blue(), paper.blue())};
}

void setColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

QString cssColor(const QColor& color) {
    return color.name(QColor::HexRgb);
}

}  // namespace

MessageView::MessageView(MessagePresenter* presenter, QWidget* parent)
    : QWidget(parent, Qt::Window), presenter_(presenter) {
    setObjectName("MessageWindow");
    setWindowTitle(text(kMessageWindowTitle));
    setFixedWidth(kWidth);
    const QColor secondary = faded(palette(), 0.6);
    const QColor primary = palette().color(QPalette::WindowText);
    // A faint card of the text colour stands in for the system's glass.
    setStyleSheet(QStringLiteral("#MessageWindow { background: rgba(%1,%2,%3,0.04);"
                                 " border: 1px solid rgba(%1,%2,%3,0.08); border-radius: 16px; }")
                      .arg(primary.red())
                      .arg(primary.green())
                      .arg(primary.blue()));
    setAttribute(Qt::WA_StyledBackground);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    layout->setSpacing(kSpacing);

    auto* header = new QHBoxLayout;
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    auto* title = plainLabel(this);
    title->setText(text(kMessageWindowTitle));
    QFont headline = title->font();
    headline.setBold(true);
    title->setFont(headline);
    subtitle_ = plainLabel(this);
    setColor(subtitle_, secondary);
    titles->addWidget(title);
    titles->addWidget(subtitle_);
    header->addLayout(titles, 1);
    bulb_ = new QLabel(this);
    bulb_->setFixedSize(20, 20);
    header->addWidget(bulb_, 0, Qt::AlignTop);
    auto* hint = plainLabel(this, 0.9);
    hint->setWordWrap(false);
    hint->setText(text(kMessageHotKeyHint));
    hint->setToolTip(text(kMessageHotKeyHelp));
    setColor(hint, faded(palette(), 0.35));
    header->addWidget(hint, 0, Qt::AlignTop);
    layout->addLayout(header);

    sending_ = new QLabel(this);
    sending_->setTextFormat(Qt::RichText);
    sending_->setWordWrap(true);
    QFont semibold = sending_->font();
    semibold.setWeight(QFont::DemiBold);
    semibold.setPointSizeF(semibold.pointSizeF() * 1.25);
    sending_->setFont(semibold);
    layout->addWidget(sending_);
    field_ = new QLineEdit(this);
    field_->setPlaceholderText(text(kMessagePlaceholder));
    field_->setAccessibleName(text(kMessageFieldLabel));
    field_->setMaxLength(1 << 20);
    layout->addWidget(field_);

    auto* options = new QHBoxLayout;
    auto* picker = new QWidget(this);
    picker->setToolTip(text(kSpeedHelp));
    auto* segments = new QHBoxLayout(picker);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    for (std::size_t i = 0; i < MessageSettings::kSpeeds.size(); ++i) {
        const auto speed = MessageSettings::kSpeeds[i];
        auto* button = new QPushButton(text(MessageSettings::label(speed)), picker);
        button->setCheckable(true);
        button->setAutoExclusive(true);
        button->setFocusPolicy(Qt::TabFocus);
        button->setObjectName(i == 0 ? "FirstSegment" : i + 1 == MessageSettings::kSpeeds.size() ? "LastSegment" : "");
        segments->addWidget(button);
        speeds_[i] = button;
        if (presenter_ != nullptr) {
            connect(button, &QPushButton::clicked, this, [this, speed] { presenter_->speedChosen(speed); });
        }
    }
    const QColor highlight = palette().color(QPalette::Highlight);
    picker->setStyleSheet(QStringLiteral("QPushButton { border: 1px solid rgba(%1,%2,%3,0.2); border-left: none;"
                                         " background: rgba(%1,%2,%3,0.05); padding: 3px 16px; }"
                                         " QPushButton:checked { background: %4; color: white; }"
                                         " #FirstSegment { border-left: 1px solid rgba(%1,%2,%3,0.2);"
                                         " border-top-left-radius: 6px; border-bottom-left-radius: 6px; }"
                                         " #LastSegment { border-top-right-radius: 6px;"
                                         " border-bottom-right-radius: 6px; }")
                              .arg(primary.red())
                              .arg(primary.green())
                              .arg(primary.blue())
                              .arg(cssColor(highlight)));
    options->addWidget(picker);
    options->addSpacing(kSpacing);
    markers_ = new QCheckBox(text(kMarkersTitle), this);
    markers_->setToolTip(text(kMarkersHelp));
    options->addWidget(markers_);
    options->addStretch();
    layout->addLayout(options);

    preview_ = plainLabel(this);
    preview_->setAccessibleName(text(kPreviewLabel));
    preview_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setColor(preview_, secondary);
    duration_ = plainLabel(this, 0.92);
    skipped_ = plainLabel(this, 0.92);
    setColor(skipped_, kSystemOrange);
    problem_ = plainLabel(this, 0.92);
    setColor(problem_, kSystemRed);
    for (auto* label : {preview_, duration_, skipped_, problem_}) {
        layout->addWidget(label);
    }

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    stop_ = new QPushButton(text(kStopTitle), this);
    cancel_ = new QPushButton(text(kCancelTitle), this);
    send_ = new QPushButton(text(kSendTitle), this);
    send_->setIcon(QIcon(QPixmap::fromImage(SymbolCatalog::render("paperplane.fill", 14, 2, Qt::white, Qt::white))));
    const QColor accent = palette().color(QPalette::Highlight);
    send_->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border: none;"
                                        " border-radius: 13px; padding: 5px 16px; }"
                                        " QPushButton:disabled { background: %2; }")
                             .arg(cssColor(accent), cssColor(faded(palette(), 0.3))));
    send_->setMinimumHeight(26);
    for (auto* button : {stop_, cancel_, send_}) {
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);

    bulbFade_ = new QVariantAnimation(this);
    bulbFade_->setDuration(kBulbFadeMilliseconds);
    bulbFade_->setEasingCurve(QEasingCurve::InOutQuad);
    connect(bulbFade_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { paintBulb(value.value<QColor>()); });
    paintBulb(secondary);

    if (presenter_ != nullptr) {
        connect(field_, &QLineEdit::textEdited, this,
                [this](const QString& typed) { presenter_->textEdited(typed.toStdString()); });
        connect(markers_, &QCheckBox::clicked, this, [this](bool on) { presenter_->markersChosen(on); });
        connect(stop_, &QPushButton::clicked, this, [this] { presenter_->stop(); });
        connect(cancel_, &QPushButton::clicked, this, [this] { presenter_->cancel(); });
        connect(send_, &QPushButton::clicked, this, [this] { presenter_->send(); });
        presenter_->attach(this);
    }
}

MessageView::~MessageView() {
    if (presenter_ != nullptr) {
        presenter_->attach(nullptr);
    }
}

void MessageView::settleAnimations() {
    if (bulbFade_->state() == QAbstractAnimation::Running) {
        bulbFade_->setCurrentTime(bulbFade_->duration());
    }
}

QAbstractButton* MessageView::speedButton(MessageSettings::Speed speed) const {
    for (std::size_t i = 0; i < MessageSettings::kSpeeds.size(); ++i) {
        if (MessageSettings::kSpeeds[i] == speed) {
            return speeds_[i];
        }
    }
    return nullptr;
}

void MessageView::paintBulb(const QColor& color) {
    bulbColor_ = color;
    const auto image = SymbolCatalog::render("lightbulb.fill", 20, devicePixelRatioF(), color, faded(palette(), 0.6));
    bulb_->setPixmap(QPixmap::fromImage(image));
}

QString MessageView::sendingHtml(const SendingLine& line) const {
    const QString secondary = cssColor(faded(palette(), 0.6));
    const QString accent = cssColor(palette().color(QPalette::Highlight));
    const auto span = [](const QString& color, const std::string& part) {
        return QStringLiteral("<span style=\"color:%1\">%2</span>").arg(color, text(part).toHtmlEscaped());
    };
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + span(secondary, line.before) +
           span(accent, line.current) + span(secondary, line.after) + QStringLiteral("</p>");
}

void MessageView::render(const MessageViewState& state) {
    subtitle_->setText(text(state.subtitle));
    const QColor bulb = state.bulbLit ? kSystemYellow : faded(palette(), 0.6);
    if (bulb != bulbFade_->endValue().value<QColor>()) {
        bulbFade_->stop();
        if (isVisible()) {
            bulbFade_->setStartValue(bulbColor_);
            bulbFade_->setEndValue(bulb);
            bulbFade_->start();
        } else {
            bulbFade_->setEndValue(bulb);
            paintBulb(bulb);
        }
    }

    sending_->setVisible(state.sending.has_value());
    field_->setVisible(!state.sending.has_value());
    if (state.sending) {
        sending_->setText(sendingHtml(*state.sending));
        sending_->setAccessibleName(text(state.sending->accessibilityLabel));
    }
    if (const QString typed = text(state.text); field_->text() != typed) {
        // Cut back while typing in the middle: the cursor stays where it was.
        const int cursor = field_->cursorPosition();
        field_->setText(typed);
        field_->setCursorPosition(std::min(cursor, static_cast<int>(typed.size())));
    }

    for (std::size_t i = 0; i < MessageSettings::kSpeeds.size(); ++i) {
        speeds_[i]->setChecked(MessageSettings::kSpeeds[i] == state.speed);
    }
    markers_->setChecked(state.markers);

    preview_->setText(text(state.preview));
    preview_->setVisible(!state.preview.empty());
    duration_->setText(text(state.durationLine));
    setColor(duration_, state.durationOrange ? kSystemOrange : faded(palette(), 0.6));
    skipped_->setText(text(state.skippedLine.value_or("")));
    skipped_->setVisible(state.skippedLine.has_value());
    problem_->setText(text(state.problemLine.value_or("")));
    problem_->setVisible(state.problemLine.has_value());

    stop_->setVisible(state.sending.has_value());
    cancel_->setVisible(!state.sending.has_value());
    send_->setEnabled(state.sendEnabled);
    // The width stays; the height follows what is shown.
    setFixedHeight(layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(kWidth) : sizeHint().height());
}

void MessageView::keyPressEvent(QKeyEvent* event) {
    // Children leave Return and Escape to the window, as with a default and
    // a cancel button.
    switch (event->key()) {
        case Qt::Key_Escape:
            if (presenter_ != nullptr) {
                presenter_->escape();
            }
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (presenter_ != nullptr) {
                presenter_->send();
            }
            return;
        default: QWidget::keyPressEvent(event);
    }
}

void MessageView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    }
    QWidget::mousePressEvent(event);
}

void MessageView::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) != 0) {
        move(event->globalPosition().toPoint() - dragOffset_);
    }
    QWidget::mouseMoveEvent(event);
}

}  // namespace lidora::app
