#include "app/PanelWindow.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/ModuleSlider.h"
#include "app/SymbolCatalog.h"
#include "app/ToggleSwitch.h"

namespace lidora::app {

namespace {

constexpr int kPanelWidth = 290;
constexpr int kPadding = 14;
constexpr int kSpacing = 10;

QString text(std::string_view view) {
    return QString::fromUtf8(view.data(), static_cast<qsizetype>(view.size()));
}

QLabel* symbolLabel(std::string_view name, const QColor& color, QWidget* parent) {
    auto* label = new QLabel(parent);
    const auto image = SymbolCatalog::render(name, 16, 2, color, color);
    label->setPixmap(QPixmap::fromImage(image));
    return label;
}

QLabel* calloutLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.92);
    label->setFont(font);
    return label;
}

void setSecondary(QLabel* label) {
    QPalette palette = label->palette();
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.6F);
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

}  // namespace

PanelWindow::PanelWindow(PanelPresenter* presenter, QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint), presenter_(presenter) {
    setObjectName("LidoraPanel");
    setFixedWidth(kPanelWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    layout->setSpacing(kSpacing);

    auto* header = new QHBoxLayout;
    auto* title = new QLabel(text(kLogoLightTitle), this);
    QFont headline = title->font();
    headline.setBold(true);
    title->setFont(headline);
    switch_ = new ToggleSwitch(this);
    switch_->setAccessibleName(text(kLogoLightTitle));
    header->addWidget(title);
    header->addStretch();
    header->addWidget(switch_);
    layout->addLayout(header);

    keepDarkNote_ = calloutLabel(this);
    keepDarkNote_->setText(text(kKeepDarkNote));
    setSecondary(keepDarkNote_);
    layout->addWidget(keepDarkNote_);

    brightnessCard_ = new QFrame(this);
    brightnessCard_->setObjectName("BrightnessCard");
    // The primary colour, faintly: 6 % fills the card, 8 % outlines it.
    const QColor primary = palette().color(QPalette::WindowText);
    brightnessCard_->setStyleSheet(QStringLiteral("#BrightnessCard { background: rgba(%1,%2,%3,0.06);"
                                                  " border: 1px solid rgba(%1,%2,%3,0.08); border-radius: 16px; }")
                                       .arg(primary.red())
                                       .arg(primary.green())
                                       .arg(primary.blue()));
    auto* card = new QVBoxLayout(brightnessCard_);
    card->setContentsMargins(12, 10, 12, 10);
    card->setSpacing(8);
    auto* logo = new QLabel(QStringLiteral("Logo"), brightnessCard_);
    logo->setFont(headline);
    card->addWidget(logo);
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    const QColor ink = palette().color(QPalette::WindowText);
    row->addWidget(symbolLabel("sun.min", ink, brightnessCard_));
    slider_ = new ModuleSlider(brightnessCard_);
    slider_->setAccessibleName(QStringLiteral("Logo brightness"));
    row->addWidget(slider_, 1);
    row->addWidget(symbolLabel("sun.max", ink, brightnessCard_));
    card->addLayout(row);
    layout->addWidget(brightnessCard_);

    statusText_ = calloutLabel(this);
    layout->addWidget(statusText_);
    statusButton_ = new QPushButton(this);
    statusButton_->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    layout->addWidget(statusButton_);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 0);
    progress_->setTextVisible(false);
    progress_->setFixedSize(60, 6);
    layout->addWidget(progress_);
    mayBeUnsupported_ = calloutLabel(this);
    mayBeUnsupported_->setText(text(kMayBeUnsupportedText));
    setSecondary(mayBeUnsupported_);
    layout->addWidget(mayBeUnsupported_);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    layout->addWidget(divider);

    sendMessageRow_ = menuRow(QStringLiteral("Send a Message…"), QStringLiteral("⇧⌘0"));
    auto* settingsRow = menuRow(QStringLiteral("Settings…"), {});
    auto* aboutRow = menuRow(QStringLiteral("About Lidora"), {});
    updateRow_ = menuRow(QStringLiteral("Update Available…"), {});
    auto* quitRow = menuRow(QStringLiteral("Quit Lidora"), {});
    for (auto* button : {sendMessageRow_, settingsRow, aboutRow, updateRow_, quitRow}) {
        layout->addWidget(button);
    }

    if (presenter_ != nullptr) {
        connect(switch_, &QAbstractButton::toggled, this, [this](bool on) {
            if (!rendering_) {
                presenter_->switchFlipped(on);
            }
        });
        slider_->onValueChanged = [this](double level) { presenter_->levelChanged(level); };
        slider_->onEditingEnded = [this] { presenter_->levelEditingEnded(); };
        connect(statusButton_, &QPushButton::clicked, this, [this] {
            if (std::holds_alternative<PanelState::Failed>(shown_.status)) {
                presenter_->reinstallHelper();
            } else {
                presenter_->openSystemSettings();
            }
        });
        connect(sendMessageRow_, &QPushButton::clicked, this, [this] { presenter_->sendMessage(); });
        connect(settingsRow, &QPushButton::clicked, this, [this] { presenter_->openSettings(); });
        connect(aboutRow, &QPushButton::clicked, this, [this] { presenter_->showAbout(); });
        connect(updateRow_, &QPushButton::clicked, this, [this] { presenter_->updateAvailable(); });
        connect(quitRow, &QPushButton::clicked, this, [this] { presenter_->quit(); });
        presenter_->attach(this);
    }
}

PanelWindow::~PanelWindow() {
    if (presenter_ != nullptr) {
        presenter_->attach(nullptr);
    }
}

QPushButton* PanelWindow::menuRow(const QString& title, const QString& hint) {
    auto* button = new QPushButton(this);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(
        "QPushButton { text-align: left; border: none; padding: 3px 4px; border-radius: 5px; }"
        " QPushButton:hover { background: rgba(127,127,127,0.18); }");
    auto* row = new QHBoxLayout(button);
    row->setContentsMargins(4, 0, 4, 0);
    auto* label = new QLabel(title, button);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    row->addWidget(label);
    row->addStretch();
    if (!hint.isEmpty()) {
        auto* hintLabel = new QLabel(hint, button);
        hintLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
        setSecondary(hintLabel);
        row->addWidget(hintLabel);
    }
    button->setAccessibleName(title);
    button->setMinimumHeight(24);
    return button;
}

void PanelWindow::render(const PanelState& state, double level, const std::string& levelText) {
    rendering_ = true;
    shown_ = state;
    switch_->setChecked(state.switchOn);
    switch_->setEnabled(state.switchEnabled);
    keepDarkNote_->setVisible(state.showKeepDarkNote);
    brightnessCard_->setVisible(state.showBrightnessCard);
    slider_->setValue(level);
    slider_->setAccessibleValueText(QString::fromStdString(levelText));

    statusText_->hide();
    statusButton_->hide();
    progress_->hide();
    QPalette palette = this->palette();
    if (std::holds_alternative<PanelState::Unsupported>(state.status)) {
        statusText_->setText(text(kUnsupportedText));
        setSecondary(statusText_);
        statusText_->show();
    } else if (const auto* failed = std::get_if<PanelState::Failed>(&state.status)) {
        statusText_->setText(QString::fromStdString(failed->message));
        palette.setColor(QPalette::WindowText, QColor(255, 59, 48));
        statusText_->setPalette(palette);
        statusText_->show();
        statusButton_->setText(QStringLiteral("Reinstall Helper"));
        statusButton_->setVisible(failed->offerReinstall);
    } else if (std::holds_alternative<PanelState::NeedsApproval>(state.status)) {
        statusText_->setText(text(kApprovalText));
        setSecondary(statusText_);
        statusText_->show();
        statusButton_->setText(QStringLiteral("Open System Settings"));
        statusButton_->show();
    } else if (std::holds_alternative<PanelState::Loading>(state.status)) {
        progress_->show();
    }
    mayBeUnsupported_->setVisible(state.showMayBeUnsupported);
    sendMessageRow_->setVisible(state.showSendMessage);
    updateRow_->setVisible(state.showUpdateAvailable);
    rendering_ = false;
    // Only the height follows what is shown; the width stays fixed.
    setFixedHeight(sizeHint().height());
}

void PanelWindow::popUp(const QPoint& anchor) {
    adjustSize();
    QPoint origin(anchor.x() - width() / 2, anchor.y());
    if (const auto* screen = QGuiApplication::screenAt(anchor)) {
        const auto area = screen->availableGeometry();
        origin.setX(std::clamp(origin.x(), area.left(), std::max(area.left(), area.right() - width())));
        origin.setY(std::clamp(origin.y(), area.top(), std::max(area.top(), area.bottom() - height())));
    }
    move(origin);
    show();
    activateWindow();
}

void PanelWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (presenter_ != nullptr) {
        presenter_->appeared();
    }
}

}  // namespace lidora::app
