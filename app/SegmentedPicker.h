#pragma once

#include <QWidget>
#include <functional>
#include <vector>

class QAbstractButton;
class QButtonGroup;
class QLabel;

namespace lidora::app {

// A labelled picker drawn as segments: one exclusive button per choice,
// which UI scripting sees as radio buttons it can select.
class SegmentedPicker final : public QWidget {
public:
    explicit SegmentedPicker(const QString& title, QWidget* parent = nullptr);

    // Adds a choice; `id` is what onChosen reports.
    void addSegment(const QString& title, int id);
    // Checks the segment of `id` without reporting it.
    void setCurrent(int id);
    [[nodiscard]] int current() const;
    // Hidden segments cannot be chosen.
    void setSegmentShown(int id, bool shown);
    [[nodiscard]] QAbstractButton* segment(int id) const;

    // Called when the user picks another choice.
    std::function<void(int)> onChosen;

private:
    QButtonGroup* group_;
    QWidget* segments_;
};

}  // namespace lidora::app
