#include "app/SegmentedPicker.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

namespace lidora::app {

SegmentedPicker::SegmentedPicker(const QString& title, QWidget* parent)
    : QWidget(parent), group_(new QButtonGroup(this)), segments_(new QWidget(this)) {
    setAccessibleName(title);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(title, this));
    row->addStretch();
    auto* segments = new QHBoxLayout(segments_);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    row->addWidget(segments_);
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, [this](int id) {
        if (onChosen) {
            onChosen(id);
        }
    });
}

void SegmentedPicker::addSegment(const QString& title, int id) {
    // "&" would mark a mnemonic ("Black & White").
    auto* button = new QPushButton(QString(title).replace(QLatin1Char('&'), QStringLiteral("&&")), segments_);
    button->setAccessibleName(title);
    button->setCheckable(true);
    button->setAutoExclusive(true);
    button->setFocusPolicy(Qt::TabFocus);
    group_->addButton(button, id);
    segments_->layout()->addWidget(button);
}

void SegmentedPicker::setCurrent(int id) {
    const QSignalBlocker quiet(group_);
    if (auto* button = group_->button(id)) {
        button->setChecked(true);
    }
}

int SegmentedPicker::current() const {
    return group_->checkedId();
}

void SegmentedPicker::setSegmentShown(int id, bool shown) {
    if (auto* button = group_->button(id)) {
        button->setVisible(shown);
    }
}

QAbstractButton* SegmentedPicker::segment(int id) const {
    return group_->button(id);
}

}  // namespace lidora::app
