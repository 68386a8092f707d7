#include "app/SettingsView.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/SegmentedPicker.h"
#include "app/ToggleSwitch.h"
#include "core/shell/SettingsTexts.h"

namespace lidora::app {

namespace {

namespace texts = SettingsTexts;
using Speed = MessageSettings::Speed;
using Mode = EasterEgg::ShowMode;

QString text(std::string_view view) {
    return QString::fromUtf8(view.data(), static_cast<qsizetype>(view.size()));
}

QLabel* callout(const QString& words, QWidget* parent, bool secondary = true) {
    auto* label = new QLabel(words, parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.92);
    label->setFont(font);
    if (secondary) {
        QPalette palette = label->palette();
        QColor color = palette.color(QPalette::WindowText);
        color.setAlphaF(0.6F);
        palette.setColor(QPalette::WindowText, color);
        label->setPalette(palette);
    }
    return label;
}

// A grouped form's section; without a title it has no header.
QVBoxLayout* section(QVBoxLayout* page, std::string_view title, QGroupBox** made = nullptr) {
    auto* box = new QGroupBox(text(title));
    auto* rows = new QVBoxLayout(box);
    rows->setSpacing(8);
    page->addWidget(box);
    if (made != nullptr) {
        *made = box;
    }
    return rows;
}

ToggleSwitch* switchRow(QVBoxLayout* rows, std::string_view title) {
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(text(title));
    auto* toggle = new ToggleSwitch;
    toggle->setAccessibleName(text(title));
    row->addWidget(label);
    row->addStretch();
    row->addWidget(toggle);
    rows->addLayout(row);
    return toggle;
}

// Owned by the window until a tab takes it, so a page never shown is freed too.
QVBoxLayout* newPage(QWidget*& page, QWidget* window) {
    page = new QWidget(window);
    page->hide();
    auto* layout = new QVBoxLayout(page);
    layout->setSpacing(12);
    return layout;
}

void setChecked(QAbstractButton* button, bool checked) {
    const QSignalBlocker quiet(button);
    button->setChecked(checked);
}

}  // namespace

SettingsView::SettingsView(SettingsPresenter* presenter, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      presenter_(presenter),
      tabs_(new QTabWidget(this)) {
    setObjectName("LidoraSettings");
    setWindowTitle(text(texts::kWindowTitle));
    setFixedWidth(kSettingsWindowWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 12, 0, 0);
    layout->addWidget(tabs_);
    pages_ = {buildGeneral(), buildOnAir(), buildBreathing(), buildMorseCode(), buildClassicLogo()};
    for (auto* page : pages_) {
        static_cast<QVBoxLayout*>(page->layout())->addStretch();
    }
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
        if (presenter_ != nullptr && index >= 0 && static_cast<std::size_t>(index) < shownTabs_.size()) {
            presenter_->tabChosen(shownTabs_[static_cast<std::size_t>(index)]);
        }
    });
    if (presenter_ != nullptr) {
        presenter_->attach(this);
    } else {
        render(settingsState(SettingsInputs{}));
    }
}

SettingsView::~SettingsView() {
    if (presenter_ != nullptr) {
        presenter_->attach(nullptr);
    }
}

QWidget* SettingsView::buildGeneral() {
    QWidget* page = nullptr;
    auto* layout = newPage(page, this);
    auto* status = section(layout, texts::kStatus, &status_);
    statusText_ = callout({}, page, false);
    status->addWidget(statusText_);
    statusButton_ = new QPushButton(page);
    statusButton_->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    status->addWidget(statusButton_);
    connect(statusButton_, &QPushButton::clicked, this, [this] {
        if (presenter_ == nullptr) {
            return;
        }
        if (remedy_ == StatusRemedy::openSystemSettings) {
            presenter_->openSystemSettings();
        } else if (remedy_ == StatusRemedy::reinstallHelper) {
            presenter_->reinstallHelper();
        }
    });

    auto* app = section(layout, {});
    launchAtLogin_ = switchRow(app, texts::kLaunchAtLogin);
    connect(launchAtLogin_, &QAbstractButton::toggled, this, [this](bool on) {
        if (presenter_ != nullptr) {
            presenter_->launchAtLoginChosen(on);
        }
    });
    showInMenuBar_ = switchRow(app, texts::kShowInMenuBar);
    connect(showInMenuBar_, &QAbstractButton::toggled, this, [this](bool on) {
        if (presenter_ != nullptr) {
            presenter_->showMenuBarIconChosen(on);
        }
    });
    iconPicker_ = new SegmentedPicker(text(texts::kMenuBarIcon), page);
    iconPicker_->addSegment(text(texts::kColor), 1);
    iconPicker_->addSegment(text(texts::kBlackAndWhite), 0);
    iconPicker_->onChosen = [this](int id) {
        if (presenter_ != nullptr) {
            presenter_->colorMenuBarIconChosen(id == 1);
        }
    };
    app->addWidget(iconPicker_);
    reopenHint_ = callout(text(texts::kReopenHint), page);
    app->addWidget(reopenHint_);

    auto* updates = section(layout, texts::kUpdates);
    automaticChecks_ = switchRow(updates, texts::kAutomaticChecks);
    connect(automaticChecks_, &QAbstractButton::toggled, this, [this](bool on) {
        if (presenter_ != nullptr) {
            presenter_->automaticChecksChosen(on);
        }
    });
    auto* versionRow = new QHBoxLayout;
    version_ = callout({}, page);
    checkForUpdates_ = new QPushButton(text(texts::kCheckForUpdates), page);
    connect(checkForUpdates_, &QPushButton::clicked, this, [this] {
        if (presenter_ != nullptr) {
            presenter_->checkForUpdates();
        }
    });
    versionRow->addWidget(version_, 1);
    versionRow->addWidget(checkForUpdates_);
    updates->addLayout(versionRow);

    auto* troubleshooting = section(layout, texts::kTroubleshooting);
    auto* copyRow = new QHBoxLayout;
    troubleshooting_ = callout({}, page);
    auto* copy = new QPushButton(text(texts::kCopyDiagnostics), page);
    connect(copy, &QPushButton::clicked, this, [this] {
        if (presenter_ != nullptr) {
            presenter_->copyDiagnostics();
        }
    });
    copyRow->addWidget(troubleshooting_, 1);
    copyRow->addWidget(copy);
    troubleshooting->addLayout(copyRow);

    auto* controls = section(layout, texts::kControlCenter);
    controls->addWidget(callout(text(texts::kControlCenterIntro), page, false));
    auto* steps = new QVBoxLayout;
    steps->setSpacing(4);
    for (const auto step : texts::kControlCenterSteps) {
        steps->addWidget(callout(text(step), page, false));
    }
    controls->addLayout(steps);
    controls->addWidget(callout(text(texts::kControlCenterNote), page));

    auto* last = section(layout, {});
    auto* buttons = new QHBoxLayout;
    auto* uninstall = new QPushButton(text(texts::kUninstall), page);
    auto* quit = new QPushButton(text(texts::kQuit), page);
    connect(uninstall, &QPushButton::clicked, this, [this] {
        if (presenter_ != nullptr) {
            presenter_->uninstall();
        }
    });
    connect(quit, &QPushButton::clicked, this, [this] {
        if (presenter_ != nullptr) {
            presenter_->quit();
        }
    });
    buttons->addWidget(uninstall);
    buttons->addStretch();
    buttons->addWidget(quit);
    last->addLayout(buttons);
    return page;
}

QWidget* SettingsView::buildOnAir() {
    QWidget* page = nullptr;
    auto* layout = newPage(page, this);
    auto* signal = section(layout, {});
    onAir_ = switchRow(signal, texts::kOnAirLight);
    connect(onAir_, &QAbstractButton::toggled, this, [this](bool on) {
        if (presenter_ != nullptr) {
            presenter_->onAirEnabledChosen(on);
        }
    });
    source_ = new SegmentedPicker(text(texts::kTurnOnFor), page);
    source_->addSegment(text(texts::kCameraOrMicrophone), static_cast<int>(OnAirSource::cameraOrMicrophone));
    source_->addSegment(text(texts::kCameraOnly), static_cast<int>(OnAirSource::camera));
    source_->onChosen = [this](int id) {
        if (presenter_ != nullptr) {
            presenter_->onAirSourceChosen(static_cast<OnAirSource>(id));
        }
    };
    signal->addWidget(source_);
    onAirText_ = callout({}, page);
    signal->addWidget(onAirText_);

    auto* dark = section(layout, {});
    keepDark_ = switchRow(dark, texts::kKeepDark);
    connect(keepDark_, &QAbstractButton::toggled, this, [this](bool on) {
        if (presenter_ != nullptr) {
            presenter_->onAirDarkOtherwiseChosen(on);
        }
    });
    dark->addWidget(callout(text(texts::kKeepDarkText), page));
    return page;
}

QWidget* SettingsView::buildBreathing() {
    QWidget* page = nullptr;
    auto* layout = newPage(page, this);
    auto* rows = section(layout, {});
    breathe_ = switchRow(rows, texts::kBreathe);
    connect(breathe_, &QAbstractButton::toggled, this, [this](bool on) {
        if (presenter_ != nullptr) {
            presenter_->breatheChosen(on);
        }
    });
    rows->addWidget(callout(text(texts::kBreatheText), page));
    return page;
}

QWidget* SettingsView::buildMorseCode() {
    QWidget* page = nullptr;
    auto* layout = newPage(page, this);
    auto* rows = section(layout, {});
    speed_ = new SegmentedPicker(text(texts::kSpeed), page);
    speed_->addSegment(text(texts::kSlow), static_cast<int>(Speed::slow));
    speed_->addSegment(text(texts::kNormal), static_cast<int>(Speed::normal));
    speed_->addSegment(text(texts::kPro), static_cast<int>(Speed::pro));
    speed_->onChosen = [this](int id) {
        if (presenter_ != nullptr) {
            presenter_->morseSpeedChosen(static_cast<Speed>(id));
        }
    };
    rows->addWidget(speed_);
    markers_ = switchRow(rows, texts::kMarkers);
    connect(markers_, &QAbstractButton::toggled, this, [this](bool on) {
        if (presenter_ != nullptr) {
            presenter_->morseMarkersChosen(on);
        }
    });
    rows->addWidget(callout(text(texts::kMarkersText), page));

    auto* message = section(layout, {});
    auto* title = new QHBoxLayout;
    title->addWidget(new QLabel(text(texts::kSendAMessage), page));
    title->addWidget(callout(text(texts::kMessageShortcut), page));
    title->addStretch();
    message->addLayout(title);
    message->addWidget(callout(
        text(texts::kMessageHintBefore) + text(texts::kMessageShortcut) + text(texts::kMessageHintAfter), page));
    auto* send = new QPushButton(text(texts::kSendAMessageButton), page);
    send->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    connect(send, &QPushButton::clicked, this, [this] {
        if (presenter_ != nullptr) {
            presenter_->sendMessage();
        }
    });
    message->addWidget(send);
    return page;
}

QWidget* SettingsView::buildClassicLogo() {
    QWidget* page = nullptr;
    auto* layout = newPage(page, this);
    auto* rows = section(layout, {});
    classicLogo_ = switchRow(rows, texts::kClassicLogo);
    connect(classicLogo_, &QAbstractButton::toggled, this, [this](bool on) {
        if (presenter_ != nullptr) {
            presenter_->classicLogoEnabledChosen(on);
        }
    });
    show_ = new SegmentedPicker(text(texts::kShow), page);
    show_->addSegment(text(texts::kAlways), static_cast<int>(Mode::always));
    show_->addSegment(text(texts::kWithLogoLight), static_cast<int>(Mode::withLight));
    show_->onChosen = [this](int id) {
        if (presenter_ != nullptr) {
            presenter_->showModeChosen(static_cast<Mode>(id));
        }
    };
    rows->addWidget(show_);
    classicText_ = callout({}, page);
    rows->addWidget(classicText_);
    return page;
}

void SettingsView::showTabs(const std::vector<SettingsTab>& tabs, SettingsTab visible) {
    const QSignalBlocker quiet(tabs_);
    if (tabs != shownTabs_) {
        tabs_->clear();
        for (const auto tab : tabs) {
            tabs_->addTab(page(tab), text(settingsTabTitle(tab)));
        }
        shownTabs_ = tabs;
    }
    const auto at = std::find(shownTabs_.begin(), shownTabs_.end(), visible);
    tabs_->setCurrentIndex(at == shownTabs_.end() ? 0 : static_cast<int>(at - shownTabs_.begin()));
}

void SettingsView::render(const SettingsState& state) {
    showTabs(state.tabs, state.visibleTab);

    status_->setVisible(state.statusMessage.has_value());
    statusText_->setText(QString::fromStdString(state.statusMessage.value_or("")));
    remedy_ = state.remedy;
    statusButton_->setVisible(state.remedy != StatusRemedy::none);
    statusButton_->setText(
        text(state.remedy == StatusRemedy::openSystemSettings ? texts::kOpenSystemSettings : texts::kReinstallHelper));
    setChecked(launchAtLogin_, state.launchAtLogin);
    setChecked(showInMenuBar_, state.showMenuBarIcon);
    iconPicker_->setCurrent(state.colorMenuBarIcon ? 1 : 0);
    iconPicker_->setEnabled(state.iconPickerEnabled);
    reopenHint_->setVisible(state.showReopenHint);
    setChecked(automaticChecks_, state.automaticallyChecksForUpdates);
    version_->setText(QString::fromStdString(state.versionLine));
    checkForUpdates_->setEnabled(state.checkForUpdatesEnabled);
    troubleshooting_->setText(QString::fromStdString(state.troubleshootingText));

    setChecked(onAir_, state.onAirEnabled);
    source_->setCurrent(static_cast<int>(state.onAirSource));
    source_->setEnabled(state.onAirOptionsEnabled);
    onAirText_->setText(QString::fromStdString(state.onAirText));
    setChecked(keepDark_, state.onAirDarkOtherwise);
    keepDark_->setEnabled(state.onAirOptionsEnabled);

    setChecked(breathe_, state.breatheWhenLocked);
    speed_->setCurrent(static_cast<int>(state.morseSpeed));
    setChecked(markers_, state.morseMarkers);

    setChecked(classicLogo_, state.classicLogoEnabled);
    for (const auto mode : {Mode::always, Mode::withLight}) {
        show_->setSegmentShown(static_cast<int>(mode), std::find(state.showModes.begin(), state.showModes.end(),
                                                                 mode) != state.showModes.end());
    }
    show_->setCurrent(static_cast<int>(state.showMode));
    show_->setEnabled(state.showModeEnabled);
    classicText_->setText(QString::fromStdString(state.classicLogoText));
    fitHeight();
}

// Wrapped texts need the height they take at the fixed width, which a plain
// size hint does not give.
void SettingsView::fitHeight() {
    // The window's own layout keeps an answer from before the texts changed;
    // the tabs give the current one.
    const int height = tabs_->heightForWidth(kSettingsWindowWidth) + layout()->contentsMargins().top();
    resize(kSettingsWindowWidth, std::max(height, sizeHint().height()));
}

}  // namespace lidora::app
